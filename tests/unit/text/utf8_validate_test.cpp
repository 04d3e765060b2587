#include "text/utf8.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct Case {
  const char* name;
  std::string bytes;
  bool valid;
};

// ctest shows the case's name in place of its bytes.
void PrintTo(const Case& c, std::ostream* os) {
  *os << c.name;
}

class StrictUtf8Test : public testing::TestWithParam<Case> {};

TEST_P(StrictUtf8Test, JudgesBytes) {
  const Case& c = GetParam();
  EXPECT_EQ(isValidUtf8(c.bytes), c.valid);
  // Behind a run of ASCII long enough for the fast path, and before one, the
  // verdict must not change.
  const std::string ascii(37, 'a');
  EXPECT_EQ(isValidUtf8(ascii + c.bytes), c.valid);
  EXPECT_EQ(isValidUtf8(c.bytes + ascii), c.valid);
  EXPECT_EQ(isValidUtf8(ascii + c.bytes + ascii), c.valid);
}

using namespace std::string_literals;

INSTANTIATE_TEST_SUITE_P(
    Sequences, StrictUtf8Test,
    testing::Values(
        Case{"Empty", "", true}, Case{"Ascii", "hello\r\n\t", true}, Case{"Nul", "a\0b"s, true},
        Case{"Vietnamese", "Mục tiêu đã bị khoá", true}, Case{"U0080", "\xC2\x80", true},
        Case{"U07FF", "\xDF\xBF", true}, Case{"U0800", "\xE0\xA0\x80", true},
        Case{"UD7FF", "\xED\x9F\xBF", true}, Case{"UE000", "\xEE\x80\x80", true},
        Case{"UFFFF", "\xEF\xBF\xBF", true}, Case{"U10000", "\xF0\x90\x80\x80", true},
        Case{"U10FFFF", "\xF4\x8F\xBF\xBF", true}, Case{"LoneContinuation", "\x80", false},
        Case{"Overlong2C0", "\xC0\x80", false}, Case{"Overlong2C1", "\xC1\xBF", false},
        Case{"Overlong3", "\xE0\x9F\xBF", false}, Case{"Overlong4", "\xF0\x8F\xBF\xBF", false},
        Case{"SurrogateHigh", "\xED\xA0\x80", false}, Case{"SurrogateLow", "\xED\xBF\xBF", false},
        Case{"Above10FFFF", "\xF4\x90\x80\x80", false}, Case{"LeadF5", "\xF5\x80\x80\x80", false},
        Case{"LeadFF", "\xFF", false}, Case{"Truncated2", "\xC3", false},
        Case{"Truncated3", "\xE1\x80", false}, Case{"Truncated4", "\xF0\x9F\x9A", false},
        Case{"AsciiInsteadOfContinuation", "\xE1\x80z", false},
        Case{"LeadInsteadOfContinuation", "\xC3\xC3\xA9", false},
        Case{"ThirdByteNotContinuation", "\xF0\x9F\xC0\x80", false}));

TEST(StrictUtf8LargeTest, FindsOneBadByteAnywhereInLongText) {
  std::string text;
  while (text.size() < 4096) text += "thế giới ascii ";
  ASSERT_TRUE(isValidUtf8(text));
  for (size_t at = 0; at < 70; ++at) {
    std::string broken = text;
    broken[broken.size() - 1 - at] = '\xFF';
    EXPECT_FALSE(isValidUtf8(broken)) << "bad byte " << at << " from the end";
  }
}

}  // namespace
