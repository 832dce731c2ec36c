// The list of drivers Fennick can open.
#include "platform/data/driver.h"

#include "base/ascii.h"

namespace fennick::data {
namespace {

constexpr std::string_view kSqliteAliases[] = {"SQLite", "SQLite3"};
constexpr std::string_view kPostgresAliases[] = {"PostgreSQL", "Postgres", "PgSQL"};

constexpr DriverEntry kDrivers[] = {
    {"SQLite", kSqliteAliases, &OpenSqlite},
    {"PostgreSQL", kPostgresAliases, &OpenPostgres},
};

}  // namespace

std::span<const DriverEntry> Drivers() { return kDrivers; }

const DriverEntry* FindDriver(std::string_view provider) {
  for (const DriverEntry& driver : kDrivers) {
    for (std::string_view alias : driver.aliases) {
      if (EqualsIgnoreCase(alias, provider)) return &driver;
    }
  }
  return nullptr;
}

}  // namespace fennick::data
