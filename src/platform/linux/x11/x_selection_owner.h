#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "platform/linux/x11/x_connection.h"
#include "platform/linux/x11/x_selection_data.h"

// Owns the CLIPBOARD with a text and answers other clients' requests for it
// from the event handlers, never blocking the loop: each large transfer is a
// small state machine moved on by the requestor's property deletions, and is
// dropped when the requestor's window goes away. Main thread only.
class XSelectionOwner {
 public:
  XSelectionOwner(XConnection& x, const SelectionAtoms& atoms);

  // Takes the CLIPBOARD with a server timestamp and holds the text. False
  // when the server kept another owner; the text is then not held.
  bool own(std::string text);
  // Forgets the text; transfers under way still finish.
  void drop() { text_.reset(); }
  // The held text, or null; only meaningful while the CLIPBOARD is ours.
  const std::shared_ptr<const std::string>& text() const { return text_; }
  size_t transfersUnderWay() const { return transfers_.size(); }

  void handle(const xcb_generic_event_t& event);

 private:
  struct Transfer {
    xcb_window_t requestor;
    xcb_atom_t property;
    xcb_atom_t type;
    std::shared_ptr<const std::string> bytes;
    size_t offset;
  };

  void answer(const xcb_selection_request_event_t& request);
  bool convertInto(xcb_window_t requestor, xcb_atom_t property, xcb_atom_t target);
  bool convertMultiple(xcb_window_t requestor, xcb_atom_t property);
  bool startTransfer(xcb_window_t requestor, xcb_atom_t property, Conversion conversion);
  void sendNextChunk(xcb_window_t requestor, xcb_atom_t property);
  void forgetWindow(xcb_window_t window);
  bool watching(xcb_window_t window) const;

  XConnection& x_;
  SelectionAtoms atoms_;
  size_t chunkBytes_;
  std::shared_ptr<const std::string> text_;
  bool latin1_ = false;
  xcb_timestamp_t ownedSince_ = XCB_CURRENT_TIME;
  std::vector<Transfer> transfers_;
};
