#pragma once

#include <chrono>
#include <memory>
#include <optional>
#include <string>

#include "platform/clipboard.h"
#include "platform/linux/x11/x_connection.h"
#include "platform/linux/x11/x_selection_data.h"
#include "platform/linux/x11/x_selection_owner.h"
#include "platform/linux/x11/x_selection_reader.h"

// The X CLIPBOARD selection as plain UTF-8 text. Reading waits for the
// owner's answer, keeping other events for later; owning answers requests
// from the connection's event handlers. Main thread only.
class XClipboard final : public Clipboard {
 public:
  // quietBound: how long a read waits for an owner that has stopped sending.
  explicit XClipboard(XConnection& x,
                      std::chrono::milliseconds quietBound = std::chrono::seconds(2));

  std::optional<std::string> readText() override;
  // Forgets the text this client holds; setString, which always follows,
  // takes the CLIPBOARD. Giving the CLIPBOARD up in between would let a
  // clipboard manager that restores an emptied clipboard race the new text.
  void clearContents() override;
  void setString(std::string text) override;
  std::string_view pasteKeys() const override { return "Ctrl+V"; }

  // When this client owns the CLIPBOARD with a text and a clipboard manager
  // runs, asks the manager to keep the text after this client has gone, and
  // serves its requests until it confirms or the bound passes. True when the
  // manager confirmed.
  bool handOffToManager(std::chrono::milliseconds bound);

  // Large transfers to other clients still under way.
  size_t transfersUnderWay() const { return owner_->transfersUnderWay(); }

 private:
  xcb_window_t clipboardOwner();

  XConnection& x_;
  SelectionAtoms atoms_;
  XSelectionReader reader_;
  // Shared with the event handler, which must not outlive it.
  std::shared_ptr<XSelectionOwner> owner_;
};
