#pragma once

#include <cstdio>
#include <cstdlib>

// A broken property is a finding: say which one and stop, so that libFuzzer keeps the input.
// Unlike assert, stays on in optimised builds.
#define FUZZ_CHECK(condition)                                                              \
  ((condition) ? static_cast<void>(0)                                                      \
               : (std::fprintf(stderr, "\nproperty failed at %s:%d: %s\n", __FILE__, __LINE__, \
                               #condition),                                                \
                  std::abort()))
