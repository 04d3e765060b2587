#include "x_test_server.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <vector>

#include "platform/posix/spawn_attributes.h"
#include "platform/posix/unique_fd.h"

extern char** environ;

namespace {

// Reads the display number Xvfb writes once it accepts connections; empty if
// it exits first or stays silent for 20 seconds.
std::string readDisplay(int fd) {
  std::string number;
  for (;;) {
    pollfd pfd{fd, POLLIN, 0};
    int ready = ::poll(&pfd, 1, 20'000);
    if (ready < 0 && errno == EINTR) continue;
    char c;
    if (ready <= 0 || ::read(fd, &c, 1) != 1) return "";
    if (c == '\n') return number;
    number.push_back(c);
  }
}

}  // namespace

std::unique_ptr<XTestServer> XTestServer::start(std::string* whyNot) {
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) {
    *whyNot = "no pipe for Xvfb";
    return nullptr;
  }
  UniqueFd readEnd(fds[0]), writeEnd(fds[1]);
  UniqueFd devNull(::open("/dev/null", O_WRONLY | O_CLOEXEC));
  // Xvfb picks a free display and writes its number on standard output.
  // -noreset: a tool like xmodmap that is the only client when it leaves
  // would otherwise reset the server and undo its own change.
  const std::vector<std::string> argv{"/usr/bin/Xvfb", "-displayfd", "1", "-nolisten", "tcp",
                                      "-noreset",      "-screen",    "0", "320x240x24"};
  SpawnFileActions actions({{writeEnd.get(), 1}, {devNull.get(), 2}});
  SpawnAttributes attributes;
  std::vector<char*> args = argumentPointers(argv);
  pid_t pid = -1;
  if (posix_spawn(&pid, args[0], actions.get(), attributes.get(), args.data(), environ) != 0) {
    *whyNot = "Xvfb is not installed";
    return nullptr;
  }
  auto server = std::unique_ptr<XTestServer>(new XTestServer(pid));
  writeEnd.reset();
  const std::string number = readDisplay(readEnd.get());
  if (number.empty()) {
    *whyNot = "Xvfb did not start";
    return nullptr;
  }
  ::setenv("DISPLAY", (":" + number).c_str(), 1);
  return server;
}

XTestServer::~XTestServer() {
  ::kill(pid_, SIGTERM);
  while (::waitpid(pid_, nullptr, 0) < 0 && errno == EINTR) {
  }
}

bool serveUntil(XConnection& x, const std::function<bool()>& done, std::vector<int> fds) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  fds.push_back(xcb_get_file_descriptor(x.get()));
  for (;;) {
    x.dispatchPending();
    xcb_flush(x.get());
    if (done()) return true;
    const auto left =
        std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    std::vector<pollfd> polled;
    for (int fd : fds) polled.push_back({fd, POLLIN, 0});
    ::poll(polled.data(), polled.size(), static_cast<int>(left.count()));
  }
}

XEvent nextEvent(XConnection& x, uint8_t type) {
  xcb_flush(x.get());
  return x.waitFor([type](const xcb_generic_event_t& e) { return typeOf(e) == type; },
                   std::chrono::steady_clock::now() + std::chrono::seconds(30));
}

void sync(XConnection& x) {
  XReply<xcb_get_input_focus_reply_t> reply(
      xcb_get_input_focus_reply(x.get(), xcb_get_input_focus(x.get()), nullptr));
}
