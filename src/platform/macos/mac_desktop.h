#pragma once

#include <memory>

#include "platform/desktop.h"

// The macOS desktop: an accessory application with Carbon hot keys, the
// general pasteboard, GCD's main queue and osascript notifications.
std::unique_ptr<Desktop> makeMacDesktop();
