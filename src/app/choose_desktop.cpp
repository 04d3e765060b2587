#include "app/choose_desktop.h"

#include <string>

#include "platform/posix/fatal.h"

#ifdef __APPLE__
#include "platform/macos/mac_desktop.h"
#else
#include "platform/linux/x11/x11_desktop.h"
#endif

std::unique_ptr<Desktop> chooseDesktop() {
#ifdef __APPLE__
  return makeMacDesktop();
#else
  std::string error;
  auto desktop = makeX11Desktop(&error);
  if (!desktop) exitFatally(error);
  return desktop;
#endif
}
