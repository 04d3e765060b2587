#include "x_test_server.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "platform/posix/unique_fd.h"

extern char** environ;

namespace {

// Display numbers well away from the ones people pick by hand.
constexpr int firstDisplay = 140;
constexpr int lastDisplay = 199;
constexpr int startLimitMs = 20'000;

pid_t spawn(const std::vector<std::string>& argv, const posix_spawn_file_actions_t* actions) {
  std::vector<char*> args;
  for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  pid_t pid = -1;
  if (posix_spawnp(&pid, args[0], actions, nullptr, args.data(), environ) != 0) return -1;
  return pid;
}

int waitExit(pid_t pid) {
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return -1;
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Reads the display number Xvfb writes once it accepts connections; empty if
// it exits first (the display was taken) or never answers.
std::string readDisplay(int fd) {
  std::string number;
  for (;;) {
    pollfd pfd{fd, POLLIN, 0};
    int ready = ::poll(&pfd, 1, startLimitMs);
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) return "";
    char c;
    ssize_t n = ::read(fd, &c, 1);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return "";
    if (c == '\n') return number;
    number.push_back(c);
  }
}

}  // namespace

std::unique_ptr<XTestServer> XTestServer::start(std::string* whyNot,
                                                const std::vector<std::string>& extraArgs) {
  if (!haveTool("Xvfb")) {
    *whyNot = "Xvfb is not installed";
    return nullptr;
  }
  for (int n = firstDisplay; n <= lastDisplay; ++n) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) break;
    UniqueFd readEnd(fds[0]), writeEnd(fds[1]);
    const int childFd = writeEnd.get() == 3 ? 4 : 3;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, writeEnd.get(), childFd);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    // -noreset: a tool like setxkbmap that is the only client when it
    // leaves would otherwise reset the server and undo its own change.
    std::vector<std::string> args{"Xvfb",       ":" + std::to_string(n),
                                  "-displayfd", std::to_string(childFd),
                                  "-nolisten",  "tcp",
                                  "-noreset",   "-screen",
                                  "0",          "320x240x24"};
    args.insert(args.end(), extraArgs.begin(), extraArgs.end());
    const pid_t pid = spawn(args, &actions);
    posix_spawn_file_actions_destroy(&actions);
    writeEnd.reset();
    if (pid < 0) break;
    std::string number = readDisplay(readEnd.get());
    if (number.empty()) {
      ::kill(pid, SIGTERM);
      waitExit(pid);
      continue;
    }
    std::string display = ":" + number;
    ::setenv("DISPLAY", display.c_str(), 1);
    return std::unique_ptr<XTestServer>(new XTestServer(pid, std::move(display)));
  }
  *whyNot = "no Xvfb display could be started";
  return nullptr;
}

XTestServer::~XTestServer() {
  kill();
}

void XTestServer::kill() {
  if (pid_ < 0) return;
  ::kill(pid_, SIGTERM);
  waitExit(pid_);
  pid_ = -1;
}

int runTool(const std::vector<std::string>& argv) {
  const pid_t pid = spawn(argv, nullptr);
  return pid < 0 ? -1 : waitExit(pid);
}

bool haveTool(const std::string& name) {
  const char* path = std::getenv("PATH");
  std::string dirs = path ? path : "/usr/bin:/bin";
  size_t start = 0;
  while (start <= dirs.size()) {
    size_t end = dirs.find(':', start);
    if (end == std::string::npos) end = dirs.size();
    std::string candidate = dirs.substr(start, end - start) + "/" + name;
    if (::access(candidate.c_str(), X_OK) == 0) return true;
    start = end + 1;
  }
  return false;
}
