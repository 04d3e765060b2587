#include "platform/linux/wayland/wayland_desktop.h"

#include <chrono>
#include <cstdlib>

#include "platform/linux/linux_desktop.h"
#include "platform/linux/wayland/data_control.h"
#include "platform/linux/wayland/wayland_clipboard.h"
#include "platform/linux/wayland/wayland_connection.h"

namespace {

constexpr std::chrono::seconds connectBound{2};
// How long the process that keeps the clipboard gets to take it when we stop.
constexpr std::chrono::milliseconds keepBound{1500};

std::string displayName() {
  const char* name = std::getenv("WAYLAND_DISPLAY");
  return name ? name : "";
}

class WaylandDesktop final : public LinuxDesktop {
 public:
  WaylandDesktop(std::unique_ptr<WaylandConnection> connection,
                 std::unique_ptr<DataControl> control)
      : connection_(std::move(connection)),
        control_(std::move(control)),
        clipboard_(*connection_, *control_, loop_) {
    connection_->attach(loop_);
    shortcuts_ = usePortalOrSignals();
    signals_.onStop([this](int signal) {
      clipboard_.keepAfterExit(keepBound);
      Signals::dieOf(signal);
    });
  }

  Clipboard& clipboard() override { return clipboard_; }
  std::string describe() const override {
    return "Wayland (WAYLAND_DISPLAY=" + displayName() + ", " + control_->protocolName() +
           "); phím tắt: " + shortcuts_;
  }

 private:
  std::unique_ptr<WaylandConnection> connection_;
  std::unique_ptr<DataControl> control_;
  WaylandClipboard clipboard_;
  std::string shortcuts_;
};

}  // namespace

std::unique_ptr<Desktop> makeWaylandDesktop(std::string* error) {
  if (displayName().empty()) {
    *error = "varkel: không có compositor Wayland (WAYLAND_DISPLAY chưa được đặt)";
    return nullptr;
  }
  auto connection = WaylandConnection::open(connectBound, error);
  if (!connection) return nullptr;
  auto control = DataControl::create(*connection, error);
  if (!control) return nullptr;
  return std::make_unique<WaylandDesktop>(std::move(connection), std::move(control));
}
