#pragma once

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

  // Main thread. onReady runs whenever fd is readable or has hung up.
  void watch(int fd, std::function<void()> onReady);
  // Main thread. Runs before every sleep, so that a source that buffers
  // (xcb reads several events at once) can drain what it already holds.
  void beforeSleep(std::function<void()> hook);

  // Runs until stop(); blocks and watchers run here, in order.
  void run();
  // Runs queued blocks until there are none left; returns how many ran.
  // Cheap when there are none: a source that handles many events in one go
  // calls it between them, so that blocks and events keep their order.
  int runPending();
  void stop() { stopped_ = true; }

 private:
  struct Watch {
    int fd;
    std::function<void()> onReady;
  };

  UniqueFd wake_;
  std::mutex mutex_;
  std::deque<std::function<void()>> blocks_;
  std::deque<Watch> watches_;  // a deque keeps a running handler in place when another is added
  std::vector<std::function<void()>> beforeSleep_;
  bool stopped_ = false;
};
