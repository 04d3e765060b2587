#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "platform/linux/bus_ptr.h"
#include "platform/linux/event_loop.h"

// The user's session bus, opened lazily on the main loop (first use), and
// opened again on the next use after it went away. Main thread only. Its
// descriptor is watched for the events sd-bus asks for, it is processed until
// sd-bus has nothing left to do, and sd-bus's own deadlines (authentication,
// calls awaiting a reply) bound the loop's sleep; with none, the loop sleeps
// with no timeout, so an idle bus never wakes the agent.
class SessionBus {
 public:
  explicit SessionBus(EventLoop& loop);
  ~SessionBus();
  SessionBus(const SessionBus&) = delete;
  SessionBus& operator=(const SessionBus&) = delete;

  // The live connection, connecting first if needed; nullptr when there is no bus.
  sd_bus* get();
  // Hooks run after each new connection is made (e.g. to add matches, create portal sessions).
  void onNewConnection(std::function<void(sd_bus*)> hook);

 private:
  void process();
  void prepareSleep();
  void drop();

  EventLoop& loop_;
  BusPtr bus_;
  int fd_ = -1;
  short events_ = 0;
  std::vector<std::function<void(sd_bus*)>> hooks_;
  // The loop keeps its hooks for good; this lets the one given to it find
  // out that the bus is gone.
  std::shared_ptr<SessionBus*> self_;
};
