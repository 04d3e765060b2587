#pragma once

#include <memory>
#include <string>

#include "platform/desktop.h"

// How an X11 client gets its shortcuts: key grabs on the root window in an
// X11 session; in a Wayland session, where grabs only see keys while an X11
// window has the focus, the portal or the signals.
enum class X11Shortcuts { keyGrabs, portalOrSignals };

// The X11 desktop: the CLIPBOARD selection of the display $DISPLAY names.
// Null, with *error set to a one-line reason, when it cannot be opened.
std::unique_ptr<Desktop> makeX11Desktop(X11Shortcuts shortcuts, std::string* error);
