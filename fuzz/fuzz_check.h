#pragma once

#include <cstdio>
#include <cstdlib>

// A broken property is a finding: say which, and stop so that libFuzzer keeps the input.
#define FUZZ_CHECK(c) \
  ((c) ? void(0) : (std::fprintf(stderr, "%s:%d: %s\n", __FILE__, __LINE__, #c), std::abort()))
