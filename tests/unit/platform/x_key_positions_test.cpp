#include "platform/linux/x11/x_key_positions.h"

#include <gtest/gtest.h>
#include <xkbcommon/xkbcommon.h>

#include <memory>
#include <string>

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

}  // namespace
