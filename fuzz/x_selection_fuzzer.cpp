// What the clipboard layer reads from X selections, without a server. The input is a script:
// its first byte bounds the size of a read, then come property values (type, format, length,
// bytes) handed to the reader's assembler as the owner's first answer and its INCR chunks. The
// outcome is checked against what the owner sent.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "fuzz_check.h"
#include "platform/linux/x11/x_selection_data.h"
#include "reference_utf8.h"

namespace {

using Step = SelectionTextAssembler::Step;
constexpr uint32_t incr = 305, utf8String = 307, utf8Mime = 308, compoundText = 310;
constexpr SelectionAtoms atoms{301, 302,        303,      304, incr,
                               306, utf8String, utf8Mime, 309, compoundText};
// Types an owner may put on a property; the last is nothing this client knows.
constexpr uint32_t typeChoices[] = {atomNone,     incr, utf8String, utf8Mime, atomString,
                                    compoundText, 309,  atomAtom,   999};
constexpr uint8_t formatChoices[] = {8, 8, 8, 32, 16, 0};

// UTF-8 as it is, Latin-1 and compound text without escapes from the code points they hold.
std::optional<std::string> expectedText(uint32_t type, const std::string& bytes) {
  if (type == utf8String || type == utf8Mime) return bytes;
  if (type != atomString && (type != compoundText || bytes.find('\x1b') != bytes.npos)) return {};
  std::string utf8;
  for (unsigned char c : bytes) utf8 += reference::encode(c);
  return utf8;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view script(reinterpret_cast<const char*>(data), size);
  // Atom lists, empty ones too (an empty one once handed memcpy a null pointer).
  FUZZ_CHECK(itemsToBytes(itemsFromBytes(script)) == script.substr(0, size / 4 * 4));
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
    return 0;
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
      return 0;
    }
    if (chunk.format != 8 || chunk.type != chunkType ||
        received.size() + chunk.bytes.size() > maxBytes) {
      FUZZ_CHECK(step == Step::noText);
      return 0;
    }
    FUZZ_CHECK(step == Step::needChunk);
    received += chunk.bytes;
  }
  return 0;
}
