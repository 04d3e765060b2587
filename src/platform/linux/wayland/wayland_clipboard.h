#pragma once

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/clipboard.h"
#include "platform/linux/wayland/pipe_writers.h"

class DataControl;
class EventLoop;
class WaylandConnection;

// The Wayland clipboard (the regular selection, never the primary one) as
// plain UTF-8 text, through data control. Reading waits for the owner on the
// main thread; owning answers other clients from the loop. Main thread only.
class WaylandClipboard final : public Clipboard {
 public:
  // quietBound: how long a read waits for a compositor or owner that has
  // stopped sending.
  WaylandClipboard(WaylandConnection& connection, DataControl& control, EventLoop& loop,
                   std::chrono::milliseconds quietBound = std::chrono::seconds(2));

  std::optional<std::string> readText() override;
  // Forgets the held text; setString, which always follows, replaces the
  // selection. Clearing it in between would let a clipboard manager that
  // restores an emptied clipboard race the new text.
  void clearContents() override;
  void setString(std::string text) override;
  std::string_view pasteKeys() const override { return "Ctrl+V"; }
  // Offers text as the selection and waits, at most the quiet bound, until the
  // compositor has handled that. True when this client holds the selection
  // then.
  bool own(std::shared_ptr<const std::string> text);

  // The text this client offers while its source is the selection, or null.
  const std::shared_ptr<const std::string>& held() const { return held_; }
  size_t transfersUnderWay() const { return writers_.underWay(); }

  // When this client holds the selection, leaves a process behind that keeps
  // the text on the clipboard after this one has ended. True when that
  // process took the selection within the bound.
  bool keepAfterExit(std::chrono::milliseconds bound);

 private:
  WaylandConnection& connection_;
  DataControl& control_;
  std::chrono::milliseconds quietBound_;
  std::shared_ptr<const std::string> held_;
  PipeWriters writers_;
};
