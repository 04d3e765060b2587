#include "platform/linux/event_loop.h"

#include <gtest/gtest.h>

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

}  // namespace
