// The strict UTF-8 decoders against the reference codec: the lossy decoder
// and the repair used for every outside text, and the validator the runner
// applies to the tool's output.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_check.h"
#include "reference_utf8.h"
#include "text/utf8.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view bytes(reinterpret_cast<const char*>(data), size);

  const bool valid = reference::isValid(bytes);
  FUZZ_CHECK(isValidUtf8(bytes) == valid);

  const std::u32string decoded = decodeUtf8Lossy(bytes);
  FUZZ_CHECK(decoded == reference::decodeLossy(bytes));

  const std::string repaired = repairUtf8(bytes);
  FUZZ_CHECK(reference::isValid(repaired));
  FUZZ_CHECK(isValidUtf8(repaired));
  if (valid) FUZZ_CHECK(repaired == bytes);
  // Repairing twice changes nothing more.
  FUZZ_CHECK(repairUtf8(repaired) == repaired);

  std::string encoded;
  for (char32_t c : decoded) {
    std::string one;
    appendUtf8(one, c);
    FUZZ_CHECK(one == reference::encode(c));
    encoded += one;
  }
  FUZZ_CHECK(encoded == repaired);
  return 0;
}
