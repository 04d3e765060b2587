#pragma once

#include <cstdint>
#include <functional>
#include <string>

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
  // When this system cannot register shortcuts by itself at all, the command
  // a user binds to a key in the desktop's own settings instead; otherwise
  // empty, and a refusal means another application holds the combination.
  virtual std::string bindInstead(uint32_t id) const {
    (void)id;
    return {};
  }
};
