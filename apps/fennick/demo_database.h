// The demo site's database: data/demo.db, built from the script
// data/demo.sql of the site when the server starts.
#ifndef FENNICK_APPS_DEMO_DATABASE_H_
#define FENNICK_APPS_DEMO_DATABASE_H_

#include <cstdint>
#include <filesystem>
#include <string>

namespace fennick {

struct DemoDatabaseResult {
  bool built = false;       // the database was (re)built by this call
  std::string error;        // empty when the database is ready
  bool ok() const { return error.empty(); }
};

// Builds data/demo.db of `site_root` from data/demo.sql of `script_root`
// (of `site_root` when empty) when the database is missing or older than
// the script; data/ is created when missing. The script's statements end with a
// semicolon at the end of a line; lines starting with "--" are comments. The
// database is written beside its final name and renamed into place, so a
// reader never sees it half made.
DemoDatabaseResult EnsureDemoDatabase(const std::filesystem::path& site_root,
                                      const std::filesystem::path& script_root = {});

// The rows of the big demo table by default.
constexpr int64_t kBigDemoRows = 1000000;

// Builds data/big.db of `site_root`: the table BigOrders of `rows` generated
// orders (ID 1..rows, Customer, Region, OrderDate, Quantity, Amount), with an
// index on every column the big demo page sorts by. Skipped when the file
// already holds exactly `rows` rows; otherwise written beside its final name
// in one transaction and renamed into place. The data follow from the row
// number alone, so every build holds the same rows.
DemoDatabaseResult EnsureBigDemoDatabase(const std::filesystem::path& site_root,
                                         int64_t rows = kBigDemoRows);

}  // namespace fennick

#endif  // FENNICK_APPS_DEMO_DATABASE_H_
