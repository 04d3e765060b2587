// The error line of a failed run. The input is the tool's standard output and
// standard error joined by a 0xFF byte, which valid UTF-8 never holds (the
// runner hands over valid text only). The line is checked for its
// properties and against a forward scan of the chosen text.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_check.h"
#include "runner/dong_loi.h"

namespace {

constexpr std::string_view unknownError = "Không rõ lỗi.";

// Lines end at a line feed unless it follows a carriage return, since the
// pair is one character; empty lines do not count.
std::string lastLine(std::string_view text) {
  std::string last;
  std::string current;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) {
      if (!current.empty()) last = current;
      current.clear();
    } else {
      current.push_back(text[i]);
    }
  }
  if (!current.empty()) last = current;
  return last.empty() ? std::string(unknownError) : last;
}

bool hasLoneLineFeed(std::string_view line) {
  for (size_t i = 0; i < line.size(); ++i) {
    if (line[i] == '\n' && (i == 0 || line[i - 1] != '\r')) return true;
  }
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view input(reinterpret_cast<const char*>(data), size);
  size_t split = input.find('\xFF');
  std::string out(input.substr(0, split));
  std::string err = split == std::string_view::npos ? "" : std::string(input.substr(split + 1));
  const std::string& chosen = err.empty() ? out : err;

  const std::string line = dongLoi(out, err);
  FUZZ_CHECK(!line.empty());
  FUZZ_CHECK(!hasLoneLineFeed(line));
  FUZZ_CHECK(line == unknownError || chosen.find(line) != std::string::npos);
  FUZZ_CHECK(line == lastLine(chosen));
  return 0;
}
