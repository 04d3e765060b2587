#pragma once

#include <optional>
#include <string_view>

#include "hotkeys/hotkey_spec.h"

// Reads a shortcut such as "ctrl+alt+b" (UTF-8; case and surrounding blanks
// ignored). The last piece that is not a modifier word names the key; at
// least one modifier is required. Invalid UTF-8 never matches a word.
std::optional<HotkeySpec> parseHotkey(std::string_view text);
