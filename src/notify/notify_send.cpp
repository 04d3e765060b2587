#include "notify/notify_send.h"

#include <cstdint>

#include "text/utf8.h"

namespace {

// Linux takes at most 128 KiB in one argument; a longer text would keep
// notify-send from starting at all, so it is cut well below that.
constexpr size_t argumentLimit = 64 * 1024;
constexpr std::string_view cutMark = "…";

size_t escapedSize(char c) {
  switch (c) {
    case '&':
      return 5;
    case '<':
    case '>':
      return 4;
    case '\\':
      return 2;
    default:
      return 1;
  }
}

// The longest prefix of a valid UTF-8 text that ends at a character boundary
// and whose (escaped, if asked) form fits in limit bytes.
std::string_view fitting(std::string_view text, size_t limit, bool escaped) {
  size_t size = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    size += escaped ? escapedSize(text[i]) : 1;
    if (size > limit) {
      while (i > 0 && (static_cast<uint8_t>(text[i]) & 0xC0) == 0x80) --i;
      return text.substr(0, i);
    }
  }
  return text;
}

// NUL cannot travel in an argument; show it as the replacement character.
std::string argumentText(std::string_view text) {
  std::string repaired = repairUtf8(text);
  std::string out;
  out.reserve(repaired.size());
  for (char c : repaired) {
    if (c == '\0') {
      out += "\xEF\xBF\xBD";
    } else {
      out.push_back(c);
    }
  }
  return out;
}

}  // namespace

std::string escapeNotifyBody(std::string_view body) {
  std::string escaped;
  escaped.reserve(body.size());
  for (char c : body) {
    switch (c) {
      case '&':
        escaped += "&amp;";
        break;
      case '<':
        escaped += "&lt;";
        break;
      case '>':
        escaped += "&gt;";
        break;
      case '\\':
        escaped += "\\\\";
        break;
      default:
        escaped.push_back(c);
    }
  }
  return escaped;
}

namespace {

std::string argument(std::string_view text, bool escaped) {
  std::string whole = argumentText(text);
  std::string_view kept = fitting(whole, argumentLimit - cutMark.size(), escaped);
  std::string result = escaped ? escapeNotifyBody(kept) : std::string(kept);
  if (kept.size() < whole.size()) result += cutMark;
  return result;
}

}  // namespace

std::vector<std::string> notifySendCommand(std::string_view title, std::string_view body) {
  return {"/usr/bin/notify-send", "--app-name=varkel", "--", argument(title, false),
          argument(body, true)};
}
