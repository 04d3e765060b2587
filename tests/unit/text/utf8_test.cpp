#include "text/utf8.h"

#include <gtest/gtest.h>

namespace {

TEST(Utf8, DecodesValidTextOfEveryLength) {
  EXPECT_EQ(decodeUtf8Lossy("a\u00E9\u1EA1\U0001F600"), U"a\u00E9\u1EA1\U0001F600");
  EXPECT_EQ(repairUtf8("Tiếng Việt \U0010FFFF \uFFFD"), "Tiếng Việt \U0010FFFF \uFFFD");
}

TEST(Utf8, ReplacesEachInvalidSequence) {
  struct Case {
    const char* bytes;
    const char32_t* decoded;
  };
  const Case cases[] = {
      {"\xC0\xAF", U"\uFFFD\uFFFD"},                      // overlong '/'
      {"\xE0\x80\xAF", U"\uFFFD\uFFFD\uFFFD"},            // overlong, three bytes
      {"\xED\xA0\x80", U"\uFFFD\uFFFD\uFFFD"},            // surrogate
      {"\xF4\x90\x80\x80", U"\uFFFD\uFFFD\uFFFD\uFFFD"},  // past U+10FFFF
      {"\xE1\x80x", U"\uFFFDx"},                          // truncated, then ASCII
      {"\xF0\x9F\x98", U"\uFFFD"},                        // truncated at the end
      {"\x80", U"\uFFFD"},
  };
  for (const auto& c : cases) EXPECT_EQ(decodeUtf8Lossy(c.bytes), c.decoded) << c.bytes;
  EXPECT_EQ(repairUtf8("a\xFF"
                       "b\xE1\x80"),
            "a\uFFFDb\uFFFD");
}

}  // namespace
