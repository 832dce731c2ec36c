// STDEV, STDEVP, VAR and VARP for SQLite, by Welford's running moments
// (numerically stable, and reversible for window frames).
#include "platform/data/sqlite_functions.h"

#include <sqlite3.h>

#include <cmath>
#include <cstdint>

namespace fennick::data {
namespace {

struct Statistic {
  const char* name;
  bool sample;  // divide by n - 1 rather than n
  bool root;    // standard deviation rather than variance
};

constexpr Statistic kStatistics[] = {
    {"STDEV", true, true},
    {"STDEVP", false, true},
    {"VAR", true, false},
    {"VARP", false, false},
};

struct Moments {
  int64_t count;
  double mean;
  double sum_of_squares;  // of the differences from the mean
};

Moments* GetMoments(sqlite3_context* ctx) {
  return static_cast<Moments*>(sqlite3_aggregate_context(ctx, sizeof(Moments)));
}

void Step(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (sqlite3_value_type(argv[0]) == SQLITE_NULL) return;
  Moments* m = GetMoments(ctx);
  if (m == nullptr) {
    sqlite3_result_error_nomem(ctx);
    return;
  }
  double x = sqlite3_value_double(argv[0]);
  ++m->count;
  double delta = x - m->mean;
  m->mean += delta / static_cast<double>(m->count);
  m->sum_of_squares += delta * (x - m->mean);
}

void Inverse(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (sqlite3_value_type(argv[0]) == SQLITE_NULL) return;
  Moments* m = GetMoments(ctx);
  if (m == nullptr || m->count == 0) return;
  double x = sqlite3_value_double(argv[0]);
  --m->count;
  if (m->count == 0) {
    *m = Moments{};
    return;
  }
  double delta = x - m->mean;
  m->mean -= delta / static_cast<double>(m->count);
  m->sum_of_squares -= delta * (x - m->mean);
  if (m->sum_of_squares < 0) m->sum_of_squares = 0;  // rounding after removals
}

void Value(sqlite3_context* ctx) {
  const auto* stat = static_cast<const Statistic*>(sqlite3_user_data(ctx));
  // A zero size asks for the context without creating it.
  auto* m = static_cast<Moments*>(sqlite3_aggregate_context(ctx, 0));
  int64_t needed = stat->sample ? 2 : 1;
  if (m == nullptr || m->count < needed) {
    sqlite3_result_null(ctx);
    return;
  }
  double variance = m->sum_of_squares / static_cast<double>(stat->sample ? m->count - 1 : m->count);
  sqlite3_result_double(ctx, stat->root ? std::sqrt(variance) : variance);
}

}  // namespace

int RegisterSqliteFunctions(sqlite3* db) {
  for (const Statistic& stat : kStatistics) {
    int rc = sqlite3_create_window_function(
        db, stat.name, 1, SQLITE_UTF8 | SQLITE_DETERMINISTIC | SQLITE_INNOCUOUS,
        const_cast<Statistic*>(&stat), Step, Value, Value, Inverse, nullptr);
    if (rc != SQLITE_OK) return rc;
  }
  return SQLITE_OK;
}

}  // namespace fennick::data
