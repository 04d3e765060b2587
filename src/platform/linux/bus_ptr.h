#pragma once

#include <systemd/sd-bus.h>

#include <memory>

// Owning handles for sd-bus objects.
struct BusDeleter {
  // Closed without flushing: a flush waits, with no time limit, for a peer
  // that may be frozen.
  void operator()(sd_bus* bus) const { sd_bus_close_unref(bus); }
};
struct BusMessageDeleter {
  void operator()(sd_bus_message* message) const { sd_bus_message_unref(message); }
};
struct BusSlotDeleter {
  void operator()(sd_bus_slot* slot) const { sd_bus_slot_unref(slot); }
};

using BusPtr = std::unique_ptr<sd_bus, BusDeleter>;
using BusMessagePtr = std::unique_ptr<sd_bus_message, BusMessageDeleter>;
using BusSlotPtr = std::unique_ptr<sd_bus_slot, BusSlotDeleter>;
