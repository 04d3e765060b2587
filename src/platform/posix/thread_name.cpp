#include "platform/posix/thread_name.h"

#include <pthread.h>

#if defined(__linux__)
#include <sys/prctl.h>
#endif

void nameThisThread(const char* name) {
#if defined(__APPLE__)
  pthread_setname_np(name);
#elif defined(__linux__)
  // prctl rather than pthread_setname_np, which glibc declares only with
  // _GNU_SOURCE.
  ::prctl(PR_SET_NAME, name);
#else
  (void)name;
#endif
}
