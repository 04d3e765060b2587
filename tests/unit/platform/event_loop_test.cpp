#include "platform/linux/event_loop.h"

#include <gtest/gtest.h>

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

}  // namespace
