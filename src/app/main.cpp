#include <unistd.h>

#include <string>
#include <variant>
#include <vector>

#include "app/agent.h"
#include "app/choose_desktop.h"
#include "app/command_line.h"
#include "hotkeys/key_codes.h"
#include "platform/posix/fatal.h"
#include "platform/posix/write_all.h"

int main(int argc, char** argv) {
  routeUncaughtExceptionsToExitFatally();
  keyCodes();
  Settings settings = readOptions(std::vector<std::string>(argv + 1, argv + argc));
  auto checked = checkSettings(settings);
  if (const auto* message = std::get_if<std::string>(&checked)) {
    writeAll(STDERR_FILENO, *message);
    return usageExitStatus;
  }
  auto desktop = chooseDesktop();
  auto runner = startAgent(settings, std::get<StartupShortcuts>(checked), *desktop);
  return desktop->run();
}
