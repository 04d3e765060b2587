#include "notify/notification_text.h"

#include <cstdint>

#include "text/utf8.h"

namespace {

// Generous for any message, and it keeps one notification's memory bounded
// however long the line a tool prints.
constexpr size_t bodyLimit = 64 * 1024;
constexpr std::string_view cutMark = "…";

std::string_view entity(char c) {
  switch (c) {
    case '&':
      return "&amp;";
    case '<':
      return "&lt;";
    case '>':
      return "&gt;";
    default:
      return {};
  }
}

}  // namespace

std::string busText(std::string_view text) {
  const std::string repaired = repairUtf8(text);
  std::string out;
  out.reserve(repaired.size());
  for (char c : repaired) {
    if (c == '\0') {
      out += "\uFFFD";
    } else {
      out.push_back(c);
    }
  }
  return out;
}

std::string notificationBody(std::string_view body) {
  const std::string text = busText(body);
  std::string out;
  // The longest prefix so far, ending at a character boundary, that leaves
  // room for the cut mark.
  size_t keep = 0;
  for (size_t i = 0; i < text.size();) {
    size_t end = i + 1;
    while (end < text.size() && (static_cast<uint8_t>(text[end]) & 0xC0) == 0x80) ++end;
    const std::string_view escaped = entity(text[i]);
    out += escaped.empty() ? std::string_view(text).substr(i, end - i) : escaped;
    if (out.size() > bodyLimit) {
      out.resize(keep);
      out += cutMark;
      return out;
    }
    if (out.size() <= bodyLimit - cutMark.size()) keep = out.size();
    i = end;
  }
  return out;
}
