#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include "runner/fakes.h"
#include "runner/runner.h"
#include "support/test_helpers.h"

namespace {

enum class Action { push, pull };

struct Row {
  const char* name;
  Action action;
  std::optional<std::string> clipboardBefore;
  // What the tool does: its output, error output and the shell command that ends it.
  std::string out, err, end;
  std::string title, body;
  // The clipboard afterwards, when the flow writes it.
  std::optional<std::string> written = std::nullopt;
};

const std::string failed = "Varkel trượt chân";
const std::string nothingToSend = "Chưa có gì để tung";
const std::string nothingToSendBody =
    "Clipboard rỗng (hoặc không phải chữ) — copy một đoạn rồi bấm lại.";
const std::string sent = "Varkel đã tung Sóng Âm";
const std::string sentBody = "Nội dung đã bay sang các máy khác.";
const std::string nothingFetched = "Chưa thấy mục tiêu nào";
const std::string nothingFetchedBody = "Máy kia chưa gửi gì sang.";
const std::string fetched = "Mục tiêu đã bị khoá";
const std::string fetchedBody = "Truy sát ngay nào! Ctrl+V để dán.";

// ctest shows the row's name in place of its bytes.
void PrintTo(const Row& row, std::ostream* os) {
  *os << row.name;
}

class PushPullTest : public testing::TestWithParam<Row> {
 protected:
  TempDir dir;
  LoopDriver driver;
  FakeClipboard clipboard;
  RecordingNotifier notifier;
};

TEST_P(PushPullTest, ShowsTheOutcome) {
  const Row& row = GetParam();
  const bool isPush = row.action == Action::push;
  dir.write("out", row.out);
  dir.write("err", row.err);
  std::string script = dir.script("tool", "printf '%s\\n' \"$@\" > args\n" +
                                              std::string(isPush ? "cat > received\n" : "") +
                                              "cat out; cat err >&2\n" + row.end);
  auto runner = std::make_shared<Runner>("/bin/sh", script, driver.loop(), clipboard, notifier);
  clipboard.text = row.clipboardBefore;
  bool busyAtWrite = false;
  clipboard.onWrite = [&] { busyAtWrite = RunnerTestPeer::busy(*runner); };

  isPush ? runner->push() : runner->pull();
  const bool runs = !isPush || (row.clipboardBefore && !row.clipboardBefore->empty());
  EXPECT_EQ(RunnerTestPeer::busy(*runner), runs);
  ASSERT_TRUE(driver.runUntil([&] { return !RunnerTestPeer::busy(*runner); }));

  auto notices = notifier.notices();
  ASSERT_EQ(notices.size(), 1u);
  EXPECT_EQ(notices[0].title, row.title);
  EXPECT_EQ(notices[0].body, row.body);
  EXPECT_FALSE(clipboard.calledOffMainThread);
  if (!runs) {
    EXPECT_FALSE(std::filesystem::exists(dir.path("args")));
  } else if (isPush) {
    EXPECT_EQ(dir.read("args"), "clip\npush\n--stdin\n");
    EXPECT_EQ(dir.read("received"), *row.clipboardBefore);
  } else {
    EXPECT_EQ(dir.read("args"), "clip\npull\n--print\n");
  }
  if (row.written) {
    EXPECT_EQ(clipboard.log, (std::vector<std::string>{"clear", "set"}));
    EXPECT_EQ(clipboard.text, row.written);
    EXPECT_TRUE(busyAtWrite) << "the next run could start before the clipboard was written";
    EXPECT_EQ(notices[0].thread, std::this_thread::get_id());
  } else {
    EXPECT_EQ(clipboard.log,
              isPush ? std::vector<std::string>{"read"} : std::vector<std::string>{});
    EXPECT_EQ(clipboard.text, row.clipboardBefore);
  }
}

INSTANTIATE_TEST_SUITE_P(Outcomes, PushPullTest,
                         testing::Values(Row{"PushEmptyText", Action::push, "", "", "", "exit 0",
                                             nothingToSend, nothingToSendBody},
                                         Row{"PushOutputIgnoredOnSuccess", Action::push, "chữ",
                                             "noise\n", "warning\n", "exit 0", sent, sentBody},
                                         Row{"PushFailsWithErr", Action::push, "chữ", "out\n",
                                             "dòng một\ndòng hai\n", "exit 3", failed, "dòng hai"},
                                         Row{"PullFetched", Action::pull, "old", "văn bản\n", "",
                                             "exit 0", fetched, fetchedBody, "văn bản\n"},
                                         Row{"PullNothing", Action::pull, "old", "", "progress\n",
                                             "exit 0", nothingFetched, nothingFetchedBody},
                                         Row{"PullFails", Action::pull, "old", "partial",
                                             "hết giờ\r\n", "exit 2", failed, "hết giờ\r\n"}));

}  // namespace
