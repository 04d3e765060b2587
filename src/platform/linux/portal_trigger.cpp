#include "platform/linux/portal_trigger.h"

#include <array>
#include <string_view>
#include <utility>

#include "hotkeys/key_codes.h"

std::optional<std::string> portalTrigger(const HotkeySpec& spec) {
  static constexpr std::array<std::pair<uint32_t, std::string_view>, 4> modifiers{{
      {carbon::controlKey, "CTRL+"},
      {carbon::optionKey, "ALT+"},
      {carbon::shiftKey, "SHIFT+"},
      {carbon::cmdKey, "LOGO+"},
  }};
  for (const auto& [name, code] : keyCodes()) {
    if (code != spec.keyCode) continue;
    std::string trigger;
    for (const auto& [bit, text] : modifiers) {
      if (spec.modifiers & bit) trigger += text;
    }
    // Letters, digits and "space" are keysym names as they stand; the other
    // keys' keysyms are capitalised: Return, Escape, Tab, F1 to F12.
    std::string key = name;
    if (key.size() > 1 && key != "space") key[0] = static_cast<char>(key[0] - 'a' + 'A');
    return trigger + key;
  }
  return std::nullopt;
}
