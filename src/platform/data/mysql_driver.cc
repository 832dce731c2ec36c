// The MySQL and MariaDB driver: opening connections, running statements
// under the command timeout and fetching their rows (see
// mysql_connection.h).
#include <errmsg.h>
#include <mysqld_error.h>
#include <poll.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <utility>

#include "base/ascii.h"
#include "platform/data/connection_string.h"
#include "platform/data/mysql_connection.h"
#include "platform/data/object_name.h"
#include "platform/data/value_text.h"

namespace fennick::data {
namespace {

using Clock = std::chrono::steady_clock;

// How long a killed statement may take to stop before the link is given
// up, and how long the killing connection may take to open.
constexpr std::chrono::seconds kKillGrace{10};
constexpr unsigned int kKillConnectSeconds = 5;
// How long readying a link for reuse may take.
constexpr std::chrono::seconds kResetTime{5};
constexpr char kTimeoutMessage[] = "Query timeout expired";

bool IsLinkError(unsigned int code) {
  return code == CR_SERVER_GONE_ERROR || code == CR_SERVER_LOST || code == CR_CONNECTION_ERROR ||
         code == CR_CONN_HOST_ERROR || code == CR_SERVER_LOST_EXTENDED ||
         code == ER_CONNECTION_KILLED;
}

// The name quoted with backticks (doubled inside), parts joined by ".".
std::string QuoteMysqlName(const std::vector<std::string>& parts) {
  std::string out;
  for (const std::string& part : parts) {
    if (!out.empty()) out.push_back('.');
    out.push_back('`');
    for (char c : part) {
      out.push_back(c);
      if (c == '`') out.push_back('`');
    }
    out.push_back('`');
  }
  return out;
}

// Whether `sql` is one query that only reads, so that stopping it once
// enough rows have arrived undoes nothing: one SELECT, VALUES, TABLE or
// SHOW statement, or a WITH query that writes nothing.
bool IsSingleQuery(std::string_view sql) {
  while (!sql.empty() && (sql.back() == ' ' || sql.back() == ';' || sql.back() == '\n' ||
                          sql.back() == '\t' || sql.back() == '\r')) {
    sql.remove_suffix(1);
  }
  if (sql.find(';') != std::string_view::npos) return false;
  size_t start = sql.find_first_not_of(" \t\r\n(");
  if (start == std::string_view::npos) return false;
  const std::string upper = AsciiUpper(sql.substr(start));
  auto starts_with_word = [&upper](std::string_view word) {
    return upper.size() > word.size() && upper.compare(0, word.size(), word) == 0 &&
           (upper[word.size()] == ' ' || upper[word.size()] == '\n' || upper[word.size()] == '\t' ||
            upper[word.size()] == '\r');
  };
  for (std::string_view reader : {"SELECT", "VALUES", "TABLE", "SHOW"}) {
    if (starts_with_word(reader)) return true;
  }
  if (!starts_with_word("WITH")) return false;
  for (std::string_view writer : {"INSERT", "UPDATE", "DELETE", "REPLACE"}) {
    if (upper.find(writer) != std::string::npos) return false;
  }
  return true;
}

}  // namespace

MysqlConnection::MysqlConnection(MysqlPtr mysql, MysqlEndpoint endpoint, std::string database)
    : mysql_(std::move(mysql)), endpoint_(std::move(endpoint)), database_(std::move(database)) {}

bool MysqlConnection::ResetForReuse() {
  if (lost_ || InTransaction().value_or(true)) return false;
  // Its own time limit: the page's deadline may have passed already.
  MysqlDeadline deadline(0);
  deadline.active = true;
  deadline.until = Clock::now() + kResetTime;
  MYSQL* mysql = mysql_.get();
  int error = 0;
  int status = mysql_reset_connection_start(&error, mysql);
  while (status != 0) status = mysql_reset_connection_cont(&error, mysql, Wait(status, deadline));
  if (error != 0) return false;
  // The reset keeps the database a page chose with USE. The library follows
  // the session's database when the server reports it; otherwise the link
  // goes back to its own every time.
  const char* schema = nullptr;
  unsigned long capabilities = 0;
  mariadb_get_infov(mysql, MARIADB_CONNECTION_SCHEMA, &schema);
  mariadb_get_infov(mysql, MARIADB_CONNECTION_SERVER_CAPABILITIES, &capabilities);
  bool tracked = (capabilities & CLIENT_SESSION_TRACKING) != 0;
  if (!tracked || database_ != (schema != nullptr ? schema : "")) {
    if (database_.empty()) return false;  // there is no going back to no database
    status = mysql_select_db_start(&error, mysql, database_.c_str());
    while (status != 0) status = mysql_select_db_cont(&error, mysql, Wait(status, deadline));
    if (error != 0) return false;
  }
  // The server talks utf8mb4 again, but the library would still escape
  // literals for the character set of a page's SET NAMES, and still report
  // the server status of the page's last reply (NO_BACKSLASH_ESCAPES, an
  // open transaction): SET NAMES puts both right.
  status = mysql_set_character_set_start(&error, mysql, "utf8mb4");
  while (status != 0) status = mysql_set_character_set_cont(&error, mysql, Wait(status, deadline));
  return error == 0 && !lost_;
}

bool MysqlConnection::Usable() {
  if (lost_) return false;
  pollfd fd{static_cast<int>(mysql_get_socket(mysql_.get())), POLLIN, 0};
  return fd.fd >= 0 && poll(&fd, 1, 0) == 0;
}

std::optional<bool> MysqlConnection::InTransaction() const {
  // The same status word says whether a transaction is open.
  unsigned int status = 0;
  if (mariadb_get_infov(mysql_.get(), MARIADB_CONNECTION_SERVER_STATUS, &status) != 0) {
    return std::nullopt;
  }
  return (status & SERVER_STATUS_IN_TRANS) != 0;
}

std::optional<bool> MysqlConnection::BackslashEscapes() const {
  // The server reports its SQL mode's NO_BACKSLASH_ESCAPES in the status
  // of every reply, so this follows a page's own SET sql_mode too.
  unsigned int status = 0;
  if (mariadb_get_infov(mysql_.get(), MARIADB_CONNECTION_SERVER_STATUS, &status) != 0) {
    return true;
  }
  return (status & SERVER_STATUS_NO_BACKSLASH_ESCAPES) == 0;
}

int MysqlConnection::Wait(int status, MysqlDeadline& deadline) {
  for (;;) {
    int timeout_ms = -1;
    if (status & MYSQL_WAIT_TIMEOUT) {
      timeout_ms = static_cast<int>(mysql_get_timeout_value_ms(mysql_.get()));
    }
    if (deadline.active) {
      auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(deadline.until - Clock::now());
      if (left.count() <= 0) {
        if (deadline.timed_out) {
          lost_ = true;
          throw Error(kErrDataTimeout,
                      "Query timeout expired, and the server did not stop the statement",
                      kMysqlSource);
        }
        deadline.timed_out = true;
        deadline.until = Clock::now() + kKillGrace;
        KillQuery();
        continue;
      }
      int left_ms = static_cast<int>(std::min<int64_t>(left.count() + 1, INT32_MAX));
      timeout_ms = timeout_ms < 0 ? left_ms : std::min(timeout_ms, left_ms);
    }
    pollfd fd{static_cast<int>(mysql_get_socket(mysql_.get())), 0, 0};
    if (fd.fd < 0) {
      // poll would wait forever on a socket that is gone.
      lost_ = true;
      throw Error(kErrDataFailed, "Connection lost: the connection to the server is gone",
                  kMysqlSource);
    }
    if (status & MYSQL_WAIT_READ) fd.events |= POLLIN;
    if (status & MYSQL_WAIT_WRITE) fd.events |= POLLOUT;
    if (status & MYSQL_WAIT_EXCEPT) fd.events |= POLLPRI;
    int ready = poll(&fd, 1, timeout_ms);
    if (ready < 0 && errno == EINTR) continue;
    if (ready < 0) {
      lost_ = true;
      throw Error(kErrDataFailed, std::string("Connection lost: ") + std::strerror(errno),
                  kMysqlSource);
    }
    if (ready == 0) {
      if (status & MYSQL_WAIT_TIMEOUT) return MYSQL_WAIT_TIMEOUT;
      continue;
    }
    int out = 0;
    if (fd.revents & POLLIN) out |= MYSQL_WAIT_READ;
    if (fd.revents & POLLOUT) out |= MYSQL_WAIT_WRITE;
    if (fd.revents & POLLPRI) out |= MYSQL_WAIT_EXCEPT;
    // A closed or failed socket: let the library find out what happened.
    if (fd.revents & (POLLHUP | POLLERR | POLLNVAL)) {
      out |= status & (MYSQL_WAIT_READ | MYSQL_WAIT_WRITE);
    }
    return out;
  }
}

void MysqlConnection::KillQuery() {
  killed_ = true;
  MysqlPtr killer(mysql_init(nullptr));
  if (!killer) return;
  unsigned int seconds = kKillConnectSeconds;
  mysql_options(killer.get(), MYSQL_OPT_CONNECT_TIMEOUT, &seconds);
  mysql_options(killer.get(), MYSQL_OPT_READ_TIMEOUT, &seconds);
  mysql_options(killer.get(), MYSQL_OPT_WRITE_TIMEOUT, &seconds);
  const MysqlEndpoint& e = endpoint_;
  if (!mysql_real_connect(killer.get(), e.host.empty() ? nullptr : e.host.c_str(), e.user.c_str(),
                          e.password.c_str(), nullptr, e.port,
                          e.socket.empty() ? nullptr : e.socket.c_str(), 0)) {
    return;  // ignoring failures on purpose: the grace period decides
  }
  std::string kill = "KILL QUERY " + std::to_string(mysql_thread_id(mysql_.get()));
  mysql_real_query(killer.get(), kill.data(), kill.size());  // ignoring failures on purpose,
  // as above
}

void MysqlConnection::Fail(const MysqlDeadline& deadline, bool fetching) {
  unsigned int code = mysql_errno(mysql_.get());
  std::string message = MaskPassword(mysql_error(mysql_.get()), endpoint_.password);
  if (IsLinkError(code)) lost_ = true;
  if (deadline.timed_out) throw Error(kErrDataTimeout, kTimeoutMessage, kMysqlSource);
  if (lost_) throw Error(kErrDataFailed, "Connection lost: " + message, kMysqlSource);
  if (code == ER_STATEMENT_TIMEOUT) throw Error(kErrDataTimeout, kTimeoutMessage, kMysqlSource);
  if (code >= CR_MIN_ERROR && code <= CR_MAX_ERROR) {
    throw Error(kErrDataFailed, message, kMysqlSource);
  }
  if (fetching) throw FetchError(kErrDataCommandFailed, message, kMysqlSource);
  throw Error(kErrDataCommandFailed, message, kMysqlSource);
}

void MysqlConnection::Send(const std::string& sql, MysqlDeadline& deadline) {
  killed_ = false;
  int error = 0;
  int status = mysql_real_query_start(&error, mysql_.get(), sql.data(), sql.size());
  while (status != 0) {
    status = mysql_real_query_cont(&error, mysql_.get(), Wait(status, deadline));
  }
  if (error != 0) Fail(deadline);
}

bool MysqlConnection::NextResult(MysqlDeadline& deadline) {
  if (!mysql_more_results(mysql_.get())) return false;
  int result = 0;
  int status = mysql_next_result_start(&result, mysql_.get());
  while (status != 0) {
    status = mysql_next_result_cont(&result, mysql_.get(), Wait(status, deadline));
  }
  if (result > 0) Fail(deadline);
  return result == 0;
}

MYSQL_ROW MysqlConnection::FetchRow(MYSQL_RES* result, MysqlDeadline& deadline) {
  MYSQL_ROW row = nullptr;
  int status = mysql_fetch_row_start(&row, result);
  while (status != 0) status = mysql_fetch_row_cont(&row, result, Wait(status, deadline));
  return row;
}

void MysqlConnection::FreeResult(MYSQL_RES* result, MysqlDeadline& deadline) {
  int status = mysql_free_result_start(result);
  while (status != 0) status = mysql_free_result_cont(result, Wait(status, deadline));
}

void MysqlConnection::DrainResults(MysqlDeadline& deadline) {
  while (mysql_more_results(mysql_.get())) {
    int result = 0;
    int status = mysql_next_result_start(&result, mysql_.get());
    while (status != 0) {
      status = mysql_next_result_cont(&result, mysql_.get(), Wait(status, deadline));
    }
    if (result != 0) break;  // an error ends the statements
    if (mysql_field_count(mysql_.get()) > 0) {
      MYSQL_RES* rest = mysql_use_result(mysql_.get());
      if (rest == nullptr) break;
      FreeResult(rest, deadline);
    }
  }
}

namespace {

struct MysqlColumns {
  std::unique_ptr<RowSet> rows;
  std::vector<MysqlReader> readers;
};

// Owns a result while its rows are read, for the one case nothing else
// frees it: an error thrown from the middle of the reading (the deadline,
// a lost link). The link is given up by then, so the rows still on the
// wire are not read: the result forgets its link and only its memory goes.
// Every other way out frees the result itself and lets go first.
struct AbandonedResult {
  MYSQL_RES* result = nullptr;
  explicit AbandonedResult(MYSQL_RES* owned) : result(owned) {}
  AbandonedResult(const AbandonedResult&) = delete;
  AbandonedResult& operator=(const AbandonedResult&) = delete;
  ~AbandonedResult() {
    if (result == nullptr) return;
    result->handle = nullptr;
    mysql_free_result(result);
  }
  MYSQL_RES* Release() { return std::exchange(result, nullptr); }
};

MysqlColumns DescribeMysqlColumns(MYSQL_RES* result) {
  MysqlColumns out;
  out.rows = std::make_unique<RowSet>();
  unsigned int count = mysql_num_fields(result);
  MYSQL_FIELD* fields = mysql_fetch_fields(result);
  out.rows->columns.reserve(count);
  for (unsigned int i = 0; i < count; ++i) {
    MysqlColumnType type = MysqlFieldType(fields[i]);
    ColumnInfo info;
    info.name.assign(fields[i].name, fields[i].name_length);
    info.type = type.type;
    info.defined_size = type.defined_size;
    info.precision = type.precision;
    info.scale = type.scale;
    if (fields[i].org_table != nullptr) {
      info.base_table.assign(fields[i].org_table, fields[i].org_table_length);
    }
    Column& column = out.rows->columns.emplace_back(std::move(info));
    column.SetStorage(StorageFor(type.type));
    out.readers.push_back(type.reader);
  }
  return out;
}

void AppendMysqlRow(RowSet& rows, const std::vector<MysqlReader>& readers, MYSQL_ROW row,
                    const unsigned long* lengths) {
  for (size_t i = 0; i < rows.columns.size(); ++i) {
    if (row[i] == nullptr) {
      rows.columns[i].AppendNull();
    } else {
      AppendMysqlValue(rows.columns[i], readers[i], std::string_view(row[i], lengths[i]));
    }
  }
}

}  // namespace

ExecuteResult MysqlConnection::Run(const std::string& sql, int64_t max_records, bool may_stop_early,
                                   MysqlDeadline& deadline) {
  Send(sql, deadline);
  ExecuteResult result;
  bool captured = false, changed = false;
  int64_t affected = 0;
  do {
    if (mysql_field_count(mysql_.get()) == 0) {
      my_ulonglong count = mysql_affected_rows(mysql_.get());
      if (count != static_cast<my_ulonglong>(-1)) {
        affected += static_cast<int64_t>(count);
        changed = true;
      }
      continue;
    }
    MYSQL_RES* res = mysql_use_result(mysql_.get());
    if (res == nullptr) Fail(deadline);
    AbandonedResult owner{res};
    if (captured) {
      FreeResult(owner.Release(), deadline);
      continue;
    }
    captured = true;
    MysqlColumns columns = DescribeMysqlColumns(res);
    size_t fetched = 0;
    bool failed = false;
    while (max_records <= 0 || static_cast<int64_t>(fetched) < max_records) {
      MYSQL_ROW row = FetchRow(res, deadline);
      if (row == nullptr) {
        failed = mysql_errno(mysql_.get()) != 0;
        break;
      }
      AppendMysqlRow(*columns.rows, columns.readers, row, mysql_fetch_lengths(res));
      ++fetched;
    }
    bool stopped = false;
    if (!failed && max_records > 0 && may_stop_early) {
      // The limit is reached: a query that only reads is stopped rather
      // than read to its end, unless its rows are all there already.
      if (FetchRow(res, deadline) != nullptr) {
        KillQuery();
        stopped = true;
      } else {
        failed = mysql_errno(mysql_.get()) != 0;
      }
    }
    if (stopped) {
      // What the kill leaves (the interrupted statement's error, or its
      // end when it finished first) is read and dropped.
      FreeResult(owner.Release(), deadline);
      DrainResults(deadline);
      if (deadline.timed_out) throw Error(kErrDataTimeout, kTimeoutMessage, kMysqlSource);
      columns.rows->row_count = fetched;
      columns.rows->Trim();
      result.rows = std::move(columns.rows);
      return result;
    }
    if (failed) {
      // The error must be read before freeing the result clears it.
      unsigned int code = mysql_errno(mysql_.get());
      std::string message = mysql_error(mysql_.get());
      bool link = IsLinkError(code);
      if (link) lost_ = true;
      if (!lost_) {
        FreeResult(owner.Release(), deadline);
        DrainResults(deadline);
      } else {
        mysql_free_result(owner.Release());
      }
      if (deadline.timed_out) throw Error(kErrDataTimeout, kTimeoutMessage, kMysqlSource);
      message = MaskPassword(message, endpoint_.password);
      if (link) throw Error(kErrDataFailed, "Connection lost: " + message, kMysqlSource);
      if (fetched > 0) throw FetchError(kErrDataCommandFailed, message, kMysqlSource);
      throw Error(kErrDataCommandFailed, message, kMysqlSource);
    }
    FreeResult(owner.Release(), deadline);
    columns.rows->row_count = fetched;
    columns.rows->Trim();
    result.rows = std::move(columns.rows);
  } while (NextResult(deadline));
  // A statement that the deadline killed may still have ended quietly
  // (SLEEP does): its result is not what was asked for.
  if (deadline.timed_out) throw Error(kErrDataTimeout, kTimeoutMessage, kMysqlSource);
  result.records_affected = changed ? affected : -1;
  return result;
}

ExecuteResult MysqlConnection::Execute(const ExecuteRequest& request) {
  std::string sql;
  bool may_stop_early = false;
  switch (request.kind) {
    case CommandKind::kText:
      sql = BindPlaceholders(request.text, request.parameters);
      may_stop_early = IsSingleQuery(sql);
      break;
    case CommandKind::kTable: {
      auto parts = SplitObjectName(request.text);
      if (!parts) {
        throw Error(kErrDataInvalidArgument, "Not a table name: " + std::string(request.text),
                    kMysqlSource);
      }
      sql = "SELECT * FROM " + QuoteMysqlName(*parts);
      may_stop_early = true;
      break;
    }
    case CommandKind::kStoredProcedure:
      sql = BuildCall(request);
      break;
  }
  MysqlDeadline deadline(request.timeout_seconds);
  return Run(sql, request.max_records, may_stop_early, deadline);
}

// The rows of one text command's first result with columns, read as the
// server sends them. The connection runs nothing else until the cursor
// is exhausted or destroyed; one dropped early kills its statement and
// reads what is left.
class MysqlCursor : public RowCursor {
 public:
  MysqlCursor(MysqlConnection& connection, int32_t timeout_seconds)
      : c_(connection), deadline_(timeout_seconds) {}

  ~MysqlCursor() override {
    if (result_ == nullptr) return;
    try {
      if (!c_.killed_) c_.KillQuery();
      MysqlDeadline grace(0);
      grace.active = true;
      grace.timed_out = true;  // a second stop is not tried
      grace.until = Clock::now() + kKillGrace;
      c_.FreeResult(result_, grace);
      result_ = nullptr;
      c_.DrainResults(grace);
    } catch (...) {
      // Ignoring errors on purpose: the link is then marked lost and the
      // connection closes itself on its next use; a result the error left
      // behind only gives its memory back.
      c_.lost_ = true;
      AbandonedResult left{result_};
      result_ = nullptr;
    }
  }

  // Sends the statement and moves to its first result with columns;
  // false when it has none.
  bool Start(const std::string& sql) {
    c_.Send(sql, deadline_);
    do {
      if (mysql_field_count(c_.mysql_.get()) == 0) continue;
      result_ = mysql_use_result(c_.mysql_.get());
      if (result_ == nullptr) c_.Fail(deadline_);
      MysqlColumns columns = DescribeMysqlColumns(result_);
      for (const Column& column : columns.rows->columns) infos_.push_back(column.info());
      readers_ = std::move(columns.readers);
      return true;
    } while (c_.NextResult(deadline_));
    if (deadline_.timed_out) throw Error(kErrDataTimeout, kTimeoutMessage, kMysqlSource);
    return false;
  }

  std::unique_ptr<RowSet> Next(size_t max_rows) override {
    auto rows = std::make_unique<RowSet>();
    for (const ColumnInfo& info : infos_) {
      rows->columns.emplace_back(info).SetStorage(StorageFor(info.type));
    }
    if (result_ == nullptr) return rows;
    size_t count = 0;
    while (count < max_rows) {
      MYSQL_ROW row = c_.FetchRow(result_, deadline_);
      if (row == nullptr) {
        Finish(count > 0 || read_any_);
        break;
      }
      AppendMysqlRow(*rows, readers_, row, mysql_fetch_lengths(result_));
      ++count;
    }
    read_any_ = read_any_ || count > 0;
    rows->row_count = count;
    rows->Trim();
    return rows;
  }

 private:
  // The end of the rows: raises the error that ended them, if any, and
  // reads the statement's other results.
  void Finish(bool fetching) {
    unsigned int code = mysql_errno(c_.mysql_.get());
    if (code == 0) {
      MYSQL_RES* done = result_;
      result_ = nullptr;
      c_.FreeResult(done, deadline_);
      while (c_.NextResult(deadline_)) {
        if (mysql_field_count(c_.mysql_.get()) == 0) continue;
        MYSQL_RES* rest = mysql_use_result(c_.mysql_.get());
        if (rest != nullptr) c_.FreeResult(rest, deadline_);
      }
      if (deadline_.timed_out) throw Error(kErrDataTimeout, kTimeoutMessage, kMysqlSource);
      return;
    }
    std::string message = MaskPassword(mysql_error(c_.mysql_.get()), c_.endpoint_.password);
    bool link = IsLinkError(code);
    MYSQL_RES* failed = result_;
    result_ = nullptr;
    if (link) {
      c_.lost_ = true;
      mysql_free_result(failed);
      throw Error(kErrDataFailed, "Connection lost: " + message, kMysqlSource);
    }
    c_.FreeResult(failed, deadline_);
    c_.DrainResults(deadline_);
    if (deadline_.timed_out) throw Error(kErrDataTimeout, kTimeoutMessage, kMysqlSource);
    if (fetching) throw FetchError(kErrDataCommandFailed, message, kMysqlSource);
    throw Error(kErrDataCommandFailed, message, kMysqlSource);
  }

  MysqlConnection& c_;
  MysqlDeadline deadline_;
  MYSQL_RES* result_ = nullptr;
  std::vector<ColumnInfo> infos_;
  std::vector<MysqlReader> readers_;
  bool read_any_ = false;
};

std::unique_ptr<RowCursor> MysqlConnection::OpenCursor(const ExecuteRequest& request) {
  if (request.kind != CommandKind::kText || request.max_records > 0) {
    return DriverConnection::OpenCursor(request);
  }
  auto cursor = std::make_unique<MysqlCursor>(*this, request.timeout_seconds);
  if (!cursor->Start(BindPlaceholders(request.text, request.parameters))) return nullptr;
  return cursor;
}

std::vector<std::vector<std::optional<std::string>>> MysqlConnection::Query(
    const std::string& sql) {
  MysqlDeadline deadline(30);
  ExecuteResult result = Run(sql, 0, false, deadline);
  std::vector<std::vector<std::optional<std::string>>> rows;
  if (!result.rows) return rows;
  for (size_t r = 0; r < result.rows->row_count; ++r) {
    std::vector<std::optional<std::string>>& row = rows.emplace_back();
    for (const Column& column : result.rows->columns) {
      if (column.IsNull(r)) {
        row.emplace_back();
      } else {
        std::string text;
        column.AppendText(r, text);
        row.emplace_back(std::move(text));
      }
    }
  }
  return rows;
}

std::string MysqlConnection::QuoteString(std::string_view text) const {
  std::string out(text.size() * 2 + 3, '\0');
  out[0] = '\'';
  unsigned long length = mysql_real_escape_string(mysql_.get(), out.data() + 1, text.data(),
                                                  static_cast<unsigned long>(text.size()));
  out.resize(length + 1);
  out.push_back('\'');
  return out;
}

std::string MysqlConnection::Literal(const Variant& value) const {
  if (value.IsNull() || value.IsEmpty()) return "NULL";
  if (value.IsBinary()) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out = "X'";
    for (unsigned char c : value.Bytes()) {
      out.push_back(kHex[c >> 4]);
      out.push_back(kHex[c & 15]);
    }
    out.push_back('\'');
    return out;
  }
  switch (value.type()) {
    case VarType::kBoolean:
      return value.AsBool() ? "1" : "0";
    case VarType::kInteger:
    case VarType::kLong:
    case VarType::kLongLong:
    case VarType::kByte:
      return std::to_string(value.AsInt64());
    case VarType::kDate:
      return QuoteString(FormatIsoDate(value.AsDate()));
    default:
      return QuoteString(value.AsString());
  }
}

std::string MysqlConnection::BindPlaceholders(std::string_view sql,
                                              std::span<const Parameter> parameters) const {
  if (parameters.empty()) return std::string(sql);
  std::string out;
  size_t next = 0;
  const bool escapes = BackslashEscapes().value_or(true);
  for (size_t i = 0; i < sql.size(); ++i) {
    char c = sql[i];
    if (c == '\'' || c == '"' || c == '`') {
      // Copied through to the closing quote; a doubled quote (or, in
      // strings while escapes are on, a backslash) does not close it.
      size_t j = i + 1;
      while (j < sql.size()) {
        if (c != '`' && escapes && sql[j] == '\\') {
          j += 2;
          continue;
        }
        if (sql[j] == c) {
          if (j + 1 < sql.size() && sql[j + 1] == c) {
            j += 2;
            continue;
          }
          break;
        }
        ++j;
      }
      j = std::min(j, sql.size() - 1);
      out.append(sql.substr(i, j - i + 1));
      i = j;
      continue;
    }
    if (c == '#' || (c == '-' && sql.substr(i, 3) == "-- ")) {
      size_t end = sql.find('\n', i);
      if (end == std::string_view::npos) end = sql.size() - 1;
      out.append(sql.substr(i, end - i + 1));
      i = end;
      continue;
    }
    if (c == '/' && sql.substr(i, 2) == "/*") {
      size_t end = sql.find("*/", i + 2);
      end = end == std::string_view::npos ? sql.size() - 1 : end + 1;
      out.append(sql.substr(i, end - i + 1));
      i = end;
      continue;
    }
    if (c == '?' && next < parameters.size()) {
      out.append(Literal(parameters[next++].Value()));
      continue;
    }
    out.push_back(c);
  }
  return out;
}

MysqlEndpoint MysqlEndpointFrom(const OpenSettings& settings, std::string* database) {
  const ConnectionString& o = settings.options;
  MysqlEndpoint e;
  e.host = o.Get({"Server", "Host", "Data Source", "Address"});
  std::string port = o.Get({"Port"});
  // "Server=db.example:3307" names the port too.
  if (size_t colon = e.host.rfind(':');
      colon != std::string::npos && e.host.find(':') == colon && port.empty()) {
    port = e.host.substr(colon + 1);
    e.host.resize(colon);
  }
  if (!port.empty()) {
    unsigned int value = 0;
    auto [end, ec] = std::from_chars(port.data(), port.data() + port.size(), value);
    if (ec != std::errc() || end != port.data() + port.size() || value > 65535) {
      throw Error(kErrDataInvalidArgument, "Invalid connection string: Port is not a number",
                  kMysqlSource);
    }
    e.port = value;
  }
  e.socket = o.Get({"Socket", "Unix Socket"});
  e.user = settings.user.empty() ? o.Get({"Uid", "User ID", "User", "User Name", "Username"})
                                 : settings.user;
  e.password = settings.password.empty() ? o.Get({"Pwd", "Password"}) : settings.password;
  if (database != nullptr) *database = o.Get({"Database", "Initial Catalog", "DB"});
  return e;
}

std::unique_ptr<DriverConnection> OpenMysql(const OpenSettings& settings) {
  std::string database;
  MysqlEndpoint endpoint = MysqlEndpointFrom(settings, &database);
  MysqlPtr mysql(mysql_init(nullptr));
  if (!mysql) throw Error(kErrDataFailed, "Out of memory opening a MySQL connection", kMysqlSource);
  mysql_options(mysql.get(), MYSQL_OPT_NONBLOCK, nullptr);
  mysql_options(mysql.get(), MYSQL_SET_CHARSET_NAME, "utf8mb4");
  // Files of the web server are never the database's to read.
  unsigned int off = 0;
  mysql_options(mysql.get(), MYSQL_OPT_LOCAL_INFILE, &off);
  std::string timeout_text = settings.options.Get({"Connect Timeout", "Connection Timeout"});
  unsigned int timeout = static_cast<unsigned int>(std::max(settings.connection_timeout, 0));
  if (!timeout_text.empty()) {
    std::from_chars(timeout_text.data(), timeout_text.data() + timeout_text.size(), timeout);
  }
  if (timeout > 0) mysql_options(mysql.get(), MYSQL_OPT_CONNECT_TIMEOUT, &timeout);
  const MysqlEndpoint& e = endpoint;
  if (!mysql_real_connect(mysql.get(), e.host.empty() ? nullptr : e.host.c_str(), e.user.c_str(),
                          e.password.c_str(), database.empty() ? nullptr : database.c_str(), e.port,
                          e.socket.empty() ? nullptr : e.socket.c_str(),
                          CLIENT_MULTI_STATEMENTS | CLIENT_MULTI_RESULTS)) {
    throw Error(kErrDataFailed, MaskPassword(mysql_error(mysql.get()), e.password), kMysqlSource);
  }
  return std::make_unique<MysqlConnection>(std::move(mysql), std::move(endpoint),
                                           std::move(database));
}

}  // namespace fennick::data
