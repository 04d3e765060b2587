// Shortcut text. Besides the invariants of an accepted shortcut, the parser is
// compared with a reference that works on the raw bytes instead of decoded
// characters: "+" and every blank start with a byte that no multi-byte
// sequence can swallow, so splitting and trimming bytes must agree with the
// parser's character-level work, invalid UTF-8 included.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "fuzz_check.h"
#include "hotkeys/key_codes.h"
#include "hotkeys/parse_hotkey.h"

namespace {

constexpr uint32_t allModifiers = 0x0100 | 0x0200 | 0x0800 | 0x1000;

// Tab and Unicode's space separators, as UTF-8.
constexpr std::array<std::string_view, 18> blanks = {
    "\t",           " ",
    "\xC2\xA0",     "\xE1\x9A\x80",
    "\xE2\x80\x80", "\xE2\x80\x81",
    "\xE2\x80\x82", "\xE2\x80\x83",
    "\xE2\x80\x84", "\xE2\x80\x85",
    "\xE2\x80\x86", "\xE2\x80\x87",
    "\xE2\x80\x88", "\xE2\x80\x89",
    "\xE2\x80\x8A", "\xE2\x80\xAF",
    "\xE2\x81\x9F", "\xE3\x80\x80",
};

constexpr std::pair<std::string_view, uint32_t> modifierWords[] = {
    {"cmd", 0x0100}, {"command", 0x0100}, {"meta", 0x0100}, {"shift", 0x0200},   {"alt", 0x0800},
    {"opt", 0x0800}, {"option", 0x0800},  {"ctrl", 0x1000}, {"control", 0x1000},
};

std::string_view trimBlanks(std::string_view piece) {
  for (bool trimmed = true; trimmed;) {
    trimmed = false;
    for (std::string_view blank : blanks) {
      if (piece.starts_with(blank)) {
        piece.remove_prefix(blank.size());
        trimmed = true;
      }
      if (piece.ends_with(blank)) {
        piece.remove_suffix(blank.size());
        trimmed = true;
      }
    }
  }
  return piece;
}

// The piece as a lowercase word, or nothing when it holds a byte that can be
// no part of one. The Kelvin sign is the one non-ASCII character that
// lowercases to an ASCII letter.
std::optional<std::string> lowercaseWord(std::string_view piece) {
  constexpr std::string_view kelvin = "\xE2\x84\xAA";
  std::string word;
  while (!piece.empty()) {
    if (piece.starts_with(kelvin)) {
      word.push_back('k');
      piece.remove_prefix(kelvin.size());
      continue;
    }
    char c = piece.front();
    if (static_cast<unsigned char>(c) >= 0x80) return std::nullopt;
    word.push_back(c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c);
    piece.remove_prefix(1);
  }
  return word;
}

std::optional<HotkeySpec> referenceParse(std::string_view text) {
  uint32_t mask = 0;
  std::optional<uint32_t> key;
  bool anyPiece = false;
  size_t start = 0;
  while (start <= text.size()) {
    size_t plus = text.find('+', start);
    if (plus == std::string_view::npos) plus = text.size();
    std::string_view piece = text.substr(start, plus - start);
    start = plus + 1;
    if (piece.empty()) continue;
    anyPiece = true;
    std::optional<std::string> word = lowercaseWord(trimBlanks(piece));
    bool isModifier = false;
    for (const auto& [name, bit] : modifierWords) {
      if (word && !word->empty() && *word == name) {
        mask |= bit;
        isModifier = true;
      }
    }
    if (isModifier) continue;
    key.reset();
    if (word && !word->empty()) {
      auto found = keyCodes().find(*word);
      if (found != keyCodes().end()) key = found->second;
    }
  }
  if (!anyPiece || !key || mask == 0) return std::nullopt;
  return HotkeySpec{mask, *key};
}

bool isKnownKeyCode(uint32_t code) {
  for (const auto& [name, value] : keyCodes()) {
    if (value == code) return true;
  }
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  const std::optional<HotkeySpec> parsed = parseHotkey(text);

  if (parsed) {
    FUZZ_CHECK(parsed->modifiers != 0);
    FUZZ_CHECK((parsed->modifiers & ~allModifiers) == 0);
    FUZZ_CHECK(isKnownKeyCode(parsed->keyCode));
  }

  std::string upper(text);
  for (char& c : upper) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  FUZZ_CHECK(parseHotkey(upper) == parsed);

  FUZZ_CHECK(referenceParse(text) == parsed);
  return 0;
}
