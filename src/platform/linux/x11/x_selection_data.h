#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// What goes in and out of X selections, kept free of any connection so that
// it can be tested and fuzzed on its own. Atoms and timestamps are the
// server's 32-bit numbers.

// Atoms the server predefines.
inline constexpr uint32_t atomNone = 0;
inline constexpr uint32_t atomAtom = 4;
inline constexpr uint32_t atomInteger = 19;
inline constexpr uint32_t atomString = 31;

// Interned atoms the clipboard needs.
struct SelectionAtoms {
  uint32_t clipboard = 0;
  uint32_t targets = 0;
  uint32_t timestamp = 0;
  uint32_t multiple = 0;
  uint32_t incr = 0;
  uint32_t atomPair = 0;
  uint32_t utf8String = 0;
  uint32_t utf8Mime = 0;  // "text/plain;charset=utf-8"
  uint32_t text = 0;
  uint32_t compoundText = 0;
};

// Server timestamps wrap around after about 49 days.
inline bool timeBefore(uint32_t a, uint32_t b) {
  return static_cast<int32_t>(a - b) < 0;
}

std::string latin1ToUtf8(std::string_view latin1);
// Nothing when the text is not valid UTF-8 or holds a character above U+00FF.
std::optional<std::string> utf8ToLatin1(std::string_view utf8);
bool fitsLatin1(std::string_view utf8);

// Lists of 32-bit items (atoms, atom pairs) in the client's byte order, as
// properties of format 32 carry them. Trailing bytes that do not make a
// whole item are ignored.
std::vector<uint32_t> itemsFromBytes(std::string_view bytes);
std::string itemsToBytes(std::span<const uint32_t> items);

// The text in a property of the given type, as UTF-8; nothing when the type
// is not a text type this client understands.
std::optional<std::string> decodeSelectionText(const SelectionAtoms& atoms, uint32_t type,
                                               std::string bytes);

// One property value as read from the server.
struct PropertyValue {
  uint32_t type = atomNone;  // None: the property does not exist
  uint8_t format = 0;
  std::string bytes;
};

// Turns an owner's answer to a conversion into text: either one property
// holding it all, or an INCR announcement followed by chunks that end with an
// empty one.
class SelectionTextAssembler {
 public:
  enum class Step { done, needChunk, noText };

  SelectionTextAssembler(const SelectionAtoms& atoms, size_t maxBytes)
      : atoms_(atoms), maxBytes_(maxBytes) {}

  // The property the owner named in its notification.
  Step first(PropertyValue value);
  // The property after each change while an INCR transfer runs.
  Step chunk(PropertyValue value);
  // The text, once a step has returned done.
  std::string take() { return std::move(text_); }

 private:
  Step finish(uint32_t type, std::string bytes);

  SelectionAtoms atoms_;
  size_t maxBytes_;
  bool incremental_ = false;
  uint32_t chunkType_ = atomNone;
  std::string text_;
};

// What the owner writes into the requestor's property for one target.
struct Conversion {
  uint32_t type = atomNone;
  uint8_t format = 8;
  std::shared_ptr<const std::string> bytes;
};

// The conversion of the held text to a target, or nothing to refuse it.
// MULTIPLE is not handled here: it needs the requestor's property.
// STRING (and TEXT, which this client answers as STRING when it can) is
// offered only when every character fits Latin-1, so nothing is ever lost or
// replaced in conversion.
std::optional<Conversion> convertHeldText(const SelectionAtoms& atoms, uint32_t target,
                                          const std::shared_ptr<const std::string>& text,
                                          bool latin1, uint32_t ownedSince);
