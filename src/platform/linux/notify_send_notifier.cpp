#include "platform/linux/notify_send_notifier.h"

#include "notify/notify_send.h"
#include "platform/posix/launch.h"

void NotifySendNotifier::showNotification(const std::string& title, const std::string& body) {
  launchDetached(notifySendCommand(title, body));
}
