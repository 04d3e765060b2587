#include "platform/linux/x11/x_selection_data.h"

#include <algorithm>
#include <cstring>

#include "text/utf8.h"

std::string latin1ToUtf8(std::string_view latin1) {
  std::string out;
  out.reserve(latin1.size() + latin1.size() / 8);
  for (unsigned char c : latin1) {
    if (c < 0x80) {
      out.push_back(static_cast<char>(c));
    } else {
      out.push_back(static_cast<char>(0xC0 | (c >> 6)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
  }
  return out;
}

// Latin-1 characters in UTF-8 are ASCII bytes or a 0xC2/0xC3 lead byte with
// one continuation byte; those two leads are never overlong.
std::optional<std::string> utf8ToLatin1(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  for (size_t i = 0; i < utf8.size(); ++i) {
    const auto c = static_cast<unsigned char>(utf8[i]);
    if (c < 0x80) {
      out.push_back(static_cast<char>(c));
      continue;
    }
    if ((c != 0xC2 && c != 0xC3) || i + 1 >= utf8.size()) return std::nullopt;
    const auto next = static_cast<unsigned char>(utf8[++i]);
    if (!isUtf8Continuation(next)) return std::nullopt;
    out.push_back(static_cast<char>(((c & 0x03) << 6) | (next & 0x3F)));
  }
  return out;
}

bool fitsLatin1(std::string_view utf8) {
  for (size_t i = 0; i < utf8.size(); ++i) {
    const auto c = static_cast<unsigned char>(utf8[i]);
    if (c < 0x80) continue;
    if ((c != 0xC2 && c != 0xC3) || i + 1 >= utf8.size()) return false;
    if (!isUtf8Continuation(static_cast<unsigned char>(utf8[++i]))) return false;
  }
  return true;
}

std::vector<uint32_t> itemsFromBytes(std::string_view bytes) {
  std::vector<uint32_t> items(bytes.size() / sizeof(uint32_t));
  // memcpy must not see the null pointers of empty containers, even for 0 bytes.
  if (!items.empty()) std::memcpy(items.data(), bytes.data(), items.size() * sizeof(uint32_t));
  return items;
}

std::string itemsToBytes(std::span<const uint32_t> items) {
  std::string bytes(items.size() * sizeof(uint32_t), '\0');
  if (!items.empty()) std::memcpy(bytes.data(), items.data(), bytes.size());
  return bytes;
}

std::optional<std::string> decodeSelectionText(const SelectionAtoms& atoms, uint32_t type,
                                               std::string bytes) {
  if (type == atomNone) return std::nullopt;
  if (type == atoms.utf8String || type == atoms.utf8Mime) return bytes;
  if (type == atomString) return latin1ToUtf8(bytes);
  // Compound text starts out as Latin-1; only escape sequences switch it to
  // other character sets, which this client does not decode.
  if (type == atoms.compoundText && bytes.find('\x1b') == std::string::npos) {
    return latin1ToUtf8(bytes);
  }
  return std::nullopt;
}

SelectionTextAssembler::Step SelectionTextAssembler::first(PropertyValue value) {
  if (value.type == atoms_.incr && atoms_.incr != atomNone) {
    incremental_ = true;
    // The announced size is only a lower bound, and the owner's word.
    if (value.format == 32 && value.bytes.size() >= sizeof(uint32_t)) {
      const uint32_t announced = itemsFromBytes(value.bytes)[0];
      text_.reserve(std::min<size_t>(announced, std::min<size_t>(maxBytes_, 64u << 20)));
    }
    return Step::needChunk;
  }
  if (value.format != 8 || value.bytes.size() > maxBytes_) return Step::noText;
  return finish(value.type, std::move(value.bytes));
}

SelectionTextAssembler::Step SelectionTextAssembler::chunk(PropertyValue value) {
  if (!incremental_) return Step::noText;
  // A change notice for a property already read and deleted.
  if (value.type == atomNone) return Step::needChunk;
  if (value.format != 8) return Step::noText;
  if (chunkType_ == atomNone) chunkType_ = value.type;
  if (value.bytes.empty()) return finish(chunkType_, std::move(text_));
  if (value.type != chunkType_ || value.bytes.size() > maxBytes_ - text_.size()) {
    return Step::noText;
  }
  text_ += value.bytes;
  return Step::needChunk;
}

SelectionTextAssembler::Step SelectionTextAssembler::finish(uint32_t type, std::string bytes) {
  auto text = decodeSelectionText(atoms_, type, std::move(bytes));
  if (!text) return Step::noText;
  text_ = std::move(*text);
  return Step::done;
}

std::optional<Conversion> convertHeldText(const SelectionAtoms& atoms, uint32_t target,
                                          const std::shared_ptr<const std::string>& text,
                                          bool latin1, uint32_t ownedSince) {
  if (target == atoms.targets) {
    std::vector<uint32_t> offered{atoms.targets,    atoms.timestamp, atoms.multiple,
                                  atoms.utf8String, atoms.utf8Mime,  atoms.text};
    if (latin1) offered.push_back(atomString);
    return Conversion{atomAtom, 32, std::make_shared<const std::string>(itemsToBytes(offered))};
  }
  if (target == atoms.timestamp) {
    const uint32_t since[] = {ownedSince};
    return Conversion{atomInteger, 32, std::make_shared<const std::string>(itemsToBytes(since))};
  }
  if (target == atoms.utf8String || target == atoms.utf8Mime) {
    return Conversion{target, 8, text};
  }
  if (target == atomString || target == atoms.text) {
    if (!latin1) {
      if (target == atoms.text) return Conversion{atoms.utf8String, 8, text};
      return std::nullopt;
    }
    auto converted = utf8ToLatin1(*text);
    if (!converted) return std::nullopt;
    return Conversion{atomString, 8, std::make_shared<const std::string>(std::move(*converted))};
  }
  return std::nullopt;
}
