// The list of drivers Fennick can open.
#include "platform/data/driver.h"

#include "base/ascii.h"
#include "fennick/page.h"

namespace fennick::data {
namespace {

constexpr std::string_view kSqliteAliases[] = {"SQLite", "SQLite3"};
constexpr std::string_view kPostgresAliases[] = {"PostgreSQL", "Postgres", "PgSQL"};
constexpr std::string_view kMysqlAliases[] = {"MySQL", "MySQLProv"};
// MSDASQL is ODBC's OLE DB provider; SQL Server's own OLE DB providers
// reach SQL Server through an ODBC driver here.
constexpr std::string_view kOdbcAliases[] = {
    "ODBC",        "MSDASQL",    "MSDASQL.1",    "SQLOLEDB",    "SQLOLEDB.1",
    "SQLNCLI",     "SQLNCLI.1",  "SQLNCLI10",    "SQLNCLI10.1", "SQLNCLI11",
    "SQLNCLI11.1", "MSOLEDBSQL", "MSOLEDBSQL.1", "MSOLEDBSQL19"};

// A string without Provider whose Driver key names a MySQL ODBC driver is
// opened by the native MySQL driver.
bool ClaimsMysqlDriverKey(const ConnectionString& options) {
  return !ProviderOfDriverKey(options).empty();
}

// SQLite links stay with their thread: reopening a file costs the schema
// load of its first statement, and a thread's next page most likely reads
// the same file. Server links are shared: a server allows only so many.
constexpr DriverEntry kDrivers[] = {
    {"SQLite", kSqliteAliases, &OpenSqlite, nullptr, ReuseScope::kThread, &SqliteReuseKey},
    {"PostgreSQL", kPostgresAliases, &OpenPostgres, nullptr, ReuseScope::kProcess, &ServerReuseKey},
    // Claims are tried in list order: the native MySQL driver takes its
    // historic "Driver={MySQL ...}" strings before ODBC claims every other
    // string naming a driver or a DSN.
    {"MySQL", kMysqlAliases, &OpenMysql, &ClaimsMysqlDriverKey, ReuseScope::kProcess,
     &ServerReuseKey},
    {"ODBC", kOdbcAliases, &OpenOdbc, &ClaimsOdbc},
};

// A result already fetched whole, handed out as one batch.
class FetchedCursor : public RowCursor {
 public:
  explicit FetchedCursor(std::unique_ptr<RowSet> rows) : rows_(std::move(rows)) {}
  std::unique_ptr<RowSet> Next(size_t) override {
    if (rows_) return std::move(rows_);
    return std::make_unique<RowSet>();
  }

 private:
  std::unique_ptr<RowSet> rows_;
};

}  // namespace

const DriverEntry* DriverWithoutProvider(const ConnectionString& options) {
  for (const DriverEntry& driver : kDrivers) {
    if (driver.claims != nullptr && driver.claims(options)) return &driver;
  }
  return &kDrivers[0];
}

std::unique_ptr<RowCursor> DriverConnection::OpenCursor(const ExecuteRequest& request) {
  ExecuteResult result = Execute(request);
  if (!result.rows) return nullptr;
  return std::make_unique<FetchedCursor>(std::move(result.rows));
}

std::span<const DriverEntry> Drivers() { return kDrivers; }

std::optional<std::string> ServerReuseKey(const OpenSettings& settings) {
  std::string key = settings.options.text();
  key.append(1, '\0').append(settings.user).append(1, '\0').append(settings.password);
  return key;
}

std::optional<std::chrono::steady_clock::time_point> RequestDeadline(int32_t timeout_seconds) {
  using Clock = std::chrono::steady_clock;
  std::optional<Clock::time_point> deadline;
  if (timeout_seconds > 0) deadline = Clock::now() + std::chrono::seconds(timeout_seconds);
  Clock::time_point page = CurrentDeadline();
  if (page != Clock::time_point::max() && (!deadline || page < *deadline)) deadline = page;
  return deadline;
}

const DriverEntry* FindDriver(std::string_view provider) {
  for (const DriverEntry& driver : kDrivers) {
    for (std::string_view alias : driver.aliases) {
      if (EqualsIgnoreCase(alias, provider)) return &driver;
    }
  }
  return nullptr;
}

std::string_view ProviderOfDriverKey(const ConnectionString& options) {
  // MySQL's ODBC drivers go by "MySQL ODBC 8.0 Unicode Driver" and the like.
  if (ContainsIgnoreCase(options.Get({"Driver"}), "MySQL")) return "MySQL";
  return {};
}

}  // namespace fennick::data
