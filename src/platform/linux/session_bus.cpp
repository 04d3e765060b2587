#include "platform/linux/session_bus.h"

#include <time.h>

#include <chrono>
#include <cstdint>

namespace {

// How long until an absolute CLOCK_MONOTONIC deadline in microseconds, the
// clock sd-bus keeps its deadlines in.
std::chrono::milliseconds untilDeadline(uint64_t deadlineUsec) {
  timespec now{};
  ::clock_gettime(CLOCK_MONOTONIC, &now);
  const uint64_t nowUsec =
      static_cast<uint64_t>(now.tv_sec) * 1'000'000 + static_cast<uint64_t>(now.tv_nsec) / 1000;
  if (deadlineUsec <= nowUsec) return std::chrono::milliseconds(0);
  return std::chrono::ceil<std::chrono::milliseconds>(
      std::chrono::microseconds(deadlineUsec - nowUsec));
}

}  // namespace

SessionBus::SessionBus(EventLoop& loop) : loop_(loop), self_(std::make_shared<SessionBus*>(this)) {
  loop_.beforeSleep([self = std::weak_ptr<SessionBus*>(self_)] {
    if (auto bus = self.lock()) (*bus)->prepareSleep();
  });
}

SessionBus::~SessionBus() {
  drop();
}

sd_bus* SessionBus::get() {
  if (bus_ && sd_bus_is_open(bus_.get()) > 0) return bus_.get();
  drop();
  // Never waits: the socket is non-blocking, and authentication and Hello
  // go on in process() as the bus answers.
  sd_bus* opened = nullptr;
  if (sd_bus_open_user(&opened) < 0) return nullptr;
  bus_.reset(opened);
  fd_ = sd_bus_get_fd(opened);
  for (auto& hook : hooks_) hook(opened);
  return opened;
}

void SessionBus::onNewConnection(std::function<void(sd_bus*)> hook) {
  hooks_.push_back(std::move(hook));
}

void SessionBus::process() {
  int r;
  while ((r = sd_bus_process(bus_.get(), nullptr)) > 0) {
  }
  // Gone (hung up, reset, or timed out before it was ready): the next use
  // connects again.
  if (r < 0 || sd_bus_is_open(bus_.get()) <= 0) drop();
}

void SessionBus::prepareSleep() {
  if (bus_) process();
  if (!bus_) return;
  const int wanted = sd_bus_get_events(bus_.get());
  if (wanted < 0) {
    drop();
    return;
  }
  if (static_cast<short>(wanted) != events_) {
    loop_.unwatch(fd_);
    events_ = static_cast<short>(wanted);
    loop_.watch(fd_, events_, [this](short) {
      if (bus_) process();
    });
  }
  uint64_t deadline = UINT64_MAX;
  if (sd_bus_get_timeout(bus_.get(), &deadline) >= 0 && deadline != UINT64_MAX) {
    loop_.sleepAtMost(untilDeadline(deadline));
  }
}

void SessionBus::drop() {
  if (!bus_) return;
  loop_.unwatch(fd_);
  fd_ = -1;
  events_ = 0;
  bus_.reset();
}
