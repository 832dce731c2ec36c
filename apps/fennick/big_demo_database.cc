// Generating the big demo table (data/big.db): a million orders for the
// demo page that shows the grid paging, sorting and filtering in the
// database.
#include <unistd.h>

#include <string>
#include <system_error>

#include "demo_database.h"
#include "fennick/data.h"
#include "fennick/error.h"

namespace fennick {
namespace {

// The number of rows of BigOrders in `database`; -1 when the file or the
// table is missing or cannot be read.
int64_t CountRows(const std::filesystem::path& database) {
  std::error_code ec;
  if (!std::filesystem::exists(database, ec)) return -1;
  try {
    Connection connection;
    connection.Open("Provider=SQLite;Data Source=" + database.string() + ";Mode=Read");
    Recordset rs = connection.Execute("SELECT count(*) FROM BigOrders");
    return rs.Fields(0).Value().AsInt64();
  } catch (const Error&) {
    return -1;  // a damaged or foreign file is built again
  }
}

// One INSERT over a recursive CTE: SQLite makes the rows itself, so a
// million of them take seconds rather than a million round trips. Every
// value is fixed arithmetic on the row number; the multipliers are primes so
// neighbouring rows differ. The row count (a number of ours, not the
// browser's) follows the text.
constexpr char kGenerate[] =
    "INSERT INTO BigOrders (ID, Customer, Region, OrderDate, Quantity, Amount) "
    "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < %ROWS%) "
    "SELECT i, "
    "  'Customer ' || printf('%05d', (i * 7919) % 20000), "
    "  CASE i % 8 WHEN 0 THEN 'North' WHEN 1 THEN 'South' WHEN 2 THEN 'East' "
    "    WHEN 3 THEN 'West' WHEN 4 THEN 'Central' WHEN 5 THEN 'Coast' "
    "    WHEN 6 THEN 'Mountains' ELSE 'Islands' END, "
    "  date('2015-01-01', '+' || ((i * 37) % 3650) || ' days'), "
    "  (i * 13) % 50 + 1, "
    "  ((i * 7727) % 100000) / 100.0 "
    "FROM n";

}  // namespace

DemoDatabaseResult EnsureBigDemoDatabase(const std::filesystem::path& site_root, int64_t rows) {
  DemoDatabaseResult result;
  const std::filesystem::path database = site_root / "data" / "big.db";
  if (CountRows(database) == rows) return result;
  std::error_code ec;
  std::filesystem::create_directories(database.parent_path(), ec);  // reported when writing
  // A name of this process's own, so servers starting together do not
  // write into one file.
  const std::filesystem::path building =
      database.string() + ".building." + std::to_string(static_cast<long>(getpid()));
  std::filesystem::remove(building, ec);  // Ignoring errors on purpose: a leftover may be absent
  try {
    Connection connection;
    connection.Open("Provider=SQLite;Data Source=" + building.string() + ";Mode=ReadWriteCreate");
    // The file is renamed into place only when complete, so a crash
    // mid-build loses nothing a journal would have saved.
    connection.Execute("PRAGMA journal_mode = OFF");
    connection.Execute("PRAGMA synchronous = OFF");
    connection.Execute("BEGIN");
    connection.Execute(
        "CREATE TABLE BigOrders (ID INTEGER PRIMARY KEY, Customer TEXT NOT NULL, "
        "Region TEXT NOT NULL, OrderDate TEXT NOT NULL, Quantity INTEGER NOT NULL, "
        "Amount REAL NOT NULL)");
    if (rows > 0) {
      std::string generate = kGenerate;
      generate.replace(generate.find("%ROWS%"), 6, std::to_string(rows));
      connection.Execute(generate);
    }
    // Indexes after the rows: one sorted build each instead of a million
    // scattered updates. Each one lets a sort by its column read one page
    // of the index rather than sort the whole table.
    for (const char* column : {"Customer", "Region", "OrderDate", "Quantity", "Amount"}) {
      connection.Execute(std::string("CREATE INDEX BigOrders_") + column + " ON BigOrders (" +
                         column + ")");
    }
    connection.Execute("COMMIT");
    connection.Close();
  } catch (const Error& e) {
    std::filesystem::remove(building, ec);  // Ignoring errors on purpose: the build failed anyway
    result.error = database.string() + ": " + e.description();
    return result;
  }
  std::filesystem::rename(building, database, ec);
  if (ec) {
    result.error = "cannot rename " + building.string() + ": " + ec.message();
    return result;
  }
  result.built = true;
  return result;
}

}  // namespace fennick
