// Notification texts. The input's first byte gives the title's length, the title follows, the
// rest is the body. What the agent builds is read back as its readers read it: the osascript
// line as AppleScript reads string literals; the notify-send body as notify-send unescapes it
// (GLib's g_strcompress) and a notification server then reads markup.

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "fuzz_check.h"
#include "notify/notify_send.h"
#include "notify/osascript.h"
#include "reference_utf8.h"

namespace {

// Takes the string literal at the front of script. AppleScript knows the escapes \\, \", \n,
// \r and \t; any other, or a missing closing quote, fails to compile.
std::optional<std::string> takeLiteral(std::string_view& script) {
  if (!script.starts_with('"')) return std::nullopt;
  std::string text;
  for (size_t i = 1; i < script.size(); ++i) {
    char c = script[i];
    if (c == '"') {
      script.remove_prefix(i + 1);
      return text;
    }
    if (c == '\\') {
      const size_t escape = ++i < script.size() ? std::string_view("\\\"nrt").find(script[i])
                                                : std::string_view::npos;
      if (escape == std::string_view::npos) return std::nullopt;
      c = "\\\"\n\r\t"[escape];
    }
    text.push_back(c);
  }
  return std::nullopt;
}

// What a server shows of the body notify-send was given, where only a doubled backslash and
// the three entities stand for themselves; nothing when the body is no such text.
std::optional<std::string> shownBody(std::string_view sent) {
  constexpr std::pair<std::string_view, char> escapes[] = {
      {"\\\\", '\\'}, {"&amp;", '&'}, {"&lt;", '<'}, {"&gt;", '>'}};
  std::string shown;
  while (!sent.empty()) {
    const auto escape = std::find_if(std::begin(escapes), std::end(escapes),
                                     [&](const auto& e) { return sent.starts_with(e.first); });
    if (escape == std::end(escapes) && std::string_view("\\&<>").find(sent[0]) != sent.npos) {
      return std::nullopt;
    }
    shown.push_back(escape == std::end(escapes) ? sent[0] : escape->second);
    sent.remove_prefix(escape == std::end(escapes) ? 1 : escape->first.size());
  }
  return shown;
}

bool plain(std::string_view text) {
  return text.find('\0') == std::string_view::npos && reference::isValid(text);
}

void checkOsascript(std::string_view title, std::string_view body) {
  const std::string script = notificationScript(title, body);
  std::string_view rest = script;
  const auto word = [&rest](std::string_view w) {
    return rest.starts_with(w) ? (rest.remove_prefix(w.size()), true) : false;
  };
  FUZZ_CHECK(word("display notification ") && takeLiteral(rest) == body && word(" with title ") &&
             takeLiteral(rest) == title && rest.empty());
  FUZZ_CHECK(osascriptCommand(title, body) ==
             (std::vector<std::string>{"/usr/bin/osascript", "-e", script}));
}

void checkNotifySend(std::string_view title, std::string_view body) {
  FUZZ_CHECK(shownBody(escapeNotifyBody(body)) == body);
  const std::vector<std::string> command = notifySendCommand(title, body);
  const auto dashes = std::find(command.begin(), command.end(), "--");
  FUZZ_CHECK(command.front() == "/usr/bin/notify-send" && command.end() - dashes == 3);
  FUZZ_CHECK(std::all_of(command.begin() + 1, dashes, [](auto& o) { return o.starts_with("--"); }));
  FUZZ_CHECK(plain(dashes[1]) && plain(dashes[2]));
  FUZZ_CHECK(!plain(title) || dashes[1] == title);
  FUZZ_CHECK(!plain(body) || shownBody(dashes[2]) == body);
  // One argument holds at most 128 KiB: a longer text is cut at a character boundary, to whole
  // escapes, and ends in "…". Long texts are slow: a quarter of the inputs, by size, try one.
  if (body.empty() || !plain(body) || body.size() % 4 != 0) return;
  std::string text;
  while (text.size() <= 64 * 1024) text += body;
  const std::vector<std::string> cut = notifySendCommand(text, text);
  for (const bool isBody : {false, true}) {
    const std::string& sent = cut.end()[isBody ? -1 : -2];
    FUZZ_CHECK(sent.size() <= 64 * 1024 && sent.size() > 64 * 1024 - 12 && sent.ends_with("…"));
    const std::string kept = sent.substr(0, sent.size() - 3);
    const auto shown = isBody ? shownBody(kept) : std::optional(kept);
    FUZZ_CHECK(shown && text.starts_with(*shown) && (text[shown->size()] & 0xC0) != 0x80);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const std::string_view input(reinterpret_cast<const char*>(data) + 1, size - 1);
  const std::string_view title = input.substr(0, data[0]), body = input.substr(title.size());
  checkOsascript(title, body);
  checkNotifySend(title, body);
  return 0;
}
