#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>
#include <tuple>
#include <utility>
#include <vector>

// A reference UTF-8 codec for the fuzz targets, built another way than the agent's: it knows the
// well-formed sequences by enumerating every scalar value, not by byte ranges, so that a shared
// misreading of the table of byte ranges cannot hide.
namespace reference {

inline std::string encode(char32_t c) {
  if (c < 0x80) return std::string(1, static_cast<char>(c));
  const size_t length = c < 0x800 ? 2 : c < 0x10000 ? 3 : 4;
  std::string out(length, '\0');
  for (size_t i = length - 1; i > 0; --i, c >>= 6) out[i] = static_cast<char>(0x80 | (c & 0x3F));
  out[0] = static_cast<char>(((0xFF00 >> length) & 0xFF) | c);
  return out;
}

// The bytes of a sequence, left-aligned: in UTF-8, byte order is code point order.
inline uint32_t key(std::string_view bytes) {
  uint32_t key = 0;
  for (size_t i = 0; i < 4; ++i) key = key << 8 | (i < bytes.size() ? uint8_t(bytes[i]) : 0);
  return key;
}

// Every well-formed sequence, in order, with its length and value.
inline const std::vector<std::pair<uint32_t, std::pair<size_t, char32_t>>>& sequences() {
  static const auto all = [] {
    std::vector<std::pair<uint32_t, std::pair<size_t, char32_t>>> all;
    for (char32_t c = 0; c <= 0x10FFFF; c = c == 0xD7FF ? 0xE000 : c + 1) {
      all.push_back({key(encode(c)), {encode(c).size(), c}});
    }
    return all;
  }();
  return all;
}

// The first sequence not before bytes: its length and value, and how many of its first bytes
// bytes begins with.
inline std::pair<std::pair<size_t, char32_t>, size_t> firstFrom(std::string_view bytes) {
  const auto& all = sequences();
  const auto it = std::lower_bound(all.begin(), all.end(), std::pair(key(bytes.substr(0, 4)),
                                                                     std::pair(size_t{0}, U'\0')));
  if (it == all.end()) return {{0, 0}, 0};
  size_t common = 0;
  while (common < it->second.first && common < bytes.size() &&
         uint8_t(bytes[common]) == (it->first >> (24 - 8 * common) & 0xFF)) {
    ++common;
  }
  return {it->second, common};
}

// Scalar values, with U+FFFD for each maximal ill-formed subpart: the longest start of a
// well-formed sequence, or one byte when there is none.
inline std::u32string decodeLossy(std::string_view bytes) {
  std::u32string out;
  while (!bytes.empty()) {
    size_t length = 1;
    char32_t c = 0xFFFD;
    for (size_t n = 1; n <= 4 && n <= bytes.size(); ++n) {
      const auto [sequence, common] = firstFrom(bytes.substr(0, n));
      if (common < n) break;
      if (sequence.first == n) std::tie(length, c) = sequence;
      if (sequence.first > n) length = n;
      if (sequence.first <= n) break;
    }
    out.push_back(c);
    bytes.remove_prefix(length);
  }
  return out;
}

inline bool isValid(std::string_view bytes) {
  const std::u32string decoded = decodeLossy(bytes);
  std::string encoded;
  for (char32_t c : decoded) encoded += encode(c);
  return encoded == bytes;
}

}  // namespace reference
