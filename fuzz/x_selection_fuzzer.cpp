// What the clipboard layer reads from and writes to X selections, without a
// server. The input is a script: its first byte picks the size bound of a
// read, then come property values (type, format, length, bytes) that are
// handed to the reader's assembler as the owner's first answer and INCR
// chunks; the whole input also serves as a text to convert. Each outcome is
// checked against what the owner sent.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_check.h"
#include "platform/linux/x11/x_selection_data.h"
#include "reference_utf8.h"

namespace {

SelectionAtoms testAtoms() {
  SelectionAtoms atoms;
  atoms.clipboard = 301;
  atoms.targets = 302;
  atoms.timestamp = 303;
  atoms.multiple = 304;
  atoms.incr = 305;
  atoms.atomPair = 306;
  atoms.utf8String = 307;
  atoms.utf8Mime = 308;
  atoms.text = 309;
  atoms.compoundText = 310;
  return atoms;
}

// Types an owner may put on a property; the last is nothing we know.
constexpr uint32_t typeChoices[] = {atomNone, 305, 307, 308, atomString, 310, 309, atomAtom, 999};
constexpr uint8_t formatChoices[] = {8, 8, 8, 32, 16, 0};

class Script {
 public:
  explicit Script(std::string_view bytes) : bytes_(bytes) {}
  bool done() const { return bytes_.empty(); }
  uint8_t byte() {
    if (bytes_.empty()) return 0;
    auto b = static_cast<uint8_t>(bytes_.front());
    bytes_.remove_prefix(1);
    return b;
  }
  std::string take(size_t n) {
    std::string taken(bytes_.substr(0, n));
    bytes_.remove_prefix(taken.size());
    return taken;
  }

 private:
  std::string_view bytes_;
};

PropertyValue nextValue(Script& script) {
  uint8_t header = script.byte();
  PropertyValue value;
  value.type = typeChoices[header % std::size(typeChoices)];
  value.format = formatChoices[(header / std::size(typeChoices)) % std::size(formatChoices)];
  value.bytes = script.take(script.byte() % 64);
  return value;
}

std::string latin1Reference(std::string_view latin1) {
  std::string utf8;
  for (unsigned char c : latin1) utf8 += reference::encode(c);
  return utf8;
}

std::optional<std::string> expectedText(uint32_t type, const std::string& bytes) {
  if (type == 307 || type == 308) return bytes;
  if (type == atomString) return latin1Reference(bytes);
  if (type == 310 && bytes.find('\x1b') == std::string::npos) return latin1Reference(bytes);
  return std::nullopt;
}

void checkAssembler(std::string_view input) {
  Script script(input);
  const size_t maxBytes = script.byte() % 200;
  SelectionTextAssembler assembler(testAtoms(), maxBytes);

  PropertyValue first = nextValue(script);
  const PropertyValue firstCopy = first;
  auto step = assembler.first(std::move(first));
  if (firstCopy.type != 305) {
    // One property holds the whole answer.
    const bool fits = firstCopy.format == 8 && firstCopy.bytes.size() <= maxBytes;
    auto expected = fits ? expectedText(firstCopy.type, firstCopy.bytes) : std::nullopt;
    FUZZ_CHECK(step != SelectionTextAssembler::Step::needChunk);
    FUZZ_CHECK((step == SelectionTextAssembler::Step::done) == expected.has_value());
    if (expected) FUZZ_CHECK(assembler.take() == *expected);
    return;
  }
  FUZZ_CHECK(step == SelectionTextAssembler::Step::needChunk);

  // INCR: chunks of one type and format 8, ended by an empty one.
  std::string received;
  uint32_t chunkType = atomNone;
  while (!script.done()) {
    PropertyValue chunk = nextValue(script);
    const PropertyValue chunkCopy = chunk;
    step = assembler.chunk(std::move(chunk));
    if (chunkCopy.type == atomNone) {
      FUZZ_CHECK(step == SelectionTextAssembler::Step::needChunk);
      continue;
    }
    if (chunkType == atomNone) chunkType = chunkCopy.type;
    const bool wellFormed = chunkCopy.format == 8;
    if (wellFormed && chunkCopy.bytes.empty()) {
      auto expected = expectedText(chunkType, received);
      FUZZ_CHECK((step == SelectionTextAssembler::Step::done) == expected.has_value());
      if (expected) FUZZ_CHECK(assembler.take() == *expected);
      return;
    }
    const bool accepted = wellFormed && chunkCopy.type == chunkType &&
                          received.size() + chunkCopy.bytes.size() <= maxBytes;
    if (!accepted) {
      FUZZ_CHECK(step == SelectionTextAssembler::Step::noText);
      return;
    }
    FUZZ_CHECK(step == SelectionTextAssembler::Step::needChunk);
    received += chunkCopy.bytes;
  }
}

void checkLatin1(std::string_view bytes) {
  const std::string utf8 = latin1ToUtf8(bytes);
  FUZZ_CHECK(utf8 == latin1Reference(bytes));
  FUZZ_CHECK(utf8ToLatin1(utf8) == std::string(bytes));
  FUZZ_CHECK(fitsLatin1(utf8));

  // Read as UTF-8, the bytes convert exactly when they are valid and every
  // character is at most U+00FF.
  const std::optional<std::string> latin1 = utf8ToLatin1(bytes);
  bool expectFits = reference::isValid(bytes);
  if (expectFits) {
    for (char32_t c : reference::decodeLossy(bytes)) expectFits = expectFits && c <= 0xFF;
  }
  FUZZ_CHECK(latin1.has_value() == expectFits);
  FUZZ_CHECK(fitsLatin1(bytes) == expectFits);
  if (latin1) FUZZ_CHECK(latin1ToUtf8(*latin1) == bytes);
}

void checkItems(std::string_view bytes) {
  const std::vector<uint32_t> items = itemsFromBytes(bytes);
  FUZZ_CHECK(items.size() == bytes.size() / 4);
  FUZZ_CHECK(itemsToBytes(items) == bytes.substr(0, items.size() * 4));
}

// The owner's side, for the input made valid text: every target offered in
// TARGETS converts, and every conversion gives back the held text.
void checkConversions(std::string_view bytes, uint32_t ownedSince) {
  const SelectionAtoms atoms = testAtoms();
  std::string valid;
  for (char32_t c : reference::decodeLossy(bytes)) valid += reference::encode(c);
  const auto text = std::make_shared<const std::string>(valid);
  const bool latin1 = fitsLatin1(*text);

  auto targets = convertHeldText(atoms, atoms.targets, text, latin1, ownedSince);
  FUZZ_CHECK(targets && targets->type == atomAtom && targets->format == 32);
  const std::vector<uint32_t> offered = itemsFromBytes(*targets->bytes);
  bool offersString = false;
  for (uint32_t target : offered) {
    offersString = offersString || target == atomString;
    if (target == atoms.multiple) continue;
    FUZZ_CHECK(convertHeldText(atoms, target, text, latin1, ownedSince).has_value());
  }
  FUZZ_CHECK(offersString == latin1);

  auto timestamp = convertHeldText(atoms, atoms.timestamp, text, latin1, ownedSince);
  FUZZ_CHECK(timestamp && timestamp->type == atomInteger && timestamp->format == 32);
  FUZZ_CHECK(itemsFromBytes(*timestamp->bytes) == std::vector<uint32_t>{ownedSince});

  for (uint32_t target : {atoms.utf8String, atoms.utf8Mime, atoms.text, atomString}) {
    auto conversion = convertHeldText(atoms, target, text, latin1, ownedSince);
    if (!conversion) {
      FUZZ_CHECK(target == atomString && !latin1);
      continue;
    }
    FUZZ_CHECK(conversion->format == 8);
    auto back = expectedText(conversion->type, *conversion->bytes);
    FUZZ_CHECK(back && *back == *text);
  }
  FUZZ_CHECK(!convertHeldText(atoms, 999, text, latin1, ownedSince));
  FUZZ_CHECK(!convertHeldText(atoms, atomNone, text, latin1, ownedSince));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view input(reinterpret_cast<const char*>(data), size);
  checkAssembler(input);
  checkLatin1(input);
  checkItems(input);
  uint32_t ownedSince = 0;
  for (size_t i = 0; i < 4 && i < size; ++i) ownedSince = ownedSince << 8 | data[i];
  checkConversions(input, ownedSince);
  return 0;
}
