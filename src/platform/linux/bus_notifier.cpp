#include "platform/linux/bus_notifier.h"

#include <cstdint>

#include "notify/notification_text.h"
#include "platform/linux/bus_ptr.h"

namespace {

// Notifications handed to the main thread and not sent yet. Only a stuck
// main thread lets them pile up; past this cap a new one is dropped.
constexpr int maxHandedOver = 32;
// Messages sd-bus holds because the bus takes no more (frozen, or still
// authenticating us). Past this cap a new notification is dropped, so a
// frozen bus costs at most this many messages of memory.
constexpr uint64_t maxQueuedWrites = 32;

int sendNotify(sd_bus* bus, const std::string& title, const std::string& body) {
  sd_bus_message* created = nullptr;
  int r = sd_bus_message_new_method_call(bus, &created, "org.freedesktop.Notifications",
                                         "/org/freedesktop/Notifications",
                                         "org.freedesktop.Notifications", "Notify");
  if (r < 0) return r;
  BusMessagePtr message(created);
  // App name, replaces id, icon, summary, body, actions, hints, timeout.
  r = sd_bus_message_append(message.get(), "susssasa{sv}i", "varkel", uint32_t{0}, "",
                            title.c_str(), body.c_str(), 0, 0, int32_t{-1});
  if (r < 0) return r;
  // The reply only carries the notification's id; waiting for it would let
  // a frozen server hold us.
  r = sd_bus_message_set_expect_reply(message.get(), 0);
  if (r < 0) return r;
  return sd_bus_send(bus, message.get(), nullptr);
}

}  // namespace

void BusNotifier::showNotification(const std::string& title, const std::string& body) {
  if (handedOver_.fetch_add(1) >= maxHandedOver) {
    handedOver_.fetch_sub(1);
    return;
  }
  // The connection lives on the main thread because sd-bus connections are not thread-safe and
  // the main loop already sleeps on every other descriptor, so the bus costs no thread and no
  // wake-up of its own. Callers on any thread only hand over the finished texts.
  main_.submit([this, title = busText(title), body = notificationBody(body)] {
    handedOver_.fetch_sub(1);
    send(title, body);
  });
}

void BusNotifier::send(const std::string& title, const std::string& body) {
  // A connection can die unseen between two notifications (the bus
  // restarted); a send that fails on it is tried once on a fresh one.
  for (int attempt = 0; attempt < 2; ++attempt) {
    sd_bus* bus = bus_.get();
    if (bus == nullptr) return;
    uint64_t queued = 0;
    if (sd_bus_get_n_queued_write(bus, &queued) >= 0 && queued >= maxQueuedWrites) return;
    if (sendNotify(bus, title, body) >= 0 || sd_bus_is_open(bus) > 0) return;
  }
}
