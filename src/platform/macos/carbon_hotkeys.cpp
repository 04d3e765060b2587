#include "platform/macos/carbon_hotkeys.h"

#include <Carbon/Carbon.h>

void CarbonHotkeys::RemoveHandler::operator()(OpaqueEventHandlerRef* ref) const {
  RemoveEventHandler(ref);
}

void CarbonHotkeys::Unregister::operator()(OpaqueEventHotKeyRef* ref) const {
  UnregisterEventHotKey(ref);
}

CarbonHotkeys::CarbonHotkeys() {
  static constexpr EventTypeSpec hotKeyPressed{kEventClassKeyboard, kEventHotKeyPressed};
  auto onPressed = [](EventHandlerCallRef, EventRef event, void* self) -> OSStatus {
    // An event without a readable id leaves it 0, which names no shortcut.
    EventHotKeyID hotKey{0, 0};
    GetEventParameter(event, kEventParamDirectObject, typeEventHotKeyID, nullptr, sizeof hotKey,
                      nullptr, &hotKey);
    static_cast<CarbonHotkeys*>(self)->pressed(hotKey.id);
    return noErr;
  };
  EventHandlerRef ref = nullptr;
  // Without the handler no press would ever arrive, yet registering still
  // shows the user which shortcuts the system accepts; its status is not acted on.
  InstallEventHandler(GetApplicationEventTarget(), onPressed, 1, &hotKeyPressed, this, &ref);
  handlerRef_.reset(ref);
}

CarbonHotkeys::~CarbonHotkeys() = default;

int32_t CarbonHotkeys::registerHotKey(uint32_t keyCode, uint32_t modifiers, uint32_t signature,
                                      uint32_t id) {
  EventHotKeyRef ref = nullptr;
  OSStatus status = RegisterEventHotKey(keyCode, modifiers, EventHotKeyID{signature, id},
                                        GetApplicationEventTarget(), 0, &ref);
  if (status == noErr) hotKeys_.emplace_back(ref);
  return status;
}

void CarbonHotkeys::pressed(uint32_t id) {
  if (handler_) handler_(id);
}
