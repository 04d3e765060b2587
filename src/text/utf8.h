#pragma once

#include <string>
#include <string_view>

// UTF-8 as it comes from outside (command line, tool output): decoded
// strictly, with each invalid sequence read as U+FFFD, as most text systems do.
std::u32string decodeUtf8Lossy(std::string_view bytes);

// The same text with every invalid sequence replaced by U+FFFD.
std::string repairUtf8(std::string_view bytes);

void appendUtf8(std::string& out, char32_t c);

// True for the bytes that continue a multi-byte sequence (10xxxxxx).
constexpr bool isUtf8Continuation(unsigned char c) {
  return (c & 0xC0) == 0x80;
}

// True when bytes are well-formed UTF-8: no overlong forms, no surrogates
// (U+D800..U+DFFF), nothing above U+10FFFF, no truncated sequence.
bool isValidUtf8(std::string_view bytes);
