#include "platform/linux/x11/x_key_positions.h"

#include <gtest/gtest.h>
#include <xkbcommon/xkbcommon.h>

#include <memory>
#include <string>

#include "hotkeys/key_codes.h"

namespace {

// Every key name lands on the position where the US layout prints that very key, and the two
// tables cover the same 52 keys.
TEST(XkbKeyName, EveryKeyNameSitsWhereTheUsLayoutHasThatKey) {
  std::unique_ptr<xkb_context, decltype(&xkb_context_unref)> context(
      xkb_context_new(XKB_CONTEXT_NO_FLAGS), xkb_context_unref);
  const xkb_rule_names us{"evdev", "pc105", "us", "", ""};
  std::unique_ptr<xkb_keymap, decltype(&xkb_keymap_unref)> keymap(
      xkb_keymap_new_from_names(context.get(), &us, XKB_KEYMAP_COMPILE_NO_FLAGS), xkb_keymap_unref);
  ASSERT_TRUE(keymap) << "the XKB data files are not installed";
  ASSERT_EQ(keyCodes().size(), 52u);
  for (const auto& [name, code] : keyCodes()) {
    const auto position = xkbKeyName(code);
    ASSERT_TRUE(position) << name;
    const xkb_keycode_t keycode =
        xkb_keymap_key_by_name(keymap.get(), std::string(*position).c_str());
    const xkb_keysym_t* syms = nullptr;
    ASSERT_EQ(xkb_keymap_key_get_syms_by_level(keymap.get(), keycode, 0, 0, &syms), 1) << name;
    EXPECT_EQ(syms[0], xkb_keysym_from_name(name.c_str(), XKB_KEYSYM_CASE_INSENSITIVE)) << name;
  }
}

}  // namespace
