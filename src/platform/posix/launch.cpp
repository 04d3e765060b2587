#include "platform/posix/launch.h"

#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>
#include <csignal>
#include <system_error>
#include <thread>

#include "platform/posix/spawn_attributes.h"
#include "platform/posix/thread_name.h"

extern char** environ;

void launchDetached(const std::vector<std::string>& argv) {
  if (argv.empty()) return;
  SpawnAttributes attributes;
  SpawnFileActions actions;
  std::vector<char*> args = argumentPointers(argv);
  pid_t pid;
  if (posix_spawn(&pid, args[0], actions.get(), attributes.get(), args.data(), environ) != 0) {
    return;
  }
  auto reap = [pid] {
    while (waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
    }
  };
  // One small thread per helper waits for it; waiting for that pid alone
  // leaves the children of other parts of the agent to their own owners.
  try {
    std::thread([reap] {
      nameThisThread("varkel-reap");
      reap();
    }).detach();
  } catch (const std::system_error&) {
    // No thread to spare: wait here rather than leave a zombie or fail the
    // caller; the helper is short-lived.
    reap();
  }
}
