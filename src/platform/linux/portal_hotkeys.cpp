#include "platform/linux/portal_hotkeys.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <set>

#include "platform/linux/portal_trigger.h"

namespace {

constexpr const char* portal = "org.freedesktop.portal.Desktop";
constexpr const char* desktopPath = "/org/freedesktop/portal/desktop";
constexpr const char* shortcutsInterface = "org.freedesktop.portal.GlobalShortcuts";
constexpr const char* propertiesInterface = "org.freedesktop.DBus.Properties";
constexpr const char* sessionToken = "varkel_agent";
constexpr const char* ownerMatch =
    "type='signal',sender='org.freedesktop.DBus',path='/org/freedesktop/DBus',"
    "interface='org.freedesktop.DBus',member='NameOwnerChanged',"
    "arg0='org.freedesktop.portal.Desktop'";
// A running portal answers in milliseconds; starting one takes longer.
constexpr uint64_t probeTimeoutUsec = 3'000'000;

struct Shortcut {
  uint32_t id;
  const char* name;
  const char* description;
};
constexpr std::array<Shortcut, 2> shortcuts{{
    {copyHotkeyId, "copy", "gửi đi"},
    {pasteHotkeyId, "paste", "lấy về"},
}};

const Shortcut* byId(uint32_t id) {
  for (const auto& s : shortcuts) {
    if (s.id == id) return &s;
  }
  return nullptr;
}

// The portal's request objects are named after the caller's unique name,
// without its colon and with "_" for ".", and the token the caller chose.
std::string requestPath(sd_bus* bus, const std::string& token) {
  const char* unique = nullptr;
  if (sd_bus_get_unique_name(bus, &unique) < 0 || !unique || !*unique) return {};
  std::string sender(unique + 1);
  std::replace(sender.begin(), sender.end(), '.', '_');
  return std::string(desktopPath) + "/request/" + sender + "/" + token;
}

// Moves m, standing before a results vardict, into the variant under key.
bool enterResult(sd_bus_message* m, const char* key, const char* type) {
  if (sd_bus_message_enter_container(m, 'a', "{sv}") <= 0) return false;
  while (sd_bus_message_enter_container(m, 'e', "sv") > 0) {
    const char* name = nullptr;
    if (sd_bus_message_read(m, "s", &name) < 0) return false;
    if (std::strcmp(name, key) == 0) return sd_bus_message_enter_container(m, 'v', type) > 0;
    if (sd_bus_message_skip(m, "v") < 0 || sd_bus_message_exit_container(m) < 0) return false;
  }
  return false;
}

bool appendShortcuts(sd_bus_message* m, const std::map<uint32_t, std::string>& triggers,
                     const std::set<std::string>& skip) {
  if (sd_bus_message_open_container(m, 'a', "(sa{sv})") < 0) return false;
  for (const auto& [id, trigger] : triggers) {
    const Shortcut* s = byId(id);
    if (skip.contains(s->name)) continue;
    if (sd_bus_message_append(m, "(sa{sv})", s->name, 2, "description", "s", s->description,
                              "preferred_trigger", "s", trigger.c_str()) < 0) {
      return false;
    }
  }
  return sd_bus_message_close_container(m) >= 0;
}

}  // namespace

PortalHotkeys::PortalHotkeys(SessionBus& bus)
    : bus_(bus), self_(std::make_shared<PortalHotkeys*>(this)) {
  bus_.onNewConnection([self = std::weak_ptr<PortalHotkeys*>(self_)](sd_bus* connection) {
    if (auto hotkeys = self.lock()) (*hotkeys)->attach(connection);
  });
}

PortalHotkeys::~PortalHotkeys() = default;

bool PortalHotkeys::available(SessionBus& bus) {
  sd_bus* connection = bus.get();
  return connection && probe(connection) == 0;
}

void PortalHotkeys::setHandler(Handler handler) {
  handler_ = std::move(handler);
}

int32_t PortalHotkeys::registerHotKey(const HotkeySpec& spec, HotkeyId id) {
  const auto trigger = portalTrigger(spec);
  if (!byId(id.id) || !trigger) return -EINVAL;
  sd_bus* bus = bus_.get();
  if (!bus) return -ENOTCONN;
  if (const int32_t status = probe(bus); status != 0) return status;
  triggers_[id.id] = *trigger;
  // Attaching asks for the session without waiting, so that it is made on
  // the main loop, after every registration of start-up, and holds them all.
  if (bus != attached_ || (session_.empty() && !response_ && !found_)) {
    attach(bus);
  } else if (!response_) {
    listShortcuts();
  }
  return 0;
}

int32_t PortalHotkeys::probe(sd_bus* bus) {
  sd_bus_message* raw = nullptr;
  int r =
      sd_bus_message_new_method_call(bus, &raw, portal, desktopPath, propertiesInterface, "Get");
  const BusMessagePtr call(raw);
  if (r >= 0) r = sd_bus_message_append(raw, "ss", shortcutsInterface, "version");
  sd_bus_message* reply = nullptr;
  if (r >= 0) r = sd_bus_call(bus, raw, probeTimeoutUsec, nullptr, &reply);
  const BusMessagePtr answer(reply);
  uint32_t version = 0;
  if (r >= 0) r = sd_bus_message_read(reply, "v", "u", &version);
  if (r < 0) return r;
  return version >= 1 ? 0 : -EPROTONOSUPPORT;
}

void PortalHotkeys::attach(sd_bus* bus) {
  forget();
  attached_ = nullptr;
  sd_bus_slot* slot = nullptr;
  if (sd_bus_match_signal_async(bus, &slot, portal, desktopPath, shortcutsInterface, nullptr,
                                onShortcutSignal, nullptr, this) < 0) {
    return;
  }
  shortcutSignals_.reset(slot);
  if (sd_bus_add_match_async(bus, &slot, ownerMatch, onOwnerChanged, nullptr, this) < 0) return;
  ownerChanged_.reset(slot);
  // Asked again, without waiting: this also starts a portal that is not running yet.
  if (sd_bus_call_method_async(bus, &slot, portal, desktopPath, propertiesInterface, "Get",
                               onPortalFound, this, "ss", shortcutsInterface, "version") < 0) {
    return;
  }
  found_.reset(slot);
  attached_ = bus;
}

void PortalHotkeys::forget() {
  session_.clear();
  held_.clear();
  creates_ = 0;
  endRequest();
}

void PortalHotkeys::endRequest() {
  response_.reset();
  call_.reset();
  then_ = nullptr;
}

void PortalHotkeys::createSession() {
  if (triggers_.empty() || response_ || !session_.empty()) return;
  ++creates_;
  // The shortcuts go in as an option as well: a portal that takes them here
  // binds them without asking the user (Plasma); the others ignore it.
  request("CreateSession", &PortalHotkeys::onCreated, [this](sd_bus_message* m, const char* token) {
    return sd_bus_message_open_container(m, 'a', "{sv}") >= 0 &&
           sd_bus_message_append(m, "{sv}{sv}", "handle_token", "s", token, "session_handle_token",
                                 "s", sessionToken) >= 0 &&
           sd_bus_message_open_container(m, 'e', "sv") >= 0 &&
           sd_bus_message_append(m, "s", "shortcuts") >= 0 &&
           sd_bus_message_open_container(m, 'v', "a(sa{sv})") >= 0 &&
           appendShortcuts(m, triggers_, {}) && sd_bus_message_close_container(m) >= 0 &&
           sd_bus_message_close_container(m) >= 0 && sd_bus_message_close_container(m) >= 0;
  });
}

void PortalHotkeys::onCreated(sd_bus_message* results) {
  const char* handle = nullptr;
  if (!enterResult(results, "session_handle", "s") ||
      sd_bus_message_read(results, "s", &handle) < 0) {
    return;
  }
  session_ = handle;
  listShortcuts();
}

void PortalHotkeys::listShortcuts() {
  request("ListShortcuts", &PortalHotkeys::bindMissing,
          [this](sd_bus_message* m, const char* token) {
            return sd_bus_message_append(m, "oa{sv}", session_.c_str(), 1, "handle_token", "s",
                                         token) >= 0;
          });
}

// Binding asks the user (Plasma opens its settings at every call), so only
// the shortcuts the portal does not know yet are bound.
void PortalHotkeys::bindMissing(sd_bus_message* listed) {
  std::set<std::string> known;
  if (enterResult(listed, "shortcuts", "a(sa{sv})") &&
      sd_bus_message_enter_container(listed, 'a', "(sa{sv})") > 0) {
    while (sd_bus_message_enter_container(listed, 'r', "sa{sv}") > 0) {
      const char* name = nullptr;
      if (sd_bus_message_read(listed, "s", &name) < 0 || sd_bus_message_skip(listed, "a{sv}") < 0 ||
          sd_bus_message_exit_container(listed) < 0) {
        break;
      }
      known.insert(name);
    }
  }
  if (std::all_of(triggers_.begin(), triggers_.end(),
                  [&](const auto& t) { return known.contains(byId(t.first)->name); })) {
    return;
  }
  request("BindShortcuts", nullptr, [this, &known](sd_bus_message* m, const char* token) {
    return sd_bus_message_append(m, "o", session_.c_str()) >= 0 &&
           appendShortcuts(m, triggers_, known) &&
           sd_bus_message_append(m, "sa{sv}", "", 1, "handle_token", "s", token) >= 0;
  });
}

template <typename Append>
void PortalHotkeys::request(const char* method, Step then, Append append) {
  if (!attached_) return;
  const std::string token = "varkel" + std::to_string(++requests_);
  const std::string path = requestPath(attached_, token);
  sd_bus_slot* slot = nullptr;
  // The match goes to the bus before the call, so the Response cannot slip by.
  if (path.empty() || sd_bus_match_signal_async(attached_, &slot, portal, path.c_str(),
                                                "org.freedesktop.portal.Request", "Response",
                                                onResponse, nullptr, this) < 0) {
    return;
  }
  response_.reset(slot);
  sd_bus_message* raw = nullptr;
  const int r = sd_bus_message_new_method_call(attached_, &raw, portal, desktopPath,
                                               shortcutsInterface, method);
  const BusMessagePtr call(raw);
  if (r < 0 || !append(raw, token.c_str()) ||
      sd_bus_call_async(attached_, &slot, raw, onCallReply, this, 0) < 0) {
    endRequest();
    return;
  }
  call_.reset(slot);
  then_ = then;
}

int PortalHotkeys::onResponse(sd_bus_message* m, void* self, sd_bus_error*) {
  auto& hotkeys = *static_cast<PortalHotkeys*>(self);
  const Step then = hotkeys.then_;
  hotkeys.endRequest();
  // 0 is success; 1 the user cancelled; 2 the portal refused.
  uint32_t code = 2;
  if (sd_bus_message_read(m, "u", &code) >= 0 && code == 0) {
    if (then) (hotkeys.*then)(m);
  } else if (then == &PortalHotkeys::onCreated && hotkeys.creates_ < 2) {
    // A backend that outlived the portal's last run can still hold our
    // session from then (Plasma does) and refuses a second one under the
    // same token; the refusal closes the old one, so asking again succeeds.
    hotkeys.createSession();
  }
  return 0;
}

int PortalHotkeys::onCallReply(sd_bus_message* m, void* self, sd_bus_error*) {
  if (sd_bus_message_is_method_error(m, nullptr)) static_cast<PortalHotkeys*>(self)->endRequest();
  return 0;
}

// Held down, a shortcut is activated again at the key's repeat rate with no
// deactivation in between; only the first activation is a press.
int PortalHotkeys::onShortcutSignal(sd_bus_message* m, void* self, sd_bus_error*) {
  auto& hotkeys = *static_cast<PortalHotkeys*>(self);
  const char* session = nullptr;
  const char* name = nullptr;
  if (sd_bus_message_read(m, "os", &session, &name) < 0 || hotkeys.session_ != session) return 0;
  const bool pressed = sd_bus_message_is_signal(m, nullptr, "Activated") > 0;
  for (const auto& s : shortcuts) {
    if (std::strcmp(s.name, name) != 0 || !hotkeys.triggers_.contains(s.id)) continue;
    if (!pressed) {
      hotkeys.held_.erase(s.id);
    } else if (hotkeys.held_.insert(s.id).second && hotkeys.handler_) {
      hotkeys.handler_(s.id);
    }
  }
  return 0;
}

int PortalHotkeys::onOwnerChanged(sd_bus_message* m, void* self, sd_bus_error*) {
  auto& hotkeys = *static_cast<PortalHotkeys*>(self);
  const char* name = nullptr;
  const char* oldOwner = nullptr;
  const char* newOwner = nullptr;
  if (sd_bus_message_read(m, "sss", &name, &oldOwner, &newOwner) < 0) return 0;
  // The session went with the old owner.
  hotkeys.forget();
  if (*newOwner) hotkeys.createSession();
  return 0;
}

int PortalHotkeys::onPortalFound(sd_bus_message* m, void* self, sd_bus_error*) {
  auto& hotkeys = *static_cast<PortalHotkeys*>(self);
  hotkeys.found_.reset();
  if (!sd_bus_message_is_method_error(m, nullptr)) hotkeys.createSession();
  return 0;
}
