#pragma once

#include <atomic>
#include <string>

#include "platform/linux/session_bus.h"
#include "platform/main_queue.h"
#include "platform/notifier.h"

// Notifications as Notify calls to the freedesktop notification service on
// the session bus, sent without waiting for the reply.
class BusNotifier final : public Notifier {
 public:
  // main runs the loop the bus lives on; both outlive the notifier's last block.
  BusNotifier(MainQueue& main, SessionBus& bus) : main_(main), bus_(bus) {}

  // Any thread. Returns at once; a notification that cannot be sent is dropped.
  void showNotification(const std::string& title, const std::string& body) override;

 private:
  void send(const std::string& title, const std::string& body);

  MainQueue& main_;
  SessionBus& bus_;
  std::atomic<int> handedOver_{0};
};
