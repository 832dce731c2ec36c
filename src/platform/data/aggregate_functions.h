// The seven aggregates report summaries offer (SUM, AVG, MIN, MAX, COUNT,
// STDEV, VAR) and the SQL function each engine computes them with.
//
// SUM, AVG, MIN, MAX and COUNT are spelt alike everywhere. The sample
// standard deviation and variance are STDEV and VAR on SQL Server, Access
// and SQLite (where Fennick registers them), but stddev_samp and var_samp
// on PostgreSQL and MySQL/MariaDB. Whoever writes an aggregate into SQL (the
// grid's summary box, the report query builder, a driver rewriting a
// statement) asks here, so the names stay the same in one place; column
// aliases such as STDEV_3 keep the aggregate's own name.
#ifndef FENNICK_PLATFORM_DATA_AGGREGATE_FUNCTIONS_H_
#define FENNICK_PLATFORM_DATA_AGGREGATE_FUNCTIONS_H_

#include <optional>
#include <string_view>

namespace fennick::data {

enum class Aggregate { kSum, kAvg, kMin, kMax, kCount, kStdev, kVar };

// The aggregate a name stands for: exactly one of the seven names, any
// case, blanks around it ignored. Anything else ("", "_", "M", "SUMX",
// "MIN_MAX") is nullopt.
std::optional<Aggregate> ParseAggregate(std::string_view name);

// The aggregate's own upper-case name ("STDEV"), used in aliases and
// captions.
std::string_view AggregateName(Aggregate aggregate);

// The SQL function computing the aggregate on the engine of `provider`
// (a connection's canonical provider name or one of its aliases, any
// case): "stddev_samp" / "var_samp" for PostgreSQL and MySQL/MariaDB,
// otherwise the aggregate's own name.
std::string_view AggregateFunction(Aggregate aggregate, std::string_view provider);

}  // namespace fennick::data

#endif  // FENNICK_PLATFORM_DATA_AGGREGATE_FUNCTIONS_H_
