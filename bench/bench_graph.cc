// SimpleGraph rendering: GetGraph for 20 rows of 12 values, plain and
// stacked, on a new object each time (a page draws a graph once). Reports
// the output size of one graph as a counter.
//
// Each graph allocates and frees a buffer of about 100 KB. On a cold heap
// glibc returns that memory to the kernel after every graph and faults it
// in again for the next, which can cost more than the rendering; run with
//   GLIBC_TUNABLES=glibc.malloc.trim_threshold=268435456:glibc.malloc.mmap_threshold=268435456
// to see the rendering alone, as a long-running server's warm heap does.
#include <benchmark/benchmark.h>

#include <random>
#include <string>
#include <vector>

#include "fennick/simple_graph.h"

namespace {

std::vector<std::string> Rows() {
  std::mt19937 random(42);
  std::uniform_int_distribution<int> value(0, 100000);
  std::vector<std::string> rows;
  for (int r = 0; r < 20; ++r) {
    std::string row;
    for (int c = 0; c < 12; ++c) {
      if (c > 0) row += ",";
      row += std::to_string(value(random));
    }
    rows.push_back(row);
  }
  return rows;
}

void RenderGraph(benchmark::State& state, bool stacked) {
  const std::vector<std::string> rows = Rows();
  size_t bytes = 0;
  for (auto _ : state) {
    fennick::SimpleGraph graph;
    graph.Stacked(stacked);
    graph.XScaleValues("Jan,Feb,Mar,Apr,May,Jun,Jul,Aug,Sep,Oct,Nov,Dec");
    for (size_t r = 0; r < rows.size(); ++r) graph.AddRowData("Series " + std::to_string(r), rows[r]);
    std::string html = graph.GetGraph();
    bytes = html.size();
    benchmark::DoNotOptimize(html);
  }
  state.counters["output_bytes"] = static_cast<double>(bytes);
}

void BM_GetGraphPlain(benchmark::State& state) { RenderGraph(state, false); }
void BM_GetGraphStacked(benchmark::State& state) { RenderGraph(state, true); }

BENCHMARK(BM_GetGraphPlain)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_GetGraphStacked)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
