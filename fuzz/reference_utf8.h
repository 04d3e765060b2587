#pragma once

#include <string>
#include <string_view>

// A reference UTF-8 codec for the fuzzers, built another way than the
// agent's: it knows the well-formed sequences by enumerating every scalar
// value once, not by byte ranges, so a shared misreading of the byte-range
// table cannot hide.
namespace reference {

// The UTF-8 form of a scalar value, straight from the bit layout.
std::string encode(char32_t c);

// Scalar values with U+FFFD for each maximal ill-formed subpart: the longest
// prefix of a well-formed sequence, or one byte when there is none.
std::u32string decodeLossy(std::string_view bytes);

bool isValid(std::string_view bytes);

}  // namespace reference
