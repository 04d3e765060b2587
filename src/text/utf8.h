#pragma once

#include <string>
#include <string_view>

// UTF-8 as it comes from outside (command line, tool output): decoded
// strictly, with each invalid sequence read as U+FFFD, as most text systems do.
std::u32string decodeUtf8Lossy(std::string_view bytes);

// The same text with every invalid sequence replaced by U+FFFD.
std::string repairUtf8(std::string_view bytes);

void appendUtf8(std::string& out, char32_t c);

// True when bytes are well-formed UTF-8: no overlong forms, no surrogates
// (U+D800..U+DFFF), nothing above U+10FFFF, no truncated sequence.
bool isValidUtf8(std::string_view bytes);
