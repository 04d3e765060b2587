#pragma once

#include <optional>
#include <string>
#include <string_view>

// The system-wide clipboard, plain UTF-8 text only. Main thread only.
class Clipboard {
 public:
  virtual ~Clipboard() = default;
  // The clipboard's plain text, or nothing when it holds no text.
  virtual std::optional<std::string> readText() = 0;
  virtual void clearContents() = 0;
  virtual void setString(std::string text) = 0;
  // The keys that paste on this desktop, as the paste notification names them.
  virtual std::string_view pasteKeys() const = 0;
};
