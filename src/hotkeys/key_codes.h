#pragma once

#include <cstdint>
#include <map>
#include <string>

// The key names a shortcut may use, mapped to macOS virtual key codes. These
// codes name key positions on the ANSI layout, not characters. Built on the
// first call and read-only afterwards.
const std::map<std::string, uint32_t, std::less<>>& keyCodes();
