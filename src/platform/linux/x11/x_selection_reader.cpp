#include "platform/linux/x11/x_selection_reader.h"

namespace {

constexpr unsigned propertySlots = 4;
// GetProperty is asked for this many 32-bit units at a time, so that a
// property of any size is read without one huge reply.
constexpr uint32_t pieceUnits = (1u << 20) / 4;

// Reads a whole property of the agent's window and deletes it, which is also
// what asks an INCR owner for its next chunk. The server deletes it with the
// read of the last piece, so a chunk written just after that read is never
// deleted unread. Stops reading once the value is larger than maxBytes. A
// property that does not exist reads as type None.
PropertyValue takeProperty(XConnection& x, xcb_atom_t property, size_t maxBytes) {
  xcb_connection_t* conn = x.get();
  PropertyValue value;
  uint32_t offset = 0;
  for (;;) {
    auto cookie = xcb_get_property(conn, 1, x.window(), property, XCB_GET_PROPERTY_TYPE_ANY, offset,
                                   pieceUnits);
    XReply<xcb_get_property_reply_t> reply(xcb_get_property_reply(conn, cookie, nullptr));
    if (!reply) {
      x.checkAlive();
      return {};
    }
    if (offset == 0) {
      value.type = reply->type;
      value.format = reply->format;
    } else if (reply->type != value.type || reply->format != value.format) {
      return {};  // replaced while being read
    }
    const int length = xcb_get_property_value_length(reply.get());
    value.bytes.append(static_cast<const char*>(xcb_get_property_value(reply.get())),
                       static_cast<size_t>(length));
    if (reply->bytes_after == 0) return value;
    if (length == 0 || value.bytes.size() > maxBytes) break;
    offset += static_cast<uint32_t>(length) / 4;
  }
  // Given up part way: the rest is not wanted either.
  xcb_delete_property(conn, x.window(), property);
  xcb_flush(conn);
  return value;
}

}  // namespace

std::optional<std::string> XSelectionReader::read() {
  const xcb_atom_t property =
      x_.atom("VARKEL_SELECTION_" + std::to_string(propertySlot_ % propertySlots));
  const xcb_timestamp_t time = requestTime();
  for (xcb_atom_t target : {atoms_.utf8String, atoms_.utf8Mime, atomString, atoms_.text}) {
    Attempt attempt = convert(target, property, time);
    if (attempt.outcome == Outcome::text) return std::move(attempt.text);
    if (attempt.outcome == Outcome::failed) {
      ++propertySlot_;
      return std::nullopt;
    }
  }
  return std::nullopt;
}

// The owner echoes the time back, which tells its answer from a late answer
// to an earlier, abandoned read, so no two reads may share one. The time of
// the event that triggered the read (the key press) is the one to use and
// costs nothing; asking the server for one costs a round trip. Reads within
// one millisecond get the server's time moved on by one.
xcb_timestamp_t XSelectionReader::requestTime() {
  auto fresh = [this](xcb_timestamp_t t) {
    return t != XCB_CURRENT_TIME && (lastTime_ == XCB_CURRENT_TIME || timeBefore(lastTime_, t));
  };
  xcb_timestamp_t time = x_.lastEventTime();
  if (!fresh(time)) time = x_.serverTime();
  if (!fresh(time)) time = lastTime_ + 1;
  lastTime_ = time;
  return time;
}

XSelectionReader::Attempt XSelectionReader::convert(xcb_atom_t target, xcb_atom_t property,
                                                    xcb_timestamp_t time) {
  xcb_connection_t* conn = x_.get();
  const xcb_window_t window = x_.window();
  const xcb_atom_t selection = atoms_.clipboard;
  xcb_convert_selection(conn, window, selection, target, property, time);
  XEvent answer = x_.waitFor(
      [&](const xcb_generic_event_t& e) {
        if (eventType(e) != XCB_SELECTION_NOTIFY) return false;
        const auto& notify = reinterpret_cast<const xcb_selection_notify_event_t&>(e);
        return notify.requestor == window && notify.selection == selection &&
               notify.target == target && notify.time == time;
      },
      std::chrono::steady_clock::now() + quietBound_);
  if (!answer) return {Outcome::failed, {}};
  const auto& notify = reinterpret_cast<const xcb_selection_notify_event_t&>(*answer);
  if (notify.property != property) return {Outcome::refused, {}};

  SelectionTextAssembler assembler(atoms_, maxSelectionTextBytes);
  auto step = assembler.first(takeProperty(x_, property, maxSelectionTextBytes));
  if (step == SelectionTextAssembler::Step::noText) return {Outcome::refused, {}};
  while (step == SelectionTextAssembler::Step::needChunk) {
    XEvent change = x_.waitFor(
        [&](const xcb_generic_event_t& e) {
          if (eventType(e) != XCB_PROPERTY_NOTIFY) return false;
          const auto& notify = reinterpret_cast<const xcb_property_notify_event_t&>(e);
          return notify.window == window && notify.atom == property &&
                 notify.state == XCB_PROPERTY_NEW_VALUE;
        },
        std::chrono::steady_clock::now() + quietBound_);
    if (!change) return {Outcome::failed, {}};
    step = assembler.chunk(takeProperty(x_, property, maxSelectionTextBytes));
  }
  if (step == SelectionTextAssembler::Step::noText) return {Outcome::failed, {}};
  return {Outcome::text, assembler.take()};
}
