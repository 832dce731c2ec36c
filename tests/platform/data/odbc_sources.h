// ODBC data sources for the tests, registered privately: an odbcinst.ini
// naming the Debian drivers by path ("Fennick PostgreSQL": psqlODBC,
// "Fennick SQLite": SQLite's ODBC driver) and an odbc.ini with the DSNs
// "fennick_pg" (the PostgreSQL test server of test_databases.h) and
// "fennick_sqlite" (a file in the same temporary folder). ODBCSYSINI and
// ODBCINI point unixODBC at them; nothing under /etc is read or written.
// unixODBC keeps what it read of its files, so the sources are registered
// before main() in every test executable that includes this header.
#ifndef FENNICK_TESTS_PLATFORM_DATA_ODBC_SOURCES_H_
#define FENNICK_TESTS_PLATFORM_DATA_ODBC_SOURCES_H_

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/data/test_databases.h"

namespace fennick::testing {

struct OdbcSourceFolder {
  std::string folder;
  std::string sqlite_file;
  std::string error;  // why the sources are missing, "" when they are there
};

// The first of the driver's usual places that exists; "" when none.
inline std::string OdbcDriverPath(const std::string& file) {
  for (const char* dir : {"/usr/lib/x86_64-linux-gnu/odbc", "/usr/lib/aarch64-linux-gnu/odbc",
                          "/usr/lib/odbc", "/usr/lib64", "/usr/lib"}) {
    std::filesystem::path p = std::filesystem::path(dir) / file;
    if (std::filesystem::exists(p)) return p.string();
  }
  return "";
}

inline const OdbcSourceFolder& OdbcSources() {
  static const OdbcSourceFolder sources = [] {
    OdbcSourceFolder s;
    const std::string psql = OdbcDriverPath("psqlodbcw.so");
    const std::string sqlite = OdbcDriverPath("libsqlite3odbc.so");
    if (psql.empty() || sqlite.empty()) {
      s.error =
          "psqlODBC or SQLite's ODBC driver is missing (scripts/install-deps.sh "
          "installs odbc-postgresql and libsqliteodbc)";
      return s;
    }
    char pattern[] = "/tmp/fennick-odbc.XXXXXX";
    if (mkdtemp(pattern) == nullptr) {
      s.error = "no temporary folder";
      return s;
    }
    s.folder = pattern;
    s.sqlite_file = s.folder + "/sources.db";
    // The folder goes with the test executable.
    static std::string to_remove;
    to_remove = s.folder;
    std::atexit([] {
      std::error_code ignored;
      std::filesystem::remove_all(to_remove, ignored);
    });
    auto pg = PostgresServerSettings();
    std::ofstream(s.folder + "/odbcinst.ini") << "[Fennick PostgreSQL]\nDriver=" << psql << "\n\n"
                                              << "[Fennick SQLite]\nDriver=" << sqlite << "\n";
    std::ofstream(s.folder + "/odbc.ini")
        << "[fennick_pg]\nDriver=Fennick PostgreSQL\nServername=" << pg["FENNICK_PG_HOST"]
        << "\nPort=" << pg["FENNICK_PG_PORT"] << "\nDatabase=" << pg["FENNICK_PG_DATABASE"]
        << "\nUsername=" << pg["FENNICK_PG_USER"] << "\nBoolsAsChar=0\n\n"
        << "[fennick_sqlite]\nDriver=Fennick SQLite\nDatabase=" << s.sqlite_file << "\n";
    setenv("ODBCSYSINI", s.folder.c_str(), 1);
    setenv("ODBCINI", (s.folder + "/odbc.ini").c_str(), 1);
    if (pg["FENNICK_PG_PORT"].empty()) {
      s.error =
          "No PostgreSQL test server: run the tests with `make test`, which starts one "
          "(scripts/services/postgres-start.sh)";
    }
    return s;
  }();
  return sources;
}

// Registers the sources while the executable starts.
inline const bool kOdbcSourcesRegistered = (OdbcSources(), true);

// A DSN-less string for the PostgreSQL test server through psqlODBC
// (booleans as booleans, not as characters); "" (after recording a
// failure) without sources.
inline std::string OdbcPostgresString() {
  const OdbcSourceFolder& s = OdbcSources();
  if (!s.error.empty()) {
    ADD_FAILURE() << s.error;
    return "";
  }
  auto pg = PostgresServerSettings();
  return "Driver={Fennick PostgreSQL};Server=" + pg["FENNICK_PG_HOST"] +
         ";Port=" + pg["FENNICK_PG_PORT"] + ";Database=" + pg["FENNICK_PG_DATABASE"] +
         ";UID=" + pg["FENNICK_PG_USER"] + ";BoolsAsChar=0";
}

}  // namespace fennick::testing

#endif  // FENNICK_TESTS_PLATFORM_DATA_ODBC_SOURCES_H_
