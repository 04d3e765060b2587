#include "platform/linux/linux_desktop.h"

int LinuxDesktop::run() {
  loop_.run();
  return 0;
}

std::string LinuxDesktop::usePortalOrSignals() {
  if (!PortalHotkeys::available(bus_)) return "chỉ tín hiệu SIGUSR1/SIGUSR2";
  portal_ = std::make_unique<PortalHotkeys>(bus_);
  hotkeys_.useRegistrar(*portal_);
  return "cổng GlobalShortcuts và tín hiệu SIGUSR1/SIGUSR2";
}
