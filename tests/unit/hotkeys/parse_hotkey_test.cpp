#include "hotkeys/parse_hotkey.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "hotkeys/key_codes.h"

namespace {

struct Case {
  std::string text;
  std::optional<HotkeySpec> expected;
};

constexpr uint32_t ctrlAlt = carbon::controlKey | carbon::optionKey;
constexpr HotkeySpec ctrlB{carbon::controlKey, 11};
const std::optional<HotkeySpec> rejected;

template <typename... Cases>
void expectParses(const Cases&... cases) {
  for (const Case& c : {cases...}) {
    EXPECT_EQ(parseHotkey(c.text), c.expected) << "text: " << c.text;
  }
}

TEST(ParseHotkey, Worked) {
  expectParses(
      Case{"ctrl+alt+b", HotkeySpec{ctrlAlt, 11}}, Case{"ctrl+alt+c", HotkeySpec{ctrlAlt, 8}},
      Case{"Cmd + Shift + Space", HotkeySpec{carbon::cmdKey | carbon::shiftKey, 49}}, Case{"b+ctrl", ctrlB},
      Case{"meta+a", HotkeySpec{carbon::cmdKey, 0}}, Case{"ctrl+q+w", HotkeySpec{carbon::controlKey, 13}},
      Case{"ctrl+esc+b", ctrlB}, Case{"ctrl+b+esc", rejected}, Case{"ctrl++b", ctrlB},
      Case{"+ctrl+b+", ctrlB}, Case{"ctrl+ +b", ctrlB}, Case{"b", rejected}, Case{"f1", rejected},
      Case{"space", rejected}, Case{"ctrl+alt", rejected}, Case{"", rejected}, Case{"+", rejected},
      Case{"++", rejected});
}

TEST(ParseHotkey, CaseAndBlanks) {
  expectParses(Case{"CTRL+ALT+B", HotkeySpec{ctrlAlt, 11}},
               Case{"\tctrl\t+ alt +\u00A0b\u3000", HotkeySpec{ctrlAlt, 11}},
               Case{"ctrl+\u2000\u200Ab\u202F\u205F\u1680", ctrlB},
               // A line end is not a blank: the last piece is no key.
               Case{"ctrl+alt+b\n", rejected}, Case{"ctrl+alt+b\r", rejected},
               Case{"ctrl+\u200Bb", rejected},  // zero-width space is not Zs
               // The Kelvin sign lowercases to k; nothing else non-ASCII matches.
               Case{"ctrl+\u212A", HotkeySpec{carbon::controlKey, 0x28}}, Case{"ctrl+\uFF42", rejected},
               Case{"ctrl+\u0130", rejected}, Case{"ctrl+a\u0301", rejected});
}

TEST(ParseHotkey, Pieces) {
  expectParses(
      Case{"ctrl+a", HotkeySpec{carbon::controlKey, 0}},
      Case{"cmd+command+meta+shift+alt+opt+option+ctrl+control+tab", HotkeySpec{0x1B00, 48}},
      Case{"ctrl+ctrl+control+f12", HotkeySpec{carbon::controlKey, 111}}, Case{"ctrl+f13", rejected},
      Case{"ctrl+enter", rejected}, Case{"ctrl+capslock", rejected}, Case{"capslock+b", rejected},
      Case{"ctrl+b+", ctrlB},
      // An unknown word before the key is harmless, after it fatal.
      Case{"hyper+ctrl+b", ctrlB}, Case{"ctrl+b+hyper", rejected});
}

TEST(ParseHotkey, InvalidUtf8) {
  expectParses(Case{"ctrl+\xFF", rejected}, Case{"ctrl+b\xC3", rejected},
               Case{"\xE2\x80+ctrl+b", ctrlB},
               Case{"ctrl+\xC0\xE2", rejected},  // overlong "b" stays invalid
               Case{"ctrl+\xED\xA0\x80", rejected}, Case{std::string("ctrl+b\0", 7), rejected});
}

TEST(KeyCodes, HasTheFiftyTwoKeysWithTheirMacCodes) {
  const auto& table = keyCodes();
  EXPECT_EQ(table.size(), 52u);
  const std::pair<const char*, uint32_t> telling[] = {
      {"a", 0},       {"b", 11},   {"return", 36}, {"tab", 48}, {"space", 49},
      {"escape", 53}, {"f1", 122}, {"f12", 111},   {"0", 29},   {"9", 25},
      {"m", 46},      {"f5", 96},  {"f10", 109},   {"f2", 120}, {"f4", 118}};
  for (const auto& [name, code] : telling) EXPECT_EQ(table.at(name), code) << name;
}

}  // namespace
