#pragma once

#include <memory>
#include <string>

#include "platform/desktop.h"

// The Wayland desktop: the clipboard through the compositor's data-control
// protocol, on the compositor $WAYLAND_DISPLAY names. Null, with *error set
// to a one-line reason, when $WAYLAND_DISPLAY is not set, the compositor
// cannot be reached or it offers no data-control manager.
std::unique_ptr<Desktop> makeWaylandDesktop(std::string* error);
