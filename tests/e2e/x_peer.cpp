// Other X clients for the end-to-end tests, some of them misbehaving on
// purpose. Each mode takes a selection, says "ready" on standard output and
// then acts as its name says:
//
//   silent      owns the CLIPBOARD and never answers a request;
//   incr-stall  answers with INCR, sends one chunk and then goes quiet;
//   incr-die    answers with INCR, sends one chunk and then exits;
//   manager     a clipboard manager: on SAVE_TARGETS it copies the CLIPBOARD
//               text, confirms, says "saved BYTES", takes the CLIPBOARD and
//               serves the text from then on.
//
// Build: c++ -std=c++20 x_peer.cpp $(pkg-config --cflags --libs xcb)

#include <xcb/xcb.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace {

struct FreeDeleter {
  void operator()(void* p) const { std::free(p); }
};
template <typename T>
using Owned = std::unique_ptr<T, FreeDeleter>;

uint8_t typeOf(const xcb_generic_event_t& e) {
  return e.response_type & 0x7f;
}

class Peer {
 public:
  Peer() : conn_(xcb_connect(nullptr, nullptr)) {
    if (xcb_connection_has_error(conn_)) fail("cannot open the display");
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(conn_)).data;
    window_ = xcb_generate_id(conn_);
    const uint32_t mask = XCB_EVENT_MASK_PROPERTY_CHANGE;
    xcb_create_window(conn_, XCB_COPY_FROM_PARENT, window_, screen->root, 0, 0, 1, 1, 0,
                      XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, XCB_CW_EVENT_MASK, &mask);
  }
  ~Peer() { xcb_disconnect(conn_); }
  Peer(const Peer&) = delete;
  Peer& operator=(const Peer&) = delete;

  [[noreturn]] static void fail(const char* why) {
    std::fprintf(stderr, "x_peer: %s\n", why);
    std::exit(1);
  }

  xcb_connection_t* get() const { return conn_; }
  xcb_window_t window() const { return window_; }

  xcb_atom_t atom(std::string_view name) {
    auto cookie = xcb_intern_atom(conn_, 0, static_cast<uint16_t>(name.size()), name.data());
    Owned<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(conn_, cookie, nullptr));
    if (!reply) fail("lost the display");
    return reply->atom;
  }

  void own(xcb_atom_t selection) {
    xcb_set_selection_owner(conn_, window_, selection, XCB_CURRENT_TIME);
    auto cookie = xcb_get_selection_owner(conn_, selection);
    Owned<xcb_get_selection_owner_reply_t> reply(
        xcb_get_selection_owner_reply(conn_, cookie, nullptr));
    if (!reply || reply->owner != window_) fail("could not take the selection");
  }

  // The next event that matches; exits when the display goes away.
  Owned<xcb_generic_event_t> waitFor(const std::function<bool(const xcb_generic_event_t&)>& want) {
    xcb_flush(conn_);
    for (;;) {
      Owned<xcb_generic_event_t> e(xcb_wait_for_event(conn_));
      if (!e) fail("lost the display");
      if (want(*e)) return e;
    }
  }

  Owned<xcb_generic_event_t> waitForType(uint8_t type) {
    return waitFor([type](const xcb_generic_event_t& e) { return typeOf(e) == type; });
  }

  void waitForDelete(xcb_window_t window, xcb_atom_t property) {
    waitFor([&](const xcb_generic_event_t& e) {
      if (typeOf(e) != XCB_PROPERTY_NOTIFY) return false;
      const auto& p = reinterpret_cast<const xcb_property_notify_event_t&>(e);
      return p.window == window && p.atom == property && p.state == XCB_PROPERTY_DELETE;
    });
  }

  void answer(const xcb_selection_request_event_t& request, xcb_atom_t property) {
    xcb_selection_notify_event_t n{};
    n.response_type = XCB_SELECTION_NOTIFY;
    n.time = request.time;
    n.requestor = request.requestor;
    n.selection = request.selection;
    n.target = request.target;
    n.property = property;
    char wire[32] = {};
    std::memcpy(wire, &n, sizeof n);
    xcb_send_event(conn_, 0, request.requestor, XCB_EVENT_MASK_NO_EVENT, wire);
    xcb_flush(conn_);
  }

  // Reads one of our own properties whole and deletes it.
  std::string take(xcb_atom_t property, xcb_atom_t* type) {
    auto cookie =
        xcb_get_property(conn_, 1, window_, property, XCB_GET_PROPERTY_TYPE_ANY, 0, UINT32_MAX / 4);
    Owned<xcb_get_property_reply_t> reply(xcb_get_property_reply(conn_, cookie, nullptr));
    if (!reply) fail("lost the display");
    *type = reply->type;
    return std::string(static_cast<const char*>(xcb_get_property_value(reply.get())),
                       static_cast<size_t>(xcb_get_property_value_length(reply.get())));
  }

 private:
  xcb_connection_t* conn_;
  xcb_window_t window_;
};

void sayReady() {
  std::fputs("ready\n", stdout);
  std::fflush(stdout);
}

[[noreturn]] void ignoreForever(Peer& peer) {
  for (;;) peer.waitFor([](const xcb_generic_event_t&) { return false; });
}

// Starts an INCR transfer to the first requestor and stops after one chunk.
void incrOneChunk(Peer& peer) {
  auto e = peer.waitForType(XCB_SELECTION_REQUEST);
  const auto request = reinterpret_cast<const xcb_selection_request_event_t&>(*e);
  const uint32_t mask = XCB_EVENT_MASK_PROPERTY_CHANGE;
  xcb_change_window_attributes(peer.get(), request.requestor, XCB_CW_EVENT_MASK, &mask);
  const uint32_t announced = 1 << 20;
  xcb_change_property(peer.get(), XCB_PROP_MODE_REPLACE, request.requestor, request.property,
                      peer.atom("INCR"), 32, 1, &announced);
  peer.answer(request, request.property);
  peer.waitForDelete(request.requestor, request.property);
  const std::string chunk(4096, 'a');
  xcb_change_property(peer.get(), XCB_PROP_MODE_REPLACE, request.requestor, request.property,
                      peer.atom("UTF8_STRING"), 8, static_cast<uint32_t>(chunk.size()),
                      chunk.data());
  peer.waitForDelete(request.requestor, request.property);
}

// Converts the CLIPBOARD into one of our properties, following INCR.
bool fetchClipboard(Peer& peer, xcb_timestamp_t time, std::string* text) {
  const xcb_atom_t into = peer.atom("X_PEER_SAVED");
  const xcb_atom_t incr = peer.atom("INCR");
  xcb_convert_selection(peer.get(), peer.window(), peer.atom("CLIPBOARD"), peer.atom("UTF8_STRING"),
                        into, time);
  auto e = peer.waitForType(XCB_SELECTION_NOTIFY);
  if (reinterpret_cast<const xcb_selection_notify_event_t&>(*e).property == XCB_ATOM_NONE) {
    return false;
  }
  xcb_atom_t type;
  *text = peer.take(into, &type);
  if (type != incr) return true;
  text->clear();
  for (;;) {
    peer.waitFor([&](const xcb_generic_event_t& event) {
      if (typeOf(event) != XCB_PROPERTY_NOTIFY) return false;
      const auto& p = reinterpret_cast<const xcb_property_notify_event_t&>(event);
      return p.window == peer.window() && p.atom == into && p.state == XCB_PROPERTY_NEW_VALUE;
    });
    const std::string chunk = peer.take(into, &type);
    if (chunk.empty()) return true;
    *text += chunk;
  }
}

[[noreturn]] void serveText(Peer& peer, const std::string& text) {
  const xcb_atom_t targets = peer.atom("TARGETS");
  const xcb_atom_t utf8 = peer.atom("UTF8_STRING");
  for (;;) {
    auto e = peer.waitForType(XCB_SELECTION_REQUEST);
    const auto request = reinterpret_cast<const xcb_selection_request_event_t&>(*e);
    if (request.target == targets) {
      const xcb_atom_t offered[] = {targets, utf8};
      xcb_change_property(peer.get(), XCB_PROP_MODE_REPLACE, request.requestor, request.property,
                          XCB_ATOM_ATOM, 32, 2, offered);
      peer.answer(request, request.property);
    } else if (request.target == utf8) {
      xcb_change_property(peer.get(), XCB_PROP_MODE_REPLACE, request.requestor, request.property,
                          utf8, 8, static_cast<uint32_t>(text.size()), text.data());
      peer.answer(request, request.property);
    } else {
      peer.answer(request, XCB_ATOM_NONE);
    }
  }
}

[[noreturn]] void runManager(Peer& peer) {
  const xcb_atom_t saveTargets = peer.atom("SAVE_TARGETS");
  for (;;) {
    auto e = peer.waitForType(XCB_SELECTION_REQUEST);
    const auto request = reinterpret_cast<const xcb_selection_request_event_t&>(*e);
    std::string text;
    if (request.target != saveTargets || !fetchClipboard(peer, request.time, &text)) {
      peer.answer(request, XCB_ATOM_NONE);
      continue;
    }
    peer.answer(request, request.property);
    peer.own(peer.atom("CLIPBOARD"));
    std::printf("saved %zu\n", text.size());
    std::fflush(stdout);
    serveText(peer, text);
  }
}

}  // namespace

int main(int argc, char** argv) {
  const std::string_view mode = argc == 2 ? argv[1] : "";
  Peer peer;
  if (mode == "manager") {
    peer.own(peer.atom("CLIPBOARD_MANAGER"));
    sayReady();
    runManager(peer);
  }
  if (mode != "silent" && mode != "incr-stall" && mode != "incr-die") {
    Peer::fail("usage: x_peer silent|incr-stall|incr-die|manager");
  }
  peer.own(peer.atom("CLIPBOARD"));
  sayReady();
  if (mode == "silent") ignoreForever(peer);
  incrOneChunk(peer);
  if (mode == "incr-stall") ignoreForever(peer);
  return 0;
}
