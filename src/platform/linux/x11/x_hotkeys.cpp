#include "platform/linux/x11/x_hotkeys.h"

// xcb-xkb names a struct member `explicit`, a C++ keyword.
#define explicit explicit_
#include <xcb/xkb.h>
#undef explicit
#include <xkbcommon/xkbcommon-x11.h>
#include <xkbcommon/xkbcommon.h>

#include <algorithm>
#include <iterator>
#include <span>
#include <string>
#include <utility>

#include "platform/linux/x11/x_key_positions.h"

namespace {

template <typename Set>
Set difference(const Set& a, const Set& b) {
  Set out;
  std::set_difference(a.begin(), a.end(), b.begin(), b.end(), std::inserter(out, out.end()));
  return out;
}

// What changes in a keymap that can move a key position to another keycode
// or a lock key to another modifier.
constexpr uint16_t keyboardEvents = XCB_XKB_EVENT_TYPE_NEW_KEYBOARD_NOTIFY |
                                    XCB_XKB_EVENT_TYPE_MAP_NOTIFY | XCB_XKB_EVENT_TYPE_NAMES_NOTIFY;
constexpr uint16_t mapParts = XCB_XKB_MAP_PART_KEY_TYPES | XCB_XKB_MAP_PART_KEY_SYMS |
                              XCB_XKB_MAP_PART_MODIFIER_MAP | XCB_XKB_MAP_PART_EXPLICIT_COMPONENTS |
                              XCB_XKB_MAP_PART_KEY_ACTIONS | XCB_XKB_MAP_PART_KEY_BEHAVIORS |
                              XCB_XKB_MAP_PART_VIRTUAL_MODS | XCB_XKB_MAP_PART_VIRTUAL_MOD_MAP;

}  // namespace

void XHotkeys::KeymapDeleter::operator()(xkb_keymap* keymap) const {
  xkb_keymap_unref(keymap);
}
void XHotkeys::ContextDeleter::operator()(xkb_context* context) const {
  xkb_context_unref(context);
}

XHotkeys::XHotkeys(XConnection& x) : x_(x), self_(std::make_shared<XHotkeys*>(this)) {
  setUpXkb();
  readKeyboard();
  x_.addEventHandler([weak = std::weak_ptr<XHotkeys*>(self_)](const xcb_generic_event_t& event) {
    if (auto self = weak.lock()) (*self)->onEvent(event);
  });
}

XHotkeys::~XHotkeys() {
  for (const auto& registration : registrations_) ungrab(registration.grabs);
  xcb_flush(x_.get());
}

void XHotkeys::setHandler(Handler handler) {
  handler_ = std::move(handler);
}

int32_t XHotkeys::registerHotKey(const HotkeySpec& spec, HotkeyId id) {
  const xcb_keycode_t keycode = keycodeFor(spec.keyCode);
  if (keycode == 0) return noSuchKey;
  const std::set<Grab> wanted = wantedGrabs(keycode, spec);
  // X lets a client grab a combination it already holds, silently, so a
  // clash with our own earlier shortcut must be caught here.
  for (const auto& registration : registrations_) {
    for (const Grab& g : wanted) {
      if (registration.grabs.contains(g)) return heldElsewhere;
    }
  }
  std::set<Grab> done;
  if (int32_t status = grab(wanted, &done); status != 0) {
    ungrab(done);
    xcb_flush(x_.get());
    return status;
  }
  registrations_.push_back({spec, id.id, keycode, std::move(done)});
  return 0;
}

xcb_keycode_t XHotkeys::keycodeOf(uint32_t id) const {
  for (const auto& registration : registrations_) {
    if (registration.id == id) return registration.keycode;
  }
  return 0;
}

void XHotkeys::setUpXkb() {
  xcb_connection_t* conn = x_.get();
  uint16_t major = 0, minor = 0;
  uint8_t firstError = 0;
  if (!xkb_x11_setup_xkb_extension(
          conn, XKB_X11_MIN_MAJOR_XKB_VERSION, XKB_X11_MIN_MINOR_XKB_VERSION,
          XKB_X11_SETUP_XKB_EXTENSION_NO_FLAGS, &major, &minor, &xkbFirstEvent_, &firstError)) {
    x_.checkAlive();
    return;
  }
  context_.reset(xkb_context_new(XKB_CONTEXT_NO_DEFAULT_INCLUDES));
  xkbReady_ = context_ != nullptr;
  // An XKB client may no longer get core MappingNotify; these replace it.
  xcb_xkb_select_events(conn, XCB_XKB_ID_USE_CORE_KBD, keyboardEvents, 0, keyboardEvents, mapParts,
                        mapParts, nullptr);
  // Without it a held key reaches us as press, release, press...; with it
  // only as presses, which onKeyPress can tell from a new press.
  auto cookie = xcb_xkb_per_client_flags(conn, XCB_XKB_ID_USE_CORE_KBD,
                                         XCB_XKB_PER_CLIENT_FLAG_DETECTABLE_AUTO_REPEAT,
                                         XCB_XKB_PER_CLIENT_FLAG_DETECTABLE_AUTO_REPEAT, 0, 0, 0);
  XReply<xcb_xkb_per_client_flags_reply_t> reply(
      xcb_xkb_per_client_flags_reply(conn, cookie, nullptr));
  x_.checkAlive();
}

void XHotkeys::readKeyboard() {
  xcb_connection_t* conn = x_.get();
  if (xkbReady_) {
    const int32_t device = xkb_x11_get_core_keyboard_device_id(conn);
    if (device >= 0) {
      if (xkb_keymap* keymap = xkb_x11_keymap_new_from_device(context_.get(), conn, device,
                                                              XKB_KEYMAP_COMPILE_NO_FLAGS)) {
        keymap_.reset(keymap);
      }
    }
  }
  const xcb_setup_t* setup = xcb_get_setup(conn);
  xcb_keycode_t first = setup->min_keycode;
  xcb_keycode_t last = setup->max_keycode;
  if (keymap_) {
    first = static_cast<xcb_keycode_t>(
        std::clamp<xkb_keycode_t>(xkb_keymap_min_keycode(keymap_.get()), 8, 255));
    last = static_cast<xcb_keycode_t>(
        std::clamp<xkb_keycode_t>(xkb_keymap_max_keycode(keymap_.get()), first, 255));
  }
  auto modifierCookie = xcb_get_modifier_mapping(conn);
  auto keysymCookie = xcb_get_keyboard_mapping(conn, first, static_cast<uint8_t>(last - first + 1));
  XReply<xcb_get_modifier_mapping_reply_t> modifiers(
      xcb_get_modifier_mapping_reply(conn, modifierCookie, nullptr));
  XReply<xcb_get_keyboard_mapping_reply_t> keysyms(
      xcb_get_keyboard_mapping_reply(conn, keysymCookie, nullptr));
  if (!modifiers || !keysyms) {
    x_.checkAlive();
    return;
  }
  const std::span<const xcb_keysym_t> allSyms(
      xcb_get_keyboard_mapping_keysyms(keysyms.get()),
      static_cast<size_t>(xcb_get_keyboard_mapping_keysyms_length(keysyms.get())));
  const size_t perKeycode = keysyms->keysyms_per_keycode;
  locks_ = findLockModifiers(
      std::span<const xcb_keycode_t>(
          xcb_get_modifier_mapping_keycodes(modifiers.get()),
          static_cast<size_t>(xcb_get_modifier_mapping_keycodes_length(modifiers.get()))),
      modifiers->keycodes_per_modifier, [&](xcb_keycode_t keycode) {
        const size_t start = static_cast<size_t>(keycode - first) * perKeycode;
        if (keycode < first || start + perKeycode > allSyms.size()) {
          return std::span<const xcb_keysym_t>();
        }
        return allSyms.subspan(start, perKeycode);
      });
}

void XHotkeys::onEvent(const xcb_generic_event_t& event) {
  const uint8_t type = event.response_type & 0x7f;
  switch (type) {
    case XCB_KEY_PRESS:
      // A synthetic press (SendEvent) is not the user's.
      if ((event.response_type & 0x80) == 0) {
        onKeyPress(reinterpret_cast<const xcb_key_press_event_t&>(event));
      }
      return;
    case XCB_KEY_RELEASE:
      down_.erase(reinterpret_cast<const xcb_key_release_event_t&>(event).detail);
      return;
    case XCB_MAPPING_NOTIFY:
      if (reinterpret_cast<const xcb_mapping_notify_event_t&>(event).request !=
          XCB_MAPPING_POINTER) {
        refresh();
      }
      return;
    default:
      // Every XKB event has the same type; its second byte says which it is.
      if (xkbReady_ && type == xkbFirstEvent_) {
        const uint8_t xkbType = event.pad0;
        if (xkbType == XCB_XKB_NEW_KEYBOARD_NOTIFY || xkbType == XCB_XKB_MAP_NOTIFY ||
            xkbType == XCB_XKB_NAMES_NOTIFY) {
          refresh();
        }
      }
  }
}

void XHotkeys::onKeyPress(const xcb_key_press_event_t& press) {
  for (const auto& registration : registrations_) {
    if (registration.keycode != press.detail ||
        !modifiersMatch(press.state, xModifiers(registration.spec.modifiers), locks_.all())) {
      continue;
    }
    if (!down_.insert(press.detail).second) return;
    if (handler_) handler_(registration.id);
    return;
  }
}

void XHotkeys::refresh() {
  readKeyboard();
  std::set<Grab> held, wanted;
  std::vector<std::set<Grab>> wantedEach;
  for (auto& registration : registrations_) {
    registration.keycode = keycodeFor(registration.spec.keyCode);
    wantedEach.push_back(wantedGrabs(registration.keycode, registration.spec));
    held.insert(registration.grabs.begin(), registration.grabs.end());
    wanted.insert(wantedEach.back().begin(), wantedEach.back().end());
  }
  if (held == wanted) return;
  // The new grabs go in before the old ones come out, so a shortcut whose
  // key did not move is never without its grab, even for a moment.
  std::set<Grab> added;
  grab(difference(wanted, held), &added);
  ungrab(difference(held, wanted));
  xcb_flush(x_.get());
  held.insert(added.begin(), added.end());
  for (size_t i = 0; i < registrations_.size(); ++i) {
    std::set<Grab> kept;
    std::set_intersection(wantedEach[i].begin(), wantedEach[i].end(), held.begin(), held.end(),
                          std::inserter(kept, kept.end()));
    registrations_[i].grabs = std::move(kept);
  }
}

xcb_keycode_t XHotkeys::keycodeFor(uint32_t macKeyCode) const {
  const auto name = xkbKeyName(macKeyCode);
  if (!name || !keymap_) return 0;
  const xkb_keycode_t keycode = xkb_keymap_key_by_name(keymap_.get(), std::string(*name).c_str());
  if (keycode == XKB_KEYCODE_INVALID || keycode < 8 || keycode > 255) return 0;
  return static_cast<xcb_keycode_t>(keycode);
}

std::set<XHotkeys::Grab> XHotkeys::wantedGrabs(xcb_keycode_t keycode,
                                               const HotkeySpec& spec) const {
  std::set<Grab> grabs;
  if (keycode == 0) return grabs;
  const uint16_t modifiers = xModifiers(spec.modifiers);
  for (uint16_t locks : lockCombinations(locks_.all(), modifiers)) {
    grabs.insert({keycode, static_cast<uint16_t>(modifiers | locks)});
  }
  return grabs;
}

int32_t XHotkeys::grab(const std::set<Grab>& grabs, std::set<Grab>* done) {
  xcb_connection_t* conn = x_.get();
  std::vector<std::pair<Grab, xcb_void_cookie_t>> sent;
  for (const Grab& g : grabs) {
    sent.emplace_back(g, xcb_grab_key_checked(conn, 0, x_.root(), g.modifiers, g.keycode,
                                              XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
  }
  int32_t status = 0;
  for (const auto& [g, cookie] : sent) {
    XReply<xcb_generic_error_t> error(xcb_request_check(conn, cookie));
    if (error) {
      if (status == 0) status = error->error_code;
    } else {
      done->insert(g);
    }
  }
  // A dead connection answers every check with "no error".
  x_.checkAlive();
  return status;
}

void XHotkeys::ungrab(const std::set<Grab>& grabs) {
  for (const Grab& g : grabs) xcb_ungrab_key(x_.get(), g.keycode, x_.root(), g.modifiers);
}
