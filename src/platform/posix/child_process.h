#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// What a finished child left behind. When startError is not 0 the child never
// ran: startError is the errno of the failed start and nothing else is set.
struct ChildResult {
  int startError = 0;
  // The exit code, or 128 + the signal number when a signal ended the child.
  int32_t status = 0;
  std::string out;
  std::string err;
};

// Starts the executable at path (taken as it is, never looked up on PATH)
// with argv, feeds it input when there is one (otherwise it shares this
// process's standard input), collects its standard output and error whole and
// waits for its end. Blocks the calling thread for the child's whole life.
// The child inherits the environment, the working directory and descriptors
// 0, 1 and 2 only, with every signal at its default and none blocked. A child
// that stops reading its input ends the write early; the run goes on.
ChildResult runChild(const std::string& path, const std::vector<std::string>& argv,
                     const std::optional<std::string>& input);
