#pragma once

#include <xcb/xcb.h>

#include <cstdint>
#include <memory>
#include <set>
#include <vector>

#include "platform/hotkey_system.h"
#include "platform/linux/x11/x_connection.h"
#include "platform/linux/x11/x_lock_modifiers.h"

struct xkb_context;
struct xkb_keymap;

// System-wide shortcuts as passive key grabs on the root window. A shortcut
// is grabbed on the keycode of its key position, once per combination of
// the lock modifiers, and grabbed again when the keyboard mapping changes.
// Main thread only.
class XHotkeys final : public HotkeySystem {
 public:
  // Status for a key that this keyboard lacks (X's BadValue).
  static constexpr int32_t noSuchKey = XCB_VALUE;
  // Status for a combination held elsewhere, by another client or by an
  // earlier registration of ours (X's BadAccess).
  static constexpr int32_t heldElsewhere = XCB_ACCESS;

  explicit XHotkeys(XConnection& x);
  ~XHotkeys() override;
  XHotkeys(const XHotkeys&) = delete;
  XHotkeys& operator=(const XHotkeys&) = delete;

  void setHandler(Handler handler) override;
  // Returns 0 when every grab of the combination succeeded; otherwise the
  // first X error code (or noSuchKey), with nothing of it left grabbed.
  int32_t registerHotKey(const HotkeySpec& spec, HotkeyId id) override;

  // The modifier bits a press may carry on top of a shortcut's own, as the
  // keyboard is mapped now.
  uint16_t lockModifiers() const { return locks_.all(); }
  // The keycode a registered shortcut is grabbed on now, 0 if none.
  xcb_keycode_t keycodeOf(uint32_t id) const;

 private:
  struct Grab {
    xcb_keycode_t keycode;
    uint16_t modifiers;
    friend auto operator<=>(const Grab&, const Grab&) = default;
  };
  struct Registration {
    HotkeySpec spec;
    uint32_t id;
    xcb_keycode_t keycode;
    std::set<Grab> grabs;
  };
  struct KeymapDeleter {
    void operator()(xkb_keymap* keymap) const;
  };
  struct ContextDeleter {
    void operator()(xkb_context* context) const;
  };

  void setUpXkb();
  void readKeyboard();
  void onEvent(const xcb_generic_event_t& event);
  void onKeyPress(const xcb_key_press_event_t& press);
  void refresh();
  xcb_keycode_t keycodeFor(uint32_t macKeyCode) const;
  std::set<Grab> wantedGrabs(xcb_keycode_t keycode, const HotkeySpec& spec) const;
  // Grabs each, checking every one; returns the first error code, 0 if none,
  // and puts those that succeeded into *done.
  int32_t grab(const std::set<Grab>& grabs, std::set<Grab>* done);
  void ungrab(const std::set<Grab>& grabs);

  XConnection& x_;
  // The event handler given to x_ outlives this object; it holds this weakly.
  std::shared_ptr<XHotkeys*> self_;
  std::unique_ptr<xkb_context, ContextDeleter> context_;
  std::unique_ptr<xkb_keymap, KeymapDeleter> keymap_;
  uint8_t xkbFirstEvent_ = 0;
  bool xkbReady_ = false;
  LockModifiers locks_;
  std::vector<Registration> registrations_;
  // Keys whose press started a shortcut and that have not been released:
  // auto-repeat presses of them start nothing.
  std::set<xcb_keycode_t> down_;
  Handler handler_;
};
