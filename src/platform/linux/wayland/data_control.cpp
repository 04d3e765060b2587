#include "platform/linux/wayland/data_control.h"

#include <wayland-client.h>

#include <algorithm>
#include <climits>
#include <string_view>

#include "ext-data-control-v1-client-protocol.h"
#include "platform/linux/wayland/wayland_connection.h"
#include "wlr-data-control-unstable-v1-client-protocol.h"

const DataControlInterfaces extDataControl = {
    "ext_data_control_manager_v1", &ext_data_control_manager_v1_interface,
    &ext_data_control_device_v1_interface, &ext_data_control_source_v1_interface,
    &ext_data_control_offer_v1_interface};
const DataControlInterfaces wlrDataControl = {
    "zwlr_data_control_manager_v1", &zwlr_data_control_manager_v1_interface,
    &zwlr_data_control_device_v1_interface, &zwlr_data_control_source_v1_interface,
    &zwlr_data_control_offer_v1_interface};

namespace {

// Version 1 of either protocol has every request and event used here, and
// spares a wlr client the primary selection's offers.
constexpr uint32_t boundVersion = 1;
constexpr uint32_t noDestructor = UINT32_MAX;

namespace op {
constexpr uint32_t createDataSource = EXT_DATA_CONTROL_MANAGER_V1_CREATE_DATA_SOURCE;
constexpr uint32_t getDataDevice = EXT_DATA_CONTROL_MANAGER_V1_GET_DATA_DEVICE;
constexpr uint32_t destroyManager = EXT_DATA_CONTROL_MANAGER_V1_DESTROY;
constexpr uint32_t setSelection = EXT_DATA_CONTROL_DEVICE_V1_SET_SELECTION;
constexpr uint32_t destroyDevice = EXT_DATA_CONTROL_DEVICE_V1_DESTROY;
constexpr uint32_t offer = EXT_DATA_CONTROL_SOURCE_V1_OFFER;
constexpr uint32_t destroySource = EXT_DATA_CONTROL_SOURCE_V1_DESTROY;
constexpr uint32_t receive = EXT_DATA_CONTROL_OFFER_V1_RECEIVE;
constexpr uint32_t destroyOffer = EXT_DATA_CONTROL_OFFER_V1_DESTROY;
static_assert(createDataSource == ZWLR_DATA_CONTROL_MANAGER_V1_CREATE_DATA_SOURCE &&
              getDataDevice == ZWLR_DATA_CONTROL_MANAGER_V1_GET_DATA_DEVICE &&
              destroyManager == ZWLR_DATA_CONTROL_MANAGER_V1_DESTROY &&
              setSelection == ZWLR_DATA_CONTROL_DEVICE_V1_SET_SELECTION &&
              destroyDevice == ZWLR_DATA_CONTROL_DEVICE_V1_DESTROY &&
              offer == ZWLR_DATA_CONTROL_SOURCE_V1_OFFER &&
              destroySource == ZWLR_DATA_CONTROL_SOURCE_V1_DESTROY &&
              receive == ZWLR_DATA_CONTROL_OFFER_V1_RECEIVE &&
              destroyOffer == ZWLR_DATA_CONTROL_OFFER_V1_DESTROY);
}  // namespace op

// Listeners in the layout both protocols' generated ones share, with untyped
// proxies, so that one set serves either protocol.
struct DeviceListener {
  void (*dataOffer)(void*, wl_proxy*, wl_proxy*);
  void (*selection)(void*, wl_proxy*, wl_proxy*);
  void (*finished)(void*, wl_proxy*);
  void (*primarySelection)(void*, wl_proxy*, wl_proxy*);
};
struct SourceListener {
  void (*send)(void*, wl_proxy*, const char*, int32_t);
  void (*cancelled)(void*, wl_proxy*);
};
struct OfferListener {
  void (*offer)(void*, wl_proxy*, const char*);
};
template <typename Listener>
void listen(wl_proxy* proxy, const Listener& listener, void* data) {
  // libwayland only reads the table, whatever its declared constness.
  wl_proxy_add_listener(proxy, reinterpret_cast<void (**)(void)>(const_cast<Listener*>(&listener)),
                        data);
}

const WaylandGlobal* findGlobal(const WaylandConnection& connection, std::string_view name) {
  const auto& globals = connection.globals();
  auto it = std::find_if(globals.begin(), globals.end(),
                         [name](const WaylandGlobal& g) { return g.interface == name; });
  return it == globals.end() ? nullptr : &*it;
}

}  // namespace

void DataControl::ProxyDestroyer::operator()(wl_proxy* proxy) const {
  if (destroyOpcode == noDestructor) {
    wl_proxy_destroy(proxy);
  } else {
    wl_proxy_marshal_flags(proxy, destroyOpcode, nullptr, wl_proxy_get_version(proxy),
                           WL_MARSHAL_FLAG_DESTROY);
  }
}

std::unique_ptr<DataControl> DataControl::create(WaylandConnection& connection,
                                                 std::string* error) {
  const DataControlInterfaces* interfaces = &extDataControl;
  const WaylandGlobal* manager = findGlobal(connection, extDataControl.managerName);
  if (!manager) {
    interfaces = &wlrDataControl;
    manager = findGlobal(connection, wlrDataControl.managerName);
  }
  if (!manager) {
    *error =
        "varkel: compositor Wayland không cho dùng clipboard (không có ext-data-control-v1 hay "
        "wlr-data-control-unstable-v1)";
    return nullptr;
  }
  const WaylandGlobal* seat = findGlobal(connection, "wl_seat");
  if (!seat) {
    *error = "varkel: compositor Wayland không có wl_seat nào";
    return nullptr;
  }
  return std::make_unique<DataControl>(
      Key{}, *interfaces,
      Proxy(connection.bind(*seat, &wl_seat_interface, 1), ProxyDestroyer{noDestructor}),
      Proxy(connection.bind(*manager, interfaces->manager, boundVersion),
            ProxyDestroyer{op::destroyManager}));
}

DataControl::DataControl(Key, const DataControlInterfaces& interfaces, Proxy seat, Proxy manager)
    : interfaces_(interfaces), seat_(std::move(seat)), manager_(std::move(manager)) {
  device_ = Proxy(wl_proxy_marshal_flags(manager_.get(), op::getDataDevice, interfaces_.device,
                                         boundVersion, 0, nullptr, seat_.get()),
                  ProxyDestroyer{op::destroyDevice});
  static constexpr DeviceListener listener = {onDataOffer, onSelection, onFinished,
                                              onPrimarySelection};
  listen(device_.get(), listener, this);
}

DataControl::~DataControl() = default;

const std::vector<std::string>* DataControl::selectionTypes() const {
  return selection_ ? &selection_->types : nullptr;
}

bool DataControl::receive(const char* mimeType, int fd) {
  if (!selection_) return false;
  // libwayland sends a copy of fd; the caller keeps its own.
  wl_proxy_marshal_flags(selection_->proxy.get(), op::receive, nullptr, boundVersion, 0, mimeType,
                         fd);
  return true;
}

void DataControl::setSelection(std::span<const char* const> mimeTypes, SendHandler onSend,
                               std::function<void()> onCancelled) {
  if (!device_) return;
  auto source = std::make_unique<Source>(
      Source{this,
             Proxy(wl_proxy_marshal_flags(manager_.get(), op::createDataSource, interfaces_.source,
                                          boundVersion, 0, nullptr),
                   ProxyDestroyer{op::destroySource}),
             std::move(onSend), std::move(onCancelled)});
  static constexpr SourceListener listener = {DataControl::onSend, DataControl::onCancelled};
  listen(source->proxy.get(), listener, source.get());
  for (const char* type : mimeTypes) {
    wl_proxy_marshal_flags(source->proxy.get(), op::offer, nullptr, boundVersion, 0, type);
  }
  wl_proxy_marshal_flags(device_.get(), op::setSelection, nullptr, boundVersion, 0,
                         source->proxy.get());
  // The one it replaces would only hear that it was cancelled.
  source_ = std::move(source);
}

std::unique_ptr<DataControl::Offer> DataControl::takeIntroduced(wl_proxy* offer) {
  auto it = std::find_if(introduced_.begin(), introduced_.end(),
                         [offer](const auto& o) { return o->proxy.get() == offer; });
  if (it == introduced_.end()) return nullptr;
  auto taken = std::move(*it);
  introduced_.erase(it);
  return taken;
}

void DataControl::onDataOffer(void* data, wl_proxy*, wl_proxy* offer) {
  auto* self = static_cast<DataControl*>(data);
  auto introduced =
      std::make_unique<Offer>(Offer{Proxy(offer, ProxyDestroyer{op::destroyOffer}), {}});
  static constexpr OfferListener listener = {onOffer};
  listen(offer, listener, introduced.get());
  self->introduced_.push_back(std::move(introduced));
}

void DataControl::onOffer(void* data, wl_proxy*, const char* mimeType) {
  static_cast<Offer*>(data)->types.emplace_back(mimeType);
}

void DataControl::onSelection(void* data, wl_proxy*, wl_proxy* offer) {
  auto* self = static_cast<DataControl*>(data);
  self->selection_ = offer ? self->takeIntroduced(offer) : nullptr;
}

void DataControl::onPrimarySelection(void* data, wl_proxy*, wl_proxy* offer) {
  // Never read: dropped at once.
  if (offer) static_cast<DataControl*>(data)->takeIntroduced(offer);
}

void DataControl::onFinished(void* data, wl_proxy*) {
  // The seat has gone: there is no clipboard to read or own any more.
  auto* self = static_cast<DataControl*>(data);
  self->selection_.reset();
  self->introduced_.clear();
  self->device_.reset();
}

void DataControl::onSend(void* data, wl_proxy*, const char*, int32_t fd) {
  static_cast<Source*>(data)->onSend(UniqueFd(fd));
}

void DataControl::onCancelled(void* data, wl_proxy*) {
  auto* source = static_cast<Source*>(data);
  DataControl* self = source->owner;
  auto cancelled = std::move(source->onCancelled);
  if (self->source_.get() == source) self->source_.reset();
  cancelled();
}
