#include "platform/linux/event_loop.h"

#include <poll.h>
#include <sys/eventfd.h>

#include <cerrno>
#include <cstdint>

#include "platform/posix/error_text.h"
#include "platform/posix/fatal.h"

EventLoop::EventLoop() : wake_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
  if (!wake_) exitFatally("varkel: eventfd: " + errorText(errno));
}

void EventLoop::submit(std::function<void()> block) {
  // The wake-up is written under the lock: once the main thread has taken the
  // block, the submitting thread no longer touches the loop, which may then go.
  std::lock_guard lock(mutex_);
  blocks_.push_back(std::move(block));
  uint64_t one = 1;
  // An eventfd write only fails when the counter would overflow, and then a
  // wake-up is already pending.
  [[maybe_unused]] auto n = ::write(wake_.get(), &one, sizeof one);
}

void EventLoop::watch(int fd, std::function<void()> onReady) {
  watches_.push_back({fd, std::move(onReady)});
}

void EventLoop::beforeSleep(std::function<void()> hook) {
  beforeSleep_.push_back(std::move(hook));
}

int EventLoop::runPending() {
  int ran = 0;
  for (;;) {
    std::function<void()> block;
    {
      std::lock_guard lock(mutex_);
      if (blocks_.empty()) return ran;
      block = std::move(blocks_.front());
      blocks_.pop_front();
    }
    block();
    ++ran;
  }
}

void EventLoop::run() {
  stopped_ = false;
  std::vector<pollfd> fds;
  while (!stopped_) {
    for (auto& hook : beforeSleep_) hook();
    if (stopped_) break;
    fds.clear();
    fds.push_back({wake_.get(), POLLIN, 0});
    for (const auto& w : watches_) fds.push_back({w.fd, POLLIN, 0});
    if (::poll(fds.data(), fds.size(), -1) < 0) {
      if (errno == EINTR) continue;
      exitFatally("varkel: poll: " + errorText(errno));
    }
    // Blocks already queued first (the end of a run among them, so that a
    // press arriving with it finds the runner free), then the watched sources.
    if (fds[0].revents != 0) {
      uint64_t count;
      [[maybe_unused]] auto n = ::read(wake_.get(), &count, sizeof count);
      runPending();
    }
    for (size_t i = 1; i < fds.size() && !stopped_; ++i) {
      if (fds[i].revents != 0) watches_[i - 1].onReady();
    }
  }
}
