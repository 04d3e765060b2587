#include "platform/linux/x11/x11_desktop.h"

#include <chrono>
#include <cstdlib>

#include "platform/linux/linux_desktop.h"
#include "platform/linux/x11/x_clipboard.h"
#include "platform/linux/x11/x_connection.h"
#include "platform/linux/x11/x_hotkeys.h"

namespace {

// How long a clipboard manager gets to take the text we own when we stop.
constexpr std::chrono::milliseconds handOffBound{1500};

class X11Desktop final : public LinuxDesktop {
 public:
  explicit X11Desktop(std::unique_ptr<XConnection> x)
      : x_(std::move(x)), clipboard_(*x_), grabs_(*x_) {
    x_->attach(loop_);
    hotkeys_.useRegistrar(grabs_);
    signals_.onStop([this](int signal) {
      clipboard_.handOffToManager(handOffBound);
      Signals::dieOf(signal);
    });
  }

  Clipboard& clipboard() override { return clipboard_; }
  std::string describe() const override {
    const char* display = std::getenv("DISPLAY");
    return std::string("X11 (DISPLAY=") + (display ? display : "") +
           "); phím tắt: bắt phím X11 và tín hiệu SIGUSR1/SIGUSR2";
  }

 private:
  std::unique_ptr<XConnection> x_;
  XClipboard clipboard_;
  XHotkeys grabs_;
};

}  // namespace

std::unique_ptr<Desktop> makeX11Desktop(std::string* error) {
  auto x = XConnection::open(error);
  if (!x) return nullptr;
  return std::make_unique<X11Desktop>(std::move(x));
}
