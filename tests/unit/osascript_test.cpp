#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "notify/osascript.h"

namespace {

TEST(Quote, EscapesBackslashesThenQuotesOnly) {
  EXPECT_EQ(quote(""), "\"\"");
  EXPECT_EQ(quote("\\\""), "\"\\\\\\\"\"");  // six characters: " \ \ \ " "
  EXPECT_EQ(quote("a\nb\r\tc ư"), "\"a\nb\r\tc ư\"");
  EXPECT_EQ(quote("say \"hi\" \\o/"), "\"say \\\"hi\\\" \\\\o/\"");
}

TEST(Osascript, BodyComesBeforeTitle) {
  EXPECT_EQ(notificationScript("T \"1\"", ""),
            "display notification \"\" with title \"T \\\"1\\\"\"");
  EXPECT_EQ(
      osascriptCommand("Tiêu đề", "Dòng 1\nDòng 2"),
      (std::vector<std::string>{"/usr/bin/osascript", "-e",
                                "display notification \"Dòng 1\nDòng 2\" with title \"Tiêu đề\""}));
}

}  // namespace
