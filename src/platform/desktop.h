#pragma once

class Clipboard;
class HotkeySystem;
class MainQueue;
class Notifier;

class Desktop {
 public:
  virtual ~Desktop() = default;
  virtual MainQueue& mainQueue() = 0;
  virtual Clipboard& clipboard() = 0;
  virtual HotkeySystem& hotkeys() = 0;
  virtual Notifier& notifier() = 0;
  // Runs the main loop until the agent stops; returns the exit status.
  virtual int run() = 0;
};
