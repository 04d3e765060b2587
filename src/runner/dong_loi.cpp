#include "runner/dong_loi.h"

#include <string_view>

std::string dongLoi(const std::string& out, const std::string& err) {
  std::string_view text = err.empty() ? out : err;
  // One pass from the end: the first non-empty line found is the answer.
  size_t end = text.size();
  for (size_t at = end; at > 0;) {
    --at;
    if (text[at] != '\n' || (at > 0 && text[at - 1] == '\r')) continue;
    if (at + 1 < end) return std::string(text.substr(at + 1, end - at - 1));
    end = at;
  }
  if (end > 0) return std::string(text.substr(0, end));
  return "Không rõ lỗi.";
}
