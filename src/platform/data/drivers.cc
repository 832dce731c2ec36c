// The list of drivers Fennick can open.
#include "platform/data/driver.h"

namespace fennick::data {
namespace {

constexpr std::string_view kSqliteAliases[] = {"SQLite", "SQLite3"};
constexpr std::string_view kPostgresAliases[] = {"PostgreSQL", "Postgres", "PgSQL"};

constexpr DriverEntry kDrivers[] = {
    {"SQLite", kSqliteAliases, &OpenSqlite},
    {"PostgreSQL", kPostgresAliases, &OpenPostgres},
};

bool EqualIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if ((a[i] | 0x20) != (b[i] | 0x20)) return false;
  }
  return true;
}

}  // namespace

std::span<const DriverEntry> Drivers() { return kDrivers; }

const DriverEntry* FindDriver(std::string_view provider) {
  for (const DriverEntry& driver : kDrivers) {
    for (std::string_view alias : driver.aliases) {
      if (EqualIgnoringCase(alias, provider)) return &driver;
    }
  }
  return nullptr;
}

}  // namespace fennick::data
