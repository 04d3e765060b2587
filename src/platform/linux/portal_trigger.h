#pragma once

#include <optional>
#include <string>

#include "hotkeys/hotkey_spec.h"

// The shortcut as the global-shortcuts portal takes a preferred trigger:
// modifiers CTRL, ALT, SHIFT and LOGO, then the key's xkb keysym name, joined
// by "+" ("CTRL+ALT+c", "SHIFT+LOGO+space", "CTRL+F1"). Nothing for a key
// code outside the key table.
std::optional<std::string> portalTrigger(const HotkeySpec& spec);
