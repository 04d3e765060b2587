// The UTF-8 decoders against the reference: the strict validator the runner applies to the
// tool's output, and the lossy decoder and the repair used for every outside text.

#include <cstdint>
#include <string>

#include "fuzz_check.h"
#include "reference_utf8.h"
#include "text/utf8.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  // The validator skips ASCII a word at a time: where a sequence falls must not matter.
  FUZZ_CHECK(isValidUtf8(bytes) == reference::isValid(bytes));
  FUZZ_CHECK(isValidUtf8(std::string(size % 16 + 1, 'a') + bytes) == reference::isValid(bytes));
  const std::u32string decoded = decodeUtf8Lossy(bytes);
  FUZZ_CHECK(decoded == reference::decodeLossy(bytes));
  std::string encoded;
  for (char32_t c : decoded) {
    appendUtf8(encoded, c);
    FUZZ_CHECK(encoded.ends_with(reference::encode(c)));
  }
  FUZZ_CHECK(repairUtf8(bytes) == encoded);
  return 0;
}
