#include "platform/linux/x11/x_hotkeys.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/posix/child_process.h"
#include "x_test_server.h"

namespace {

constexpr HotkeySpec ctrlAltC{carbon::controlKey | carbon::optionKey, 8};
constexpr HotkeyId copyId{hotkeySignature, copyHotkeyId};
constexpr uint16_t ctrlAlt = XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1;

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

class XHotkeysTest : public XServerTest {
 protected:
  void SetUp() override {
    XServerTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    hotkeys_ = std::make_unique<XHotkeys>(*x_);
  }

  std::unique_ptr<XHotkeys> hotkeys_;
};

TEST_F(XHotkeysTest, APartlyHeldCombinationIsRefusedAndWhatWasGrabbedIsGivenBack) {
  auto other = connect();
  ASSERT_TRUE(other);
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
  ASSERT_TRUE(serveUntil(
      *x_, [&] { return hotkeys_->lockModifiers() == (XCB_MOD_MASK_LOCK | XCB_MOD_MASK_3); }));
  // The grabs move from the old Num Lock bit to the new one.
  const xcb_keycode_t c = hotkeys_->keycodeOf(copyHotkeyId);
  sync(*x_);
  EXPECT_TRUE(grabbable(c, ctrlAlt | XCB_MOD_MASK_2));
  EXPECT_FALSE(grabbable(c, ctrlAlt | XCB_MOD_MASK_3));
  EXPECT_FALSE(grabbable(c, ctrlAlt | XCB_MOD_MASK_3 | XCB_MOD_MASK_LOCK));
}

}  // namespace
