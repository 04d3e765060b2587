#include "runner/utf8.h"

#include <cstdint>
#include <cstring>

namespace {

constexpr uint64_t highBits = 0x8080808080808080ULL;

bool isContinuation(unsigned char c) {
  return (c & 0xC0) == 0x80;
}

}  // namespace

bool isValidUtf8(std::string_view bytes) {
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  const auto* const end = p + bytes.size();
  while (p < end) {
    // Most output is ASCII: skip it sixteen bytes at a time.
    while (end - p >= 16) {
      uint64_t a;
      uint64_t b;
      std::memcpy(&a, p, 8);
      std::memcpy(&b, p + 8, 8);
      if (((a | b) & highBits) != 0) break;
      p += 16;
    }
    if (p == end) break;
    const unsigned char lead = *p;
    if (lead < 0x80) {
      ++p;
      continue;
    }
    // The allowed range of the second byte follows the table of well-formed
    // sequences; it is what rules out overlong forms, surrogates and values
    // above U+10FFFF.
    int length;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (lead < 0xC2) {
      return false;
    } else if (lead < 0xE0) {
      length = 2;
    } else if (lead < 0xF0) {
      length = 3;
      if (lead == 0xE0) low = 0xA0;
      if (lead == 0xED) high = 0x9F;
    } else if (lead < 0xF5) {
      length = 4;
      if (lead == 0xF0) low = 0x90;
      if (lead == 0xF4) high = 0x8F;
    } else {
      return false;
    }
    if (end - p < length) return false;
    if (p[1] < low || p[1] > high) return false;
    for (int i = 2; i < length; ++i) {
      if (!isContinuation(p[i])) return false;
    }
    p += length;
  }
  return true;
}
