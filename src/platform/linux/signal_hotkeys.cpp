#include "platform/linux/signal_hotkeys.h"

#include "platform/linux/signals.h"

void SignalHotkeys::setHandler(Handler handler) {
  if (own_ != nullptr) own_->setHandler(handler);
  signals_.onShortcut(std::move(handler));
}

int32_t SignalHotkeys::registerHotKey(const HotkeySpec& spec, HotkeyId id) {
  return own_ != nullptr ? own_->registerHotKey(spec, id) : cannotRegister;
}

std::string SignalHotkeys::bindInstead(uint32_t id) const {
  return own_ != nullptr ? own_->bindInstead(id) : signalCommand(id);
}
