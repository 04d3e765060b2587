#include "platform/macos/osascript_notifier.h"

#include "notify/osascript.h"
#include "platform/posix/launch.h"

void OsascriptNotifier::showNotification(const std::string& title, const std::string& body) {
  launchDetached(osascriptCommand(title, body));
}
