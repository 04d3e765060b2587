#pragma once

#include <memory>
#include <string>

#include "app/command_line.h"

class Clipboard;
class HotkeySystem;
class MainQueue;
class Notifier;
class Runner;

// What the start-up sequence needs of the platform.
struct Platform {
  MainQueue& mainQueue;
  Clipboard& clipboard;
  Notifier& notifier;
  HotkeySystem& hotkeys;
};

// Creates the runner, installs the shortcut handler, registers the copy then
// the paste shortcut and writes the status line. The caller then runs the
// main loop; the runner it gets back lives as long as that loop.
std::shared_ptr<Runner> startAgent(const Settings& settings, const StartupShortcuts& shortcuts,
                                   Platform platform);

std::string statusLine(const Settings& settings, bool okCopy, bool okPaste);

// Starts the flow a shortcut stands for: 1 sends, 2 fetches, anything else
// nothing.
void hotkeyHandler(Runner& runner, uint32_t id);
