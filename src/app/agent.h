#pragma once

#include <memory>
#include <string>

#include "app/command_line.h"

class Desktop;
class Runner;

// Creates the runner, installs the shortcut handler, registers the copy then
// the paste shortcut and writes the status line. The caller then runs the
// desktop's loop; the runner it gets back lives as long as that loop.
std::shared_ptr<Runner> startAgent(const Settings& settings, const StartupShortcuts& shortcuts,
                                   Desktop& desktop);

std::string statusLine(const Settings& settings, bool okCopy, bool okPaste);

// Starts the flow a shortcut stands for: 1 sends, 2 fetches, anything else
// nothing.
void hotkeyHandler(Runner& runner, uint32_t id);
