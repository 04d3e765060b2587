#pragma once

#include <string>

// Shows a desktop notification. Returns at once, reports no failure and may be
// called from any thread.
class Notifier {
 public:
  virtual ~Notifier() = default;
  virtual void showNotification(const std::string& title, const std::string& body) = 0;
};
