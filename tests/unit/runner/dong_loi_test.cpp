#include "runner/dong_loi.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct Case {
  const char* name;
  std::string out;
  std::string err;
  std::string line;
};

// ctest shows the case's name in place of its bytes.
void PrintTo(const Case& c, std::ostream* os) {
  *os << c.name;
}

class DongLoiTest : public testing::TestWithParam<Case> {};

TEST_P(DongLoiTest, PicksTheLineToShow) {
  const Case& c = GetParam();
  EXPECT_EQ(dongLoi(c.out, c.err), c.line);
}

const std::string none = "Không rõ lỗi.";

INSTANTIATE_TEST_SUITE_P(
    Lines, DongLoiTest,
    testing::Values(Case{"ErrLastLineWithoutItsLineFeed", "", "first\nsecond\n", "second"},
                    Case{"ErrWinsOverOut", "from out", "from err", "from err"},
                    Case{"OutWhenErrEmpty", "a\nlast of out\n\n", "", "last of out"},
                    Case{"ErrOnlyLineFeedsHidesOut", "text", "\n\n\n", none},
                    Case{"BothEmpty", "", "", none}, Case{"OutOnlyLineFeeds", "\n", "", none},
                    Case{"CrLfIsNoSeparator", "", "one\r\ntwo\r\n", "one\r\ntwo\r\n"},
                    Case{"LineFeedAfterCrLfSeparates", "", "a\r\n\nb", "b"},
                    Case{"CrLfThenLineFeedAtEnd", "", "a\r\n\n", "a\r\n"},
                    Case{"LoneCrKept", "", "x\ry\r", "x\ry\r"},
                    Case{"CrCrLf", "", "p\nq\r\r\n", "q\r\r\n"},
                    Case{"BlanksKept", "", "msg\n   \n", "   "},
                    Case{"LeadingLineFeeds", "", "\n\nonly", "only"},
                    Case{"SingleLineNoLineFeed", "", "boom", "boom"},
                    Case{"VietnameseLine", "", "Lỗi: không kết nối được\n",
                         "Lỗi: không kết nối được"},
                    Case{"LineFeedFirstByte", "", "\nz", "z"}));

TEST(DongLoiLargeTest, LongTextWithManyBlankLinesAtTheEnd) {
  std::string err(32 << 20, 'x');
  err += "\nwanted";
  err += std::string(32 << 20, '\n');
  EXPECT_EQ(dongLoi("", err), "wanted");
}

}  // namespace
