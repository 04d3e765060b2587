// What the clipboard layer reads from X selections, without a server. The input is a script:
// its first byte bounds the size of a read, then come property values (type, format, length,
// bytes) handed to the reader's assembler as the owner's first answer and its INCR chunks. The
// outcome is checked against what the owner sent; the input is also converted as Latin-1 and as
// a list of atoms.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_check.h"
#include "platform/linux/x11/x_selection_data.h"
#include "reference_utf8.h"

namespace {

using Step = SelectionTextAssembler::Step;
constexpr uint32_t incr = 305, utf8String = 307, utf8Mime = 308, compoundText = 310;
constexpr SelectionAtoms atoms{301, 302, 303, 304, incr, 306, utf8String, utf8Mime, 309,
                               compoundText};
// Types an owner may put on a property; the last is nothing this client knows.
constexpr uint32_t typeChoices[] = {atomNone,     incr, utf8String, utf8Mime, atomString,
                                    compoundText, 309,  atomAtom,   999};
constexpr uint8_t formatChoices[] = {8, 8, 8, 32, 16, 0};

std::string latin1Reference(std::string_view latin1) {
  std::string utf8;
  for (unsigned char c : latin1) utf8 += reference::encode(c);
  return utf8;
}

std::optional<std::string> expectedText(uint32_t type, const std::string& bytes) {
  if (type == utf8String || type == utf8Mime) return bytes;
  if (type == atomString || (type == compoundText && bytes.find('\x1b') == std::string::npos)) {
    return latin1Reference(bytes);
  }
  return std::nullopt;
}

void checkAssembler(std::string_view script) {
  auto byte = [&script] {
    const uint8_t b = script.empty() ? 0 : static_cast<uint8_t>(script.front());
    script.remove_prefix(script.empty() ? 0 : 1);
    return b;
  };
  auto nextValue = [&] {
    const uint8_t header = byte();
    const size_t length = byte() % 64;
    PropertyValue value{typeChoices[header % 9], formatChoices[header / 9 % 6],
                        std::string(script.substr(0, length))};
    script.remove_prefix(value.bytes.size());
    return value;
  };
  const size_t maxBytes = byte() % 200;
  SelectionTextAssembler assembler(atoms, maxBytes);
  const PropertyValue first = nextValue();
  Step step = assembler.first(first);
  if (first.type != incr) {
    // One property holds the whole answer.
    const bool fits = first.format == 8 && first.bytes.size() <= maxBytes;
    const auto expected = fits ? expectedText(first.type, first.bytes) : std::nullopt;
    FUZZ_CHECK(step == (expected ? Step::done : Step::noText));
    FUZZ_CHECK(!expected || assembler.take() == *expected);
    return;
  }
  FUZZ_CHECK(step == Step::needChunk);
  // INCR: chunks of one type and format 8, ended by an empty one.
  std::string received;
  uint32_t chunkType = atomNone;
  while (!script.empty()) {
    const PropertyValue chunk = nextValue();
    step = assembler.chunk(chunk);
    if (chunk.type == atomNone) {
      FUZZ_CHECK(step == Step::needChunk);
      continue;
    }
    if (chunkType == atomNone) chunkType = chunk.type;
    if (chunk.format == 8 && chunk.bytes.empty()) {
      const auto expected = expectedText(chunkType, received);
      FUZZ_CHECK(step == (expected ? Step::done : Step::noText));
      FUZZ_CHECK(!expected || assembler.take() == *expected);
      return;
    }
    if (chunk.format != 8 || chunk.type != chunkType ||
        received.size() + chunk.bytes.size() > maxBytes) {
      FUZZ_CHECK(step == Step::noText);
      return;
    }
    FUZZ_CHECK(step == Step::needChunk);
    received += chunk.bytes;
  }
}

void checkLatin1AndItems(std::string_view bytes) {
  const std::string utf8 = latin1ToUtf8(bytes);
  FUZZ_CHECK(utf8 == latin1Reference(bytes) && utf8ToLatin1(utf8) == bytes && fitsLatin1(utf8));
  // Read as UTF-8, the bytes convert exactly when they are valid and no character is above
  // U+00FF.
  bool fits = reference::isValid(bytes);
  for (char32_t c : reference::decodeLossy(bytes)) fits = fits && c <= 0xFF;
  const std::optional<std::string> latin1 = utf8ToLatin1(bytes);
  FUZZ_CHECK(latin1.has_value() == fits && fitsLatin1(bytes) == fits);
  FUZZ_CHECK(!latin1 || latin1ToUtf8(*latin1) == bytes);

  const std::vector<uint32_t> items = itemsFromBytes(bytes);
  FUZZ_CHECK(items.size() == bytes.size() / 4 && itemsToBytes(items) == bytes.substr(0, size_t{items.size()} * 4));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  checkAssembler(input);
  checkLatin1AndItems(input);
  return 0;
}
