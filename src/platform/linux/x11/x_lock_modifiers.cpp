#include "platform/linux/x11/x_lock_modifiers.h"

namespace {

constexpr xcb_keysym_t numLockKeysym = 0xff7f;
constexpr xcb_keysym_t scrollLockKeysym = 0xff14;
constexpr uint16_t allModifierBits = 0xff;

}  // namespace

LockModifiers findLockModifiers(
    std::span<const xcb_keycode_t> modifierMap, int keycodesPerModifier,
    const std::function<std::span<const xcb_keysym_t>(xcb_keycode_t)>& keysymsOf) {
  LockModifiers locks;
  if (keycodesPerModifier <= 0) return locks;
  const size_t perRow = static_cast<size_t>(keycodesPerModifier);
  for (size_t i = 0; i < modifierMap.size() && i / perRow < 8; ++i) {
    const xcb_keycode_t keycode = modifierMap[i];
    if (keycode == 0) continue;
    const auto bit = static_cast<uint16_t>(1u << (i / perRow));
    for (xcb_keysym_t sym : keysymsOf(keycode)) {
      if (sym == numLockKeysym) locks.numLock |= bit;
      if (sym == scrollLockKeysym) locks.scrollLock |= bit;
    }
  }
  // Shift and Control are never lock bits, even if a keymap says so: ignoring
  // them would let Ctrl+Shift+C fire a Ctrl+C shortcut.
  const uint16_t usable = allModifierBits & ~(XCB_MOD_MASK_SHIFT | XCB_MOD_MASK_CONTROL);
  locks.numLock &= usable;
  locks.scrollLock &= usable;
  return locks;
}

std::vector<uint16_t> lockCombinations(uint16_t lockMask, uint16_t shortcutModifiers) {
  const uint16_t free = lockMask & ~shortcutModifiers & allModifierBits;
  std::vector<uint16_t> combinations;
  // Counts through the subsets of `free` in increasing order.
  uint16_t subset = 0;
  do {
    combinations.push_back(subset);
    subset = static_cast<uint16_t>((subset - free) & free);
  } while (subset != 0);
  return combinations;
}

bool modifiersMatch(uint16_t eventState, uint16_t shortcutModifiers, uint16_t lockMask) {
  const uint16_t ignored = lockMask & ~shortcutModifiers;
  return (eventState & allModifierBits & ~ignored) == shortcutModifiers;
}
