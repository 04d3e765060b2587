#include "platform/linux/x_key_positions.h"

#include <gtest/gtest.h>
#include <xcb/xproto.h>
#include <xkbcommon/xkbcommon.h>

#include <memory>
#include <string>

#include "hotkeys/hotkey_spec.h"
#include "hotkeys/key_codes.h"

namespace {

struct KeymapDeleter {
  void operator()(xkb_keymap* keymap) const { xkb_keymap_unref(keymap); }
};
struct ContextDeleter {
  void operator()(xkb_context* context) const { xkb_context_unref(context); }
};

// Every key name a shortcut can use lands on the position where the US
// layout prints that very key, and the table covers all of them.
TEST(XkbKeyName, EveryKeyNameSitsWhereTheUsLayoutHasThatKey) {
  std::unique_ptr<xkb_context, ContextDeleter> context(xkb_context_new(XKB_CONTEXT_NO_FLAGS));
  ASSERT_TRUE(context);
  const xkb_rule_names us{"evdev", "pc105", "us", "", ""};
  std::unique_ptr<xkb_keymap, KeymapDeleter> keymap(
      xkb_keymap_new_from_names(context.get(), &us, XKB_KEYMAP_COMPILE_NO_FLAGS));
  if (!keymap) GTEST_SKIP() << "the XKB data files are not installed";

  ASSERT_EQ(keyCodes().size(), 52u);
  for (const auto& [name, code] : keyCodes()) {
    SCOPED_TRACE(name);
    const auto position = xkbKeyName(code);
    ASSERT_TRUE(position);
    const xkb_keycode_t keycode =
        xkb_keymap_key_by_name(keymap.get(), std::string(*position).c_str());
    ASSERT_NE(keycode, XKB_KEYCODE_INVALID);
    const xkb_keysym_t* syms = nullptr;
    ASSERT_EQ(xkb_keymap_key_get_syms_by_level(keymap.get(), keycode, 0, 0, &syms), 1);
    EXPECT_EQ(syms[0], xkb_keysym_from_name(name.c_str(), XKB_KEYSYM_CASE_INSENSITIVE));
  }
}

TEST(XkbKeyName, CodesOfKeysAShortcutCannotNameHaveNoPosition) {
  for (uint32_t code : {0x0Au, 0x18u, 0x33u, 0x7Bu, 0x69u, 0xFFFFFFFFu}) {
    EXPECT_FALSE(xkbKeyName(code)) << code;
  }
}

TEST(XModifiers, CommandIsSuperAndOptionIsAlt) {
  EXPECT_EQ(xModifiers(controlKey | optionKey), XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1);
  EXPECT_EQ(xModifiers(cmdKey | shiftKey), XCB_MOD_MASK_4 | XCB_MOD_MASK_SHIFT);
  // Carbon bits outside the four (Caps Lock 0x0400, right-hand keys) count for nothing.
  EXPECT_EQ(xModifiers(0x0400 | 0x2000 | controlKey), XCB_MOD_MASK_CONTROL);
}

}  // namespace
