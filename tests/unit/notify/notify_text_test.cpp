#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "notify/notify_send.h"
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

TEST(NotifySend, PassesTitleAsTextAndBodyEscaped) {
  EXPECT_EQ(notifySendCommand("-t 0", "--urgency=critical <b>&amp;</b> C:\\tmp\\new"),
            (std::vector<std::string>{
                "/usr/bin/notify-send", "--app-name=varkel", "--", "-t 0",
                "--urgency=critical &lt;b&gt;&amp;amp;&lt;/b&gt; C:\\\\tmp\\\\new"}));
}

TEST(NotifySend, MakesTextsCarriable) {
  auto argv = notifySendCommand(std::string("a\0b\xFF", 4), "ổn \xC3");
  EXPECT_EQ(argv[3], "a\uFFFDb\uFFFD");
  EXPECT_EQ(argv[4], "ổn \uFFFD");
}

}  // namespace
