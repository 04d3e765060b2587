#include "platform/macos/gcd_main_queue.h"

#include <dispatch/dispatch.h>

#include <memory>

void GcdMainQueue::submit(std::function<void()> block) {
  auto owned = std::make_unique<std::function<void()>>(std::move(block));
  // The queue owns the block from here until it has run.
  dispatch_async_f(dispatch_get_main_queue(), owned.release(), [](void* context) {
    std::unique_ptr<std::function<void()>> block(static_cast<std::function<void()>*>(context));
    (*block)();
  });
}
