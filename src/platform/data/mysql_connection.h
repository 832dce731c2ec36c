// The MySQL and MariaDB driver's connection (libmariadb), shared by the
// files that implement it: mysql_driver.cc opens connections, runs
// statements and fetches rows, mysql_catalog.cc reads the catalogue and
// calls stored procedures.
//
// Connection string keys: Server (or Host, Data Source; "host:port" is
// read too), Port, Database (Initial Catalog), Uid (User ID, User),
// Pwd (Password), Socket, Connect Timeout. The historic ODBC form
// "Driver={MySQL ODBC 8.0 Driver};Server=...;User=...;Password=..." opens
// the same driver. The session always talks utf8mb4.
//
// Every call on the server link is made through libmariadb's non-blocking
// interface and waited for with poll, so the command timeout (and the
// page's deadline) is kept on the client: when it passes, the statement is
// stopped with KILL QUERY sent over a second, short-lived connection, the
// interrupted statement's error is read, and the connection stays usable.
// A server that does not stop within a grace period is given up as lost.
//
// Results are read row by row as the server sends them (mysql_use_result)
// straight into the RowSet, so a large result never exists twice in
// memory. A row limit stops a query that only reads (KILL QUERY once one
// row beyond the limit has arrived); other statements run to their end
// and the rows beyond the limit are read and dropped.
//
// A link goes back to the pool (connection_pool.h) after
// mysql_reset_connection, which drops what a page left in the session
// (temporary tables, user variables, SET SESSION values, prepared
// statements), then back to its own database and to utf8mb4; a link left
// in a transaction or lost is closed.
//
// Text commands may hold "?" placeholders; the values are written into
// the statement as literals escaped by libmariadb for the session's
// character set and SQL mode. Stored procedures are called with CALL,
// parameters matched to the procedure's parameter names ignoring case.
#ifndef FENNICK_PLATFORM_DATA_MYSQL_CONNECTION_H_
#define FENNICK_PLATFORM_DATA_MYSQL_CONNECTION_H_

#include <mysql.h>

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "fennick/error.h"
#include "platform/data/driver.h"

namespace fennick::data {

inline constexpr const char* kMysqlSource = "MySQL";

struct MysqlCloser {
  void operator()(MYSQL* mysql) const { mysql_close(mysql); }
};
using MysqlPtr = std::unique_ptr<MYSQL, MysqlCloser>;

// What a second connection needs to stop a statement: the server and the
// credentials the connection was opened with.
struct MysqlEndpoint {
  std::string host;
  unsigned int port = 0;
  std::string socket;
  std::string user;
  std::string password;
};

// When a statement must have finished. After it passes the statement is
// killed and timed_out set; `until` then marks the end of the grace period
// the server gets to stop.
struct MysqlDeadline {
  explicit MysqlDeadline(int32_t seconds) {
    auto deadline = RequestDeadline(seconds);
    active = deadline.has_value();
    if (active) until = *deadline;
  }
  bool active = false;
  std::chrono::steady_clock::time_point until;
  bool timed_out = false;
};

// How the text of one column's values is read into its storage.
enum class MysqlReader : uint8_t { kInteger, kUnsigned, kBit, kReal, kDate, kBytes };

// A MySQL column type (MYSQL_FIELD) as an ADO type, and the reader of its
// values. See the type table in type_map.cc.
struct MysqlColumnType {
  int32_t type;
  int32_t defined_size;
  uint8_t precision;
  uint8_t scale;
  MysqlReader reader;
};
MysqlColumnType MysqlFieldType(const MYSQL_FIELD& field);

// Appends one non-null value of a column read by `reader`. Zero dates
// ("0000-00-00") become Null; a value the reader cannot place (a TIME
// beyond a day, say) keeps its text.
void AppendMysqlValue(Column& column, MysqlReader reader, std::string_view text);

class MysqlConnection : public DriverConnection {
 public:
  // `database` is the one the link opened with ("" for none).
  MysqlConnection(MysqlPtr mysql, MysqlEndpoint endpoint, std::string database);

  std::string_view Provider() const override { return "MySQL"; }
  bool Lost() const override { return lost_; }
  std::optional<bool> BackslashEscapes() const override;
  std::optional<bool> InTransaction() const override;
  bool ResetForReuse() override;
  // An idle link has nothing to read: anything there (the end of the
  // stream) means the server closed it.
  bool Usable() override;
  ExecuteResult Execute(const ExecuteRequest& request) override;
  std::vector<CatalogObject> ListObjects(bool procedures) override;
  std::optional<std::vector<Parameter>> ProcedureParameters(std::string_view name) override;
  std::optional<CatalogObjectType> FindObject(std::string_view name) override;
  TableKey PrimaryKey(std::string_view table) override;
  // Text commands are read forward only, row by row as the server sends
  // them, under one deadline for the whole read; other requests are
  // fetched whole.
  std::unique_ptr<RowCursor> OpenCursor(const ExecuteRequest& request) override;

 private:
  friend class MysqlCursor;
  friend class MysqlResult;

  // Waits for the socket as a non-blocking call asks (`status`), killing
  // the statement at the deadline; returns the status to continue with.
  int Wait(int status, MysqlDeadline& deadline);
  // Stops the running statement from a second connection. Failures are
  // ignored: the grace period then decides.
  void KillQuery();
  // The error of the last call: a lost link, a timeout when the deadline
  // killed the statement, else the server's refusal (a FetchError once
  // rows had arrived).
  [[noreturn]] void Fail(const MysqlDeadline& deadline, bool fetching = false);
  // Sends a statement and waits for its first result's header.
  void Send(const std::string& sql, MysqlDeadline& deadline);
  // Moves to the next result of a multi-result statement; false when
  // there is none.
  bool NextResult(MysqlDeadline& deadline);
  // Reads and drops the rest of a result, then frees it.
  void FreeResult(MYSQL_RES* result, MysqlDeadline& deadline);
  // The next row of a result read with mysql_use_result; null at its end.
  MYSQL_ROW FetchRow(MYSQL_RES* result, MysqlDeadline& deadline);
  // Reads the results left after an error or an early stop.
  void DrainResults(MysqlDeadline& deadline);
  // Runs `sql` and fetches its first result with columns, at most
  // `max_records` rows (0: all). With `may_stop_early` (one query that only
  // reads) the statement is killed once the limit is reached; otherwise the
  // rows beyond it are read and dropped.
  ExecuteResult Run(const std::string& sql, int64_t max_records, bool may_stop_early,
                    MysqlDeadline& deadline);
  // Runs an internal query and returns its rows as text (nullopt for NULL);
  // raises on any error. It may take 30 seconds.
  std::vector<std::vector<std::optional<std::string>>> Query(const std::string& sql);

  // A value written as a literal for this session.
  std::string Literal(const Variant& value) const;
  std::string QuoteString(std::string_view text) const;
  // `sql` with each "?" outside quotes and comments replaced by the next
  // value's literal.
  std::string BindPlaceholders(std::string_view sql, std::span<const Parameter> parameters) const;
  std::string BuildCall(const ExecuteRequest& request);

  MysqlPtr mysql_;
  MysqlEndpoint endpoint_;
  std::string database_;
  bool lost_ = false;
  bool killed_ = false;  // the running statement was sent KILL QUERY
};

// The MySQL open settings from a connection string (and Open's user and
// password), including the historic ODBC form.
MysqlEndpoint MysqlEndpointFrom(const OpenSettings& settings, std::string* database);

}  // namespace fennick::data

#endif  // FENNICK_PLATFORM_DATA_MYSQL_CONNECTION_H_
