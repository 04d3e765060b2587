#pragma once

#include "platform/hotkey_system.h"

class Signals;

// The shortcuts of a Linux desktop: the desktop's own registrar when it has
// one (X11 key grabs, the global-shortcuts portal), and always the signals,
// which start the same flows as the keys. Without a registrar every
// registration is refused and names the signal command to bind instead.
class SignalHotkeys final : public HotkeySystem {
 public:
  explicit SignalHotkeys(Signals& signals) : signals_(signals) {}
  // The desktop's own registrar, which must outlive this object; set before
  // the handler is installed.
  void useRegistrar(HotkeySystem& own) { own_ = &own; }

  void setHandler(Handler handler) override;
  int32_t registerHotKey(const HotkeySpec& spec, HotkeyId id) override;
  std::string bindInstead(uint32_t id) const override;

  // Status of a registration no registrar could take.
  static constexpr int32_t cannotRegister = -1;

 private:
  Signals& signals_;
  HotkeySystem* own_ = nullptr;
};
