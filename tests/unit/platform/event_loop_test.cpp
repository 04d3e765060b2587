#include "platform/linux/event_loop.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>

#include <thread>
#include <vector>

#include "support/test_helpers.h"

namespace {

TEST(EventLoopTest, BlocksFromManyThreadsRunOnceInOrderOnTheLoopThread) {
  LoopDriver driver;
  constexpr int threads = 4;
  constexpr int perThread = 2000;
  std::vector<std::vector<int>> seen(threads);
  int total = 0;
  bool offThread = false;
  const auto loopThread = std::this_thread::get_id();
  std::vector<std::thread> submitters;
  for (int t = 0; t < threads; ++t) {
    submitters.emplace_back([&, t] {
      for (int i = 0; i < perThread; ++i) {
        driver.loop().submit([&, t, i] {
          if (std::this_thread::get_id() != loopThread) offThread = true;
          seen[t].push_back(i);
          ++total;
        });
      }
    });
  }
  EXPECT_TRUE(driver.runUntil([&] { return total == threads * perThread; }));
  for (auto& s : submitters) s.join();
  EXPECT_FALSE(offThread);
  for (const auto& numbers : seen) {
    ASSERT_EQ(numbers.size(), static_cast<size_t>(perThread));
    for (int i = 0; i < perThread; ++i) ASSERT_EQ(numbers[i], i);
  }
}

TEST(EventLoopTest, RunsAgainAfterStopAndWakesForAnotherThreadsBlock) {
  LoopDriver driver;
  EventLoop& loop = driver.loop();
  loop.submit([&] { loop.stop(); });
  loop.run();
  bool ran = false;
  std::thread submitter;
  // Submitted once the loop is running, from another thread: only the
  // wake-up can bring it in.
  loop.submit([&] { submitter = std::thread([&] { loop.submit([&] { ran = true; }); }); });
  EXPECT_TRUE(driver.runUntil([&] { return ran; }));
  submitter.join();
}

TEST(EventLoopTest, AnUnwatchedHandlerRunsNoMoreAndADeadlineEndsTheSleep) {
  LoopDriver driver;
  EventLoop& loop = driver.loop();
  int pipeFds[2];
  ASSERT_EQ(::pipe2(pipeFds, O_CLOEXEC), 0);
  UniqueFd readEnd(pipeFds[0]), writeEnd(pipeFds[1]);
  ASSERT_EQ(::write(writeEnd.get(), "x", 1), 1);  // stays unread: readable on every sleep
  int handled = 0, sleeps = 0;
  loop.watch(readEnd.get(), POLLIN, [&](short revents) {
    EXPECT_TRUE(revents & POLLIN);
    ++handled;
    loop.unwatch(readEnd.get());
  });
  // Nothing else ever becomes ready: only the deadline brings the next sleep.
  loop.beforeSleep([&] {
    ++sleeps;
    loop.sleepAtMost(std::chrono::milliseconds(0));
  });
  EXPECT_TRUE(driver.runUntil([&] { return sleeps > 5; }));
  EXPECT_EQ(handled, 1);
}

}  // namespace
