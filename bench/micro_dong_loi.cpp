#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>

#include "runner/dong_loi.h"

namespace {

void run(benchmark::State& state, const std::string& err, size_t expectedSize) {
  for (auto _ : state) {
    std::string line = dongLoi(std::string(), err);
    benchmark::DoNotOptimize(line);
    if (line.size() != expectedSize) state.SkipWithError("wrong line picked");
  }
  state.SetBytesProcessed(state.iterations() * state.range(0));
  state.SetComplexityN(state.range(0));
}

// A tool that never ends a line: the whole stream is the line, found and copied.
void BM_dongLoi_oneLongLine(benchmark::State& state) {
  const std::string err(static_cast<size_t>(state.range(0)), 'e');
  run(state, err, err.size());
}

// The last words followed by blank lines up to the size: every blank line is stepped over.
void BM_dongLoi_trailingBlankLines(benchmark::State& state) {
  std::string err = "lỗi: hết chỗ\n";
  const size_t lineSize = err.size() - 1;
  err.resize(static_cast<size_t>(state.range(0)), '\n');
  run(state, err, lineSize);
}

// CRLF pairs stay inside their line: a stream of them is one line of carriage returns.
void BM_dongLoi_crlfOnly(benchmark::State& state) {
  std::string err;
  err.reserve(static_cast<size_t>(state.range(0)));
  while (err.size() + 2 <= static_cast<size_t>(state.range(0))) err += "\r\n";
  run(state, err, err.size());
}

// Ordinary log output: many short lines, the answer is at the end.
void BM_dongLoi_logLines(benchmark::State& state) {
  const std::string line = "2026-12-07 10:00:00 varkel: đang gửi khối dữ liệu tiếp theo\n";
  std::string err;
  err.reserve(static_cast<size_t>(state.range(0)));
  while (err.size() + line.size() <= static_cast<size_t>(state.range(0))) err += line;
  run(state, err, line.size() - 1);
}

}  // namespace

BENCHMARK(BM_dongLoi_oneLongLine)->Arg(1 << 20)->Arg(16 << 20)->Arg(64 << 20)->Complexity();
BENCHMARK(BM_dongLoi_trailingBlankLines)->Arg(1 << 20)->Arg(16 << 20)->Arg(64 << 20)->Complexity();
BENCHMARK(BM_dongLoi_crlfOnly)->Arg(1 << 20)->Arg(16 << 20)->Arg(64 << 20)->Complexity();
BENCHMARK(BM_dongLoi_logLines)->Arg(1 << 20)->Arg(16 << 20)->Arg(64 << 20)->Complexity();
