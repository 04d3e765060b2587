// The command line, as the input split into arguments at NUL bytes (no argument holds one),
// against a reading of the options pair by pair; the start-up checks must give exactly one of
// their three outcomes.

#include <cstdint>
#include <string>
#include <variant>
#include <vector>

#include "app/command_line.h"
#include "fuzz_check.h"
#include "hotkeys/parse_hotkey.h"
#include "texts.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<std::string> args;
  for (size_t at = 0, end; size > 0 && at <= size; at = end + 1) {
    end = std::string_view(reinterpret_cast<const char*>(data), size).find('\0', at);
    end = std::min(end, size);
    args.emplace_back(reinterpret_cast<const char*>(data) + at, end - at);
  }
  std::string node = "/usr/bin/env", cli, copy = "ctrl+alt+c", paste = "ctrl+alt+b";
  for (size_t i = 0; i + 1 < args.size(); i += 2) {
    for (auto [name, value] :
         {std::pair{"--node", &node}, {"--cli", &cli}, {"--copy", &copy}, {"--paste", &paste}}) {
      if (args[i] == name) *value = args[i + 1];
    }
  }
  const Settings settings = readOptions(args);
  FUZZ_CHECK(settings.nodePath == node && settings.cliPath == cli);
  FUZZ_CHECK(settings.copySpec == copy && settings.pasteSpec == paste);

  const auto checked = checkSettings(settings);
  const auto* message = std::get_if<std::string>(&checked);
  const auto* shortcuts = std::get_if<StartupShortcuts>(&checked);
  const auto copyKeys = parseHotkey(copy), pasteKeys = parseHotkey(paste);
  if (cli.empty()) {
    FUZZ_CHECK(message && *message == std::string(texts::usage) + "\n");
  } else if (!copyKeys || !pasteKeys) {
    FUZZ_CHECK(message &&
               *message == std::string(texts::badShortcut) + copy + " / " + paste + "\n");
  } else {
    FUZZ_CHECK(shortcuts && shortcuts->copy == *copyKeys && shortcuts->paste == *pasteKeys);
  }
  return 0;
}
