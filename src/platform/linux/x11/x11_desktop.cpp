#include "platform/linux/x11/x11_desktop.h"

#include <chrono>
#include <cstdlib>
#include <optional>

#include "platform/linux/linux_desktop.h"
#include "platform/linux/x11/x_clipboard.h"
#include "platform/linux/x11/x_connection.h"
#include "platform/linux/x11/x_hotkeys.h"

namespace {

// How long a clipboard manager gets to take the text we own when we stop.
constexpr std::chrono::milliseconds handOffBound{1500};

class X11Desktop final : public LinuxDesktop {
 public:
  X11Desktop(std::unique_ptr<XConnection> x, X11Shortcuts shortcuts)
      : x_(std::move(x)), clipboard_(*x_) {
    x_->attach(loop_);
    if (shortcuts == X11Shortcuts::keyGrabs) {
      // Only key grabs need the keyboard map and its change events.
      grabs_.emplace(*x_);
      hotkeys_.useRegistrar(*grabs_);
      shortcuts_ = "bắt phím X11 và tín hiệu SIGUSR1/SIGUSR2";
    } else {
      shortcuts_ = usePortalOrSignals();
    }
    signals_.onStop([this](int signal) {
      clipboard_.handOffToManager(handOffBound);
      Signals::dieOf(signal);
    });
  }

  Clipboard& clipboard() override { return clipboard_; }
  std::string describe() const override {
    const char* display = std::getenv("DISPLAY");
    return std::string("X11 (DISPLAY=") + (display ? display : "") + "); phím tắt: " + shortcuts_;
  }

 private:
  std::unique_ptr<XConnection> x_;
  XClipboard clipboard_;
  std::optional<XHotkeys> grabs_;
  std::string shortcuts_;
};

}  // namespace

std::unique_ptr<Desktop> makeX11Desktop(X11Shortcuts shortcuts, std::string* error) {
  auto x = XConnection::open(error);
  if (!x) return nullptr;
  return std::make_unique<X11Desktop>(std::move(x), shortcuts);
}
