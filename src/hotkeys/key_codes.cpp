#include "hotkeys/key_codes.h"

namespace {

std::map<std::string, uint32_t, std::less<>> buildKeyCodes() {
  // HIToolbox's kVK_ANSI_* and kVK_* values, in HIToolbox's own order.
  return {
      {"a", 0x00},   {"s", 0x01},     {"d", 0x02},      {"f", 0x03},      {"h", 0x04},
      {"g", 0x05},   {"z", 0x06},     {"x", 0x07},      {"c", 0x08},      {"v", 0x09},
      {"b", 0x0B},   {"q", 0x0C},     {"w", 0x0D},      {"e", 0x0E},      {"r", 0x0F},
      {"y", 0x10},   {"t", 0x11},     {"1", 0x12},      {"2", 0x13},      {"3", 0x14},
      {"4", 0x15},   {"6", 0x16},     {"5", 0x17},      {"9", 0x19},      {"7", 0x1A},
      {"8", 0x1C},   {"0", 0x1D},     {"o", 0x1F},      {"u", 0x20},      {"i", 0x22},
      {"p", 0x23},   {"l", 0x25},     {"j", 0x26},      {"k", 0x28},      {"n", 0x2D},
      {"m", 0x2E},   {"space", 0x31}, {"return", 0x24}, {"escape", 0x35}, {"tab", 0x30},
      {"f1", 0x7A},  {"f2", 0x78},    {"f3", 0x63},     {"f4", 0x76},     {"f5", 0x60},
      {"f6", 0x61},  {"f7", 0x62},    {"f8", 0x64},     {"f9", 0x65},     {"f10", 0x6D},
      {"f11", 0x67}, {"f12", 0x6F},
  };
}

}  // namespace

const std::map<std::string, uint32_t, std::less<>>& keyCodes() {
  static const auto table = buildKeyCodes();
  return table;
}
