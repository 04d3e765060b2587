#include "platform/linux/event_loop.h"

#include <poll.h>
#include <sys/eventfd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
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

void EventLoop::watch(int fd, short events, std::function<void(short revents)> onReady) {
  watches_.push_back({fd, events, std::move(onReady)});
}

void EventLoop::watch(int fd, std::function<void()> onReady) {
  watch(fd, POLLIN, [onReady = std::move(onReady)](short) { onReady(); });
}

void EventLoop::unwatch(int fd) {
  // Only marked: the handler may be the one running.
  for (auto& w : watches_) {
    if (w.fd == fd) w.fd = -1;
  }
}

void EventLoop::sleepAtMost(std::chrono::milliseconds timeout) {
  const int ms =
      static_cast<int>(std::clamp<std::chrono::milliseconds::rep>(timeout.count(), 0, INT_MAX));
  sleepTimeout_ = sleepTimeout_ < 0 ? ms : std::min(sleepTimeout_, ms);
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
    sleepTimeout_ = -1;
    for (auto& hook : beforeSleep_) hook();
    if (stopped_) break;
    std::erase_if(watches_, [](const Watch& w) { return w.fd < 0; });
    fds.clear();
    fds.push_back({wake_.get(), POLLIN, 0});
    for (const auto& w : watches_) fds.push_back({w.fd, w.events, 0});
    if (::poll(fds.data(), fds.size(), sleepTimeout_) < 0) {
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
      if (fds[i].revents != 0 && watches_[i - 1].fd >= 0) watches_[i - 1].onReady(fds[i].revents);
    }
  }
}
