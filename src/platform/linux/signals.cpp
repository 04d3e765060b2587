#include "platform/linux/signals.h"

#include <sys/signalfd.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

#include "hotkeys/hotkey_spec.h"
#include "platform/linux/event_loop.h"
#include "platform/posix/error_text.h"
#include "platform/posix/fatal.h"

namespace {

sigset_t answeredSignals() {
  sigset_t set;
  sigemptyset(&set);
  for (int s : {SIGTERM, SIGINT, SIGHUP, SIGUSR1, SIGUSR2}) sigaddset(&set, s);
  return set;
}

}  // namespace

Signals::Signals(EventLoop& loop) {
  // A child that stops reading its input must not end the agent.
  ::signal(SIGPIPE, SIG_IGN);
  sigset_t set = answeredSignals();
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
  fd_ = UniqueFd(::signalfd(-1, &set, SFD_CLOEXEC | SFD_NONBLOCK));
  if (!fd_) exitFatally("varkel: signalfd: " + errorText(errno));
  loop.watch(fd_.get(), [this] { readOne(); });
}

void Signals::readOne() {
  signalfd_siginfo info{};
  if (::read(fd_.get(), &info, sizeof info) != sizeof info) return;
  int signal = static_cast<int>(info.ssi_signo);
  if (signal == SIGUSR1 || signal == SIGUSR2) {
    if (onShortcut_) onShortcut_(signal == SIGUSR1 ? copyHotkeyId : pasteHotkeyId);
  } else if (onStop_) {
    onStop_(signal);
  } else {
    dieOf(signal);
  }
}

void Signals::dieOf(int signal) {
  ::signal(signal, SIG_DFL);
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, signal);
  pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
  ::raise(signal);
  _exit(128 + signal);
}

std::string signalCommand(uint32_t id) {
  return std::string("pkill -") + (id == copyHotkeyId ? "USR1" : "USR2") + " -x varkel-agent";
}
