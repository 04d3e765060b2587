#pragma once

#include <string>
#include <vector>

// Starts argv[0] (a path, never looked up on PATH) with argv and returns at
// once. The helper inherits only descriptors 0, 1 and 2 and default signal
// handling; it is reaped when it ends. A helper that cannot be started is
// dropped silently. Any thread.
void launchDetached(const std::vector<std::string>& argv);
