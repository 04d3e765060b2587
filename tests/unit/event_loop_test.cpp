#include "platform/linux/event_loop.h"

#include <poll.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <vector>

#include "support.h"

namespace {

// Each submitter starts once the loop sleeps in poll: only the wake-ups bring its blocks in.
TEST(EventLoop, BlocksFromOtherThreadsRunOnceEachInOrderOnTheLoopThread) {
  LoopDriver driver;
  constexpr int threads = 4, perThread = 2000;
  std::vector<std::vector<int>> seen(threads), expected(threads);
  int total = 0;
  bool offThread = false;
  std::vector<std::thread> submitters;
  const auto loopThread = std::this_thread::get_id();
  driver.loop.submit([&] {
    for (int t = 0; t < threads; ++t) {
      submitters.emplace_back([&, t] {
        for (int i = 0; i < perThread; ++i) {
          driver.loop.submit([&, t, i] {
            offThread = offThread || std::this_thread::get_id() != loopThread;
            seen[t].push_back(i);
            ++total;
          });
        }
      });
      for (int i = 0; i < perThread; ++i) expected[t].push_back(i);
    }
  });
  driver.runUntil([&] { return total == threads * perThread; });
  for (auto& s : submitters) s.join();
  EXPECT_FALSE(offThread);
  EXPECT_EQ(seen, expected);
}

// A descriptor that stays readable would run its handler at every turn; once unwatched from
// its own handler it runs no more, and only the deadline ends each following sleep.
TEST(EventLoop, AnUnwatchedHandlerRunsNoMoreAndADeadlineEndsTheSleep) {
  LoopDriver driver;
  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  UniqueFd readEnd(fds[0]), writeEnd(fds[1]);
  ASSERT_EQ(::write(writeEnd.get(), "x", 1), 1);
  int handled = 0, sleeps = 0;
  driver.loop.watch(readEnd.get(), POLLIN, [&](short revents) {
    EXPECT_TRUE(revents & POLLIN);
    ++handled;
    driver.loop.unwatch(readEnd.get());
  });
  driver.loop.beforeSleep([&] {
    ++sleeps;
    driver.loop.sleepAtMost(std::chrono::milliseconds(0));
  });
  driver.runUntil([&] { return sleeps > 5; });
  EXPECT_EQ(handled, 1);
}

}  // namespace
