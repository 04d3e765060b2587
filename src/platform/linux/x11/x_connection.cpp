#include "platform/linux/x11/x_connection.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>

#include "platform/linux/event_loop.h"
#include "platform/posix/fatal.h"

namespace {

constexpr std::string_view lostConnectionLine = "varkel: mất kết nối với máy chủ X";

// The property appended to for serverTime(); it never holds any data.
constexpr std::string_view timestampProperty = "VARKEL_AGENT_TIMESTAMP";

// The server answers a property change at once; this bound only keeps a
// wedged server from hanging the agent for good.
constexpr std::chrono::seconds serverTimeLimit{5};

std::string openError() {
  const char* display = std::getenv("DISPLAY");
  if (display == nullptr || *display == '\0') {
    return "varkel: không mở được màn hình X (DISPLAY chưa được đặt)";
  }
  return std::string("varkel: không mở được màn hình X (DISPLAY=") + display + ")";
}

// The server time an event carries, or CurrentTime for events without one.
// Events another client sent (SendEvent) carry whatever it wrote: not a time
// to trust.
xcb_timestamp_t eventTime(const xcb_generic_event_t& event) {
  if ((event.response_type & 0x80) != 0) return XCB_CURRENT_TIME;
  switch (eventType(event)) {
    case XCB_KEY_PRESS:
    case XCB_KEY_RELEASE:
    case XCB_BUTTON_PRESS:
    case XCB_BUTTON_RELEASE:
    case XCB_MOTION_NOTIFY:
      return reinterpret_cast<const xcb_key_press_event_t&>(event).time;
    case XCB_ENTER_NOTIFY:
    case XCB_LEAVE_NOTIFY:
      return reinterpret_cast<const xcb_enter_notify_event_t&>(event).time;
    case XCB_PROPERTY_NOTIFY:
      return reinterpret_cast<const xcb_property_notify_event_t&>(event).time;
    case XCB_SELECTION_CLEAR:
      return reinterpret_cast<const xcb_selection_clear_event_t&>(event).time;
    default:
      return XCB_CURRENT_TIME;
  }
}

}  // namespace

std::unique_ptr<XConnection> XConnection::open(std::string* error) {
  int screenNumber = 0;
  xcb_connection_t* conn = xcb_connect(nullptr, &screenNumber);
  if (xcb_connection_has_error(conn)) {
    xcb_disconnect(conn);
    if (error) *error = openError();
    return nullptr;
  }
  xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(conn));
  for (int i = 0; i < screenNumber && it.rem > 0; ++i) xcb_screen_next(&it);
  if (it.rem == 0) {
    xcb_disconnect(conn);
    if (error) *error = openError();
    return nullptr;
  }
  const xcb_window_t root = it.data->root;
  const xcb_window_t window = xcb_generate_id(conn);
  const uint32_t eventMask = XCB_EVENT_MASK_PROPERTY_CHANGE;
  // Never mapped: it only owns the clipboard and receives properties.
  xcb_create_window(conn, XCB_COPY_FROM_PARENT, window, root, 0, 0, 1, 1, 0,
                    XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, XCB_CW_EVENT_MASK,
                    &eventMask);
  auto x = std::make_unique<XConnection>(Key{}, conn, root, window);
  x->checkAlive();
  return x;
}

XConnection::XConnection(Key, xcb_connection_t* conn, xcb_window_t root, xcb_window_t window)
    : conn_(conn), root_(root), window_(window) {}

XConnection::~XConnection() {
  xcb_disconnect(conn_);
}

xcb_atom_t XConnection::atom(std::string_view name) {
  std::string key(name);
  if (auto found = atoms_.find(key); found != atoms_.end()) return found->second;
  auto cookie = xcb_intern_atom(conn_, 0, static_cast<uint16_t>(key.size()), key.data());
  XReply<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(conn_, cookie, nullptr));
  if (!reply) {
    checkAlive();
    return XCB_ATOM_NONE;
  }
  atoms_.emplace(std::move(key), reply->atom);
  return reply->atom;
}

xcb_timestamp_t XConnection::serverTime() {
  const xcb_atom_t property = atom(timestampProperty);
  xcb_change_property(conn_, XCB_PROP_MODE_APPEND, window_, property, XCB_ATOM_STRING, 8, 0,
                      nullptr);
  const xcb_window_t window = window_;
  XEvent event = waitFor(
      [window, property](const xcb_generic_event_t& e) {
        if (eventType(e) != XCB_PROPERTY_NOTIFY) return false;
        const auto& notify = reinterpret_cast<const xcb_property_notify_event_t&>(e);
        return notify.window == window && notify.atom == property;
      },
      std::chrono::steady_clock::now() + serverTimeLimit);
  if (!event) return XCB_CURRENT_TIME;
  return reinterpret_cast<const xcb_property_notify_event_t*>(event.get())->time;
}

void XConnection::addEventHandler(EventHandler handler) {
  handlers_.push_back(std::move(handler));
}

void XConnection::attach(EventLoop& loop) {
  loop_ = &loop;
  loop.watch(xcb_get_file_descriptor(conn_), [this] { dispatchPending(); });
  loop.beforeSleep([this] {
    // Handlers send requests, and xcb may read events while it writes them;
    // nothing may be left in xcb's queue when the loop goes to sleep in poll().
    for (;;) {
      dispatchPending();
      xcb_flush(conn_);
      checkAlive();
      XEvent queued = received(xcb_poll_for_queued_event(conn_));
      if (!queued) return;
      kept_.push_back(std::move(queued));
    }
  });
}

XEvent XConnection::waitFor(const std::function<bool(const xcb_generic_event_t&)>& match,
                            std::chrono::steady_clock::time_point deadline) {
  // An earlier wait may already have received and kept the event.
  for (auto it = kept_.begin(); it != kept_.end(); ++it) {
    if (match(**it)) {
      XEvent found = std::move(*it);
      kept_.erase(it);
      return found;
    }
  }
  const int fd = xcb_get_file_descriptor(conn_);
  for (;;) {
    xcb_flush(conn_);
    if (XEvent event = received(xcb_poll_for_event(conn_))) {
      if (match(*event)) return event;
      kept_.push_back(std::move(event));
      continue;
    }
    checkAlive();
    const auto left = deadline - std::chrono::steady_clock::now();
    if (left <= std::chrono::steady_clock::duration::zero()) return nullptr;
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(left).count();
    pollfd pfd{fd, POLLIN, 0};
    if (::poll(&pfd, 1, static_cast<int>(std::min<decltype(ms)>(ms, 60'000))) < 0 &&
        errno != EINTR) {
      checkAlive();
      return nullptr;
    }
  }
}

void XConnection::dispatchPending() {
  for (;;) {
    // Blocks already submitted (the end of a run, say) run before the next
    // event: a press must find the runner free once its run is over, even
    // when xcb read the press early, while it was writing requests.
    if (loop_ != nullptr) loop_->runPending();
    XEvent event;
    if (!kept_.empty()) {
      event = std::move(kept_.front());
      kept_.pop_front();
    } else {
      event = received(xcb_poll_for_event(conn_));
      if (!event) break;
    }
    dispatch(*event);
  }
  checkAlive();
}

void XConnection::checkAlive() {
  if (!xcb_connection_has_error(conn_)) return;
  exitFatally(lostConnectionLine);
}

XEvent XConnection::received(xcb_generic_event_t* event) {
  XEvent owned(event);
  if (event == nullptr) return owned;
  // Server times wrap around after about 49 days; keep the later one.
  const xcb_timestamp_t time = eventTime(*event);
  if (time != XCB_CURRENT_TIME &&
      (lastEventTime_ == XCB_CURRENT_TIME || static_cast<int32_t>(time - lastEventTime_) > 0)) {
    lastEventTime_ = time;
  }
  return owned;
}

void XConnection::dispatch(const xcb_generic_event_t& event) {
  // By index and by copy: a handler may add another handler.
  for (size_t i = 0; i < handlers_.size(); ++i) {
    EventHandler handler = handlers_[i];
    handler(event);
  }
}
