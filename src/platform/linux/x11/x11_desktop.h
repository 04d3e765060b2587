#pragma once

#include <memory>
#include <string>

#include "platform/desktop.h"

// The X11 desktop: the CLIPBOARD selection and key grabs on the root window
// of the display $DISPLAY names. Null, with *error set to a one-line reason,
// when the display cannot be opened.
std::unique_ptr<Desktop> makeX11Desktop(std::string* error);
