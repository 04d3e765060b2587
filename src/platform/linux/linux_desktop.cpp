#include "platform/linux/linux_desktop.h"

int LinuxDesktop::run() {
  loop_.run();
  return 0;
}
