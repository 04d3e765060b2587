#include "runner/dong_loi.h"

#include <cstring>
#include <string_view>

namespace {

// Position of the last line feed before end that is not the second half of a
// carriage return and line feed pair, or npos.
size_t lastSeparator(std::string_view text, size_t end) {
  while (end > 0) {
    const void* found = ::memrchr(text.data(), '\n', end);
    if (found == nullptr) return std::string_view::npos;
    size_t at = static_cast<const char*>(found) - text.data();
    if (at == 0 || text[at - 1] != '\r') return at;
    end = at - 1;
  }
  return std::string_view::npos;
}

}  // namespace

std::string dongLoi(const std::string& out, const std::string& err) {
  std::string_view text = err.empty() ? out : err;
  size_t end = text.size();
  for (;;) {
    size_t separator = lastSeparator(text, end);
    size_t begin = separator == std::string_view::npos ? 0 : separator + 1;
    if (begin < end) return std::string(text.substr(begin, end - begin));
    if (separator == std::string_view::npos) return "Không rõ lỗi.";
    end = separator;
  }
}
