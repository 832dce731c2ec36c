// The driver interface: what one database engine offers the data layer.
//
// A driver opens a connection from the parsed connection string and runs
// requests on it, returning fetched rows in a RowSet. Connection, Recordset,
// Command and Catalog are written against this interface only, so another
// engine (MySQL, ODBC) is one more driver and one more entry in the list of
// drivers. Drivers raise fennick::Error with the engine's own message and
// the numbers of fennick/data.h; a driver whose server link is gone says so
// through Lost(), and the connection then closes itself.
#ifndef FENNICK_PLATFORM_DATA_DRIVER_H_
#define FENNICK_PLATFORM_DATA_DRIVER_H_

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "fennick/data.h"
#include "platform/data/connection_string.h"
#include "platform/data/row_set.h"

namespace fennick::data {

struct OpenSettings {
  ConnectionString options;
  // Open's user and password arguments; empty ones leave the string's.
  std::string user;
  std::string password;
  int32_t connection_timeout = 15;
};

enum class CommandKind {
  kText,             // SQL text
  kTable,            // a table or view name: all of its rows
  kStoredProcedure,  // a procedure name, called with the parameters by name
};

struct ExecuteRequest {
  CommandKind kind = CommandKind::kText;
  // The SQL, or for kTable and kStoredProcedure the object name as written
  // (possibly delimited and qualified).
  std::string_view text;
  std::span<const Parameter> parameters;
  int64_t max_records = 0;      // rows to fetch at most; 0 for all
  int32_t timeout_seconds = 0;  // 0 for no limit (see RequestDeadline)
};

// When a statement must have finished: `timeout_seconds` from now (none for
// 0), or the deadline of the page running on this thread when that comes
// first, so that a page's time limit also bounds its queries. nullopt when
// neither limits it.
std::optional<std::chrono::steady_clock::time_point> RequestDeadline(int32_t timeout_seconds);

struct ExecuteResult {
  // The first result of the request that has columns; null when no
  // statement returned any.
  std::unique_ptr<RowSet> rows;
  int64_t records_affected = -1;
};

// The rows of one result read forward only, a batch at a time, so that
// going through a large result needs memory for one batch, not for the
// result. The connection must outlive the cursor and runs nothing else
// while the cursor is open.
class RowCursor {
 public:
  virtual ~RowCursor() = default;
  // The next rows, at most `max_rows` (at least 1), with their columns
  // described; no rows once the result is exhausted. Raises the engine's
  // errors; FetchError when reading the result fails after it started.
  virtual std::unique_ptr<RowSet> Next(size_t max_rows) = 0;
};

class DriverConnection {
 public:
  virtual ~DriverConnection() = default;

  virtual std::string_view Provider() const = 0;
  virtual ExecuteResult Execute(const ExecuteRequest& request) = 0;
  // Tables and views, or the procedures, sorted by name.
  virtual std::vector<CatalogObject> ListObjects(bool procedures) = 0;
  // The input parameters of a procedure; nullopt when there is none of
  // that name.
  virtual std::optional<std::vector<Parameter>> ProcedureParameters(std::string_view name) = 0;
  // What a bare name (as written, possibly delimited) names, if anything.
  virtual std::optional<CatalogObjectType> FindObject(std::string_view name) = 0;
  // The primary key of a table as written (possibly delimited and
  // qualified); no columns when there is none or the driver cannot tell.
  virtual TableKey PrimaryKey(std::string_view) { return {}; }
  // Runs a request and reads its first result with columns forward only;
  // nullptr when no statement returned any. A driver without a forward-only
  // reader fetches the whole result and hands it back as one batch.
  virtual std::unique_ptr<RowCursor> OpenCursor(const ExecuteRequest& request);
  // Whether the link to the server is gone for good.
  virtual bool Lost() const { return false; }
  // The database product (Connection::DbmsName); the provider by default.
  virtual std::string DbmsName() { return std::string(Provider()); }
  // Whether the server reads a backslash in a string literal as an escape
  // character; nullopt when the driver cannot tell (SQL writers then go
  // by the database type).
  virtual std::optional<bool> BackslashEscapes() const { return std::nullopt; }
  // Whether a transaction is open on the link (one a page began with
  // BEGIN); nullopt when the driver cannot tell.
  virtual std::optional<bool> InTransaction() const { return std::nullopt; }

  // Readies an idle link for its next user once every page object let go
  // of it: whatever the last user changed in the session (temporary
  // tables, settings, variables) is undone. False when the link must be
  // closed instead: it failed or was lost, a transaction was left open, or
  // the session cannot be undone. May raise; a raise means false. By
  // default links are never reused.
  virtual bool ResetForReuse() { return false; }
  // Whether an idle link may still be handed out (the server has not
  // closed it, the database file is still the one it opened); cheap, no
  // round trip.
  virtual bool Usable() { return true; }
};

// Where the idle links of a driver wait for their next user.
enum class ReuseScope : uint8_t {
  kNone,     // every Open opens a new link
  kThread,   // a thread's idle links stay with it (an embedded engine)
  kProcess,  // idle links are shared by all threads (a database server)
};

struct DriverEntry {
  std::string_view provider;  // canonical name
  std::span<const std::string_view> aliases;
  std::unique_ptr<DriverConnection> (*open)(const OpenSettings& settings);
  // For a string without Provider: whether this driver opens it (an ODBC
  // string naming a DSN or a driver, say). Null: only by provider name.
  bool (*claims)(const ConnectionString& options) = nullptr;
  ReuseScope reuse = ReuseScope::kNone;
  // The links that may serve these settings: two opens whose keys are
  // equal may share links. nullopt when links of these settings are never
  // reused (a private in-memory database). Set whenever `reuse` is.
  std::optional<std::string> (*reuse_key)(const OpenSettings& settings) = nullptr;
};

// The drivers of this build.
std::span<const DriverEntry> Drivers();
// The driver of a Provider value (ignoring case), or nullptr.
const DriverEntry* FindDriver(std::string_view provider);
// The driver of a string without Provider: the first that claims it, else
// the embedded default.
const DriverEntry* DriverWithoutProvider(const ConnectionString& options);

std::unique_ptr<DriverConnection> OpenSqlite(const OpenSettings& settings);
std::unique_ptr<DriverConnection> OpenPostgres(const OpenSettings& settings);
std::unique_ptr<DriverConnection> OpenMysql(const OpenSettings& settings);
std::unique_ptr<DriverConnection> OpenOdbc(const OpenSettings& settings);
// The reuse key of a server's link: the whole connection string with
// Open's user and password.
std::optional<std::string> ServerReuseKey(const OpenSettings& settings);
// The reuse key of an SQLite database: its file and open mode; nullopt
// for in-memory databases and URIs.
std::optional<std::string> SqliteReuseKey(const OpenSettings& settings);
// Whether a string without Provider is an ODBC string (DSN, FileDSN or
// Driver given).
bool ClaimsOdbc(const ConnectionString& options);

// The provider a string without "Provider=" names through its historic
// ODBC "Driver={MySQL ODBC 8.0 Driver}" key ("MySQL"); "" for none. Such a
// string opens with the native MySQL driver, not through ODBC.
std::string_view ProviderOfDriverKey(const ConnectionString& options);

}  // namespace fennick::data

#endif  // FENNICK_PLATFORM_DATA_DRIVER_H_
