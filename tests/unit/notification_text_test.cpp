#include "notify/notification_text.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string times(std::string_view piece, size_t n) {
  std::string out;
  for (size_t i = 0; i < n; ++i) out += piece;
  return out;
}

TEST(NotificationText, RepairsForTheBusEscapesMarkupAndCutsTheBodyAtACharacterBoundary) {
  // 64 KiB less the three bytes of the cut mark, in whole characters and entities.
  const size_t room = 64 * 1024 - 3;
  const struct {
    std::string in, title, body;
  } cases[] = {
      {"-t 0 <b>&amp;</b> C:\\tmp\\new", "-t 0 <b>&amp;</b> C:\\tmp\\new",
       "-t 0 &lt;b&gt;&amp;amp;&lt;/b&gt; C:\\tmp\\new"},
      {std::string("a\0b\xFF", 4), "a\uFFFDb\uFFFD", "a\uFFFDb\uFFFD"},
      {"ổn \xC3 \xED\xA0\x80", "ổn \uFFFD \uFFFD\uFFFD\uFFFD", "ổn \uFFFD \uFFFD\uFFFD\uFFFD"},
      {times("a", 64 * 1024), times("a", 64 * 1024), times("a", 64 * 1024)},
      {times("a", 64 * 1024 + 1), times("a", 64 * 1024 + 1), times("a", room) + "…"},
      {times("&", 20'000), times("&", 20'000), times("&amp;", room / 5) + "…"},
      {times("ổ", 30'000), times("ổ", 30'000), times("ổ", room / 3) + "…"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(busText(c.in), c.title) << c.in.substr(0, 40);
    EXPECT_EQ(notificationBody(c.in), c.body) << c.in.substr(0, 40);
  }
}

}  // namespace
