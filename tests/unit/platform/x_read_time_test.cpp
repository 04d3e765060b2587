#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "platform/linux/x11/x_clipboard.h"
#include "platform/linux/x11/x_selection_data.h"
#include "x_test_server.h"

namespace {

using std::chrono::steady_clock;

class XReadTimeTest : public XServerTest {
 protected:
  // Changes a property of the agent's window and waits for the notice.
  xcb_timestamp_t touch() {
    const xcb_atom_t atom = x_->atom("TOUCHED");
    xcb_change_property(x_->get(), XCB_PROP_MODE_REPLACE, x_->window(), atom, XCB_ATOM_STRING, 8, 1,
                        "x");
    XEvent e = x_->waitFor(
        [atom](const xcb_generic_event_t& e) {
          return typeOf(e) == XCB_PROPERTY_NOTIFY &&
                 reinterpret_cast<const xcb_property_notify_event_t&>(e).atom == atom;
        },
        steady_clock::now() + std::chrono::seconds(10));
    return e ? reinterpret_cast<const xcb_property_notify_event_t&>(*e).time : XCB_CURRENT_TIME;
  }
};

TEST_F(XReadTimeTest, TakesTheTimeOfServerEventsOnlyNeverOfSentOnes) {
  EXPECT_EQ(x_->lastEventTime(), XCB_CURRENT_TIME);
  const xcb_timestamp_t time = touch();
  ASSERT_NE(time, XCB_CURRENT_TIME);
  EXPECT_EQ(x_->lastEventTime(), time);

  // Another client may send any time at all; a time from the future would
  // make every later request look stale to owners.
  auto peer = connect();
  xcb_property_notify_event_t forged{};
  forged.response_type = XCB_PROPERTY_NOTIFY;
  forged.window = x_->window();
  forged.atom = x_->atom("FORGED");
  forged.time = time + 1'000'000;
  char wire[32] = {};
  std::memcpy(wire, &forged, sizeof forged);
  xcb_send_event(peer->get(), 0, x_->window(), XCB_EVENT_MASK_NO_EVENT, wire);
  xcb_flush(peer->get());
  EXPECT_TRUE(
      x_->waitFor([](const xcb_generic_event_t& e) { return (e.response_type & 0x80) != 0; },
                  steady_clock::now() + std::chrono::seconds(10)));
  EXPECT_EQ(x_->lastEventTime(), time);
}

TEST_F(XReadTimeTest, EachReadAsksWithATimeOfItsOwn) {
  XClipboard clipboard(*x_);
  auto peer = connect();
  const xcb_atom_t clipboardAtom = peer->atom("CLIPBOARD");
  xcb_set_selection_owner(peer->get(), peer->window(), clipboardAtom, XCB_CURRENT_TIME);
  sync(*peer);

  constexpr int reads = 3;
  std::vector<xcb_timestamp_t> asked;
  std::thread owner([&] {
    const std::string text = "Mục tiêu đã bị khoá";
    while (asked.size() < reads) {
      XEvent e = nextEvent(*peer, XCB_SELECTION_REQUEST);
      if (!e) return;
      const auto& request = reinterpret_cast<const xcb_selection_request_event_t&>(*e);
      asked.push_back(request.time);
      xcb_change_property(peer->get(), XCB_PROP_MODE_REPLACE, request.requestor, request.property,
                          request.target, 8, static_cast<uint32_t>(text.size()), text.data());
      xcb_selection_notify_event_t notify{};
      notify.response_type = XCB_SELECTION_NOTIFY;
      notify.time = request.time;
      notify.requestor = request.requestor;
      notify.selection = request.selection;
      notify.target = request.target;
      notify.property = request.property;
      char wire[32] = {};
      std::memcpy(wire, &notify, sizeof notify);
      xcb_send_event(peer->get(), 0, request.requestor, XCB_EVENT_MASK_NO_EVENT, wire);
      xcb_flush(peer->get());
    }
  });
  // The first read goes out with the time of the event that came before it;
  // the next ones, with no event in between, must not reuse it, or a late
  // answer to one read would pass for the answer to the next.
  const xcb_timestamp_t triggered = touch();
  for (int i = 0; i < reads; ++i) EXPECT_EQ(clipboard.readText(), "Mục tiêu đã bị khoá");
  owner.join();
  ASSERT_EQ(asked.size(), size_t{reads});
  EXPECT_EQ(asked[0], triggered);
  for (int i = 1; i < reads; ++i) EXPECT_TRUE(timeBefore(asked[i - 1], asked[i])) << i;
}

}  // namespace
