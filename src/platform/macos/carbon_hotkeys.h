#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/hotkey_system.h"

// Carbon's own opaque types, behind EventHandlerRef and EventHotKeyRef.
struct OpaqueEventHandlerRef;
struct OpaqueEventHotKeyRef;

// System-wide hot keys through the Carbon Event Manager, delivered by the
// application loop on the main thread.
class CarbonHotkeys : public HotkeySystem {
 public:
  // Installs the hot-key-pressed handler on the application event target.
  CarbonHotkeys();
  CarbonHotkeys(const CarbonHotkeys&) = delete;
  CarbonHotkeys& operator=(const CarbonHotkeys&) = delete;
  ~CarbonHotkeys() override;

  void setHandler(Handler handler) override { handler_ = std::move(handler); }
  // RegisterEventHotKey's status.
  int32_t registerHotKey(const HotkeySpec& spec, HotkeyId id) override;

 private:
  struct RemoveHandler {
    void operator()(OpaqueEventHandlerRef* ref) const;
  };
  struct Unregister {
    void operator()(OpaqueEventHotKeyRef* ref) const;
  };

  void pressed(uint32_t id);

  Handler handler_;
  std::unique_ptr<OpaqueEventHandlerRef, RemoveHandler> handlerRef_;
  std::vector<std::unique_ptr<OpaqueEventHotKeyRef, Unregister>> hotKeys_;
};
