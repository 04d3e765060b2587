#pragma once

#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "hotkeys/hotkey_spec.h"

// What the command line sets, with its defaults.
struct Settings {
  std::string nodePath = "/usr/bin/env";
  std::string cliPath;
  std::string copySpec = "ctrl+alt+c";
  std::string pasteSpec = "ctrl+alt+b";
};

// Reads options two arguments at a time: a name, then its value taken
// verbatim. An unknown name is dropped with its value; a name with no value
// is ignored; the last occurrence wins.
Settings readOptions(std::vector<std::string> args);

struct StartupShortcuts {
  HotkeySpec copy;
  HotkeySpec paste;
};

// The two start-up checks, the script path first: either both shortcuts, or
// the message to write on standard error before exiting with status 2.
std::variant<StartupShortcuts, std::string> checkSettings(const Settings& settings);

inline constexpr int usageExitStatus = 2;
