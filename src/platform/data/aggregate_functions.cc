// Aggregate names and their SQL functions per engine.
#include "platform/data/aggregate_functions.h"

#include "base/ascii.h"

namespace fennick::data {
namespace {

constexpr std::string_view kNames[] = {"SUM", "AVG", "MIN", "MAX", "COUNT", "STDEV", "VAR"};

// Engines whose sample deviation and variance carry the SQL standard's
// names.
bool UsesStandardNames(std::string_view provider) {
  for (std::string_view name : {"PostgreSQL", "Postgres", "PgSQL", "MySQL", "MariaDB"}) {
    if (EqualsIgnoreCase(provider, name)) return true;
  }
  return false;
}

}  // namespace

std::optional<Aggregate> ParseAggregate(std::string_view name) {
  name = TrimBlanks(name);
  for (size_t i = 0; i < std::size(kNames); ++i) {
    if (EqualsIgnoreCase(name, kNames[i])) return static_cast<Aggregate>(i);
  }
  return std::nullopt;
}

std::string_view AggregateName(Aggregate aggregate) {
  return kNames[static_cast<size_t>(aggregate)];
}

std::string_view AggregateFunction(Aggregate aggregate, std::string_view provider) {
  if (UsesStandardNames(provider)) {
    if (aggregate == Aggregate::kStdev) return "stddev_samp";
    if (aggregate == Aggregate::kVar) return "var_samp";
  }
  return AggregateName(aggregate);
}

}  // namespace fennick::data
