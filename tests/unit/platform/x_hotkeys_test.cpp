#include "platform/linux/x_hotkeys.h"

#include <gtest/gtest.h>
#include <poll.h>

#include <chrono>
#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

#include "x_test_server.h"

namespace {

using std::chrono::steady_clock;

constexpr HotkeySpec ctrlAltC{controlKey | optionKey, 8};
constexpr HotkeySpec ctrlAltB{controlKey | optionKey, 11};
constexpr HotkeyId copyId{hotkeySignature, copyHotkeyId};
constexpr HotkeyId pasteId{hotkeySignature, pasteHotkeyId};

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

// Whether a fresh client can grab the combination, that is whether nobody
// holds it.
bool grabbable(xcb_keycode_t keycode, uint16_t modifiers) {
  std::string error;
  auto other = XConnection::open(&error);
  if (!other) return false;
  XReply<xcb_generic_error_t> refused(xcb_request_check(
      other->get(), xcb_grab_key_checked(other->get(), 0, other->root(), modifiers, keycode,
                                         XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC)));
  return refused == nullptr;
}

class XHotkeysTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string whyNot;
    server_ = XTestServer::start(&whyNot, serverArgs_);
    if (!server_) GTEST_SKIP() << whyNot;
    if (!haveTool("xdotool")) GTEST_SKIP() << "xdotool is not installed";
    std::string error;
    x_ = XConnection::open(&error);
    ASSERT_TRUE(x_) << error;
    hotkeys_ = std::make_unique<XHotkeys>(*x_);
    hotkeys_->setHandler([this](uint32_t id) { pressed_.push_back(id); });
  }

  void registerBoth() {
    ASSERT_EQ(hotkeys_->registerHotKey(ctrlAltC, copyId), 0);
    ASSERT_EQ(hotkeys_->registerHotKey(ctrlAltB, pasteId), 0);
  }

  void xdotool(std::vector<std::string> args) {
    args.insert(args.begin(), "xdotool");
    ASSERT_EQ(runTool(args), 0);
  }

  // Presses the paste shortcut and waits for it: every event sent before it
  // has then been handled, so pressed_ is complete.
  std::vector<uint32_t> pressesBeforeMarker() {
    const size_t marker = pressed_.size();
    xdotool({"key", "ctrl+alt+" + std::to_string(hotkeys_->keycodeOf(pasteHotkeyId))});
    EXPECT_TRUE(pumpUntil(
        *x_, [&] { return pressed_.size() > marker && pressed_.back() == pasteHotkeyId; }));
    return {pressed_.begin(), pressed_.end() - 1};
  }

  bool haveTools(std::initializer_list<const char*> tools) {
    for (const char* tool : tools) {
      if (!haveTool(tool)) return false;
    }
    return true;
  }

  std::vector<std::string> serverArgs_;
  std::unique_ptr<XTestServer> server_;
  std::unique_ptr<XConnection> x_;
  std::unique_ptr<XHotkeys> hotkeys_;
  std::vector<uint32_t> pressed_;
};

TEST_F(XHotkeysTest, EachPressOfAShortcutReachesTheHandlerOnceWithItsId) {
  registerBoth();
  xdotool({"key", "ctrl+alt+c"});
  // Neither a missing nor an extra modifier, nor the key alone, matches.
  xdotool({"key", "ctrl+c", "key", "c", "key", "ctrl+alt+shift+c", "key", "ctrl+alt+v"});
  xdotool({"key", "ctrl+alt+c"});
  EXPECT_EQ(pressesBeforeMarker(), (std::vector<uint32_t>{1, 1}));
}

// Keys repeat 20 ms after they go down, so a held key repeats at once.
class XHotkeysRepeatTest : public XHotkeysTest {
 protected:
  XHotkeysRepeatTest() { serverArgs_ = {"-ardelay", "20", "-arinterval", "20"}; }
};

TEST_F(XHotkeysRepeatTest, AHeldShortcutGivesOnePressWhileItsKeyRepeats) {
  registerBoth();
  const xcb_keycode_t c = hotkeys_->keycodeOf(copyHotkeyId);
  int repeats = -1;
  x_->addEventHandler([&](const xcb_generic_event_t& e) {
    if ((e.response_type & 0x7f) == XCB_KEY_PRESS &&
        reinterpret_cast<const xcb_key_press_event_t&>(e).detail == c) {
      ++repeats;
    }
  });
  xdotool({"keydown", "ctrl+alt+c"});
  ASSERT_TRUE(pumpUntil(*x_, [&] { return repeats >= 3; }));
  xdotool({"keyup", "ctrl+alt+c"});
  xdotool({"key", "ctrl+alt+c"});
  EXPECT_EQ(pressesBeforeMarker(), (std::vector<uint32_t>{1, 1}));
}

TEST_F(XHotkeysTest, LockKeysDoNotChangeWhatMatches) {
  registerBoth();
  EXPECT_EQ(hotkeys_->lockModifiers() & XCB_MOD_MASK_LOCK, XCB_MOD_MASK_LOCK);
  EXPECT_NE(hotkeys_->lockModifiers() & ~XCB_MOD_MASK_LOCK, 0);
  xdotool({"key", "Num_Lock", "key", "ctrl+alt+c", "key", "Caps_Lock", "key", "ctrl+alt+c"});
  EXPECT_EQ(pressesBeforeMarker(), (std::vector<uint32_t>{1, 1}));
}

TEST_F(XHotkeysTest, ACombinationAnotherClientHoldsIsRefusedUntilItLetsGo) {
  std::string error;
  auto other = XConnection::open(&error);
  ASSERT_TRUE(other) << error;
  {
    XHotkeys otherHotkeys(*other);
    ASSERT_EQ(otherHotkeys.registerHotKey(ctrlAltC, copyId), 0);
    EXPECT_EQ(hotkeys_->registerHotKey(ctrlAltC, copyId), XCB_ACCESS);
  }
  sync(*other);
  EXPECT_EQ(hotkeys_->registerHotKey(ctrlAltC, copyId), 0);
}

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
  const uint16_t ctrlAlt = XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1;
  const uint16_t numLock = hotkeys_->lockModifiers() & ~XCB_MOD_MASK_LOCK;
  ASSERT_NE(numLock, 0);
  XReply<xcb_generic_error_t> refused(xcb_request_check(
      other->get(), xcb_grab_key_checked(other->get(), 0, other->root(), ctrlAlt | numLock, c,
                                         XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC)));
  ASSERT_EQ(refused, nullptr);

  EXPECT_EQ(hotkeys_->registerHotKey(ctrlAltC, copyId), XCB_ACCESS);
  sync(*x_);
  EXPECT_TRUE(grabbable(c, ctrlAlt));
  EXPECT_TRUE(grabbable(c, ctrlAlt | XCB_MOD_MASK_LOCK));
}

TEST_F(XHotkeysTest, TheSameCombinationTwiceIsRefusedAndTheFirstKeepsWorking) {
  ASSERT_EQ(hotkeys_->registerHotKey(ctrlAltC, copyId), 0);
  EXPECT_EQ(hotkeys_->registerHotKey(ctrlAltC, pasteId), XCB_ACCESS);
  ASSERT_EQ(hotkeys_->registerHotKey(ctrlAltB, pasteId), 0);
  xdotool({"key", "ctrl+alt+c"});
  EXPECT_EQ(pressesBeforeMarker(), (std::vector<uint32_t>{1}));
}

TEST_F(XHotkeysTest, AShortcutStaysOnItsKeyWhenTheLayoutChanges) {
  if (!haveTools({"setxkbmap"})) GTEST_SKIP() << "setxkbmap is not installed";
  registerBoth();
  const xcb_keycode_t c = hotkeys_->keycodeOf(copyHotkeyId);
  ASSERT_EQ(runTool({"setxkbmap", "ru"}), 0);
  // The Russian layout has no "c": xdotool maps one onto a spare keycode
  // for the moment it types it, and our grabs must survive that.
  xdotool({"type", "cab"});
  xdotool({"key", "ctrl+alt+" + std::to_string(c)});
  EXPECT_EQ(pressesBeforeMarker(), (std::vector<uint32_t>{1}));
  EXPECT_EQ(hotkeys_->keycodeOf(copyHotkeyId), c);
}

TEST_F(XHotkeysTest, FollowsNumLockToAnotherModifier) {
  if (!haveTools({"xmodmap"})) GTEST_SKIP() << "xmodmap is not installed";
  registerBoth();
  ASSERT_EQ(hotkeys_->lockModifiers(), XCB_MOD_MASK_LOCK | XCB_MOD_MASK_2);
  ASSERT_EQ(runTool({"xmodmap", "-e", "remove mod2 = Num_Lock", "-e", "add mod3 = Num_Lock"}), 0);
  ASSERT_TRUE(pumpUntil(
      *x_, [&] { return hotkeys_->lockModifiers() == (XCB_MOD_MASK_LOCK | XCB_MOD_MASK_3); }));
  xdotool({"key", "Num_Lock", "key", "ctrl+alt+c"});
  EXPECT_EQ(pressesBeforeMarker(), (std::vector<uint32_t>{1}));
  // The grabs for the old Num Lock bit are given back.
  const uint16_t ctrlAlt = XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1;
  const xcb_keycode_t c = hotkeys_->keycodeOf(copyHotkeyId);
  sync(*x_);
  EXPECT_TRUE(grabbable(c, ctrlAlt | XCB_MOD_MASK_2));
  EXPECT_FALSE(grabbable(c, ctrlAlt | XCB_MOD_MASK_3));
}

}  // namespace
