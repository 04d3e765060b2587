#include "platform/macos/mac_desktop.h"

#include <csignal>

#include "hotkeys/hotkey_spec.h"
#include "platform/hotkey_system.h"
#include "platform/macos/app_kit.h"
#include "platform/macos/carbon_hotkeys.h"
#include "platform/macos/gcd_main_queue.h"
#include "platform/macos/osascript_notifier.h"

namespace {

class MacHotkeys : public HotkeySystem {
 public:
  void setHandler(Handler handler) override { carbon_.setHandler(std::move(handler)); }
  int32_t registerHotKey(const HotkeySpec& spec, HotkeyId id) override {
    return carbon_.registerHotKey(spec.keyCode, spec.modifiers, id.signature, id.id);
  }

 private:
  CarbonHotkeys carbon_;
};

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
    hotkeys_ = std::make_unique<MacHotkeys>();
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
  std::unique_ptr<MacHotkeys> hotkeys_;
};

}  // namespace

std::unique_ptr<Desktop> makeMacDesktop() {
  return std::make_unique<MacDesktop>();
}
