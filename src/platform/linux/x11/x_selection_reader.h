#pragma once

#include <chrono>
#include <optional>
#include <string>

#include "platform/linux/x11/x_connection.h"
#include "platform/linux/x11/x_selection_data.h"

// The most text a read accepts; an owner that sends more is treated as
// offering no text rather than allowed to exhaust memory.
inline constexpr size_t maxSelectionTextBytes = size_t{1} << 30;

// Reads the CLIPBOARD text of another client, synchronously, on the main
// thread. Asks for UTF-8 first and falls back to the older text targets when
// the owner refuses. Events that arrive meanwhile are kept by the connection,
// in order.
class XSelectionReader {
 public:
  XSelectionReader(XConnection& x, const SelectionAtoms& atoms,
                   std::chrono::milliseconds quietBound)
      : x_(x), atoms_(atoms), quietBound_(quietBound) {}

  // Nothing when there is no owner (the server then refuses every target),
  // no text, or the owner goes quiet for longer than the bound (each INCR
  // chunk restarts it).
  std::optional<std::string> read();

 private:
  enum class Outcome { text, refused, failed };
  struct Attempt {
    Outcome outcome;
    std::string text;
  };

  Attempt convert(xcb_atom_t target, xcb_atom_t property, xcb_timestamp_t time);
  xcb_timestamp_t requestTime();

  XConnection& x_;
  SelectionAtoms atoms_;
  std::chrono::milliseconds quietBound_;
  // An owner that stalled may still write into the property of an abandoned
  // read; the next read uses another one.
  unsigned propertySlot_ = 0;
  // The time of the previous read; each read needs a later one.
  xcb_timestamp_t lastTime_ = XCB_CURRENT_TIME;
};
