#include "platform/posix/error_text.h"

#include <string.h>

namespace {

// Overloads pick the right reading of strerror_r's result at compile time.
[[maybe_unused]] const char* textOf(int status, const char* buffer) {
  return status == 0 ? buffer : nullptr;
}
[[maybe_unused]] const char* textOf(const char* result, const char*) {
  return result;
}

}  // namespace

std::string errorText(int errnum) {
  char buffer[256] = {};
  const char* text = textOf(::strerror_r(errnum, buffer, sizeof buffer), buffer);
  if (text == nullptr || *text == '\0') return "error " + std::to_string(errnum);
  return text;
}
