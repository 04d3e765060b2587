#pragma once

#include <chrono>
#include <deque>
#include <functional>
#include <mutex>
#include <vector>

#include "platform/main_queue.h"
#include "platform/posix/unique_fd.h"

// The agent's main loop: one thread sleeping in poll() on the descriptors it
// watches and on an eventfd that wakes it for submitted blocks. No timer: an
// idle agent never wakes up.
class EventLoop final : public MainQueue {
 public:
  EventLoop();

  // Any thread.
  void submit(std::function<void()> block) override;

  // Main thread. onReady runs with poll's revents whenever fd has one of the
  // events, has failed or has hung up.
  void watch(int fd, short events, std::function<void(short revents)> onReady);
  // Main thread. onReady runs whenever fd is readable or has hung up.
  void watch(int fd, std::function<void()> onReady);
  // Main thread, also from a handler: fd's handlers run no more.
  void unwatch(int fd);
  // Main thread. Runs before every sleep, so that a source that buffers
  // (xcb reads several events at once) can drain what it already holds.
  void beforeSleep(std::function<void()> hook);
  // Main thread, from a beforeSleep hook: the coming sleep lasts at most
  // timeout, for a source with a deadline of its own. Sleeps are otherwise
  // unbounded.
  void sleepAtMost(std::chrono::milliseconds timeout);

  // Runs until stop(); blocks and watchers run here, in order.
  void run();
  // Runs queued blocks until there are none left; returns how many ran.
  // Cheap when there are none: a source that handles many events in one go
  // calls it between them, so that blocks and events keep their order.
  int runPending();
  void stop() { stopped_ = true; }

 private:
  struct Watch {
    int fd;  // -1 once unwatched; dropped before the next sleep
    short events;
    std::function<void(short)> onReady;
  };

  UniqueFd wake_;
  std::mutex mutex_;
  std::deque<std::function<void()>> blocks_;
  std::deque<Watch> watches_;  // a deque keeps a running handler in place when another is added
  std::vector<std::function<void()>> beforeSleep_;
  int sleepTimeout_ = -1;
  bool stopped_ = false;
};
