#include "platform/linux/x11/x_clipboard.h"

namespace {

SelectionAtoms internAtoms(XConnection& x) {
  SelectionAtoms atoms;
  atoms.clipboard = x.atom("CLIPBOARD");
  atoms.targets = x.atom("TARGETS");
  atoms.timestamp = x.atom("TIMESTAMP");
  atoms.multiple = x.atom("MULTIPLE");
  atoms.incr = x.atom("INCR");
  atoms.atomPair = x.atom("ATOM_PAIR");
  atoms.utf8String = x.atom("UTF8_STRING");
  atoms.utf8Mime = x.atom("text/plain;charset=utf-8");
  atoms.text = x.atom("TEXT");
  atoms.compoundText = x.atom("COMPOUND_TEXT");
  return atoms;
}

xcb_window_t selectionOwner(XConnection& x, xcb_atom_t selection) {
  auto cookie = xcb_get_selection_owner(x.get(), selection);
  XReply<xcb_get_selection_owner_reply_t> reply(
      xcb_get_selection_owner_reply(x.get(), cookie, nullptr));
  if (!reply) {
    x.checkAlive();
    return XCB_WINDOW_NONE;
  }
  return reply->owner;
}

}  // namespace

XClipboard::XClipboard(XConnection& x, std::chrono::milliseconds quietBound)
    : x_(x),
      atoms_(internAtoms(x)),
      reader_(x, atoms_, quietBound),
      owner_(std::make_shared<XSelectionOwner>(x, atoms_)) {
  std::weak_ptr<XSelectionOwner> owner = owner_;
  x.addEventHandler([owner](const xcb_generic_event_t& event) {
    if (auto alive = owner.lock()) alive->handle(event);
  });
}

std::optional<std::string> XClipboard::readText() {
  // Events are handled in the order the server sent them, so the clear
  // notice of any owner change before the key press that asked for this read
  // has been handled: a held text was still the CLIPBOARD's then, and asking
  // the server who owns it would only cost a round trip.
  if (const auto& held = owner_->text()) return *held;
  return reader_.read();
}

void XClipboard::clearContents() {
  owner_->drop();
}

void XClipboard::setString(std::string text) {
  owner_->own(std::move(text));
}

bool XClipboard::handOffToManager(std::chrono::milliseconds bound) {
  const auto deadline = std::chrono::steady_clock::now() + bound;
  if (!owner_->text() || clipboardOwner() != x_.window()) return false;
  const xcb_atom_t manager = x_.atom("CLIPBOARD_MANAGER");
  if (selectionOwner(x_, manager) == XCB_WINDOW_NONE) return false;

  xcb_connection_t* conn = x_.get();
  const xcb_window_t window = x_.window();
  const xcb_atom_t saveTargets = x_.atom("SAVE_TARGETS");
  // The targets worth keeping, for the manager to ask for.
  const xcb_atom_t property = x_.atom("VARKEL_SAVE_TARGETS");
  const uint32_t keep[] = {atoms_.utf8String, atoms_.utf8Mime};
  xcb_change_property(conn, XCB_PROP_MODE_REPLACE, window, property, XCB_ATOM_ATOM, 32,
                      std::size(keep), keep);
  const xcb_timestamp_t time = x_.serverTime();
  xcb_convert_selection(conn, window, manager, saveTargets, property, time);

  auto saved = [&](const xcb_generic_event_t& e) {
    if (eventType(e) != XCB_SELECTION_NOTIFY) return false;
    const auto& notify = reinterpret_cast<const xcb_selection_notify_event_t&>(e);
    return notify.requestor == window && notify.selection == manager &&
           notify.target == saveTargets;
  };
  // Only what moves the manager's requests along is taken here; the rest
  // stays queued for the loop.
  auto served = [&](const xcb_generic_event_t& e) {
    switch (eventType(e)) {
      case XCB_SELECTION_REQUEST:
      case XCB_SELECTION_CLEAR:
      case XCB_DESTROY_NOTIFY:
        return true;
      case XCB_PROPERTY_NOTIFY:
        return reinterpret_cast<const xcb_property_notify_event_t&>(e).window != window;
      default:
        return false;
    }
  };
  for (;;) {
    XEvent event =
        x_.waitFor([&](const xcb_generic_event_t& e) { return saved(e) || served(e); }, deadline);
    if (!event) return false;
    if (saved(*event)) {
      return reinterpret_cast<const xcb_selection_notify_event_t&>(*event).property !=
             XCB_ATOM_NONE;
    }
    owner_->handle(*event);
  }
}

xcb_window_t XClipboard::clipboardOwner() {
  return selectionOwner(x_, atoms_.clipboard);
}
