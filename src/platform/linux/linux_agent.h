#pragma once

#include "app/command_line.h"

// Runs the agent on the X display named by $DISPLAY until it is killed.
// Returns 1 when the display cannot be opened.
int runLinuxAgent(const Settings& settings, const StartupShortcuts& shortcuts);
