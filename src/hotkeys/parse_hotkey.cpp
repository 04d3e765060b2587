#include "hotkeys/parse_hotkey.h"

#include <string>
#include <utility>

#include "hotkeys/key_codes.h"
#include "text/utf8.h"

namespace {

constexpr std::pair<std::string_view, uint32_t> modifierWords[] = {
    {"cmd", carbon::cmdKey},       {"command", carbon::cmdKey},  {"meta", carbon::cmdKey},
    {"shift", carbon::shiftKey},   {"alt", carbon::optionKey},   {"opt", carbon::optionKey},
    {"option", carbon::optionKey}, {"ctrl", carbon::controlKey}, {"control", carbon::controlKey},
};

// Tab and Unicode's space separators (category Zs). Line ends are not blanks.
bool isBlank(char32_t c) {
  return c == U'\t' || c == U' ' || c == 0x00A0 || c == 0x1680 || (c >= 0x2000 && c <= 0x200A) ||
         c == 0x202F || c == 0x205F || c == 0x3000;
}

// Unicode's default lowercase mapping, as far as it can matter here: every
// word and key name is ASCII, and the only non-ASCII character whose
// lowercase form is ASCII is the Kelvin sign.
char32_t toLower(char32_t c) {
  if (c >= U'A' && c <= U'Z') return c - U'A' + U'a';
  if (c == 0x212A) return U'k';
  return c;
}

// A piece as ASCII text, or empty when it holds anything else (no word
// matches it then).
std::string asAscii(std::u32string_view piece) {
  std::string ascii;
  for (char32_t c : piece) {
    if (c >= 0x80) return {};
    ascii.push_back(static_cast<char>(c));
  }
  return ascii;
}

}  // namespace

std::optional<HotkeySpec> parseHotkey(std::string_view text) {
  std::u32string lowered = decodeUtf8Lossy(text);
  for (char32_t& c : lowered) c = toLower(c);

  uint32_t mask = 0;
  std::optional<uint32_t> key;
  bool anyPiece = false;
  std::u32string_view rest = lowered;
  while (!rest.empty()) {
    size_t plus = rest.find(U'+');
    std::u32string_view piece = rest.substr(0, plus);
    rest = plus == std::u32string_view::npos ? std::u32string_view{} : rest.substr(plus + 1);
    if (piece.empty()) continue;
    anyPiece = true;

    while (!piece.empty() && isBlank(piece.front())) piece.remove_prefix(1);
    while (!piece.empty() && isBlank(piece.back())) piece.remove_suffix(1);
    std::string word = asAscii(piece);

    bool isModifier = false;
    for (const auto& [name, bit] : modifierWords) {
      if (!word.empty() && word == name) {
        mask |= bit;
        isModifier = true;
      }
    }
    if (isModifier) continue;
    auto found = word.empty() ? keyCodes().end() : keyCodes().find(word);
    key = found == keyCodes().end() ? std::nullopt : std::optional(found->second);
  }
  if (!anyPiece || !key || mask == 0) return std::nullopt;
  return HotkeySpec{mask, *key};
}
