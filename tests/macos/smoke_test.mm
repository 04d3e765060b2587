// The macOS layer against the real system: a hosted Mac's pasteboard, Carbon
// hot keys and GCD main queue.
#import <Foundation/Foundation.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "hotkeys/hotkey_spec.h"
#include "hotkeys/key_codes.h"
#include "platform/clipboard.h"
#include "platform/hotkey_system.h"
#include "platform/macos/mac_desktop.h"
#include "platform/main_queue.h"

namespace {

TEST(MacPasteboard, GivesBackWhatWasWritten) {
  auto desktop = makeMacDesktop();
  Clipboard& pasteboard = desktop->clipboard();
  for (std::string text : {"gửi đi — lấy về\n", "\n", " \t"}) {
    pasteboard.clearContents();
    pasteboard.setString(text);
    EXPECT_EQ(pasteboard.readText(), text);
  }
  pasteboard.clearContents();
  EXPECT_EQ(pasteboard.readText(), std::nullopt);
}

TEST(MacHotkeys, RegistersACombinationOnce) {
  auto desktop = makeMacDesktop();
  const HotkeySpec ctrlAltC{carbon::controlKey | carbon::optionKey, keyCodes().at("c")};
  EXPECT_EQ(desktop->hotkeys().registerHotKey(ctrlAltC, {hotkeySignature, copyHotkeyId}), 0);
  EXPECT_NE(desktop->hotkeys().registerHotKey(ctrlAltC, {hotkeySignature, pasteHotkeyId}), 0);
}

TEST(GcdMainQueue, RunsBlocksOnTheMainThreadInOrder) {
  auto desktop = makeMacDesktop();
  std::vector<int> ran;
  for (int i = 1; i <= 3; ++i) {
    desktop->mainQueue().submit([&ran, i] {
      EXPECT_TRUE([NSThread isMainThread]);
      ran.push_back(i);
    });
  }
  NSDate* deadline = [NSDate dateWithTimeIntervalSinceNow:10];
  while (ran.size() < 3 && [deadline timeIntervalSinceNow] > 0) {
    [[NSRunLoop mainRunLoop] runMode:NSDefaultRunLoopMode beforeDate:deadline];
  }
  EXPECT_EQ(ran, (std::vector<int>{1, 2, 3}));
}

}  // namespace
