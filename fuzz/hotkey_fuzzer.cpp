// Shortcut text, against a reference that works on bytes instead of decoded characters: "+" and
// every blank begin with a byte that no multi-byte sequence can swallow, so splitting and
// trimming bytes must agree with the parser's work on characters, invalid UTF-8 included.

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "fuzz_check.h"
#include "hotkeys/key_codes.h"
#include "hotkeys/parse_hotkey.h"

namespace {

// Tab and Unicode's space separators.
constexpr std::string_view blanks[] = {"\t",     " ",      "\u00A0", "\u1680", "\u2000", "\u2001",
                                       "\u2002", "\u2003", "\u2004", "\u2005", "\u2006", "\u2007",
                                       "\u2008", "\u2009", "\u200A", "\u202F", "\u205F", "\u3000"};
constexpr std::pair<std::string_view, uint32_t> modifiers[] = {
    {"cmd", carbon::cmdKey},       {"command", carbon::cmdKey},  {"meta", carbon::cmdKey},
    {"shift", carbon::shiftKey},   {"alt", carbon::optionKey},   {"opt", carbon::optionKey},
    {"option", carbon::optionKey}, {"ctrl", carbon::controlKey}, {"control", carbon::controlKey}};

// The piece without blanks around it, in lowercase; empty when it holds a byte no word has.
// The Kelvin sign is the one non-ASCII character whose lowercase form is ASCII.
std::string word(std::string_view piece) {
  for (bool again = true; again;) {
    again = false;
    for (std::string_view blank : blanks) {
      if (piece.starts_with(blank)) piece.remove_prefix(blank.size()), again = true;
      if (piece.ends_with(blank)) piece.remove_suffix(blank.size()), again = true;
    }
  }
  std::string word;
  for (size_t i = 0; i < piece.size(); ++i) {
    if (piece.substr(i).starts_with("\u212A")) {
      word.push_back('k'), i += 2;
    } else if (uint8_t(piece[i]) >= 0x80) {
      return "";
    } else {
      word.push_back(piece[i] >= 'A' && piece[i] <= 'Z' ? piece[i] - 'A' + 'a' : piece[i]);
    }
  }
  return word;
}

std::optional<HotkeySpec> referenceParse(std::string_view text) {
  uint32_t mask = 0;
  std::optional<uint32_t> key;
  for (size_t start = 0, plus; start <= text.size(); start = plus + 1) {
    plus = std::min(text.find('+', start), text.size());
    if (plus == start) continue;
    const std::string w = word(text.substr(start, plus - start));
    const auto modifier = std::find_if(std::begin(modifiers), std::end(modifiers),
                                       [&](const auto& m) { return m.first == w; });
    if (modifier != std::end(modifiers)) {
      mask |= modifier->second;
      continue;
    }
    const auto found = keyCodes().find(w);
    key = found == keyCodes().end() ? std::nullopt : std::optional(found->second);
  }
  return key && mask != 0 ? std::optional(HotkeySpec{mask, *key}) : std::nullopt;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  FUZZ_CHECK(parseHotkey(text) == referenceParse(text));
  return 0;
}
