// Cost of the expression evaluator and regular expressions a grid pays per
// cell: a 10-token expression evaluated 1,000,000 times (parsed once, then
// served from the per-thread cache), the same with a new text on every call
// (parse included), a template with locale formatting, and a phone-number
// rewrite. Each benchmark iteration makes 1,000,000 calls; the "per_call"
// counter is the time of one call.
#include <benchmark/benchmark.h>

#include <string>

#include "fennick/variant.h"
#include "platform/script/evaluator.h"
#include "platform/script/regexp.h"

namespace {

constexpr int kCalls = 1'000'000;

void ReportPerCall(benchmark::State& state) {
  state.counters["per_call"] = benchmark::Counter(
      kCalls, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

// Ten tokens: UCase ( "ab" ) & 12 * 3 + 4
void BM_EvaluateTenTokens(benchmark::State& state) {
  for (auto _ : state) {
    for (int i = 0; i < kCalls; ++i) {
      fennick::Variant v = fennick::script::Evaluate("UCase(\"ab\") & 12 * 3 + 4");
      benchmark::DoNotOptimize(v);
    }
  }
  ReportPerCall(state);
}
BENCHMARK(BM_EvaluateTenTokens)->Unit(benchmark::kMillisecond);

// Every call a text not seen before: what a grid pays when each cell's
// values make a different expression.
void BM_ParseAndEvaluateTenTokens(benchmark::State& state) {
  std::string text;
  int n = 0;
  for (auto _ : state) {
    for (int i = 0; i < kCalls; ++i) {
      text = "UCase(\"ab\") & ";
      text += std::to_string(++n);
      text += " * 3 + 4";
      fennick::Variant v = fennick::script::Evaluate(text);
      benchmark::DoNotOptimize(v);
    }
  }
  ReportPerCall(state);
}
BENCHMARK(BM_ParseAndEvaluateTenTokens)->Unit(benchmark::kMillisecond);

void BM_EvaluateTemplateWithFormatNumber(benchmark::State& state) {
  for (auto _ : state) {
    for (int i = 0; i < kCalls; ++i) {
      std::string text =
          fennick::script::EvaluateToText("\"Total: \" & FormatNumber(1234.5 * 2, 2)");
      benchmark::DoNotOptimize(text);
    }
  }
  ReportPerCall(state);
}
BENCHMARK(BM_EvaluateTemplateWithFormatNumber)->Unit(benchmark::kMillisecond);

// A RegExp object per cell, as the cell writer makes one: the compiled
// pattern comes from the per-thread cache.
void BM_RegExpPhoneReplace(benchmark::State& state) {
  for (auto _ : state) {
    for (int i = 0; i < kCalls; ++i) {
      fennick::script::RegExp re;
      re.Pattern(R"((\d{3})(\d{3})(\d{4}))");
      std::string text = re.Replace("5551234567", "($1) $2-$3");
      benchmark::DoNotOptimize(text);
    }
  }
  ReportPerCall(state);
}
BENCHMARK(BM_RegExpPhoneReplace)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
