// Cost of the locale-aware formatting a grid pays per cell: 1,000,000
// numbers through FormatNumber, 1,000,000 dates through a picture format,
// and for comparison the named general date and number parsing. Each
// benchmark iteration makes 1,000,000 calls; the "per_call" counter is the
// time of one call.
#include <benchmark/benchmark.h>

#include <string>

#include "platform/intl/format.h"

namespace {

constexpr int kCalls = 1'000'000;

void ReportPerCall(benchmark::State& state) {
  state.counters["per_call"] = benchmark::Counter(
      kCalls, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

// The grid passes no locale: each call resolves the page's (here, no page:
// en_US), as a real cell does.
void BM_FormatNumber(benchmark::State& state) {
  for (auto _ : state) {
    for (int i = 0; i < kCalls; ++i) {
      std::string text = fennick::intl::FormatNumber(i * 1.37 - 250000.0, 2);
      benchmark::DoNotOptimize(text);
    }
  }
  ReportPerCall(state);
}
BENCHMARK(BM_FormatNumber)->Unit(benchmark::kMillisecond);

void BM_FormatDatePicture(benchmark::State& state) {
  for (auto _ : state) {
    for (int i = 0; i < kCalls; ++i) {
      std::string text =
          fennick::intl::FormatDatePicture(36000.0 + i * 0.0137, "dd mmm yyyy hh:nn");
      benchmark::DoNotOptimize(text);
    }
  }
  ReportPerCall(state);
}
BENCHMARK(BM_FormatDatePicture)->Unit(benchmark::kMillisecond);

void BM_FormatDateTimeGeneral(benchmark::State& state) {
  for (auto _ : state) {
    for (int i = 0; i < kCalls; ++i) {
      std::string text = fennick::intl::FormatDateTime(36000.0 + i * 0.0137, 0);
      benchmark::DoNotOptimize(text);
    }
  }
  ReportPerCall(state);
}
BENCHMARK(BM_FormatDateTimeGeneral)->Unit(benchmark::kMillisecond);

void BM_ParseLocaleNumber(benchmark::State& state) {
  const std::string texts[] = {"1,234.50", "-$5.25", "(7)", "12345678.9"};
  for (auto _ : state) {
    double value = 0;
    for (int i = 0; i < kCalls; ++i) {
      bool ok = fennick::intl::ParseLocaleNumber(texts[i % 4], value);
      benchmark::DoNotOptimize(ok);
      benchmark::DoNotOptimize(value);
    }
  }
  ReportPerCall(state);
}
BENCHMARK(BM_ParseLocaleNumber)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
