#pragma once

#include <xcb/xproto.h>

#include <cstdint>
#include <functional>
#include <span>
#include <vector>

// The modifier bits that Caps Lock, Num Lock and Scroll Lock set while they
// are on. A shortcut must work whatever their state, so it is grabbed once
// for each combination of them and they are ignored when a press arrives.
struct LockModifiers {
  uint16_t numLock = 0;
  uint16_t scrollLock = 0;

  uint16_t all() const { return XCB_MOD_MASK_LOCK | numLock | scrollLock; }
  friend bool operator==(const LockModifiers&, const LockModifiers&) = default;
};

// Finds the ModN bits of Num Lock and Scroll Lock from the server's modifier
// mapping (8 rows of keycodesPerModifier keycodes, 0 for an empty slot, as
// GetModifierMapping returns it) and the keysyms bound to each keycode.
LockModifiers findLockModifiers(
    std::span<const xcb_keycode_t> modifierMap, int keycodesPerModifier,
    const std::function<std::span<const xcb_keysym_t>(xcb_keycode_t)>& keysymsOf);

// Every combination of the bits of lockMask that are not part of the
// shortcut's own modifiers, starting with none.
std::vector<uint16_t> lockCombinations(uint16_t lockMask, uint16_t shortcutModifiers);

// Whether a key event's state is the shortcut's modifiers, give or take the
// lock bits; pointer buttons and the XKB group do not count.
bool modifiersMatch(uint16_t eventState, uint16_t shortcutModifiers, uint16_t lockMask);
