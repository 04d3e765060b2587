#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "platform/posix/unique_fd.h"

class EventLoop;

// The signals the agent answers, read from one signalfd on the loop.
// SIGTERM, SIGINT and SIGHUP stop it; SIGUSR1 and SIGUSR2 do what the copy
// and the paste shortcut do, so that any key binding of a window manager or
// compositor can drive the agent. Main thread only.
class Signals {
 public:
  // Blocks the signals in the calling thread, so construct before any other
  // thread starts: every thread then inherits the mask.
  explicit Signals(EventLoop& loop);

  // The stop handler must end the process, through dieOf.
  void onStop(std::function<void(int signal)> handler) { onStop_ = std::move(handler); }
  void onShortcut(std::function<void(uint32_t id)> handler) { onShortcut_ = std::move(handler); }

  // Ends the process as the signal would have.
  [[noreturn]] static void dieOf(int signal);

 private:
  void readOne();

  UniqueFd fd_;
  std::function<void(int)> onStop_;
  std::function<void(uint32_t)> onShortcut_;
};

// The command that sends the shortcut's signal to a running agent.
std::string signalCommand(uint32_t id);
