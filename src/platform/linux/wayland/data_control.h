#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "platform/posix/unique_fd.h"

struct wl_interface;
struct wl_proxy;
class WaylandConnection;

// The interfaces of one data-control protocol. ext-data-control-v1 and
// wlr-data-control-unstable-v1 differ only in these: every request and event
// has the same opcode and arguments in both, so one implementation drives
// either, creating its objects with the interfaces of the one it bound.
struct DataControlInterfaces {
  const char* managerName;
  const wl_interface* manager;
  const wl_interface* device;
  const wl_interface* source;
  const wl_interface* offer;
};
extern const DataControlInterfaces extDataControl;
extern const DataControlInterfaces wlrDataControl;

// The regular selection (never the primary one) of the compositor's first
// seat, through ext-data-control-v1 when the compositor offers it and the wlr
// protocol otherwise. Main thread only.
class DataControl {
  struct ProxyDestroyer {
    uint32_t destroyOpcode;
    void operator()(wl_proxy* proxy) const;
  };
  using Proxy = std::unique_ptr<wl_proxy, ProxyDestroyer>;
  struct Key {
    explicit Key() = default;
  };

 public:
  using SendHandler = std::function<void(UniqueFd fd)>;

  // Null, with a one-line reason in *error, when the compositor offers no
  // seat or no data-control manager.
  static std::unique_ptr<DataControl> create(WaylandConnection& connection, std::string* error);
  DataControl(Key, const DataControlInterfaces& interfaces, Proxy seat, Proxy manager);
  ~DataControl();
  DataControl(const DataControl&) = delete;
  DataControl& operator=(const DataControl&) = delete;

  // The MIME types the current selection is offered in; null when there is
  // no selection.
  const std::vector<std::string>* selectionTypes() const;
  // The manager's interface name, which tells the protocol in use.
  const char* protocolName() const { return interfaces_.managerName; }
  // Asks the selection's owner to write it as mimeType into fd; false when
  // there is no selection.
  bool receive(const char* mimeType, int fd);
  // Takes the selection with a new source offering mimeTypes. onSend gets
  // each request for it (in any of the types); onCancelled runs once another
  // client has taken the selection.
  void setSelection(std::span<const char* const> mimeTypes, SendHandler onSend,
                    std::function<void()> onCancelled);

 private:
  struct Offer {
    Proxy proxy;
    std::vector<std::string> types;
  };
  struct Source {
    DataControl* owner;
    Proxy proxy;
    SendHandler onSend;
    std::function<void()> onCancelled;
  };

  static void onDataOffer(void* data, wl_proxy*, wl_proxy* offer);
  static void onSelection(void* data, wl_proxy*, wl_proxy* offer);
  static void onFinished(void* data, wl_proxy*);
  static void onPrimarySelection(void* data, wl_proxy*, wl_proxy* offer);
  static void onOffer(void* data, wl_proxy*, const char* mimeType);
  static void onSend(void* data, wl_proxy*, const char* mimeType, int32_t fd);
  static void onCancelled(void* data, wl_proxy*);
  std::unique_ptr<Offer> takeIntroduced(wl_proxy* offer);

  const DataControlInterfaces& interfaces_;
  Proxy seat_;
  Proxy manager_;
  Proxy device_;
  // Offers announced but not yet named as a selection.
  std::vector<std::unique_ptr<Offer>> introduced_;
  std::unique_ptr<Offer> selection_;
  std::unique_ptr<Source> source_;
};
