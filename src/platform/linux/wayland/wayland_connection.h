#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

struct wl_display;
struct wl_interface;
struct wl_proxy;
struct wl_registry;
class EventLoop;

// A global the compositor announced when the connection was made.
struct WaylandGlobal {
  uint32_t name;
  std::string interface;
  uint32_t version;
};

// The agent's connection to the Wayland compositor named by $WAYLAND_DISPLAY,
// with the globals it announced. Main thread only.
class WaylandConnection {
 public:
  using Clock = std::chrono::steady_clock;

  // Connects and learns the globals, waiting at most bound for the
  // compositor. On failure returns null and sets *error to a one-line reason.
  static std::unique_ptr<WaylandConnection> open(std::chrono::milliseconds bound,
                                                 std::string* error);
  ~WaylandConnection();
  WaylandConnection(const WaylandConnection&) = delete;
  WaylandConnection& operator=(const WaylandConnection&) = delete;

  const std::vector<WaylandGlobal>& globals() const { return globals_; }
  // Binds a global as interface at version; the caller owns the proxy.
  wl_proxy* bind(const WaylandGlobal& global, const wl_interface* interface, uint32_t version);

  // Puts the connection into the loop: events are dispatched from there,
  // requests are written before every sleep, and a lost compositor ends the
  // process with one line on standard error and exit status 1.
  void attach(EventLoop& loop);

  // Dispatches events until done() holds, at most until the deadline; false
  // when the deadline passed first.
  bool waitUntil(const std::function<bool()>& done, Clock::time_point deadline);
  // Waits until the compositor has handled every request sent so far, and
  // this client every event sent before its answer.
  bool roundtrip(Clock::time_point deadline);

 private:
  struct Key {
    explicit Key() = default;
  };

 public:
  WaylandConnection(Key, wl_display* display);

 private:
  // True when everything was written; false when the socket is full.
  bool flush();
  void dispatchPending();
  void readEvents();
  void watchSocket(bool writable);
  [[noreturn]] void lost();

  wl_display* display_;
  wl_registry* registry_ = nullptr;
  std::vector<WaylandGlobal> globals_;
  EventLoop* loop_ = nullptr;
  // Whether the socket is watched for writability too; empty before attach.
  std::optional<bool> watchedFor_;
};
