#include <fcntl.h>
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

namespace {

// Started with standard output or error closed, the agent's own descriptors
// (event loop, signals, display and bus connections) would take those
// numbers, and its lines would be written into them. /dev/null holds the
// places instead.
void holdStandardDescriptors() {
  for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
    if (::fcntl(fd, F_GETFD) < 0) ::open("/dev/null", O_RDWR);
  }
}

}  // namespace

int main(int argc, char** argv) {
  holdStandardDescriptors();
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
