#include <unistd.h>

#include <string>
#include <variant>
#include <vector>

#include "app/command_line.h"
#include "hotkeys/key_codes.h"
#include "platform/linux/linux_agent.h"
#include "platform/posix/write_all.h"

int main(int argc, char** argv) {
  keyCodes();
  Settings settings = readOptions(std::vector<std::string>(argv + 1, argv + argc));
  auto checked = checkSettings(settings);
  if (const auto* message = std::get_if<std::string>(&checked)) {
    writeAll(STDERR_FILENO, *message);
    return usageExitStatus;
  }
  return runLinuxAgent(settings, std::get<StartupShortcuts>(checked));
}
