#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>

#include "text/utf8.h"

namespace {

// Text of the given size made of repeats of sample, cut on a character boundary.
std::string repeatText(const std::string& sample, int64_t size) {
  std::string text;
  text.reserve(size);
  while (static_cast<int64_t>(text.size() + sample.size()) <= size) text += sample;
  text.append(static_cast<size_t>(size) - text.size(), 'x');
  return text;
}

void run(benchmark::State& state, const std::string& sample) {
  const std::string text = repeatText(sample, state.range(0));
  for (auto _ : state) {
    bool valid = isValidUtf8(text);
    benchmark::DoNotOptimize(valid);
    if (!valid) state.SkipWithError("sample text rejected");
  }
  state.SetBytesProcessed(state.iterations() * state.range(0));
  state.SetComplexityN(state.range(0));
}

// Source code, logs, English: the ASCII fast path.
void BM_isValidUtf8_ascii(benchmark::State& state) {
  run(state, "int main(void) { return printf(\"hello, world\\n\") < 0; }\n");
}

// Vietnamese: nearly every word has a two- or three-byte letter.
void BM_isValidUtf8_vietnamese(benchmark::State& state) {
  run(state, "Nội dung đã bay sang các máy khác. Truy sát ngay nào! Mục tiêu đã bị khoá.\n");
}

// Four-byte sequences only (emoji): the slowest well-formed input.
void BM_isValidUtf8_emoji(benchmark::State& state) {
  run(state, "\xF0\x9F\x98\x80\xF0\x9F\x8E\x89");
}

}  // namespace

BENCHMARK(BM_isValidUtf8_ascii)->Arg(1 << 20)->Arg(16 << 20)->Arg(64 << 20)->Complexity();
BENCHMARK(BM_isValidUtf8_vietnamese)->Arg(1 << 20)->Arg(16 << 20)->Arg(64 << 20)->Complexity();
BENCHMARK(BM_isValidUtf8_emoji)->Arg(1 << 20)->Arg(16 << 20)->Arg(64 << 20)->Complexity();
