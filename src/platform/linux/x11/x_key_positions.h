#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

// A HotkeySpec names its key by the macOS virtual key code of a position on
// the ANSI keyboard. X names the same positions with XKB key names ("AC01" is
// the key right of Caps Lock, whatever letter the layout puts there), so a
// shortcut stays on its physical key across layouts and keycode sets.
std::optional<std::string_view> xkbKeyName(uint32_t macKeyCode);

// The X modifier mask for a Carbon modifier mask: Command is Mod4 (Super),
// Option is Mod1 (Alt).
uint16_t xModifiers(uint32_t carbonModifiers);
