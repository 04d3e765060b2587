#include "platform/linux/event_loop.h"

#include <fcntl.h>
#include <sys/timerfd.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <thread>
#include <utility>
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

TEST_F(EventLoopTest, RunPendingRunsBlocksQueuedByBlocks) {
  std::vector<int> order;
  loop.submit([&] {
    order.push_back(1);
    loop.submit([&] { order.push_back(3); });
  });
  loop.submit([&] { order.push_back(2); });
  EXPECT_EQ(loop.runPending(), 3);
  EXPECT_EQ(order, (std::vector<int>{1, 2, 3}));
  EXPECT_EQ(loop.runPending(), 0);
}

TEST_F(EventLoopTest, WatchedDescriptorAndHookRunUntilHangUp) {
  int fds[2];
  ASSERT_EQ(::pipe2(fds, O_CLOEXEC), 0);
  UniqueFd readEnd(fds[0]), writeEnd(fds[1]);
  std::string received;
  int hooks = 0;
  loop.watch(readEnd.get(), [&] {
    char c;
    if (::read(readEnd.get(), &c, 1) == 1) {
      received += c;
    } else {
      loop.stop();
    }
  });
  loop.beforeSleep([&] { ++hooks; });
  ASSERT_EQ(::write(writeEnd.get(), "ab", 2), 2);
  writeEnd.reset();
  loop.run();
  EXPECT_FALSE(timedOut);
  EXPECT_EQ(received, "ab");
  EXPECT_GE(hooks, 1);
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
