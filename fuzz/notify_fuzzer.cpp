// Notification texts. The input's first byte gives the title's length, the
// title follows, the rest is the body. What the agent builds is read back
// the way its readers read it: the osascript line as AppleScript parses a
// string literal, the notify-send body as notify-send unescapes it
// (g_strcompress) and the server then reads markup entities.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_check.h"
#include "notify/notify_send.h"
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

// GLib's g_strcompress, which notify-send applies to the body.
std::string strcompress(std::string_view text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\') {
      out.push_back(text[i]);
      continue;
    }
    if (++i == text.size()) break;
    char c = text[i];
    if (c >= '0' && c <= '7') {
      int value = 0;
      size_t digits = 0;
      while (digits < 3 && i < text.size() && text[i] >= '0' && text[i] <= '7') {
        value = value * 8 + (text[i] - '0');
        ++i;
        ++digits;
      }
      --i;
      out.push_back(static_cast<char>(value));
      continue;
    }
    switch (c) {
      case 'b':
        out.push_back('\b');
        break;
      case 'f':
        out.push_back('\f');
        break;
      case 'n':
        out.push_back('\n');
        break;
      case 'r':
        out.push_back('\r');
        break;
      case 't':
        out.push_back('\t');
        break;
      case 'v':
        out.push_back('\v');
        break;
      default:
        out.push_back(c);
    }
  }
  return out;
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

bool isPlainArgument(std::string_view text) {
  return text.find('\0') == std::string_view::npos && reference::isValid(text);
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

void checkNotifySend(std::string_view title, std::string_view body) {
  const std::string escaped = escapeNotifyBody(body);
  std::optional<std::string> shown = readMarkupText(strcompress(escaped));
  FUZZ_CHECK(shown && *shown == body);

  const std::vector<std::string> command = notifySendCommand(title, body);
  auto dashes = std::find(command.begin(), command.end(), "--");
  FUZZ_CHECK(dashes != command.end());
  FUZZ_CHECK(command.front() == "/usr/bin/notify-send");
  FUZZ_CHECK(command.end() - dashes == 3);
  for (auto option = command.begin() + 1; option != dashes; ++option) {
    FUZZ_CHECK(option->starts_with("--"));
  }
  const std::string& sentTitle = dashes[1];
  const std::string& sentBody = dashes[2];
  FUZZ_CHECK(isPlainArgument(sentTitle));
  FUZZ_CHECK(isPlainArgument(sentBody));
  // A text that an argument can carry arrives unchanged.
  if (isPlainArgument(title)) FUZZ_CHECK(sentTitle == title);
  if (isPlainArgument(body)) {
    std::optional<std::string> shownBody = readMarkupText(strcompress(sentBody));
    FUZZ_CHECK(shownBody && *shownBody == body);
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
  checkNotifySend(title, body);
  return 0;
}
