#include "platform/linux/x_connection.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/linux/event_loop.h"
#include "x_test_server.h"

namespace {

using std::chrono::steady_clock;
constexpr auto eventLimit = std::chrono::seconds(10);

uint8_t typeOf(const xcb_generic_event_t& e) {
  return e.response_type & 0x7f;
}

class XConnectionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string whyNot;
    server_ = XTestServer::start(&whyNot);
    if (!server_) GTEST_SKIP() << whyNot;
    std::string error;
    x_ = XConnection::open(&error);
    ASSERT_TRUE(x_) << error;
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

  std::unique_ptr<XTestServer> server_;
  std::unique_ptr<XConnection> x_;
  std::vector<xcb_atom_t> seen_;
};

TEST_F(XConnectionTest, EventsReceivedWhileWaitingForServerTimeAreDispatchedLaterInOrder) {
  touch("FIRST");
  touch("SECOND");
  const xcb_timestamp_t t1 = x_->serverTime();
  touch("THIRD");
  const xcb_timestamp_t t2 = x_->serverTime();
  EXPECT_NE(t1, XCB_CURRENT_TIME);
  EXPECT_LE(t1, t2);
  EXPECT_TRUE(seen_.empty());
  x_->dispatchPending();
  // The timestamp's own notifications are consumed, not dispatched.
  EXPECT_EQ(seen_, (std::vector{x_->atom("FIRST"), x_->atom("SECOND"), x_->atom("THIRD")}));
}

TEST_F(XConnectionTest, WaitForFindsAnEventAnEarlierWaitKept) {
  const xcb_atom_t first = x_->atom("FIRST");
  const xcb_atom_t second = x_->atom("SECOND");
  EXPECT_EQ(first, x_->atom("FIRST"));
  touch("FIRST");
  touch("SECOND");
  auto isProperty = [](xcb_atom_t atom) {
    return [atom](const xcb_generic_event_t& e) {
      return typeOf(e) == XCB_PROPERTY_NOTIFY &&
             reinterpret_cast<const xcb_property_notify_event_t&>(e).atom == atom;
    };
  };
  EXPECT_TRUE(x_->waitFor(isProperty(second), steady_clock::now() + eventLimit));
  EXPECT_TRUE(x_->waitFor(isProperty(first), steady_clock::now() + eventLimit));
  EXPECT_FALSE(x_->waitFor(isProperty(first), steady_clock::now()));
  x_->dispatchPending();
  EXPECT_TRUE(seen_.empty());
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

TEST_F(XConnectionTest, ALostServerEndsTheProcessWithOneLine) {
  EXPECT_EXIT(
      {
        server_->kill();
        x_->waitFor([](const xcb_generic_event_t&) { return false; },
                    steady_clock::now() + eventLimit);
        std::exit(0);
      },
      ::testing::ExitedWithCode(1), "^varkel: mất kết nối với máy chủ X\n$");
}

}  // namespace
