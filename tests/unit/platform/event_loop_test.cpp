#include "platform/linux/event_loop.h"

#include <sys/timerfd.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace {

// A loop whose run() gives up after a minute, so that a lost wake-up fails
// the test instead of hanging it.
class EventLoopTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(timer_);
    itimerspec limit{};
    limit.it_value.tv_sec = 60;
    ::timerfd_settime(timer_.get(), 0, &limit, nullptr);
    loop.watch(timer_.get(), [this] {
      timedOut = true;
      loop.stop();
    });
  }

  EventLoop loop;
  bool timedOut = false;

 private:
  UniqueFd timer_{::timerfd_create(CLOCK_MONOTONIC, TFD_CLOEXEC | TFD_NONBLOCK)};
};

TEST_F(EventLoopTest, BlocksFromManyThreadsRunOnceInOrderOnTheLoopThread) {
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
        loop.submit([&, t, i] {
          if (std::this_thread::get_id() != loopThread) offThread = true;
          seen[t].push_back(i);
          if (++total == threads * perThread) loop.stop();
        });
      }
    });
  }
  loop.run();
  for (auto& s : submitters) s.join();
  EXPECT_FALSE(timedOut);
  EXPECT_FALSE(offThread);
  for (const auto& numbers : seen) {
    ASSERT_EQ(numbers.size(), static_cast<size_t>(perThread));
    for (int i = 0; i < perThread; ++i) ASSERT_EQ(numbers[i], i);
  }
}

TEST_F(EventLoopTest, RunsAgainAfterStopAndWakesForAnotherThreadsBlock) {
  loop.submit([&] { loop.stop(); });
  loop.run();
  bool ran = false;
  loop.beforeSleep([&] {
    if (ran) loop.stop();
  });
  std::thread submitter;
  // Submitted once the loop is running, from another thread: only the
  // wake-up can bring it in.
  loop.submit([&] { submitter = std::thread([&] { loop.submit([&] { ran = true; }); }); });
  loop.run();
  submitter.join();
  EXPECT_TRUE(ran);
  EXPECT_FALSE(timedOut);
}

}  // namespace
