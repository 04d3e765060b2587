#include "reference_utf8.h"

#include <algorithm>
#include <cstdint>
#include <vector>

namespace reference {
namespace {

// A byte string of one to four bytes packed with its length.
uint64_t pack(std::string_view bytes) {
  uint64_t key = bytes.size();
  for (unsigned char b : bytes) key = key << 8 | b;
  return key;
}

struct Tables {
  std::vector<uint64_t> complete;  // every well-formed sequence
  std::vector<uint64_t> partial;   // every proper prefix of one
};

Tables buildTables() {
  Tables t;
  for (char32_t c = 0; c <= 0x10FFFF; ++c) {
    if (c >= 0xD800 && c <= 0xDFFF) continue;
    std::string bytes = encode(c);
    t.complete.push_back(pack(bytes));
    for (size_t n = 1; n < bytes.size(); ++n) t.partial.push_back(pack(bytes.substr(0, n)));
  }
  for (auto* list : {&t.complete, &t.partial}) {
    std::sort(list->begin(), list->end());
    list->erase(std::unique(list->begin(), list->end()), list->end());
  }
  return t;
}

const Tables& tables() {
  static const Tables t = buildTables();
  return t;
}

bool contains(const std::vector<uint64_t>& list, std::string_view bytes) {
  return std::binary_search(list.begin(), list.end(), pack(bytes));
}

char32_t valueOf(std::string_view bytes) {
  if (bytes.size() == 1) return static_cast<unsigned char>(bytes[0]);
  char32_t c = static_cast<unsigned char>(bytes[0]) & (0x7F >> bytes.size());
  for (size_t i = 1; i < bytes.size(); ++i)
    c = c << 6 | (static_cast<unsigned char>(bytes[i]) & 0x3F);
  return c;
}

}  // namespace

std::string encode(char32_t c) {
  if (c < 0x80) return std::string(1, static_cast<char>(c));
  // Payload bits per length: 11, 16, 21.
  size_t length = c < 0x800 ? 2 : c < 0x10000 ? 3 : 4;
  std::string out(length, '\0');
  for (size_t i = length - 1; i > 0; --i) {
    out[i] = static_cast<char>(0x80 | (c & 0x3F));
    c >>= 6;
  }
  out[0] = static_cast<char>(((0xFF00 >> length) & 0xFF) | c);
  return out;
}

std::u32string decodeLossy(std::string_view bytes) {
  const Tables& t = tables();
  std::u32string out;
  size_t i = 0;
  while (i < bytes.size()) {
    size_t taken = 0;
    for (size_t n = 1; n <= 4 && i + n <= bytes.size(); ++n) {
      if (contains(t.complete, bytes.substr(i, n))) {
        out.push_back(valueOf(bytes.substr(i, n)));
        taken = n;
        break;
      }
    }
    if (taken != 0) {
      i += taken;
      continue;
    }
    size_t subpart = 1;
    for (size_t n = 1; n <= 3 && i + n <= bytes.size(); ++n) {
      if (contains(t.partial, bytes.substr(i, n))) subpart = n;
    }
    out.push_back(0xFFFD);
    i += subpart;
  }
  return out;
}

bool isValid(std::string_view bytes) {
  const Tables& t = tables();
  size_t i = 0;
  while (i < bytes.size()) {
    size_t n = 1;
    while (n <= 4 && i + n <= bytes.size() && !contains(t.complete, bytes.substr(i, n))) ++n;
    if (n > 4 || i + n > bytes.size()) return false;
    i += n;
  }
  return true;
}

}  // namespace reference
