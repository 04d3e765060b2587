#pragma once

#include <functional>

// The main thread's queue: blocks submitted from any thread run later on the
// main thread, one at a time, in the order they were submitted.
class MainQueue {
 public:
  virtual ~MainQueue() = default;
  virtual void submit(std::function<void()> block) = 0;
};
