// The line a failed run shows. The input is the tool's standard output and standard error
// joined by a 0xFF byte, which the valid text the runner hands over never holds.

#include <cstdint>
#include <string>
#include <utility>

#include "fuzz_check.h"
#include "runner/dong_loi.h"
#include "texts.h"

// A forward scan: lines end at a line feed that does not follow a carriage return (the pair is
// one character); the last that is not empty wins.
static std::string lastLine(const std::string& text) {
  std::string last, line;
  for (size_t i = 0; i <= text.size(); ++i) {
    if (i < text.size() && (text[i] != '\n' || (i > 0 && text[i - 1] == '\r'))) {
      line.push_back(text[i]);
    } else if (!line.empty()) {
      last = std::exchange(line, "");
    }
  }
  return last.empty() ? std::string(texts::unknownError) : last;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  const size_t split = std::min(input.find('\xFF'), input.size());
  const std::string out = input.substr(0, split), err = input.substr(std::min(split + 1, size));
  FUZZ_CHECK(dongLoi(out, err) == lastLine(err.empty() ? out : err));
  return 0;
}
