#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>

#include "platform/hotkey_system.h"
#include "platform/linux/bus_ptr.h"
#include "platform/linux/session_bus.h"

// System-wide shortcuts through the desktop's global-shortcuts portal
// (org.freedesktop.portal.GlobalShortcuts), for desktops where a client
// cannot grab keys itself. Both shortcuts go into one portal session, made
// under a fixed token: outside a sandbox the portal knows the agent by that
// token alone, and finds the shortcuts the user kept from earlier runs under
// it. The session is made once the main loop runs, after every registration
// of start-up, and made again whenever the portal or the bus comes back.
// Main thread only.
class PortalHotkeys final : public HotkeySystem {
 public:
  explicit PortalHotkeys(SessionBus& bus);
  ~PortalHotkeys() override;
  PortalHotkeys(const PortalHotkeys&) = delete;
  PortalHotkeys& operator=(const PortalHotkeys&) = delete;

  // Whether the session bus has a global-shortcuts portal, starting it if the
  // bus can; waits a few seconds at most.
  static bool available(SessionBus& bus);

  void setHandler(Handler handler) override;
  // 0 when the portal answers (the user binds or rebinds the keys there, so
  // no refusal comes back at once); otherwise a negative errno: the bus or
  // the portal is missing, or the id names no shortcut of the agent.
  int32_t registerHotKey(const HotkeySpec& spec, HotkeyId id) override;

 private:
  using Step = void (PortalHotkeys::*)(sd_bus_message* results);

  static int32_t probe(sd_bus* bus);
  void attach(sd_bus* bus);
  // Drops the session (gone with the portal or the bus) and any request.
  void forget();
  void endRequest();
  void createSession();
  void listShortcuts();
  void onCreated(sd_bus_message* results);
  void bindMissing(sd_bus_message* listed);
  // Calls one portal method whose answer comes as the Response signal of a
  // request object, listening for that signal before the call goes out.
  // append(message, token) adds the arguments, token as handle_token; then,
  // if given, gets the results of a successful Response.
  template <typename Append>
  void request(const char* method, Step then, Append append);

  static int onResponse(sd_bus_message* m, void* self, sd_bus_error*);
  static int onCallReply(sd_bus_message* m, void* self, sd_bus_error*);
  static int onShortcutSignal(sd_bus_message* m, void* self, sd_bus_error*);
  static int onOwnerChanged(sd_bus_message* m, void* self, sd_bus_error*);
  static int onPortalFound(sd_bus_message* m, void* self, sd_bus_error*);

  SessionBus& bus_;
  sd_bus* attached_ = nullptr;  // kept alive by the slots below while set
  BusSlotPtr shortcutSignals_;
  BusSlotPtr ownerChanged_;
  BusSlotPtr found_;  // the call that finds the portal, while it is out
  // The one request in flight: its Response match and its method call.
  BusSlotPtr response_;
  BusSlotPtr call_;
  Step then_ = nullptr;
  unsigned requests_ = 0;
  // Sessions asked for since the portal was last found.
  int creates_ = 0;
  // The session's object path, once made.
  std::string session_;
  // Shortcuts activated and not deactivated yet.
  std::set<uint32_t> held_;
  // By id, as the portal takes them.
  std::map<uint32_t, std::string> triggers_;
  Handler handler_;
  // The hook given to the bus outlives this object; it holds this weakly.
  std::shared_ptr<PortalHotkeys*> self_;
};
