#include "platform/macos/mac_desktop.h"

#include <csignal>

#include "platform/macos/app_kit.h"
#include "platform/macos/carbon_hotkeys.h"
#include "platform/macos/gcd_main_queue.h"
#include "platform/macos/osascript_notifier.h"

namespace {

// The system pasteboard keeps what was written to it when the agent ends, so
// a stop signal needs no work first and its default action is the stop: it
// ends the agent with the signal's status, even when the agent was started
// with the signal ignored.
void endOnStopSignals() {
  for (int signal : {SIGTERM, SIGINT, SIGHUP}) std::signal(signal, SIG_DFL);
}

class MacDesktop : public Desktop {
 public:
  MacDesktop() {
    // A child that stops reading its input must not end the agent.
    std::signal(SIGPIPE, SIG_IGN);
    endOnStopSignals();
    becomeAccessoryApplication();
    hotkeys_ = std::make_unique<CarbonHotkeys>();
  }

  MainQueue& mainQueue() override { return mainQueue_; }
  Clipboard& clipboard() override { return clipboard_; }
  HotkeySystem& hotkeys() override { return *hotkeys_; }
  Notifier& notifier() override { return notifier_; }

  int run() override {
    runApplication();
    return 0;
  }

 private:
  GcdMainQueue mainQueue_;
  MacPasteboard clipboard_;
  OsascriptNotifier notifier_;
  // Made after the process has become an accessory application.
  std::unique_ptr<CarbonHotkeys> hotkeys_;
};

}  // namespace

std::unique_ptr<Desktop> makeMacDesktop() {
  return std::make_unique<MacDesktop>();
}
