#pragma once

#include "platform/notifier.h"

// Notifications through the freedesktop notification service, by starting
// notify-send and not waiting for it.
class NotifySendNotifier final : public Notifier {
 public:
  void showNotification(const std::string& title, const std::string& body) override;
};
