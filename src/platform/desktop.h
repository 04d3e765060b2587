#pragma once

#include <string>

#include "platform/clipboard.h"
#include "platform/hotkey_system.h"
#include "platform/main_queue.h"
#include "platform/notifier.h"

// One desktop the agent runs on: its main queue, clipboard, shortcuts and
// notifications, and the loop that drives them.
class Desktop {
 public:
  virtual ~Desktop() = default;
  virtual MainQueue& mainQueue() = 0;
  virtual Clipboard& clipboard() = 0;
  virtual HotkeySystem& hotkeys() = 0;
  virtual Notifier& notifier() = 0;
  // Runs the main loop until the agent stops; returns the exit status.
  virtual int run() = 0;
  // Which layer and which shortcut path are in use, for one line on standard
  // error; empty when there is nothing to choose between.
  virtual std::string describe() const { return {}; }
};
