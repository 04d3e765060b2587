#include "runner/runner.h"

#include <signal.h>

#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "runner/fakes.h"
#include "support/test_helpers.h"

namespace {

struct RunRecord {
  int calls = 0;
  int32_t status = -1;
  std::string out;
  std::string err;
};

class RunnerTest : public testing::Test {
 protected:
  std::shared_ptr<Runner> makeRunner(std::string nodePath, std::string cliPath) {
    return std::make_shared<Runner>(std::move(nodePath), std::move(cliPath), driver.loop(),
                                    clipboard, notifier);
  }

  // The record is written on the worker thread and read here only once the
  // run's closing block has gone through the main queue.
  static void chay(Runner& runner, std::vector<std::string> args, std::optional<std::string> input,
                   RunRecord& record) {
    RunnerTestPeer::chay(runner, std::move(args), std::move(input),
                         [&record](int32_t status, std::string out, std::string err) {
                           ++record.calls;
                           record.status = status;
                           record.out = std::move(out);
                           record.err = std::move(err);
                         });
  }

  bool waitIdle(const Runner& runner) {
    return driver.runUntil([&runner] { return !RunnerTestPeer::busy(runner); });
  }

  TempDir dir;
  LoopDriver driver;
  FakeClipboard clipboard;
  RecordingNotifier notifier;
};

TEST_F(RunnerTest, BigInputAndBothBigOutputsInOneRun) {
  // tee writes each piece of its input to both outputs as it reads it: it
  // only finishes if input is fed while both outputs are drained.
  std::string text;
  while (text.size() < (64 << 20))
    text += "Mục tiêu đã bị khoá — xin chào 🚀 thế giới, ASCII too.\n";
  auto runner = makeRunner("/usr/bin/tee", "/dev/stderr");
  RunRecord record;
  chay(*runner, {}, text, record);
  ASSERT_TRUE(waitIdle(*runner));
  EXPECT_EQ(record.status, 0);
  EXPECT_EQ(record.out.size(), text.size());
  EXPECT_EQ(record.err.size(), text.size());
  EXPECT_TRUE(record.out == text);
  EXPECT_TRUE(record.err == text);
}

TEST_F(RunnerTest, StartFailureIsReportedAndTheNextRequestAccepted) {
  std::string plainFile = dir.write("plain", "exit 0\n");
  // "sh" is not looked up on PATH.
  const std::pair<std::string, int> cases[] = {
      {dir.path("missing"), ENOENT}, {plainFile, EACCES}, {"sh", ENOENT}};
  for (const auto& [path, error] : cases) {
    auto runner = makeRunner(path, "cli.js");
    RunRecord record;
    const Notice expected{
        "Varkel trượt chân", std::string("Không chạy được varkel: ") + std::strerror(error), {}};
    for (int attempt = 1; attempt <= 2; ++attempt) {
      chay(*runner, {"clip", "pull", "--print"}, std::nullopt, record);
      ASSERT_TRUE(waitIdle(*runner));
      EXPECT_EQ(notifier.notices().back(), expected);
    }
    EXPECT_EQ(record.calls, 0);
  }
  EXPECT_EQ(notifier.notices().size(), 6u);
}

TEST_F(RunnerTest, ChildThatNeverEndsKeepsTheRunnerBusyButNotTheMainThread) {
  std::string fifo = dir.fifo("started");
  auto runner = makeRunner("/bin/sh", dir.script("tool", "echo $$ > started; exec sleep 1000"));
  RunRecord first;
  chay(*runner, {}, std::nullopt, first);
  auto pid = readFifo(fifo);
  ASSERT_TRUE(pid.has_value()) << "the child never started";

  // The child is running: the main queue still serves other blocks.
  bool ran = false;
  driver.loop().submit([&ran] { ran = true; });
  ASSERT_TRUE(driver.runUntil([&ran] { return ran; }));
  EXPECT_TRUE(RunnerTestPeer::busy(*runner));

  // A request while busy is dropped on the spot: its completion is released
  // before chay returns, so no run can hold it.
  auto token = std::make_shared<int>(0);
  std::weak_ptr<int> watch = token;
  RunRecord second;
  RunnerTestPeer::chay(
      *runner, {}, "ignored",
      [token = std::move(token), &second](int32_t, std::string, std::string) { ++second.calls; });
  EXPECT_TRUE(watch.expired());

  ASSERT_EQ(::kill(std::stoi(*pid), SIGTERM), 0);
  ASSERT_TRUE(waitIdle(*runner));
  EXPECT_EQ(first.calls, 1);
  EXPECT_EQ(first.status, 128 + SIGTERM);
  EXPECT_EQ(second.calls, 0);
  EXPECT_TRUE(notifier.notices().empty());
}

TEST_F(RunnerTest, ThousandRunsLeaveNoZombieAndNoDescriptor) {
  auto runner = makeRunner("/bin/true", "cli.js");
  auto broken = makeRunner(dir.path("missing"), "cli.js");
  RunRecord record;
  const int fdsBefore = openFdCount();
  for (int i = 0; i < 1000; ++i) {
    Runner& which = i % 10 == 9 ? *broken : *runner;
    chay(which, {"clip"}, i % 2 == 0 ? std::optional<std::string>("text") : std::nullopt, record);
    ASSERT_TRUE(waitIdle(which));
  }
  EXPECT_EQ(record.calls, 900);
  EXPECT_EQ(notifier.notices().size(), 100u);
  EXPECT_EQ(openFdCount(), fdsBefore);
  EXPECT_EQ(childCount(), 0);
}

}  // namespace
