#include "platform/linux/linux_agent.h"

#include <sys/signalfd.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <string>

#include "app/startup.h"
#include "platform/linux/bus_notifier.h"
#include "platform/linux/event_loop.h"
#include "platform/linux/session_bus.h"
#include "platform/linux/x_clipboard.h"
#include "platform/linux/x_connection.h"
#include "platform/linux/x_hotkeys.h"
#include "platform/posix/unique_fd.h"
#include "platform/posix/write_all.h"

namespace {

// How long a clipboard manager gets to take the text we own when we stop.
constexpr std::chrono::milliseconds handOffBound{1500};

sigset_t stopSignals() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGTERM);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGHUP);
  return set;
}

// Ends the process as the signal would have, once the clipboard is safe.
[[noreturn]] void dieOf(int signal) {
  ::signal(signal, SIG_DFL);
  sigset_t set = stopSignals();
  pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
  ::raise(signal);
  _exit(128 + signal);
}

}  // namespace

int runLinuxAgent(const Settings& settings, const StartupShortcuts& shortcuts) {
  // A child that stops reading its input must not end the agent.
  ::signal(SIGPIPE, SIG_IGN);
  // Stop signals arrive through the loop, so that the clipboard can be handed
  // over first. Blocked before any thread starts, so every thread inherits it.
  sigset_t stops = stopSignals();
  pthread_sigmask(SIG_BLOCK, &stops, nullptr);
  UniqueFd signals(::signalfd(-1, &stops, SFD_CLOEXEC | SFD_NONBLOCK));

  EventLoop loop;
  std::string error;
  auto x = XConnection::open(&error);
  if (!x) {
    writeAll(STDERR_FILENO, error + "\n");
    return 1;
  }
  x->attach(loop);

  SessionBus bus(loop);
  BusNotifier notifier(loop, bus);
  XClipboard clipboard(*x);
  XHotkeys hotkeys(*x);
  auto runner = startAgent(settings, shortcuts, {loop, clipboard, notifier, hotkeys});

  loop.watch(signals.get(), [&] {
    signalfd_siginfo info{};
    if (::read(signals.get(), &info, sizeof info) != sizeof info) return;
    clipboard.handOffToManager(handOffBound);
    dieOf(static_cast<int>(info.ssi_signo));
  });
  loop.run();
  return 0;
}
