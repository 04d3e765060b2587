#include "support/run_process.h"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <stdexcept>

#include "platform/posix/spawn_attributes.h"
#include "platform/posix/unique_fd.h"

ProcessOutput runProcess(const std::vector<std::string>& argv,
                         const std::vector<std::string>& environment) {
  int outPipe[2], errPipe[2];
  if (pipe2(outPipe, O_CLOEXEC) != 0 || pipe2(errPipe, O_CLOEXEC) != 0) {
    throw std::runtime_error("pipe2");
  }
  UniqueFd outRead(outPipe[0]), outWrite(outPipe[1]), errRead(errPipe[0]), errWrite(errPipe[1]);
  SpawnAttributes attributes;
  SpawnFileActions actions({{outWrite.get(), 1}, {errWrite.get(), 2}});
  std::vector<char*> args = argumentPointers(argv);
  std::vector<char*> env = argumentPointers(environment);
  pid_t pid;
  if (posix_spawn(&pid, args[0], actions.get(), attributes.get(), args.data(), env.data()) != 0) {
    throw std::runtime_error("posix_spawn " + argv[0]);
  }
  outWrite.reset();
  errWrite.reset();

  ProcessOutput result{};
  pollfd fds[2] = {{outRead.get(), POLLIN, 0}, {errRead.get(), POLLIN, 0}};
  std::string* sinks[2] = {&result.out, &result.err};
  int open = 2;
  while (open > 0) {
    if (poll(fds, 2, -1) < 0) continue;
    for (int i = 0; i < 2; ++i) {
      if (fds[i].revents == 0) continue;
      char buffer[65536];
      ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
      if (n > 0) {
        sinks[i]->append(buffer, static_cast<size_t>(n));
      } else {
        fds[i].fd = -1;
        --open;
      }
    }
  }
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
  }
  result.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}
