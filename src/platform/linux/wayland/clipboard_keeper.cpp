#include "platform/linux/wayland/clipboard_keeper.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

#include "platform/linux/event_loop.h"
#include "platform/linux/wayland/data_control.h"
#include "platform/linux/wayland/wayland_clipboard.h"
#include "platform/linux/wayland/wayland_connection.h"
#include "platform/posix/thread_name.h"
#include "platform/posix/unique_fd.h"

namespace {

constexpr std::chrono::seconds childBound{2};

// Leaves the agent's session, descriptors and blocked signals behind: the
// child must not keep the agent's compositor connection alive, nor hang up
// with its terminal, nor be unable to be stopped.
void detach(int keep) {
  ::setsid();
  ::close_range(3, static_cast<unsigned>(keep) - 1, 0);
  ::close_range(static_cast<unsigned>(keep) + 1, ~0u, 0);
  const int null = ::open("/dev/null", O_RDWR);
  for (int fd = 0; fd <= 2; ++fd) ::dup2(null, fd);
  if (null > 2) ::close(null);
  // Its own name keeps it out of the way of pkill -x varkel-agent, and the
  // shortcut signals, meant for the agent, are no concern of it.
  nameThisThread("varkel-keeper");
  ::signal(SIGUSR1, SIG_IGN);
  ::signal(SIGUSR2, SIG_IGN);
  sigset_t none;
  sigemptyset(&none);
  ::sigprocmask(SIG_SETMASK, &none, nullptr);
}

[[noreturn]] void serveUntilReplaced(const std::shared_ptr<const std::string>& text, int ready) {
  detach(ready);
  try {
    EventLoop loop;
    std::string error;
    auto connection = WaylandConnection::open(childBound, &error);
    auto control = connection ? DataControl::create(*connection, &error) : nullptr;
    if (!control) ::_exit(1);
    connection->attach(loop);
    WaylandClipboard clipboard(*connection, *control, loop, childBound);
    if (!clipboard.own(text)) ::_exit(1);
    const char held = 1;
    if (::write(ready, &held, 1) != 1) ::_exit(1);
    ::close(ready);
    loop.beforeSleep([&] {
      if (!clipboard.held() && clipboard.transfersUnderWay() == 0) loop.stop();
    });
    loop.run();
  } catch (...) {
    ::_exit(1);
  }
  ::_exit(0);
}

}  // namespace

bool keepClipboardText(std::shared_ptr<const std::string> text,
                       std::chrono::steady_clock::time_point deadline) {
  int ends[2];
  if (::pipe2(ends, O_CLOEXEC) != 0) return false;
  UniqueFd readEnd(ends[0]);
  UniqueFd writeEnd(ends[1]);
  const pid_t child = ::fork();
  if (child < 0) return false;
  if (child == 0) serveUntilReplaced(text, writeEnd.get());
  writeEnd.reset();
  for (;;) {
    const auto left =
        std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    pollfd answer{readEnd.get(), POLLIN, 0};
    const int ready = ::poll(&answer, 1, static_cast<int>(std::max<long>(left.count(), 0)));
    if (ready < 0 && errno == EINTR) continue;
    char held = 0;
    return ready > 0 && ::read(readEnd.get(), &held, 1) == 1;
  }
}
