#include "platform/linux/wayland/wayland_clipboard.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <string_view>

#include "platform/linux/wayland/clipboard_keeper.h"
#include "platform/linux/wayland/data_control.h"
#include "platform/linux/wayland/wayland_connection.h"
#include "platform/posix/output_collector.h"

namespace {

// The text types, best first: asked for in this order and all offered, with
// the same UTF-8 bytes, as other Wayland clients do.
constexpr const char* textTypes[] = {"text/plain;charset=utf-8", "UTF8_STRING", "text/plain",
                                     "TEXT", "STRING"};
// The most text a read accepts; an owner that sends more is treated as
// offering no text rather than allowed to exhaust memory.
constexpr size_t maxTextBytes = size_t{1} << 30;
constexpr int pipeBytes = 1 << 20;

const char* bestTextType(const std::vector<std::string>& offered) {
  for (const char* type : textTypes) {
    if (std::find(offered.begin(), offered.end(), type) != offered.end()) return type;
  }
  return nullptr;
}

}  // namespace

WaylandClipboard::WaylandClipboard(WaylandConnection& connection, DataControl& control,
                                   EventLoop& loop, std::chrono::milliseconds quietBound)
    : connection_(connection), control_(control), quietBound_(quietBound), writers_(loop) {}

std::optional<std::string> WaylandClipboard::readText() {
  // The news of a copy made just before the key press may still be on its
  // way; after a round trip it has been handled.
  if (!connection_.roundtrip(WaylandConnection::Clock::now() + quietBound_)) return std::nullopt;
  if (held_) return *held_;
  const auto* offered = control_.selectionTypes();
  const char* type = offered ? bestTextType(*offered) : nullptr;
  int ends[2];
  if (!type || ::pipe2(ends, O_CLOEXEC) != 0) return std::nullopt;
  UniqueFd readEnd(ends[0]);
  UniqueFd writeEnd(ends[1]);
  ::fcntl(readEnd.get(), F_SETPIPE_SZ, pipeBytes);
  control_.receive(type, writeEnd.get());
  writeEnd.reset();
  // Also sends the request, even through a full socket.
  if (!connection_.roundtrip(WaylandConnection::Clock::now() + quietBound_)) return std::nullopt;

  OutputCollector text;
  for (;;) {
    pollfd pipe{readEnd.get(), POLLIN, 0};
    const int ready = ::poll(&pipe, 1, static_cast<int>(quietBound_.count()));
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) return std::nullopt;  // the owner has gone quiet
    if (!text.readFrom(readEnd.get())) break;
    if (text.size() > maxTextBytes) return std::nullopt;
  }
  if (text.size() == 0) return std::nullopt;
  return text.take();
}

void WaylandClipboard::clearContents() {
  held_.reset();
}

void WaylandClipboard::setString(std::string text) {
  own(std::make_shared<const std::string>(std::move(text)));
}

bool WaylandClipboard::own(std::shared_ptr<const std::string> text) {
  held_ = std::move(text);
  control_.setSelection(
      textTypes,
      [this](UniqueFd pipe) {
        if (held_) writers_.start(std::move(pipe), held_);
      },
      [this] { held_.reset(); });
  // What the caller says next (that the text is ready to paste) must not
  // reach anyone before the compositor has the selection: a paste right after
  // the notification would get the previous text.
  return connection_.roundtrip(WaylandConnection::Clock::now() + quietBound_) && held_;
}

bool WaylandClipboard::keepAfterExit(std::chrono::milliseconds bound) {
  const auto deadline = WaylandConnection::Clock::now() + bound;
  // Another client may have taken the selection a moment ago.
  if (!connection_.roundtrip(deadline) || !held_) return false;
  return keepClipboardText(held_, deadline);
}
