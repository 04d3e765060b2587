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
  // The status is not acted on: the registrations that follow, and the
  // status line, tell the user what to expect.
  InstallEventHandler(GetApplicationEventTarget(), onPressed, 1, &hotKeyPressed, this, &ref);
  handlerRef_.reset(ref);
}

CarbonHotkeys::~CarbonHotkeys() = default;

int32_t CarbonHotkeys::registerHotKey(const HotkeySpec& spec, HotkeyId id) {
  EventHotKeyRef ref = nullptr;
  OSStatus status =
      RegisterEventHotKey(spec.keyCode, spec.modifiers, EventHotKeyID{id.signature, id.id},
                          GetApplicationEventTarget(), 0, &ref);
  if (status == noErr) hotKeys_.emplace_back(ref);
  return status;
}

void CarbonHotkeys::pressed(uint32_t id) {
  if (handler_) handler_(id);
}
