// The ODBC driver's connection (unixODBC), shared by the files that
// implement it: odbc_driver.cc opens connections, runs statements and
// fetches rows; odbc_catalog.cc lists the catalogue and calls procedures.
//
// The connection string is made by odbc_connection_string.h (ODBC strings
// passed through, SQL Server's OLE DB strings rewritten). Every call goes
// through the wide (UTF-16) entry points, so SQL text, messages and text
// values keep their non-ASCII characters whatever the driver's own
// character set; text is handed on as UTF-8.
//
// CommandTimeout (or the page's deadline, when sooner) becomes the
// statement's SQL_ATTR_QUERY_TIMEOUT, which most drivers enforce. Some do
// not (SQLite's ignores it), so a watchdog thread also cancels the
// statement (SQLCancel, which ODBC allows from another thread) a moment
// after the deadline; either way the page gets kErrDataTimeout. Errors
// carry the driver's message with passwords masked: kErrDataTimeout for
// SQLSTATE HYT00/HYT01 (and a statement cancelled by its timeout),
// kErrDataFailed with the connection marked lost for the 08 states,
// kErrDataCommandFailed for the rest.
//
// A request's results are read in order: the first with columns is fetched
// (or, for a cursor, read a batch at a time), the rest are run through so
// that their errors and changed-row counts arrive.
#ifndef FENNICK_PLATFORM_DATA_ODBC_CONNECTION_H_
#define FENNICK_PLATFORM_DATA_ODBC_CONNECTION_H_

#include <sql.h>
#include <sqlext.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "fennick/error.h"
#include "platform/data/driver.h"

namespace fennick::data {

inline constexpr const char* kOdbcSource = "ODBC";

struct OdbcEnvironmentFreer {
  void operator()(void* env) const { SQLFreeHandle(SQL_HANDLE_ENV, env); }
};
struct OdbcLinkCloser {
  void operator()(void* dbc) const {
    SQLDisconnect(dbc);
    SQLFreeHandle(SQL_HANDLE_DBC, dbc);
  }
};
struct OdbcStatementFreer {
  void operator()(void* stmt) const { SQLFreeHandle(SQL_HANDLE_STMT, stmt); }
};
using OdbcEnvironmentPtr = std::unique_ptr<void, OdbcEnvironmentFreer>;
using OdbcLinkPtr = std::unique_ptr<void, OdbcLinkCloser>;
using OdbcStatementPtr = std::unique_ptr<void, OdbcStatementFreer>;

// UTF-8 to the UTF-16 of SQLWCHAR and back (invalid sequences become
// U+FFFD).
std::u16string ToWide(std::string_view utf8);
void AppendUtf8(const char16_t* text, size_t length, std::string& out);
inline std::string FromWide(const std::u16string& text) {
  std::string out;
  AppendUtf8(text.data(), text.size(), out);
  return out;
}
inline SQLWCHAR* WideArg(std::u16string& text) { return reinterpret_cast<SQLWCHAR*>(text.data()); }

// How a column's cells are read (SQLGetData's C type and the conversion).
enum class OdbcReader : uint8_t {
  kInteger,
  kBoolean,
  kReal,
  kNumeric,
  kCurrency,
  kDate,
  kTime,
  kGuid,
  kText,
  kBinary
};

// Cancels a running statement from a thread of its own once a deadline
// has passed, setting `cancelled`. Destroy it before the statement handle:
// the destructor stops and joins the thread.
class StatementWatchdog {
 public:
  StatementWatchdog(SQLHSTMT stmt, std::chrono::steady_clock::time_point deadline,
                    std::atomic<bool>& cancelled);
  ~StatementWatchdog();
  StatementWatchdog(const StatementWatchdog&) = delete;
  StatementWatchdog& operator=(const StatementWatchdog&) = delete;

 private:
  std::mutex mutex_;
  std::condition_variable wake_;
  bool done_ = false;  // guarded by mutex_
  std::thread thread_;
};

class OdbcConnection : public DriverConnection {
 public:
  OdbcConnection(OdbcEnvironmentPtr env, OdbcLinkPtr link, std::string password);

  std::string_view Provider() const override { return "ODBC"; }
  bool Lost() const override { return lost_; }
  std::string DbmsName() override { return dbms_name_; }
  ExecuteResult Execute(const ExecuteRequest& request) override;
  std::vector<CatalogObject> ListObjects(bool procedures) override;
  std::optional<std::vector<Parameter>> ProcedureParameters(std::string_view name) override;
  std::optional<CatalogObjectType> FindObject(std::string_view name) override;
  TableKey PrimaryKey(std::string_view table) override;
  // Text and table requests are read a batch at a time; procedures are
  // fetched whole.
  std::unique_ptr<RowCursor> OpenCursor(const ExecuteRequest& request) override;

 private:
  friend class OdbcCursor;
  friend class OdbcResultReader;

  // A new statement handle with the request's timeout set.
  OdbcStatementPtr NewStatement(int32_t timeout_seconds);
  // A watchdog for a statement of this timeout; null without a deadline.
  std::unique_ptr<StatementWatchdog> Watch(SQLHSTMT stmt, int32_t timeout_seconds);
  // The error of a failed call on `handle` (a statement or the link);
  // marks the link lost for the 08 states.
  Error Failure(SQLSMALLINT handle_type, SQLHANDLE handle, int32_t number);
  [[noreturn]] void Fail(SQLSMALLINT handle_type, SQLHANDLE handle, int32_t number) {
    throw Failure(handle_type, handle, number);
  }
  // The SQL a request runs, with the values it binds.
  std::string RequestSql(const ExecuteRequest& request, std::vector<const Parameter*>& bound);
  // Runs the request's SQL on `stmt` with its parameters bound.
  void Start(SQLHSTMT stmt, const ExecuteRequest& request);
  // The parts joined by ".": plain names bare, others in the driver's
  // identifier quote.
  std::string QuoteName(const std::vector<std::string>& parts) const;
  // The procedure parameters' names and types in call order (SQLProcedureColumns).
  std::optional<std::vector<Parameter>> ReadProcedureColumns(const std::vector<std::string>& parts);

  OdbcEnvironmentPtr env_;  // declared first: it must outlive the link
  OdbcLinkPtr link_;
  std::string password_;  // masked out of every message
  std::string dbms_name_;
  std::string quote_ = "\"";
  bool lost_ = false;
  // Set by a watchdog that cancelled the running statement.
  std::atomic<bool> cancelled_{false};
};

std::unique_ptr<DriverConnection> OpenOdbc(const OpenSettings& settings);

}  // namespace fennick::data

#endif  // FENNICK_PLATFORM_DATA_ODBC_CONNECTION_H_
