#include "platform/linux/x11/x_key_positions.h"

#include <xcb/xproto.h>

#include <array>
#include <utility>

#include "hotkeys/hotkey_spec.h"

namespace {

// Carbon's kVK_ANSI_* and kVK_* codes of the keys a shortcut can name.
constexpr std::array<std::pair<uint32_t, std::string_view>, 52> positions{{
    {0x00, "AC01"},  // A
    {0x01, "AC02"},  // S
    {0x02, "AC03"},  // D
    {0x03, "AC04"},  // F
    {0x04, "AC06"},  // H
    {0x05, "AC05"},  // G
    {0x06, "AB01"},  // Z
    {0x07, "AB02"},  // X
    {0x08, "AB03"},  // C
    {0x09, "AB04"},  // V
    {0x0B, "AB05"},  // B
    {0x0C, "AD01"},  // Q
    {0x0D, "AD02"},  // W
    {0x0E, "AD03"},  // E
    {0x0F, "AD04"},  // R
    {0x10, "AD06"},  // Y
    {0x11, "AD05"},  // T
    {0x12, "AE01"},  // 1
    {0x13, "AE02"},  // 2
    {0x14, "AE03"},  // 3
    {0x15, "AE04"},  // 4
    {0x16, "AE06"},  // 6
    {0x17, "AE05"},  // 5
    {0x19, "AE09"},  // 9
    {0x1A, "AE07"},  // 7
    {0x1C, "AE08"},  // 8
    {0x1D, "AE10"},  // 0
    {0x1F, "AD09"},  // O
    {0x20, "AD07"},  // U
    {0x22, "AD08"},  // I
    {0x23, "AD10"},  // P
    {0x24, "RTRN"},  // Return
    {0x25, "AC09"},  // L
    {0x26, "AC07"},  // J
    {0x28, "AC08"},  // K
    {0x2D, "AB06"},  // N
    {0x2E, "AB07"},  // M
    {0x30, "TAB"},   // Tab
    {0x31, "SPCE"},  // Space
    {0x35, "ESC"},   // Escape
    {0x7A, "FK01"}, {0x78, "FK02"}, {0x63, "FK03"}, {0x76, "FK04"}, {0x60, "FK05"}, {0x61, "FK06"},
    {0x62, "FK07"}, {0x64, "FK08"}, {0x65, "FK09"}, {0x6D, "FK10"}, {0x67, "FK11"}, {0x6F, "FK12"},
}};

}  // namespace

std::optional<std::string_view> xkbKeyName(uint32_t macKeyCode) {
  for (const auto& [code, name] : positions) {
    if (code == macKeyCode) return name;
  }
  return std::nullopt;
}

uint16_t xModifiers(uint32_t carbonModifiers) {
  uint16_t mask = 0;
  if (carbonModifiers & carbon::cmdKey) mask |= XCB_MOD_MASK_4;
  if (carbonModifiers & carbon::shiftKey) mask |= XCB_MOD_MASK_SHIFT;
  if (carbonModifiers & carbon::optionKey) mask |= XCB_MOD_MASK_1;
  if (carbonModifiers & carbon::controlKey) mask |= XCB_MOD_MASK_CONTROL;
  return mask;
}
