#include "runner/runner.h"

#include <sys/wait.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>

#include "support.h"

class RunnerTestPeer {
 public:
  static bool busy(const Runner& runner) { return runner.busy_; }
};

namespace {

class RunnerTest : public testing::Test {
 protected:
  std::shared_ptr<Runner> runner(const std::string& node, const std::string& cli = "") {
    return std::make_shared<Runner>(node, cli, driver.loop, clipboard, notifier);
  }
  void untilIdle(const Runner& runner) {
    driver.runUntil([&] { return !RunnerTestPeer::busy(runner); });
  }

  TempDir dir;
  LoopDriver driver;
  FakeClipboard clipboard;
  RecordingNotifier notifier;
};

TEST_F(RunnerTest, OneRunAtATimeUntilTheFetchedTextIsSetOnTheMainThread) {
  const std::string gate = dir.fifo("gate");
  auto tool = runner("/bin/sh", dir.script("tool", "cat \"${0%/*}/gate\" >/dev/null; echo text"));
  clipboard.text = "held";
  bool busyAtWrite = false;
  clipboard.onWrite = [&] { busyAtWrite = RunnerTestPeer::busy(*tool); };
  tool->pull();
  UniqueFd held = reached(gate);
  tool->push();
  tool->pull();
  held.reset();
  untilIdle(*tool);
  EXPECT_EQ(notifier.notices, std::vector(1, Notice(texts::fetchedTitle, texts::fetchedBody)));
  EXPECT_EQ(clipboard.log, (std::vector<std::string>{"read", "clear", "set"}));
  EXPECT_EQ(clipboard.text, "text\n");
  EXPECT_TRUE(busyAtWrite) << "a press could start a run before the text was set";
  EXPECT_FALSE(clipboard.offMainThread);
}

TEST_F(RunnerTest, RunsAndFailedStartsLeaveNoChildAndNoDescriptor) {
  auto tool = runner("/bin/sh", dir.script("tool", "[ \"$2\" = push ] && cat >/dev/null; exit 0"));
  auto missing = runner(dir.path("missing"));
  clipboard.text = "text";
  const auto fds = std::distance(std::filesystem::directory_iterator("/proc/self/fd"), {});
  for (int run = 0; run < 60; ++run) {
    Runner& which = run % 3 == 0 ? *missing : *tool;
    run % 2 == 0 ? which.push() : which.pull();
    untilIdle(which);
  }
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator("/proc/self/fd"), {}), fds);
  EXPECT_EQ(::waitpid(-1, nullptr, WNOHANG), -1) << "a child is left";
  const Notice failed{texts::failedTitle, std::string(texts::cannotStart) + std::strerror(ENOENT)};
  EXPECT_EQ(std::count(notifier.notices.begin(), notifier.notices.end(), failed), 20);
}

}  // namespace
