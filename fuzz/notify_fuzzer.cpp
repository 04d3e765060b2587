// Notification texts. The input's first byte gives the title's length, the
// title follows, the rest is the body. What the agent builds is read back
// the way its readers read it: the osascript line as AppleScript parses a
// string literal, the bus texts as D-Bus checks a string and the server
// reads the body's markup entities.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_check.h"
#include "notify/notification_text.h"
#include "notify/osascript.h"
#include "reference_utf8.h"

namespace {

// Reads one AppleScript string literal at the front of script, removing it.
// AppleScript knows \\, \", \n, \r and \t; any other escape, or a missing
// closing quote, makes the script fail to compile.
std::optional<std::string> readAppleScriptString(std::string_view& script) {
  if (!script.starts_with('"')) return std::nullopt;
  std::string text;
  for (size_t i = 1; i < script.size(); ++i) {
    char c = script[i];
    if (c == '"') {
      script.remove_prefix(i + 1);
      return text;
    }
    if (c != '\\') {
      text.push_back(c);
      continue;
    }
    if (++i == script.size()) return std::nullopt;
    switch (script[i]) {
      case '\\':
        text.push_back('\\');
        break;
      case '"':
        text.push_back('"');
        break;
      case 'n':
        text.push_back('\n');
        break;
      case 'r':
        text.push_back('\r');
        break;
      case 't':
        text.push_back('\t');
        break;
      default:
        return std::nullopt;
    }
  }
  return std::nullopt;
}

bool consume(std::string_view& text, std::string_view prefix) {
  if (!text.starts_with(prefix)) return false;
  text.remove_prefix(prefix.size());
  return true;
}

// Markup text as a notification server reads it: a raw "<" would open an
// element and a raw "&" must start an entity, so either is a failure here.
std::optional<std::string> readMarkupText(std::string_view text) {
  std::string out;
  while (!text.empty()) {
    if (consume(text, "&amp;")) {
      out.push_back('&');
    } else if (consume(text, "&lt;")) {
      out.push_back('<');
    } else if (consume(text, "&gt;")) {
      out.push_back('>');
    } else if (text.front() == '&' || text.front() == '<' || text.front() == '>') {
      return std::nullopt;
    } else {
      out.push_back(text.front());
      text.remove_prefix(1);
    }
  }
  return out;
}

// What D-Bus accepts as a string: valid UTF-8 without NUL.
bool isBusString(std::string_view text) {
  return text.find('\0') == std::string_view::npos && reference::isValid(text);
}

// The text repaired the reference way: each ill-formed subpart and each NUL
// as U+FFFD.
std::string referenceBusText(std::string_view text) {
  std::string out;
  for (char32_t c : reference::decodeLossy(text)) out += reference::encode(c == 0 ? 0xFFFD : c);
  return out;
}

size_t escapedSize(std::string_view text) {
  size_t size = 0;
  for (char c : text) size += c == '&' ? 5 : c == '<' || c == '>' ? 4 : 1;
  return size;
}

void checkOsascript(std::string_view title, std::string_view body) {
  const std::string quoted = quote(title);
  std::string_view rest = quoted;
  std::optional<std::string> unquoted = readAppleScriptString(rest);
  FUZZ_CHECK(unquoted && *unquoted == title && rest.empty());

  const std::string script = notificationScript(title, body);
  rest = script;
  FUZZ_CHECK(consume(rest, "display notification "));
  std::optional<std::string> readBody = readAppleScriptString(rest);
  FUZZ_CHECK(readBody && *readBody == body);
  FUZZ_CHECK(consume(rest, " with title "));
  std::optional<std::string> readTitle = readAppleScriptString(rest);
  FUZZ_CHECK(readTitle && *readTitle == title);
  FUZZ_CHECK(rest.empty());

  const std::vector<std::string> command = osascriptCommand(title, body);
  FUZZ_CHECK(command == (std::vector<std::string>{"/usr/bin/osascript", "-e", script}));
}

void checkBus(std::string_view title, std::string_view body) {
  const std::string sentTitle = busText(title);
  FUZZ_CHECK(isBusString(sentTitle));
  FUZZ_CHECK(sentTitle == referenceBusText(title));

  constexpr size_t limit = 64 * 1024;
  const std::string sentBody = notificationBody(body);
  FUZZ_CHECK(isBusString(sentBody));
  FUZZ_CHECK(sentBody.size() <= limit);
  const std::optional<std::string> shown = readMarkupText(sentBody);
  FUZZ_CHECK(shown);
  const std::string whole = referenceBusText(body);
  if (escapedSize(whole) <= limit) {
    FUZZ_CHECK(*shown == whole);
  } else {
    // Cut: a proper prefix of the text, then the mark, with no room for the
    // next character.
    FUZZ_CHECK(shown->ends_with("…"));
    const std::string kept = shown->substr(0, shown->size() - 3);
    FUZZ_CHECK(kept.size() < whole.size() && whole.starts_with(kept));
    const char32_t next = reference::decodeLossy(whole.substr(kept.size(), 4))[0];
    FUZZ_CHECK(escapedSize(kept) + escapedSize(reference::encode(next)) > limit - 3);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  std::string_view input(reinterpret_cast<const char*>(data) + 1, size - 1);
  std::string_view title = input.substr(0, std::min<size_t>(data[0], input.size()));
  std::string_view body = input.substr(title.size());
  checkOsascript(title, body);
  checkOsascript(body, title);
  checkBus(title, body);
  return 0;
}
