#include "platform/linux/x_hotkeys.h"

#include <gtest/gtest.h>
#include <poll.h>

#include <chrono>
#include <functional>
#include <string>

#include "platform/posix/child_process.h"
#include "x_test_server.h"

namespace {

using std::chrono::steady_clock;

constexpr HotkeySpec ctrlAltC{controlKey | optionKey, 8};
constexpr HotkeyId copyId{hotkeySignature, copyHotkeyId};
constexpr uint16_t ctrlAlt = XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1;

// Dispatches events until pred holds, for at most ten seconds.
bool pumpUntil(XConnection& x, const std::function<bool()>& pred) {
  const auto deadline = steady_clock::now() + std::chrono::seconds(10);
  for (;;) {
    x.dispatchPending();
    if (pred()) return true;
    xcb_flush(x.get());
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - steady_clock::now());
    if (left.count() <= 0) return false;
    pollfd pfd{xcb_get_file_descriptor(x.get()), POLLIN, 0};
    ::poll(&pfd, 1, static_cast<int>(left.count()));
  }
}

// Returns once the server has carried out every request sent on x so far;
// requests of different clients are otherwise in no set order.
void sync(XConnection& x) {
  XReply<xcb_get_input_focus_reply_t> reply(
      xcb_get_input_focus_reply(x.get(), xcb_get_input_focus(x.get()), nullptr));
}

// Grabs the combination on x's root window; true when the server allowed it.
bool grab(XConnection& x, xcb_keycode_t keycode, uint16_t modifiers) {
  XReply<xcb_generic_error_t> refused(
      xcb_request_check(x.get(), xcb_grab_key_checked(x.get(), 0, x.root(), modifiers, keycode,
                                                      XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC)));
  return refused == nullptr;
}

// Whether a fresh client can grab the combination, that is whether nobody
// holds it.
bool grabbable(xcb_keycode_t keycode, uint16_t modifiers) {
  std::string error;
  auto other = XConnection::open(&error);
  return other && grab(*other, keycode, modifiers);
}

class XHotkeysTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string whyNot;
    server_ = XTestServer::start(&whyNot);
    if (!server_) GTEST_SKIP() << whyNot;
    std::string error;
    x_ = XConnection::open(&error);
    ASSERT_TRUE(x_) << error;
    hotkeys_ = std::make_unique<XHotkeys>(*x_);
  }

  std::unique_ptr<XTestServer> server_;
  std::unique_ptr<XConnection> x_;
  std::unique_ptr<XHotkeys> hotkeys_;
};

TEST_F(XHotkeysTest, APartlyHeldCombinationIsRefusedAndWhatWasGrabbedIsGivenBack) {
  std::string error;
  auto other = XConnection::open(&error);
  ASSERT_TRUE(other) << error;
  xcb_keycode_t c = 0;
  {
    XHotkeys probe(*other);
    ASSERT_EQ(probe.registerHotKey(ctrlAltC, copyId), 0);
    c = probe.keycodeOf(copyHotkeyId);
  }
  // Held only with Num Lock on, so the grabs without it succeed first.
  const uint16_t numLock = hotkeys_->lockModifiers() & ~XCB_MOD_MASK_LOCK;
  ASSERT_NE(numLock, 0);
  ASSERT_TRUE(grab(*other, c, ctrlAlt | numLock));

  EXPECT_EQ(hotkeys_->registerHotKey(ctrlAltC, copyId), XCB_ACCESS);
  sync(*x_);
  EXPECT_TRUE(grabbable(c, ctrlAlt));
  EXPECT_TRUE(grabbable(c, ctrlAlt | XCB_MOD_MASK_LOCK));
}

TEST_F(XHotkeysTest, FollowsNumLockToAnotherModifier) {
  ASSERT_EQ(hotkeys_->registerHotKey(ctrlAltC, copyId), 0);
  ASSERT_EQ(hotkeys_->lockModifiers(), XCB_MOD_MASK_LOCK | XCB_MOD_MASK_2);
  ChildResult xmodmap = runChild(
      "/usr/bin/xmodmap", {"xmodmap", "-e", "remove mod2 = Num_Lock", "-e", "add mod3 = Num_Lock"},
      std::nullopt);
  ASSERT_EQ(xmodmap.startError, 0) << "xmodmap is not installed";
  ASSERT_EQ(xmodmap.status, 0) << xmodmap.err;
  ASSERT_TRUE(pumpUntil(
      *x_, [&] { return hotkeys_->lockModifiers() == (XCB_MOD_MASK_LOCK | XCB_MOD_MASK_3); }));
  // The grabs move from the old Num Lock bit to the new one.
  const xcb_keycode_t c = hotkeys_->keycodeOf(copyHotkeyId);
  sync(*x_);
  EXPECT_TRUE(grabbable(c, ctrlAlt | XCB_MOD_MASK_2));
  EXPECT_FALSE(grabbable(c, ctrlAlt | XCB_MOD_MASK_3));
  EXPECT_FALSE(grabbable(c, ctrlAlt | XCB_MOD_MASK_3 | XCB_MOD_MASK_LOCK));
}

}  // namespace
