#pragma once

#include <functional>

#include "platform/main_queue.h"

// GCD's main queue, which the application loop drains on the main thread.
class GcdMainQueue : public MainQueue {
 public:
  void submit(std::function<void()> block) override;
};
