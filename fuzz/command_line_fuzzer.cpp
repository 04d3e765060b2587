// The command line, as the input split into arguments at NUL bytes (no
// argument can hold one). The options are read again here, pair by pair, and
// the outcome of the start-up checks must be exactly one of its three forms.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "app/command_line.h"
#include "fuzz_check.h"
#include "hotkeys/parse_hotkey.h"

namespace {

std::vector<std::string> splitArguments(std::string_view input) {
  std::vector<std::string> args;
  if (input.empty()) return args;
  for (;;) {
    size_t nul = input.find('\0');
    args.emplace_back(input.substr(0, nul));
    if (nul == std::string_view::npos) return args;
    input.remove_prefix(nul + 1);
  }
}

Settings expectedSettings(const std::vector<std::string>& args) {
  Settings s;
  s.nodePath = "/usr/bin/env";
  s.cliPath = "";
  s.copySpec = "ctrl+alt+c";
  s.pasteSpec = "ctrl+alt+b";
  for (size_t i = 0; i + 1 < args.size(); i += 2) {
    const std::string& name = args[i];
    const std::string& value = args[i + 1];
    if (name == "--node") s.nodePath = value;
    if (name == "--cli") s.cliPath = value;
    if (name == "--copy") s.copySpec = value;
    if (name == "--paste") s.pasteSpec = value;
  }
  return s;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::vector<std::string> args =
      splitArguments(std::string_view(reinterpret_cast<const char*>(data), size));
  const Settings expected = expectedSettings(args);
  const Settings settings = readOptions(args);
  FUZZ_CHECK(settings.nodePath == expected.nodePath);
  FUZZ_CHECK(settings.cliPath == expected.cliPath);
  FUZZ_CHECK(settings.copySpec == expected.copySpec);
  FUZZ_CHECK(settings.pasteSpec == expected.pasteSpec);

  const auto checked = checkSettings(settings);
  if (expected.cliPath.empty()) {
    const std::string* message = std::get_if<std::string>(&checked);
    FUZZ_CHECK(message != nullptr);
    FUZZ_CHECK(*message == "Thiếu --cli <đường dẫn varkel.js>\n");
    return 0;
  }
  const auto copy = parseHotkey(expected.copySpec);
  const auto paste = parseHotkey(expected.pasteSpec);
  if (copy && paste) {
    const StartupShortcuts* shortcuts = std::get_if<StartupShortcuts>(&checked);
    FUZZ_CHECK(shortcuts != nullptr);
    FUZZ_CHECK(shortcuts->copy == *copy);
    FUZZ_CHECK(shortcuts->paste == *paste);
    return 0;
  }
  const std::string* message = std::get_if<std::string>(&checked);
  FUZZ_CHECK(message != nullptr);
  FUZZ_CHECK(*message ==
             "Phím tắt không đọc được: " + expected.copySpec + " / " + expected.pasteSpec + "\n");
  FUZZ_CHECK(message->ends_with('\n'));
  return 0;
}
