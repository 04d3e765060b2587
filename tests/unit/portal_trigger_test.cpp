#include "platform/linux/portal_trigger.h"

#include <gtest/gtest.h>
#include <xkbcommon/xkbcommon.h>

#include "hotkeys/key_codes.h"
#include "hotkeys/parse_hotkey.h"

namespace {

TEST(PortalTrigger, WritesModifiersAndTheKeysymName) {
  const struct {
    const char* shortcut;
    const char* trigger;
  } cases[] = {
      {"ctrl+alt+c", "CTRL+ALT+c"},
      {"Cmd + Shift + Space", "SHIFT+LOGO+space"},
      {"meta+option+control+shift+tab", "CTRL+ALT+SHIFT+LOGO+Tab"},
      {"alt+return", "ALT+Return"},
      {"ctrl+escape", "CTRL+Escape"},
      {"shift+f12", "SHIFT+F12"},
      {"ctrl+0", "CTRL+0"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.shortcut);
    const auto spec = parseHotkey(c.shortcut);
    ASSERT_TRUE(spec);
    EXPECT_EQ(portalTrigger(*spec), c.trigger);
  }
  EXPECT_EQ(portalTrigger({carbon::controlKey, 10}), std::nullopt);

  // Every key's name must be an exact keysym name: the portal does not fold case.
  for (const auto& [name, code] : keyCodes()) {
    const auto trigger = portalTrigger({carbon::controlKey, code});
    ASSERT_TRUE(trigger) << name;
    const std::string key = trigger->substr(trigger->find('+') + 1);
    EXPECT_EQ(xkb_keysym_from_name(key.c_str(), XKB_KEYSYM_NO_FLAGS),
              xkb_keysym_from_name(name.c_str(), XKB_KEYSYM_CASE_INSENSITIVE))
        << name;
  }
}

}  // namespace
