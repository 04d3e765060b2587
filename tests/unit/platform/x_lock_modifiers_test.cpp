#include "platform/linux/x11/x_lock_modifiers.h"

#include <gtest/gtest.h>

#include <map>
#include <vector>

namespace {

constexpr xcb_keysym_t numLock = 0xff7f;
constexpr xcb_keysym_t scrollLock = 0xff14;
constexpr xcb_keysym_t capsLock = 0xffe5;
constexpr xcb_keysym_t altL = 0xffe9;

LockModifiers find(const std::vector<xcb_keycode_t>& modifierMap, int perModifier,
                   const std::map<xcb_keycode_t, std::vector<xcb_keysym_t>>& keysyms) {
  return findLockModifiers(modifierMap, perModifier, [&](xcb_keycode_t keycode) {
    auto found = keysyms.find(keycode);
    return found == keysyms.end() ? std::span<const xcb_keysym_t>()
                                  : std::span<const xcb_keysym_t>(found->second);
  });
}

TEST(FindLockModifiers, ReadsWhereverTheKeymapPutsNumLockAndScrollLock) {
  const std::map<xcb_keycode_t, std::vector<xcb_keysym_t>> keysyms{
      {66, {capsLock}}, {64, {altL}}, {77, {numLock, 0, numLock}}, {78, {0, scrollLock}}};
  struct Case {
    std::vector<xcb_keycode_t> map;  // Shift, Lock, Control, Mod1..Mod5; two per row
    LockModifiers expected;
  };
  const Case cases[] = {
      // The usual PC keymap: Num Lock on Mod2, Scroll Lock on nothing.
      {{0, 0, 66, 0, 0, 0, 64, 0, 77, 0, 0, 0, 0, 0, 0, 0}, {XCB_MOD_MASK_2, 0}},
      {{0, 0, 66, 0, 0, 0, 64, 0, 0, 0, 77, 78, 0, 0, 0, 0}, {XCB_MOD_MASK_3, XCB_MOD_MASK_3}},
      {{0, 0, 0, 0, 0, 0, 64, 0, 0, 0, 0, 78, 0, 0, 0, 77}, {XCB_MOD_MASK_5, XCB_MOD_MASK_3}},
      // On Shift or Control they would make Ctrl+Shift+C fire Ctrl+C.
      {{77, 0, 0, 0, 78, 0, 64, 0, 0, 0, 0, 0, 0, 0, 0, 0}, {0, 0}},
      // Keycodes the keyboard mapping does not cover, and an empty map.
      {{0, 0, 200, 0, 0, 0, 0, 0, 201, 0, 0, 0, 0, 0, 0, 0}, {0, 0}},
      {{}, {0, 0}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(find(c.map, 2, keysyms), c.expected);
  }
  EXPECT_EQ(find({77, 66, 64}, 0, keysyms), (LockModifiers{0, 0}));
}

TEST(LockCombinations, EveryCombinationOfTheLockBitsTheShortcutDoesNotUse) {
  const uint16_t lock = XCB_MOD_MASK_LOCK, num = XCB_MOD_MASK_2, scroll = XCB_MOD_MASK_3;
  EXPECT_EQ(lockCombinations(lock | num, XCB_MOD_MASK_CONTROL),
            (std::vector<uint16_t>{0, lock, num, uint16_t(lock | num)}));
  EXPECT_EQ(lockCombinations(lock | num | scroll, 0).size(), 8u);
  // A lock bit that is also one of the shortcut's modifiers is never varied.
  EXPECT_EQ(lockCombinations(lock | num, XCB_MOD_MASK_2), (std::vector<uint16_t>{0, lock}));
  EXPECT_EQ(lockCombinations(0, 0), (std::vector<uint16_t>{0}));
}

TEST(ModifiersMatch, IgnoresLocksButtonsAndGroupButNoOtherModifier) {
  const uint16_t ctrlAlt = XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1;
  const uint16_t locks = XCB_MOD_MASK_LOCK | XCB_MOD_MASK_2;
  struct Case {
    uint16_t state;
    bool matches;
  };
  const Case cases[] = {
      {ctrlAlt, true},
      {ctrlAlt | XCB_MOD_MASK_LOCK | XCB_MOD_MASK_2, true},
      {ctrlAlt | XCB_KEY_BUT_MASK_BUTTON_1, true},
      {ctrlAlt | 0x2000, true},  // second XKB group (another layout)
      {ctrlAlt | XCB_MOD_MASK_SHIFT, false},
      {ctrlAlt | XCB_MOD_MASK_3, false},  // Mod3 is not a lock here
      {XCB_MOD_MASK_CONTROL, false},
      {XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_2, false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(modifiersMatch(c.state, ctrlAlt, locks), c.matches) << std::hex << c.state;
  }
  // With Num Lock on Mod1, an Alt shortcut still needs Mod1.
  EXPECT_FALSE(modifiersMatch(XCB_MOD_MASK_CONTROL, ctrlAlt, XCB_MOD_MASK_1));
}

}  // namespace
