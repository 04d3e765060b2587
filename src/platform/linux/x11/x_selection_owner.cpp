#include "platform/linux/x11/x_selection_owner.h"

#include <algorithm>
#include <cstring>

namespace {

// Each chunk costs the requestor round trips, so large chunks move a large
// text much faster: 1 MiB ones (xclip's size too) serve 64 MB in about two
// thirds of the time 256 KiB ones take, and writing one still holds up the
// loop for well under a millisecond.
constexpr size_t largestChunk = 1024 * 1024;
// Room for the ChangeProperty request's own header.
constexpr size_t requestHeaderBytes = 64;
// The longest MULTIPLE list read, in 32-bit units (pairs of atoms).
constexpr uint32_t multipleUnits = 4096;

size_t chunkBytesFor(xcb_connection_t* conn) {
  const size_t maxRequest = size_t{xcb_get_maximum_request_length(conn)} * 4;
  return std::min(largestChunk, maxRequest - requestHeaderBytes);
}

}  // namespace

XSelectionOwner::XSelectionOwner(XConnection& x, const SelectionAtoms& atoms)
    : x_(x), atoms_(atoms), chunkBytes_(chunkBytesFor(x.get())) {}

bool XSelectionOwner::own(std::string text) {
  xcb_connection_t* conn = x_.get();
  auto held = std::make_shared<const std::string>(std::move(text));
  const bool latin1 = fitsLatin1(*held);
  const xcb_timestamp_t time = x_.serverTime();
  xcb_set_selection_owner(conn, x_.window(), atoms_.clipboard, time);
  auto cookie = xcb_get_selection_owner(conn, atoms_.clipboard);
  XReply<xcb_get_selection_owner_reply_t> owner(
      xcb_get_selection_owner_reply(conn, cookie, nullptr));
  if (!owner || owner->owner != x_.window()) {
    x_.checkAlive();
    text_.reset();
    return false;
  }
  text_ = std::move(held);
  latin1_ = latin1;
  ownedSince_ = time;
  return true;
}

void XSelectionOwner::handle(const xcb_generic_event_t& event) {
  switch (eventType(event)) {
    case XCB_SELECTION_REQUEST:
      answer(reinterpret_cast<const xcb_selection_request_event_t&>(event));
      break;
    case XCB_SELECTION_CLEAR: {
      const auto& clear = reinterpret_cast<const xcb_selection_clear_event_t&>(event);
      // A clear from before our latest ownership is about an older one.
      if (clear.owner == x_.window() && clear.selection == atoms_.clipboard &&
          !timeBefore(clear.time, ownedSince_)) {
        text_.reset();
      }
      break;
    }
    case XCB_PROPERTY_NOTIFY: {
      const auto& notify = reinterpret_cast<const xcb_property_notify_event_t&>(event);
      if (notify.state == XCB_PROPERTY_DELETE) sendNextChunk(notify.window, notify.atom);
      break;
    }
    case XCB_DESTROY_NOTIFY: {
      const auto& destroyed = reinterpret_cast<const xcb_destroy_notify_event_t&>(event);
      std::erase_if(transfers_, [&](const Transfer& t) { return t.requestor == destroyed.window; });
      break;
    }
    default:
      break;
  }
}

void XSelectionOwner::answer(const xcb_selection_request_event_t& request) {
  // Obsolete clients leave the property None and mean the target's name.
  const xcb_atom_t property = request.property == XCB_ATOM_NONE ? request.target : request.property;
  const bool current = request.time == XCB_CURRENT_TIME || ownedSince_ == XCB_CURRENT_TIME ||
                       !timeBefore(request.time, ownedSince_);
  bool done = false;
  if (text_ && current && request.owner == x_.window() && request.selection == atoms_.clipboard &&
      request.requestor != x_.window()) {
    done = request.target == atoms_.multiple
               ? request.property != XCB_ATOM_NONE && convertMultiple(request.requestor, property)
               : convertInto(request.requestor, property, request.target);
  }
  // SendEvent always sends 32 bytes, more than the notify structure holds.
  xcb_selection_notify_event_t notify{};
  notify.response_type = XCB_SELECTION_NOTIFY;
  notify.time = request.time;
  notify.requestor = request.requestor;
  notify.selection = request.selection;
  notify.target = request.target;
  notify.property = done ? property : xcb_atom_t{XCB_ATOM_NONE};
  char wire[32] = {};
  std::memcpy(wire, &notify, sizeof notify);
  xcb_send_event(x_.get(), 0, request.requestor, XCB_EVENT_MASK_NO_EVENT, wire);
  xcb_flush(x_.get());
}

bool XSelectionOwner::convertInto(xcb_window_t requestor, xcb_atom_t property, xcb_atom_t target) {
  auto conversion = convertHeldText(atoms_, target, text_, latin1_, ownedSince_);
  if (!conversion) return false;
  const std::string& bytes = *conversion->bytes;
  if (bytes.size() > chunkBytes_) return startTransfer(requestor, property, std::move(*conversion));
  xcb_change_property(x_.get(), XCB_PROP_MODE_REPLACE, requestor, property, conversion->type,
                      conversion->format,
                      static_cast<uint32_t>(bytes.size() / (conversion->format / 8)), bytes.data());
  return true;
}

bool XSelectionOwner::convertMultiple(xcb_window_t requestor, xcb_atom_t property) {
  xcb_connection_t* conn = x_.get();
  auto cookie =
      xcb_get_property(conn, 0, requestor, property, XCB_GET_PROPERTY_TYPE_ANY, 0, multipleUnits);
  xcb_generic_error_t* error = nullptr;
  XReply<xcb_get_property_reply_t> reply(xcb_get_property_reply(conn, cookie, &error));
  XReply<xcb_generic_error_t> ownedError(error);
  if (!reply || reply->format != 32 || reply->bytes_after != 0) return false;
  const int length = xcb_get_property_value_length(reply.get());
  auto pairs = itemsFromBytes(std::string_view(
      static_cast<const char*>(xcb_get_property_value(reply.get())), static_cast<size_t>(length)));
  pairs.resize(pairs.size() / 2 * 2);
  bool refusedAny = false;
  for (size_t i = 0; i < pairs.size(); i += 2) {
    const xcb_atom_t target = pairs[i];
    const xcb_atom_t into = pairs[i + 1];
    if (into == XCB_ATOM_NONE || target == atoms_.multiple ||
        !convertInto(requestor, into, target)) {
      pairs[i + 1] = XCB_ATOM_NONE;
      refusedAny = true;
    }
  }
  // Refused conversions are reported by replacing their property with None.
  if (refusedAny) {
    xcb_change_property(conn, XCB_PROP_MODE_REPLACE, requestor, property, reply->type, 32,
                        static_cast<uint32_t>(pairs.size()), pairs.data());
  }
  return true;
}

bool XSelectionOwner::startTransfer(xcb_window_t requestor, xcb_atom_t property,
                                    Conversion conversion) {
  xcb_connection_t* conn = x_.get();
  // Property deletions move the transfer on; the window's destruction ends
  // it. Selected before the first write so that no deletion is missed.
  if (!watching(requestor)) {
    const uint32_t mask = XCB_EVENT_MASK_PROPERTY_CHANGE | XCB_EVENT_MASK_STRUCTURE_NOTIFY;
    auto cookie = xcb_change_window_attributes_checked(conn, requestor, XCB_CW_EVENT_MASK, &mask);
    XReply<xcb_generic_error_t> error(xcb_request_check(conn, cookie));
    if (error) return false;  // the requestor is already gone
  }
  std::erase_if(transfers_, [&](const Transfer& t) {
    return t.requestor == requestor && t.property == property;
  });
  const uint32_t lowerBound[] = {
      static_cast<uint32_t>(std::min<size_t>(conversion.bytes->size(), UINT32_MAX))};
  xcb_change_property(conn, XCB_PROP_MODE_REPLACE, requestor, property, atoms_.incr, 32, 1,
                      lowerBound);
  transfers_.push_back({requestor, property, conversion.type, std::move(conversion.bytes), 0});
  return true;
}

void XSelectionOwner::sendNextChunk(xcb_window_t requestor, xcb_atom_t property) {
  auto it = std::find_if(transfers_.begin(), transfers_.end(), [&](const Transfer& t) {
    return t.requestor == requestor && t.property == property;
  });
  if (it == transfers_.end()) return;
  const std::string& bytes = *it->bytes;
  const size_t length = std::min(chunkBytes_, bytes.size() - it->offset);
  // The last chunk is empty and tells the requestor the text is complete.
  xcb_change_property(x_.get(), XCB_PROP_MODE_REPLACE, requestor, property, it->type, 8,
                      static_cast<uint32_t>(length), bytes.data() + it->offset);
  it->offset += length;
  if (length == 0) {
    transfers_.erase(it);
    forgetWindow(requestor);
  }
  xcb_flush(x_.get());
}

void XSelectionOwner::forgetWindow(xcb_window_t window) {
  if (watching(window)) return;
  const uint32_t none = XCB_EVENT_MASK_NO_EVENT;
  xcb_change_window_attributes(x_.get(), window, XCB_CW_EVENT_MASK, &none);
}

bool XSelectionOwner::watching(xcb_window_t window) const {
  return std::any_of(transfers_.begin(), transfers_.end(),
                     [&](const Transfer& t) { return t.requestor == window; });
}
