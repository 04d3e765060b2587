#include "text/utf8.h"

#include <cstdint>

namespace {

constexpr char32_t replacement = 0xFFFD;

struct Decoded {
  size_t length;  // at least one byte
  char32_t c;     // U+FFFD for an invalid sequence
  bool valid;
};

// Decodes one code point at the front of bytes, strictly: no overlong forms,
// no surrogates, nothing past U+10FFFF. An invalid sequence takes its longest
// valid-looking prefix (the WHATWG practice).
Decoded decodeOne(std::string_view bytes) {
  auto byte = [&](size_t i) { return static_cast<uint8_t>(bytes[i]); };
  uint8_t b0 = byte(0);
  if (b0 < 0x80) return {1, b0, true};
  char32_t c;
  size_t length;
  uint8_t low = 0x80, high = 0xBF;
  if (b0 >= 0xC2 && b0 <= 0xDF) {
    length = 2;
    c = b0 & 0x1F;
  } else if (b0 >= 0xE0 && b0 <= 0xEF) {
    length = 3;
    c = b0 & 0x0F;
    if (b0 == 0xE0) low = 0xA0;
    if (b0 == 0xED) high = 0x9F;
  } else if (b0 >= 0xF0 && b0 <= 0xF4) {
    length = 4;
    c = b0 & 0x07;
    if (b0 == 0xF0) low = 0x90;
    if (b0 == 0xF4) high = 0x8F;
  } else {
    return {1, replacement, false};
  }
  for (size_t i = 1; i < length; ++i) {
    if (i >= bytes.size() || byte(i) < low || byte(i) > high) return {i, replacement, false};
    c = (c << 6) | (byte(i) & 0x3F);
    low = 0x80;
    high = 0xBF;
  }
  return {length, c, true};
}

}  // namespace

void appendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out.push_back(static_cast<char>(c));
  } else if (c < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (c >> 6)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else if (c < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (c >> 12)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (c >> 18)));
    out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  }
}

std::u32string decodeUtf8Lossy(std::string_view bytes) {
  std::u32string out;
  out.reserve(bytes.size());
  while (!bytes.empty()) {
    Decoded d = decodeOne(bytes);
    out.push_back(d.c);
    bytes.remove_prefix(d.length);
  }
  return out;
}

std::string repairUtf8(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  while (!bytes.empty()) {
    Decoded d = decodeOne(bytes);
    if (d.valid) {
      out.append(bytes.substr(0, d.length));
    } else {
      appendUtf8(out, replacement);
    }
    bytes.remove_prefix(d.length);
  }
  return out;
}
