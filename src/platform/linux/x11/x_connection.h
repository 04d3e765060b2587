#pragma once

#include <xcb/xcb.h>

#include <chrono>
#include <cstdlib>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

class EventLoop;

// Frees what xcb hands out with malloc (replies, events).
struct FreeDeleter {
  void operator()(void* p) const { std::free(p); }
};
template <typename T>
using XReply = std::unique_ptr<T, FreeDeleter>;
using XEvent = std::unique_ptr<xcb_generic_event_t, FreeDeleter>;

// An event's type, without the bit that marks events another client sent.
inline uint8_t eventType(const xcb_generic_event_t& event) {
  return event.response_type & 0x7f;
}

// The agent's one connection to the X server, from $DISPLAY, with the one
// unmapped window that owns the clipboard and receives selection replies.
// Main thread only.
class XConnection {
 public:
  using EventHandler = std::function<void(const xcb_generic_event_t&)>;

  // Connects to $DISPLAY. On failure returns null and sets *error to a
  // one-line reason (without line feed).
  static std::unique_ptr<XConnection> open(std::string* error);
  ~XConnection();
  XConnection(const XConnection&) = delete;
  XConnection& operator=(const XConnection&) = delete;

  xcb_connection_t* get() const { return conn_; }
  xcb_window_t root() const { return root_; }
  xcb_window_t window() const { return window_; }

  // Interned once, then from memory.
  xcb_atom_t atom(std::string_view name);

  // A real server timestamp: the time of a zero-length property append on
  // the agent's window. Events that arrive meanwhile are kept for dispatch.
  xcb_timestamp_t serverTime();

  // The latest server time carried by an event the server itself sent this
  // client (key and button presses, property and selection notices...), or
  // CurrentTime before the first. Costs no round trip; taken from the event
  // that triggered an action, it is the time the conventions ask for.
  xcb_timestamp_t lastEventTime() const { return lastEventTime_; }

  // Every event reaches every handler, in the order the server sent them.
  void addEventHandler(EventHandler handler);

  // Puts the connection into the loop: events are dispatched from there, and
  // a lost connection ends the process with one line on standard error and
  // exit status 1.
  void attach(EventLoop& loop);

  // Waits for the first event that matches, until the deadline. Events that
  // do not match are kept and dispatched later, in order, from the loop.
  // Returns null on timeout. A lost connection ends the process as above.
  XEvent waitFor(const std::function<bool(const xcb_generic_event_t&)>& match,
                 std::chrono::steady_clock::time_point deadline);

  // Dispatches every event already received or kept, without blocking.
  void dispatchPending();

  // Ends the process if the connection is broken.
  void checkAlive();

 private:
  // Only open() can make the key, so only open() makes connections.
  struct Key {
    explicit Key() = default;
  };

 public:
  XConnection(Key, xcb_connection_t* conn, xcb_window_t root, xcb_window_t window);

 private:
  void dispatch(const xcb_generic_event_t& event);
  XEvent received(xcb_generic_event_t* event);

  xcb_connection_t* conn_;
  xcb_window_t root_;
  xcb_window_t window_;
  std::unordered_map<std::string, xcb_atom_t> atoms_;
  std::deque<XEvent> kept_;
  std::vector<EventHandler> handlers_;
  EventLoop* loop_ = nullptr;
  xcb_timestamp_t lastEventTime_ = XCB_CURRENT_TIME;
};
