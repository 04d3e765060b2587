#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "notify/notify_send.h"
#include "notify/osascript.h"
#include "text/utf8.h"

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

TEST(NotifySend, CutsATextTooLongForOneArgumentAtACharacterBoundary) {
  // Linux refuses an argument of 128 KiB or more; notify-send would not start.
  const std::string longBody[] = {std::string(100'000, '&'), std::string(100'000, '\\'),
                                  "x" + std::string(50'000, '\xC3') + std::string(1, '\xA0'), [] {
                                    std::string s;
                                    for (int i = 0; i < 40'000; ++i) s += "ổ";
                                    return s;
                                  }()};
  for (const auto& body : longBody) {
    auto argv = notifySendCommand(body, body);
    for (const std::string& text : {argv[3], argv[4]}) {
      EXPECT_LE(text.size(), 64u * 1024);
      EXPECT_EQ(text.substr(text.size() - 3), "…");
      EXPECT_EQ(repairUtf8(text), text);
    }
    const std::string& escaped = argv[4];
    EXPECT_EQ(escaped.rfind("&amp;", 0), body[0] == '&' ? 0u : std::string::npos);
    // Whole escapes only: an even number of backslashes, no entity cut short.
    std::string kept = escaped.substr(0, escaped.size() - 3);
    EXPECT_EQ(kept.size() % (body[0] == '&' ? 5 : body[0] == '\\' ? 2 : 1), 0u);
  }
  EXPECT_EQ(notifySendCommand("t", std::string(60'000, 'a'))[4], std::string(60'000, 'a'));
}

}  // namespace
