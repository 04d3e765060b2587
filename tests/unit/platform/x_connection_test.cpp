#include "platform/linux/x11/x_connection.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "platform/linux/event_loop.h"
#include "x_test_server.h"

namespace {

using std::chrono::steady_clock;
constexpr auto eventLimit = std::chrono::seconds(10);

class XConnectionTest : public XServerTest {
 protected:
  void SetUp() override {
    XServerTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    x_->addEventHandler([this](const xcb_generic_event_t& e) {
      if (typeOf(e) == XCB_PROPERTY_NOTIFY) {
        seen_.push_back(reinterpret_cast<const xcb_property_notify_event_t&>(e).atom);
      }
    });
  }

  void touch(std::string_view property) {
    xcb_change_property(x_->get(), XCB_PROP_MODE_REPLACE, x_->window(), x_->atom(property),
                        XCB_ATOM_STRING, 8, 1, "x");
  }

  std::vector<xcb_atom_t> seen_;
};

TEST_F(XConnectionTest, EventsReceivedWhileWaitingAreDispatchedLaterInOrder) {
  auto isProperty = [this](std::string_view name) {
    return [atom = x_->atom(name)](const xcb_generic_event_t& e) {
      return typeOf(e) == XCB_PROPERTY_NOTIFY &&
             reinterpret_cast<const xcb_property_notify_event_t&>(e).atom == atom;
    };
  };
  for (const char* name : {"A", "B", "C", "D"}) touch(name);
  EXPECT_NE(x_->serverTime(), XCB_CURRENT_TIME);
  // Found among the events the wait for the time kept.
  EXPECT_TRUE(x_->waitFor(isProperty("C"), steady_clock::now() + eventLimit));
  touch("E");
  EXPECT_TRUE(x_->waitFor(isProperty("E"), steady_clock::now() + eventLimit));
  EXPECT_FALSE(x_->waitFor(isProperty("C"), steady_clock::now()));
  EXPECT_TRUE(seen_.empty());
  x_->dispatchPending();
  // The timestamp's own notification and the events waited for are consumed.
  EXPECT_EQ(seen_, (std::vector{x_->atom("A"), x_->atom("B"), x_->atom("D")}));
}

TEST_F(XConnectionTest, TheLoopDispatchesEventsKeptByAWaitInsideAHandler) {
  EventLoop loop;
  x_->attach(loop);
  const xcb_atom_t last = x_->atom("LAST");
  bool timedInHandler = false;
  x_->addEventHandler([&](const xcb_generic_event_t& e) {
    if (typeOf(e) != XCB_PROPERTY_NOTIFY) return;
    const auto atom = reinterpret_cast<const xcb_property_notify_event_t&>(e).atom;
    if (atom == x_->atom("FIRST")) {
      touch("SECOND");
      touch("LAST");
      timedInHandler = x_->serverTime() != XCB_CURRENT_TIME;
    } else if (atom == last) {
      loop.stop();
    }
  });
  touch("FIRST");
  loop.run();
  EXPECT_TRUE(timedInHandler);
  EXPECT_EQ(seen_, (std::vector{x_->atom("FIRST"), x_->atom("SECOND"), last}));
}

}  // namespace
