// The PostgreSQL driver's connection (libpq), shared by the files that
// implement it: postgres_driver.cc runs statements and fetches rows,
// postgres_catalog.cc reads the catalogue and calls stored procedures.
//
// Connection string keys: Host (a name, an address or a Unix-socket
// folder), Port, Database, User ID, Password, SSL Mode, Application Name,
// Connect Timeout. The session is set to ISO dates, hex bytea and the C
// monetary locale so that values arrive in forms the driver reads exactly.
//
// Results are read one row at a time (libpq's single-row mode) straight
// into the RowSet, so a large result never exists twice in memory. The
// command timeout is kept on the client: when it passes, the statement is
// cancelled; a server that does not answer the cancel is given up as lost.
// A row limit cancels a query that only reads once enough rows have
// arrived, outside transactions only; other statements run to their end
// and the rows beyond the limit are dropped as they come.
//
// A link goes back to the pool (connection_pool.h) after DISCARD ALL,
// which drops what a page left in the session (temporary tables, SET
// values, prepared statements, LISTEN) and brings back the settings the
// link opened with; a link left in a transaction or lost is closed.
//
// Stored procedures are the functions and procedures that return rows: a
// function is called as SELECT * FROM f(name => $1, ...), a procedure with
// CALL. Parameter names match the routine's argument names ignoring case.
#ifndef FENNICK_PLATFORM_DATA_POSTGRES_CONNECTION_H_
#define FENNICK_PLATFORM_DATA_POSTGRES_CONNECTION_H_

#include <libpq-fe.h>

#include <chrono>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "fennick/error.h"
#include "platform/data/driver.h"
#include "platform/data/postgres_values.h"

namespace fennick::data {

inline constexpr const char* kPostgresSource = "PostgreSQL";

struct PostgresConnectionCloser {
  void operator()(PGconn* conn) const { PQfinish(conn); }
};
struct PostgresResultClearer {
  void operator()(PGresult* result) const { PQclear(result); }
};
using PostgresConnectionPtr = std::unique_ptr<PGconn, PostgresConnectionCloser>;
using ResultPtr = std::unique_ptr<PGresult, PostgresResultClearer>;

// When a statement must have finished. After it passes the statement is
// cancelled and timed_out set; `until` then marks the end of the grace
// period the server gets to stop.
struct StatementDeadline {
  // `seconds` from now, or the page's deadline when sooner (RequestDeadline).
  explicit StatementDeadline(int32_t seconds) {
    auto deadline = RequestDeadline(seconds);
    active = deadline.has_value();
    if (active) until = *deadline;
  }
  bool active = false;
  std::chrono::steady_clock::time_point until;
  bool timed_out = false;
};

struct RoutineArgument {
  std::string name;
  Oid type;
  char mode;  // 'i' in, 'o' out, 'b' in-out, 'v' variadic, 't' table column
};

struct Routine {
  std::string call_name;  // quoted, qualified when not on the search path
  char kind = 'f';        // 'f' function, 'p' procedure
};

// One line of a libpq message: blanks and line breaks folded.
std::string CleanPostgresMessage(const char* message);

class PostgresConnection : public DriverConnection {
 public:
  explicit PostgresConnection(PostgresConnectionPtr conn) : conn_(std::move(conn)) {}

  std::string_view Provider() const override { return "PostgreSQL"; }
  bool Lost() const override { return lost_; }
  std::optional<bool> InTransaction() const override {
    return PQtransactionStatus(conn_.get()) != PQTRANS_IDLE;
  }
  bool ResetForReuse() override;
  // An idle link has nothing to read: anything there (the server's
  // goodbye, the end of the stream) means the server closed it.
  bool Usable() override;
  ExecuteResult Execute(const ExecuteRequest& request) override;
  std::vector<CatalogObject> ListObjects(bool procedures) override;
  std::optional<std::vector<Parameter>> ProcedureParameters(std::string_view name) override;
  std::optional<CatalogObjectType> FindObject(std::string_view name) override;
  TableKey PrimaryKey(std::string_view table) override;
  // One query that only reads is read forward only in single-row mode, a
  // batch at a time, under one deadline for the whole read (its columns'
  // base tables are not named). Other requests are fetched whole.
  std::unique_ptr<RowCursor> OpenCursor(const ExecuteRequest& request) override;

 private:
  friend class PostgresCursor;

  // Whether `sql` is one query that only reads, so that stopping it early
  // can undo nothing.
  static bool IsSingleQuery(std::string_view sql);
  // Raises kErrDataFailed with libpq's message, marking the link lost when
  // it is.
  [[noreturn]] void FailConnection(std::string_view what);
  // Asks the server to stop the running statement.
  void Cancel();
  // Waits until PQgetResult will not block, cancelling at the deadline.
  void WaitForResult(StatementDeadline& deadline);
  // Runs sql and fetches its first result with columns.
  ExecuteResult Run(const std::string& sql, const std::vector<const Variant*>& values,
                    int64_t max_records, bool may_cancel_for_limit, StatementDeadline& deadline);
  bool Send(const std::string& sql, const std::vector<const Variant*>& values);
  Error ResultError(const PGresult* res, bool timed_out) const;
  std::unique_ptr<RowSet> DescribeColumns(const PGresult* res, std::vector<PostgresReader>& readers,
                                          std::vector<Oid>& tables);
  static void AppendRow(RowSet& rows, const std::vector<PostgresReader>& readers,
                        const PGresult* res, int row, std::string& scratch);
  void ResolveTables(RowSet& rows, const std::vector<Oid>& tables, StatementDeadline& deadline);
  // Runs an internal query with text parameters (nullopt for NULL) and
  // returns its result; raises on any error. Without a deadline of the
  // caller's it may take 30 seconds.
  ResultPtr Query(const char* sql, const std::vector<std::optional<std::string>>& params,
                  StatementDeadline* outer = nullptr);

  std::optional<Oid> FindRoutine(const std::vector<std::string>& parts,
                                 const std::vector<std::string>& given, Routine* routine);
  std::vector<RoutineArgument> RoutineArguments(Oid oid);
  std::string BuildCall(const ExecuteRequest& request, std::vector<const Variant*>& values);

  PostgresConnectionPtr conn_;
  bool lost_ = false;
  std::map<Oid, std::string> table_names_;  // base tables seen, by OID
};

}  // namespace fennick::data

#endif  // FENNICK_PLATFORM_DATA_POSTGRES_CONNECTION_H_
