#pragma once

#include <string>

#include "platform/notifier.h"

// Shows notifications by starting /usr/bin/osascript with a "display
// notification" script, never waiting for it.
class OsascriptNotifier : public Notifier {
 public:
  void showNotification(const std::string& title, const std::string& body) override;
};
