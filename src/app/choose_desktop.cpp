#include "app/choose_desktop.h"

#include <cstdlib>
#include <string>
#include <string_view>

#include "platform/posix/fatal.h"

#ifdef __APPLE__
#include "platform/macos/mac_desktop.h"
#else
#include "platform/linux/wayland/wayland_desktop.h"
#include "platform/linux/x11/x11_desktop.h"
#endif

#ifdef __APPLE__

std::unique_ptr<Desktop> chooseDesktop() {
  return makeMacDesktop();
}

#else

namespace {

bool isSet(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr && *value != '\0';
}

std::string shown(const char* name) {
  return isSet(name) ? std::string(name) + "=" + std::getenv(name)
                     : std::string(name) + " chưa được đặt";
}

}  // namespace

// A compositor with a data-control clipboard gets the Wayland layer. One
// without it (GNOME) still lets the agent use XWayland's selection, but key
// grabs there only see keys while an X11 window has the focus, so the
// shortcuts then come from the portal or the signals. Without Wayland, X11.
std::unique_ptr<Desktop> chooseDesktop() {
  std::string error;
  const bool wayland = isSet("WAYLAND_DISPLAY");
  if (wayland) {
    if (auto desktop = makeWaylandDesktop(&error)) return desktop;
  }
  if (isSet("DISPLAY")) {
    auto shortcuts = wayland ? X11Shortcuts::portalOrSignals : X11Shortcuts::keyGrabs;
    if (auto desktop = makeX11Desktop(shortcuts, &error)) return desktop;
  }
  // The last reason given, without its own "varkel: ", says what went wrong.
  constexpr std::string_view prefix = "varkel: ";
  if (error.starts_with(prefix)) error.erase(0, prefix.size());
  exitFatally("varkel: không mở được màn hình (" + shown("WAYLAND_DISPLAY") + ", " +
              shown("DISPLAY") + ")" + (error.empty() ? "" : ": " + error));
}

#endif
