#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

// Carbon's own opaque types, behind EventHandlerRef and EventHotKeyRef.
struct OpaqueEventHandlerRef;
struct OpaqueEventHotKeyRef;

// System-wide hot keys through the Carbon Event Manager. This header stays free
// of hotkeys/hotkey_spec.h: Carbon declares cmdKey, shiftKey, optionKey and
// controlKey as well, so no file may see both.
class CarbonHotkeys {
 public:
  using Handler = std::function<void(uint32_t id)>;

  // Installs the hot-key-pressed handler on the application event target.
  CarbonHotkeys();
  CarbonHotkeys(const CarbonHotkeys&) = delete;
  CarbonHotkeys& operator=(const CarbonHotkeys&) = delete;
  ~CarbonHotkeys();

  // Called on the main thread with the id of each press.
  void setHandler(Handler handler) { handler_ = std::move(handler); }
  // RegisterEventHotKey's status: 0 when the combination is now registered.
  int32_t registerHotKey(uint32_t keyCode, uint32_t modifiers, uint32_t signature, uint32_t id);

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
