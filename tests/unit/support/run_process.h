#pragma once

#include <string>
#include <vector>

struct ProcessOutput {
  int exitStatus;  // -1 when killed by a signal
  std::string out;
  std::string err;
};

// Runs argv[0] to its end with argv and the given environment ("NAME=value"
// entries), collecting both output streams.
ProcessOutput runProcess(const std::vector<std::string>& argv,
                         const std::vector<std::string>& environment);
