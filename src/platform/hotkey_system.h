#pragma once

#include <cstdint>
#include <functional>

#include "hotkeys/hotkey_spec.h"

// System-wide shortcuts. Main thread only.
class HotkeySystem {
 public:
  using Handler = std::function<void(uint32_t id)>;

  virtual ~HotkeySystem() = default;
  // Called on the main thread once per press of a registered combination,
  // with the id it was registered under. Install before the first registration.
  virtual void setHandler(Handler handler) = 0;
  // Registers the combination at once; 0 on success, otherwise the platform's
  // status for the refusal.
  virtual int32_t registerHotKey(const HotkeySpec& spec, HotkeyId id) = 0;
};
