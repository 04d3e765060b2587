#include "text/utf8.h"

#include <bit>
#include <cstdint>
#include <cstring>

namespace {

constexpr uint64_t highBits = 0x8080808080808080ULL;

uint64_t load(const unsigned char* p) {
  uint64_t word;
  std::memcpy(&word, p, sizeof word);
  return word;
}

// How many bytes at the start of a word, in memory order, are ASCII, given
// the word's non-ASCII high bits (not zero).
int asciiPrefix(uint64_t high) {
  if constexpr (std::endian::native == std::endian::little) return std::countr_zero(high) / 8;
  return std::countl_zero(high) / 8;
}

}  // namespace

bool isValidUtf8(std::string_view bytes) {
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  const auto* const end = p + bytes.size();
  while (p < end) {
    // Most output is ASCII, and even Vietnamese is mostly ASCII between its
    // letters: skip it a word at a time, straight to the next lead byte.
    while (end - p >= 16) {
      const uint64_t a = load(p) & highBits;
      const uint64_t b = load(p + 8) & highBits;
      if ((a | b) == 0) {
        p += 16;
        continue;
      }
      p += a != 0 ? asciiPrefix(a) : 8 + asciiPrefix(b);
      break;
    }
    if (p == end) break;
    if (*p < 0x80) {
      ++p;
      continue;
    }
    // The allowed range of the second byte follows the table of well-formed
    // sequences; it is what rules out overlong forms, surrogates and values
    // above U+10FFFF.
    const unsigned char lead = *p;
    const auto left = end - p;
    if (lead < 0xE0) {
      if (lead < 0xC2 || left < 2 || !isUtf8Continuation(p[1])) return false;
      p += 2;
    } else if (lead < 0xF0) {
      const unsigned char low = lead == 0xE0 ? 0xA0 : 0x80;
      const unsigned char high = lead == 0xED ? 0x9F : 0xBF;
      if (left < 3 || p[1] < low || p[1] > high || !isUtf8Continuation(p[2])) return false;
      p += 3;
    } else {
      const unsigned char low = lead == 0xF0 ? 0x90 : 0x80;
      const unsigned char high = lead == 0xF4 ? 0x8F : 0xBF;
      if (lead > 0xF4 || left < 4 || p[1] < low || p[1] > high || !isUtf8Continuation(p[2]) ||
          !isUtf8Continuation(p[3])) {
        return false;
      }
      p += 4;
    }
  }
  return true;
}
