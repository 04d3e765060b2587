#pragma once

#include <memory>
#include <string>

#include "platform/desktop.h"
#include "platform/linux/bus_notifier.h"
#include "platform/linux/event_loop.h"
#include "platform/linux/portal_hotkeys.h"
#include "platform/linux/session_bus.h"
#include "platform/linux/signal_hotkeys.h"
#include "platform/linux/signals.h"

// What every Linux desktop shares: the event loop, the signals, the
// notifications, and shortcuts that go through the desktop's own registrar
// (when it has one) as well as through SIGUSR1 and SIGUSR2.
class LinuxDesktop : public Desktop {
 public:
  MainQueue& mainQueue() override { return loop_; }
  HotkeySystem& hotkeys() override { return hotkeys_; }
  Notifier& notifier() override { return notifier_; }
  int run() override;

 protected:
  LinuxDesktop() = default;

  // For a client that cannot grab keys itself (on Wayland, or through
  // XWayland): the global-shortcuts portal when the session has one, the
  // signals alone otherwise. Returns the path taken, as describe() says it.
  std::string usePortalOrSignals();

  EventLoop loop_;
  Signals signals_{loop_};
  SignalHotkeys hotkeys_{signals_};
  SessionBus bus_{loop_};

 private:
  BusNotifier notifier_{loop_, bus_};
  std::unique_ptr<PortalHotkeys> portal_;  // after bus_, which it must not outlive
};
