#pragma once

#include <memory>

#include "platform/desktop.h"

// The one place that picks the desktop layer the agent runs on. Ends the
// process with one line on standard error when there is none.
std::unique_ptr<Desktop> chooseDesktop();
