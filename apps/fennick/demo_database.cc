// Building the demo site's SQLite database from its SQL script.
#include "demo_database.h"

#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string_view>
#include <system_error>
#include <vector>

#include "fennick/data.h"
#include "fennick/error.h"

namespace fennick {
namespace {

std::string_view Trim(std::string_view text) {
  const size_t first = text.find_first_not_of(" \t\r");
  if (first == std::string_view::npos) return {};
  const size_t last = text.find_last_not_of(" \t\r");
  return text.substr(first, last - first + 1);
}

// The script's statements, without comment lines and without their
// closing semicolons.
std::vector<std::string> SplitStatements(std::string_view script) {
  std::vector<std::string> statements;
  std::string current;
  size_t at = 0;
  while (at < script.size()) {
    size_t end = script.find('\n', at);
    if (end == std::string_view::npos) end = script.size();
    const std::string_view line = Trim(script.substr(at, end - at));
    at = end + 1;
    if (line.empty() || line.substr(0, 2) == "--") continue;
    if (!current.empty()) current += '\n';
    current += line;
    if (line.back() == ';') {
      current.pop_back();
      statements.push_back(std::move(current));
      current.clear();
    }
  }
  if (!Trim(current).empty()) statements.push_back(std::move(current));
  return statements;
}

bool IsUpToDate(const std::filesystem::path& database, const std::filesystem::path& script) {
  std::error_code ec;
  const auto built = std::filesystem::last_write_time(database, ec);
  if (ec) return false;
  const auto written = std::filesystem::last_write_time(script, ec);
  return !ec && built >= written;
}

}  // namespace

DemoDatabaseResult EnsureDemoDatabase(const std::filesystem::path& site_root,
                                      const std::filesystem::path& script_root) {
  DemoDatabaseResult result;
  const std::filesystem::path script_path =
      (script_root.empty() ? site_root : script_root) / "data" / "demo.sql";
  const std::filesystem::path database = site_root / "data" / "demo.db";
  // The designer demo works on its own copy of the seeded reports file.
  const std::filesystem::path reports = site_root / "data" / "reports.xml";
  const std::filesystem::path seed =
      (script_root.empty() ? site_root : script_root) / "data" / "reports.seed.xml";
  std::error_code seeded;
  if (!std::filesystem::exists(reports, seeded) && std::filesystem::exists(seed, seeded)) {
    // Ignoring errors on purpose: the designer then starts an empty file.
    std::filesystem::copy_file(seed, reports, seeded);
  }
  if (IsUpToDate(database, script_path)) return result;
  std::error_code made;
  std::filesystem::create_directories(database.parent_path(), made);  // reported when writing

  std::ifstream in(script_path, std::ios::binary);
  if (!in) {
    result.error = "cannot read " + script_path.string();
    return result;
  }
  std::stringstream script;
  script << in.rdbuf();

  // A name of this process's own, so servers starting together do not
  // write into one file.
  const std::filesystem::path building =
      database.string() + ".building." + std::to_string(static_cast<long>(getpid()));
  std::error_code ec;
  std::filesystem::remove(building, ec);  // Ignoring errors on purpose: a leftover may be absent
  try {
    Connection connection;
    connection.Open("Provider=SQLite;Data Source=" + building.string() + ";Mode=ReadWriteCreate");
    connection.Execute("BEGIN");
    for (const std::string& statement : SplitStatements(script.str())) {
      connection.Execute(statement);
    }
    connection.Execute("COMMIT");
    connection.Close();
  } catch (const Error& e) {
    std::filesystem::remove(building, ec);  // Ignoring errors on purpose: the build failed anyway
    result.error = script_path.string() + ": " + e.description();
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
