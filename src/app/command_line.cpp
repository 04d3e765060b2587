#include "app/command_line.h"

#include <deque>

#include "hotkeys/parse_hotkey.h"

Settings readOptions(std::vector<std::string> args) {
  Settings settings;
  std::deque<std::string> rest(std::make_move_iterator(args.begin()),
                               std::make_move_iterator(args.end()));
  while (rest.size() >= 2) {
    std::string name = std::move(rest.front());
    rest.pop_front();
    std::string value = std::move(rest.front());
    rest.pop_front();
    if (name == "--node") {
      settings.nodePath = std::move(value);
    } else if (name == "--cli") {
      settings.cliPath = std::move(value);
    } else if (name == "--copy") {
      settings.copySpec = std::move(value);
    } else if (name == "--paste") {
      settings.pasteSpec = std::move(value);
    }
  }
  return settings;
}

std::variant<StartupShortcuts, std::string> checkSettings(const Settings& settings) {
  if (settings.cliPath.empty()) return std::string("Thiếu --cli <đường dẫn varkel.js>\n");
  auto copy = parseHotkey(settings.copySpec);
  auto paste = copy ? parseHotkey(settings.pasteSpec) : std::nullopt;
  if (!copy || !paste) {
    return "Phím tắt không đọc được: " + settings.copySpec + " / " + settings.pasteSpec + "\n";
  }
  return StartupShortcuts{*copy, *paste};
}
