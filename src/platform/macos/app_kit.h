#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/clipboard.h"

// Makes the process an accessory application: no Dock icon, no menu bar.
void becomeAccessoryApplication();

// Runs the application loop, which delivers hot-key presses and runs the
// main queue's blocks. Returns only if the application is stopped.
void runApplication();

// The general pasteboard, plain text only. Main thread only.
class MacPasteboard : public Clipboard {
 public:
  std::optional<std::string> readText() override;
  void clearContents() override;
  void setString(std::string text) override;
  std::string_view pasteKeys() const override { return "Cmd+V"; }
};
