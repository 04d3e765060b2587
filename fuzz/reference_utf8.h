#pragma once

#include <algorithm>
#include <string>
#include <string_view>
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

// Every well-formed sequence with its value, in order: in UTF-8, byte order is code point order.
inline const std::vector<std::pair<std::string, char32_t>>& sequences() {
  static const auto all = [] {
    std::vector<std::pair<std::string, char32_t>> all;
    for (char32_t c = 0; c <= 0x10FFFF; c = c == 0xD7FF ? 0xE000 : c + 1)
      all.emplace_back(encode(c), c);
    return all;
  }();
  return all;
}

// Scalar values, with U+FFFD for each maximal ill-formed subpart: the longest start of a
// well-formed sequence, or one byte when there is none.
inline std::u32string decodeLossy(std::string_view bytes) {
  const auto& all = sequences();
  std::u32string out;
  while (!bytes.empty()) {
    size_t length = 1;
    char32_t c = 0xFFFD;
    for (size_t n = 1; n <= 4 && n <= bytes.size(); ++n) {
      // The first sequence not before the n bytes begins with them if any does.
      const std::string start(bytes.substr(0, n));
      const auto it = std::lower_bound(all.begin(), all.end(), std::pair(start, U'\0'));
      if (it == all.end() || !it->first.starts_with(start)) break;
      length = n;
      if (it->first == start) {
        c = it->second;
        break;
      }
    }
    out.push_back(c);
    bytes.remove_prefix(length);
  }
  return out;
}

inline bool isValid(std::string_view bytes) {
  std::string encoded;
  for (char32_t c : decodeLossy(bytes)) encoded += encode(c);
  return encoded == bytes;
}

}  // namespace reference
