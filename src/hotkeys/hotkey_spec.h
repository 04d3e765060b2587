#pragma once

#include <cstdint>

// A shortcut as the system registers it: a Carbon modifier mask and a macOS
// virtual key code. Platform layers translate both to their own terms.
struct HotkeySpec {
  uint32_t modifiers;
  uint32_t keyCode;

  friend bool operator==(const HotkeySpec&, const HotkeySpec&) = default;
};

// Carbon modifier bits, the only ones a HotkeySpec ever carries. In their
// own namespace: Carbon's headers declare the same names.
namespace carbon {
inline constexpr uint32_t cmdKey = 0x0100;
inline constexpr uint32_t shiftKey = 0x0200;
inline constexpr uint32_t optionKey = 0x0800;
inline constexpr uint32_t controlKey = 0x1000;
}  // namespace carbon

// Carbon's EventHotKeyID: what a registered shortcut is known by.
struct HotkeyId {
  uint32_t signature;
  uint32_t id;
};

// 'VRKL', the signature every hot key of this agent carries.
inline constexpr uint32_t hotkeySignature = 0x56524B4C;

inline constexpr uint32_t copyHotkeyId = 1;
inline constexpr uint32_t pasteHotkeyId = 2;
