#pragma once

#include <string_view>

// The agent's one failure policy. Before start-up is over, a problem is
// answered where it is met (a usage line, a refused shortcut in the status
// line). After it, a condition the agent cannot carry on from (the display
// server lost, the event loop's own descriptors failing, a thread that cannot
// be made) ends the process here: one line on standard error, exit status 1,
// no core dump, no exception across a seam.
[[noreturn]] void exitFatally(std::string_view line);

// Sends any exception that would otherwise escape a thread to exitFatally
// rather than std::terminate's abort.
void routeUncaughtExceptionsToExitFatally();
