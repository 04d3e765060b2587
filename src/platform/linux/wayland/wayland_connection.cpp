#include "platform/linux/wayland/wayland_connection.h"

#include <poll.h>
#include <wayland-client.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>

#include "platform/linux/event_loop.h"
#include "platform/posix/fatal.h"

namespace {

constexpr std::string_view lostLine = "varkel: mất kết nối với compositor Wayland";

void onGlobal(void* data, wl_registry*, uint32_t name, const char* interface, uint32_t version) {
  static_cast<std::vector<WaylandGlobal>*>(data)->push_back({name, interface, version});
}

void onGlobalRemove(void* data, wl_registry*, uint32_t name) {
  std::erase_if(*static_cast<std::vector<WaylandGlobal>*>(data),
                [name](const WaylandGlobal& g) { return g.name == name; });
}

constexpr wl_registry_listener registryListener = {onGlobal, onGlobalRemove};

void onSyncDone(void* data, wl_callback*, uint32_t) {
  *static_cast<bool*>(data) = true;
}

constexpr wl_callback_listener syncListener = {onSyncDone};

int millisecondsUntil(WaylandConnection::Clock::time_point deadline) {
  const auto left =
      std::chrono::ceil<std::chrono::milliseconds>(deadline - WaylandConnection::Clock::now());
  return static_cast<int>(std::max<std::chrono::milliseconds::rep>(left.count(), 0));
}

}  // namespace

std::unique_ptr<WaylandConnection> WaylandConnection::open(std::chrono::milliseconds bound,
                                                           std::string* error) {
  wl_display* display = wl_display_connect(nullptr);
  if (!display) {
    const char* name = std::getenv("WAYLAND_DISPLAY");
    *error = std::string("varkel: không kết nối được compositor Wayland (WAYLAND_DISPLAY=") +
             (name ? name : "") + ")";
    return nullptr;
  }
  auto connection = std::make_unique<WaylandConnection>(Key{}, display);
  if (!connection->roundtrip(Clock::now() + bound)) {
    *error = "varkel: compositor Wayland không trả lời";
    return nullptr;
  }
  return connection;
}

WaylandConnection::WaylandConnection(Key, wl_display* display)
    : display_(display), registry_(wl_display_get_registry(display)) {
  wl_registry_add_listener(registry_, &registryListener, &globals_);
}

WaylandConnection::~WaylandConnection() {
  if (loop_) loop_->unwatch(wl_display_get_fd(display_));
  wl_registry_destroy(registry_);
  wl_display_disconnect(display_);
}

wl_proxy* WaylandConnection::bind(const WaylandGlobal& global, const wl_interface* interface,
                                  uint32_t version) {
  return static_cast<wl_proxy*>(wl_registry_bind(registry_, global.name, interface, version));
}

void WaylandConnection::attach(EventLoop& loop) {
  loop_ = &loop;
  watchSocket(false);
  loop.beforeSleep([this] {
    // Nothing may wait in libwayland's queue, or unsent in its buffer, while
    // the loop sleeps.
    dispatchPending();
    watchSocket(!flush());
  });
}

void WaylandConnection::watchSocket(bool writable) {
  const int fd = wl_display_get_fd(display_);
  if (watchedFor_ == writable) return;
  watchedFor_ = writable;
  loop_->unwatch(fd);
  const short events = static_cast<short>(POLLIN | (writable ? POLLOUT : 0));
  // A writable socket needs nothing here: the flush before the next sleep
  // goes on with what is left.
  loop_->watch(fd, events, [this](short revents) {
    if (revents & (POLLIN | POLLHUP | POLLERR)) readEvents();
  });
}

bool WaylandConnection::waitUntil(const std::function<bool()>& done, Clock::time_point deadline) {
  const int fd = wl_display_get_fd(display_);
  for (;;) {
    dispatchPending();
    if (done()) return true;
    const bool flushed = flush();
    pollfd socket{fd, static_cast<short>(POLLIN | (flushed ? 0 : POLLOUT)), 0};
    const int ready = ::poll(&socket, 1, millisecondsUntil(deadline));
    if (ready < 0 && errno != EINTR) lost();
    if (ready == 0) return false;
    if (ready > 0 && (socket.revents & (POLLIN | POLLHUP | POLLERR))) readEvents();
  }
}

bool WaylandConnection::roundtrip(Clock::time_point deadline) {
  bool answered = false;
  wl_callback* callback = wl_display_sync(display_);
  wl_callback_add_listener(callback, &syncListener, &answered);
  const bool inTime = waitUntil([&] { return answered; }, deadline);
  wl_callback_destroy(callback);
  return inTime;
}

bool WaylandConnection::flush() {
  if (wl_display_flush(display_) >= 0) return true;
  if (errno == EAGAIN) return false;
  lost();
}

void WaylandConnection::dispatchPending() {
  if (wl_display_dispatch_pending(display_) < 0) lost();
}

// Called only when the socket is readable and the queue is empty, so the read
// neither blocks nor reorders events.
void WaylandConnection::readEvents() {
  while (wl_display_prepare_read(display_) != 0) dispatchPending();
  if (wl_display_read_events(display_) < 0) lost();
  dispatchPending();
}

void WaylandConnection::lost() {
  exitFatally(lostLine);
}
