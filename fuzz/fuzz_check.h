#pragma once

#include <cstdio>
#include <cstdlib>

// A broken property is a finding: say which one and stop, so that libFuzzer
// saves the input that broke it.
[[noreturn]] inline void fuzzFailure(const char* what, const char* file, int line) {
  std::fprintf(stderr, "\nproperty failed at %s:%d: %s\n", file, line, what);
  std::abort();
}

// Unlike assert, stays on in optimised builds.
#define FUZZ_CHECK(condition) \
  ((condition) ? static_cast<void>(0) : fuzzFailure(#condition, __FILE__, __LINE__))
