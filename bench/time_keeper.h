// Best-of timing for the benchmarks that compare Fennick with a raw loop
// over the same rows in one run. Header-only, since every bench_*.cc is its
// own executable.
#ifndef FENNICK_BENCH_TIME_KEEPER_H_
#define FENNICK_BENCH_TIME_KEEPER_H_

#include <benchmark/benchmark.h>

#include <map>
#include <string>
#include <vector>

namespace fennick_bench {

// Keeps the fastest repetition of each benchmark, in real and CPU time.
class TimeKeeper : public benchmark::ConsoleReporter {
 public:
  struct Best {
    double real_ms = 0;
    double cpu_ms = 0;
  };

  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run.run_type != Run::RT_Iteration || run.error_occurred) continue;
      Best& best = best_[run.run_name.function_name];
      double real = run.GetAdjustedRealTime(), cpu = run.GetAdjustedCPUTime();
      if (best.real_ms == 0 || real < best.real_ms) best.real_ms = real;
      if (best.cpu_ms == 0 || cpu < best.cpu_ms) best.cpu_ms = cpu;
    }
    ConsoleReporter::ReportRuns(runs);
  }
  Best Get(const std::string& name) const {
    auto it = best_.find(name);
    return it == best_.end() ? Best() : it->second;
  }

 private:
  std::map<std::string, Best> best_;
};

}  // namespace fennick_bench

#endif  // FENNICK_BENCH_TIME_KEEPER_H_
