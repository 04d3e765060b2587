// The part of Grand Central Dispatch that src/platform/macos uses, declared
// as Apple's dispatch/queue.h declares it for C++ without Objective-C.
#pragma once

typedef struct dispatch_queue_s* dispatch_queue_t;
typedef void (*dispatch_function_t)(void*);

extern "C" {
dispatch_queue_t dispatch_get_main_queue(void);
void dispatch_async_f(dispatch_queue_t queue, void* context, dispatch_function_t work);
}
