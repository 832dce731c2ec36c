// The demo site's database: data/demo.db, built from the script
// data/demo.sql of the site when the server starts.
#ifndef FENNICK_APPS_DEMO_DATABASE_H_
#define FENNICK_APPS_DEMO_DATABASE_H_

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

}  // namespace fennick

#endif  // FENNICK_APPS_DEMO_DATABASE_H_
