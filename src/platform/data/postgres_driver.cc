// The PostgreSQL driver: opening connections, running statements and
// fetching their rows (see postgres_connection.h).
#include <poll.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>

#include "base/ascii.h"
#include "platform/data/object_name.h"
#include "platform/data/postgres_connection.h"
#include "platform/data/type_map.h"

namespace fennick::data {
namespace {

// How long a cancelled statement may take to stop before the link is
// given up, and how long readying a link for reuse may take.
constexpr std::chrono::seconds kCancelGrace{10};
constexpr std::chrono::seconds kResetTime{5};
// Session settings that fix the text forms of values.
constexpr const char* kSessionOptions =
    "-c DateStyle=ISO,MDY -c IntervalStyle=postgres -c bytea_output=hex -c lc_monetary=C";

struct CancelFreer {
  void operator()(PGcancel* cancel) const { PQfreeCancel(cancel); }
};
using CancelPtr = std::unique_ptr<PGcancel, CancelFreer>;
using Clock = std::chrono::steady_clock;

// Set on a connection whose statement's results are being read: should an
// error leave some unread, every later statement would fail behind them,
// so the link is then given up (and the connection closes).
struct UnreadResultsGuard {
  PGconn* conn;
  bool& lost;
  ~UnreadResultsGuard() {
    if (PQtransactionStatus(conn) == PQTRANS_ACTIVE) lost = true;
  }
};

}  // namespace

std::string CleanPostgresMessage(const char* message) {
  std::string out;
  for (const char* p = message ? message : ""; *p; ++p) {
    char c = *p;
    if (c == '\n' || c == '\t' || c == '\r') c = ' ';
    if (c == ' ' && (out.empty() || out.back() == ' ')) continue;
    out.push_back(c);
  }
  while (!out.empty() && out.back() == ' ') out.pop_back();
  return out;
}

ExecuteResult PostgresConnection::Execute(const ExecuteRequest& request) {
  std::string sql;
  std::vector<const Variant*> values;
  bool may_cancel_for_limit = false;
  switch (request.kind) {
    case CommandKind::kText:
      sql = request.text;
      for (const Parameter& p : request.parameters) values.push_back(&p.Value());
      may_cancel_for_limit = IsSingleQuery(sql);
      break;
    case CommandKind::kTable: {
      auto parts = SplitObjectName(request.text);
      if (!parts) {
        throw Error(kErrDataInvalidArgument, "Not a table name: " + std::string(request.text),
                    kPostgresSource);
      }
      sql = "SELECT * FROM " + QuoteObjectName(*parts);
      may_cancel_for_limit = true;
      break;
    }
    case CommandKind::kStoredProcedure:
      sql = BuildCall(request, values);
      break;
  }
  StatementDeadline deadline(request.timeout_seconds);
  return Run(sql, values, request.max_records, may_cancel_for_limit, deadline);
}

// The rows of one query, read in single-row mode as they are asked for.
// The connection runs nothing else until the query's results are all read;
// a cursor dropped early cancels the query and reads what is left.
class PostgresCursor : public RowCursor {
 public:
  PostgresCursor(PostgresConnection& connection, int32_t timeout_seconds)
      : c_(connection), deadline_(timeout_seconds) {}

  ~PostgresCursor() override {
    if (done_) return;
    try {
      c_.Cancel();
      StatementDeadline grace(0);
      grace.active = true;
      grace.until = Clock::now() + kCancelGrace;
      for (;;) {
        c_.WaitForResult(grace);
        ResultPtr res(PQgetResult(c_.conn_.get()));
        if (!res) break;
      }
    } catch (...) {
      // Ignoring errors on purpose: the link is then marked lost and the
      // connection closes itself on its next use.
      c_.lost_ = true;
    }
  }

  // Sends the query and reads its first result, so that a statement the
  // server refuses raises here.
  void Start(const std::string& sql, const std::vector<const Variant*>& values) {
    if (!c_.Send(sql, values)) c_.FailConnection("sending the statement failed");
    PQsetSingleRowMode(c_.conn_.get());
    pending_ = Read(/*fetching=*/false);
  }

  std::unique_ptr<RowSet> Next(size_t max_rows) override {
    if (done_ && !pending_) return nullptr;
    std::unique_ptr<RowSet> rows;
    std::vector<PostgresReader> readers;
    std::vector<Oid> tables;
    size_t count = 0;
    while (count < max_rows) {
      ResultPtr res = pending_ ? std::move(pending_) : Read(/*fetching=*/true);
      if (!res) break;
      if (!rows) rows = c_.DescribeColumns(res.get(), readers, tables);
      for (int row = 0; row < PQntuples(res.get()); ++row, ++count) {
        c_.AppendRow(*rows, readers, res.get(), row, scratch_);
      }
    }
    if (rows) {
      rows->row_count = count;
      rows->Trim();
    }
    return rows;
  }

 private:
  // The next result with rows, or null once the query's results are all
  // read; raises the server's error (a FetchError once rows had arrived).
  ResultPtr Read(bool fetching) {
    while (!done_) {
      c_.WaitForResult(deadline_);
      ResultPtr res(PQgetResult(c_.conn_.get()));
      if (!res) {
        done_ = true;
        break;
      }
      ExecStatusType status = PQresultStatus(res.get());
      if (status == PGRES_SINGLE_TUPLE) return res;
      if (status == PGRES_TUPLES_OK) {
        // The end of the rows: what follows is only the end of the query.
        // The first result of an empty query still describes its columns.
        if (!fetching) return res;
        continue;
      }
      if (status == PGRES_FATAL_ERROR) {
        const char* state = PQresultErrorField(res.get(), PG_DIAG_SQLSTATE);
        bool cancelled = state != nullptr && std::strcmp(state, "57014") == 0;
        Error error = c_.ResultError(res.get(), deadline_.timed_out && cancelled);
        Drain();
        if (PQstatus(c_.conn_.get()) == CONNECTION_BAD) {
          c_.lost_ = true;
          throw Error(kErrDataFailed, "Connection lost: " + error.description(), kPostgresSource);
        }
        if (fetching && error.number() == kErrDataCommandFailed) {
          throw FetchError(error.number(), error.description(), error.source());
        }
        throw error;
      }
    }
    return nullptr;
  }

  // Reads the results left after an error.
  void Drain() {
    while (!done_) {
      c_.WaitForResult(deadline_);
      ResultPtr res(PQgetResult(c_.conn_.get()));
      if (!res) done_ = true;
    }
  }

  PostgresConnection& c_;
  StatementDeadline deadline_;
  ResultPtr pending_;
  bool done_ = false;
  std::string scratch_;
};

std::unique_ptr<RowCursor> PostgresConnection::OpenCursor(const ExecuteRequest& request) {
  if (request.kind != CommandKind::kText || !IsSingleQuery(request.text) ||
      request.max_records > 0) {
    return DriverConnection::OpenCursor(request);
  }
  std::vector<const Variant*> values;
  for (const Parameter& p : request.parameters) values.push_back(&p.Value());
  auto cursor = std::make_unique<PostgresCursor>(*this, request.timeout_seconds);
  cursor->Start(std::string(request.text), values);
  return cursor;
}

// Whether `sql` is one query that only reads, so that cancelling it once
// enough rows have arrived undoes nothing: a single SELECT, VALUES or TABLE
// statement, or a WITH query without INSERT, UPDATE, DELETE or MERGE in it.
// (Functions a SELECT calls could still write; a row limit stops them too.)
bool PostgresConnection::IsSingleQuery(std::string_view sql) {
  while (!sql.empty() && (sql.back() == ' ' || sql.back() == ';' || sql.back() == '\n' ||
                          sql.back() == '\t' || sql.back() == '\r')) {
    sql.remove_suffix(1);
  }
  if (sql.find(';') != std::string_view::npos) return false;
  size_t start = sql.find_first_not_of(" \t\r\n(");
  if (start == std::string_view::npos) return false;
  sql.remove_prefix(start);
  const std::string upper = AsciiUpper(sql);
  auto starts_with_word = [&upper](std::string_view word) {
    return upper.size() > word.size() && upper.compare(0, word.size(), word) == 0 &&
           (upper[word.size()] == ' ' || upper[word.size()] == '\n' ||
            upper[word.size()] == '\t' || upper[word.size()] == '\r');
  };
  if (starts_with_word("SELECT") || starts_with_word("VALUES") || starts_with_word("TABLE")) {
    return true;
  }
  if (!starts_with_word("WITH")) return false;
  for (std::string_view writer : {"INSERT", "UPDATE", "DELETE", "MERGE"}) {
    if (upper.find(writer) != std::string::npos) return false;
  }
  return true;
}

bool PostgresConnection::ResetForReuse() {
  if (lost_ || PQstatus(conn_.get()) != CONNECTION_OK ||
      PQtransactionStatus(conn_.get()) != PQTRANS_IDLE) {
    return false;
  }
  // Its own time limit: the page's deadline may have passed already.
  StatementDeadline deadline(0);
  deadline.active = true;
  deadline.until = Clock::now() + kResetTime;
  Run("DISCARD ALL", {}, 0, false, deadline);
  // A table may be renamed before the next user reads it.
  table_names_.clear();
  return !lost_ && PQtransactionStatus(conn_.get()) == PQTRANS_IDLE;
}

bool PostgresConnection::Usable() {
  if (lost_ || PQstatus(conn_.get()) != CONNECTION_OK) return false;
  pollfd fd{PQsocket(conn_.get()), POLLIN, 0};
  return fd.fd >= 0 && poll(&fd, 1, 0) == 0;
}

void PostgresConnection::FailConnection(std::string_view what) {
  std::string message = CleanPostgresMessage(PQerrorMessage(conn_.get()));
  if (PQstatus(conn_.get()) == CONNECTION_BAD || PQsocket(conn_.get()) < 0) lost_ = true;
  if (message.empty()) message = std::string(what);
  throw Error(kErrDataFailed, (lost_ ? "Connection lost: " : "") + message, kPostgresSource);
}

void PostgresConnection::Cancel() {
  CancelPtr cancel(PQgetCancel(conn_.get()));
  char error[256];
  if (cancel) PQcancel(cancel.get(), error, sizeof error);  // ignoring failures on purpose:
  // the statement then runs on and the grace period decides
}

// Waits until PQgetResult will not block. When the deadline passes the
// statement is cancelled; when the server stays silent through the grace
// period after that, the link is given up.
void PostgresConnection::WaitForResult(StatementDeadline& deadline) {
  while (PQisBusy(conn_.get())) {
    int timeout_ms = -1;
    if (deadline.active) {
      auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(deadline.until - Clock::now());
      if (left.count() <= 0) {
        if (deadline.timed_out) {
          lost_ = true;
          throw Error(kErrDataTimeout,
                      "Query timeout expired, and the server did not stop the statement",
                      kPostgresSource);
        }
        deadline.timed_out = true;
        deadline.until = Clock::now() + kCancelGrace;
        Cancel();
        continue;
      }
      timeout_ms = static_cast<int>(std::min<int64_t>(left.count() + 1, INT32_MAX));
    }
    pollfd fd{PQsocket(conn_.get()), POLLIN, 0};
    if (fd.fd < 0) FailConnection("the connection to the server is gone");
    int ready = poll(&fd, 1, timeout_ms);
    if (ready < 0 && errno == EINTR) continue;
    if (ready < 0) FailConnection(std::strerror(errno));
    if (ready > 0 && !PQconsumeInput(conn_.get())) FailConnection("reading from the server failed");
  }
}

ExecuteResult PostgresConnection::Run(const std::string& sql,
                                      const std::vector<const Variant*>& values,
                                      int64_t max_records, bool may_cancel_for_limit,
                                      StatementDeadline& deadline) {
  bool idle = PQtransactionStatus(conn_.get()) == PQTRANS_IDLE;
  if (!Send(sql, values)) FailConnection("sending the statement failed");
  UnreadResultsGuard guard{conn_.get(), lost_};
  PQsetSingleRowMode(conn_.get());

  ExecuteResult result;
  std::vector<PostgresReader> readers;
  std::vector<Oid> tables;
  bool capturing = false, captured = false, cancelled_for_limit = false;
  int64_t fetched = 0, affected = 0;
  bool changed = false;
  std::optional<Error> error;
  bool failed_while_fetching = false;
  std::string scratch;
  while (true) {
    WaitForResult(deadline);
    ResultPtr res(PQgetResult(conn_.get()));
    if (!res) break;
    ExecStatusType status = PQresultStatus(res.get());
    switch (status) {
      case PGRES_SINGLE_TUPLE:
      case PGRES_TUPLES_OK: {
        if (!captured && !capturing) {
          result.rows = DescribeColumns(res.get(), readers, tables);
          capturing = true;
        }
        if (capturing) {
          for (int row = 0; row < PQntuples(res.get()); ++row) {
            if (max_records > 0 && fetched >= max_records) break;
            AppendRow(*result.rows, readers, res.get(), row, scratch);
            ++fetched;
          }
          if (max_records > 0 && fetched >= max_records && !cancelled_for_limit &&
              status == PGRES_SINGLE_TUPLE && may_cancel_for_limit && idle) {
            cancelled_for_limit = true;
            Cancel();
          }
          if (status == PGRES_TUPLES_OK) {
            capturing = false;
            captured = true;
          }
        }
        break;
      }
      case PGRES_COMMAND_OK: {
        const char* count = PQcmdTuples(res.get());
        if (count != nullptr && *count != '\0') {
          affected += std::strtoll(count, nullptr, 10);
          changed = true;
        }
        break;
      }
      case PGRES_COPY_IN:
        PQputCopyEnd(conn_.get(), "COPY is not supported here");
        break;
      case PGRES_COPY_OUT: {
        char* buffer = nullptr;
        while (PQgetCopyData(conn_.get(), &buffer, 0) > 0) PQfreemem(buffer);
        if (!error)
          error = Error(kErrDataNotSupported, "COPY is not supported here", kPostgresSource);
        break;
      }
      case PGRES_FATAL_ERROR: {
        const char* state = PQresultErrorField(res.get(), PG_DIAG_SQLSTATE);
        bool cancelled = state != nullptr && std::strcmp(state, "57014") == 0;
        if (cancelled && cancelled_for_limit && !deadline.timed_out) break;
        if (!error) {
          error = ResultError(res.get(), deadline.timed_out && cancelled);
          // Rows of this statement had arrived: its result failed midway.
          failed_while_fetching = capturing && fetched > 0 && !deadline.timed_out;
        }
        break;
      }
      default:
        break;
    }
  }
  if (PQstatus(conn_.get()) == CONNECTION_BAD) {
    lost_ = true;
    std::string message =
        error ? error->description() : CleanPostgresMessage(PQerrorMessage(conn_.get()));
    throw Error(kErrDataFailed, "Connection lost: " + message, kPostgresSource);
  }
  if (error && failed_while_fetching && error->number() == kErrDataCommandFailed) {
    throw FetchError(error->number(), error->description(), error->source());
  }
  if (error) throw *error;
  if (result.rows) {
    result.rows->row_count = static_cast<size_t>(fetched);
    ResolveTables(*result.rows, tables, deadline);
    result.rows->Trim();
  }
  result.records_affected = changed ? affected : -1;
  return result;
}

bool PostgresConnection::Send(const std::string& sql, const std::vector<const Variant*>& values) {
  if (values.empty()) return PQsendQuery(conn_.get(), sql.c_str()) == 1;
  std::vector<std::string> texts(values.size());
  std::vector<const char*> pointers(values.size(), nullptr);
  std::vector<int> lengths(values.size(), 0), formats(values.size(), 0);
  std::vector<Oid> types(values.size(), 0);
  for (size_t i = 0; i < values.size(); ++i) {
    const Variant& v = *values[i];
    if (v.IsNull() || v.IsEmpty()) continue;
    if (v.IsBinary()) {
      texts[i] = v.Bytes();
      formats[i] = 1;
      types[i] = 17;  // bytea
    } else {
      texts[i] = PostgresParameterText(v);
    }
    pointers[i] = texts[i].data();
    lengths[i] = static_cast<int>(texts[i].size());
  }
  return PQsendQueryParams(conn_.get(), sql.c_str(), static_cast<int>(values.size()), types.data(),
                           pointers.data(), lengths.data(), formats.data(), 0) == 1;
}

Error PostgresConnection::ResultError(const PGresult* res, bool timed_out) const {
  if (timed_out) return Error(kErrDataTimeout, "Query timeout expired", kPostgresSource);
  const char* primary = PQresultErrorField(res, PG_DIAG_MESSAGE_PRIMARY);
  std::string message =
      primary != nullptr ? primary : CleanPostgresMessage(PQresultErrorMessage(res));
  const char* state = PQresultErrorField(res, PG_DIAG_SQLSTATE);
  bool link =
      state != nullptr && (std::strncmp(state, "08", 2) == 0 || std::strncmp(state, "57P", 3) == 0);
  return Error(link ? kErrDataFailed : kErrDataCommandFailed, message, kPostgresSource);
}

std::unique_ptr<RowSet> PostgresConnection::DescribeColumns(const PGresult* res,
                                                            std::vector<PostgresReader>& readers,
                                                            std::vector<Oid>& tables) {
  auto rows = std::make_unique<RowSet>();
  int count = PQnfields(res);
  rows->columns.reserve(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) {
    Oid oid = PQftype(res, i);
    TypeInfo type = PostgresType(oid, PQfmod(res, i));
    ColumnInfo info;
    info.name = PQfname(res, i);
    info.type = type.type;
    info.defined_size = type.defined_size;
    info.precision = type.precision;
    info.scale = type.scale;
    Column& column = rows->columns.emplace_back(std::move(info));
    column.SetStorage(StorageFor(type.type));
    readers.push_back(PostgresReaderFor(oid, type.type));
    tables.push_back(PQftable(res, i));
  }
  return rows;
}

void PostgresConnection::AppendRow(RowSet& rows, const std::vector<PostgresReader>& readers,
                                   const PGresult* res, int row, std::string& scratch) {
  for (size_t i = 0; i < rows.columns.size(); ++i) {
    int field = static_cast<int>(i);
    if (PQgetisnull(res, row, field)) {
      rows.columns[i].AppendNull();
      continue;
    }
    std::string_view text(PQgetvalue(res, row, field),
                          static_cast<size_t>(PQgetlength(res, row, field)));
    if (rows.columns[i].storage() == Storage::kVariant) {
      rows.columns[i].AppendVariant(Variant(text));
    } else {
      AppendPostgresValue(rows.columns[i], readers[i], text, scratch);
    }
  }
}

// Names the base tables of the columns, asking the server only for
// tables this connection has not seen yet.
void PostgresConnection::ResolveTables(RowSet& rows, const std::vector<Oid>& tables,
                                       StatementDeadline& deadline) {
  std::string wanted;
  for (Oid oid : tables) {
    if (oid == InvalidOid || table_names_.count(oid) != 0) continue;
    wanted.append(wanted.empty() ? "{" : ",").append(std::to_string(oid));
  }
  if (!wanted.empty()) {
    wanted.push_back('}');
    ResultPtr names =
        Query("SELECT oid, relname FROM pg_catalog.pg_class WHERE oid = ANY ($1::pg_catalog.oid[])",
              {wanted}, &deadline);
    for (int r = 0; r < PQntuples(names.get()); ++r) {
      table_names_[static_cast<Oid>(std::strtoul(PQgetvalue(names.get(), r, 0), nullptr, 10))] =
          PQgetvalue(names.get(), r, 1);
    }
  }
  for (size_t i = 0; i < tables.size(); ++i) {
    auto it = table_names_.find(tables[i]);
    if (it != table_names_.end()) rows.columns[i].mutable_info().base_table = it->second;
  }
}

ResultPtr PostgresConnection::Query(const char* sql,
                                    const std::vector<std::optional<std::string>>& params,
                                    StatementDeadline* outer) {
  StatementDeadline own(30);
  StatementDeadline& deadline = outer != nullptr ? *outer : own;
  std::vector<const char*> values;
  for (const auto& p : params) values.push_back(p ? p->c_str() : nullptr);
  if (PQsendQueryParams(conn_.get(), sql, static_cast<int>(values.size()), nullptr, values.data(),
                        nullptr, nullptr, 0) != 1) {
    FailConnection("sending a catalogue query failed");
  }
  UnreadResultsGuard guard{conn_.get(), lost_};
  ResultPtr last;
  std::optional<Error> error;
  while (true) {
    WaitForResult(deadline);
    ResultPtr res(PQgetResult(conn_.get()));
    if (!res) break;
    if (PQresultStatus(res.get()) == PGRES_FATAL_ERROR) {
      if (!error) error = ResultError(res.get(), deadline.timed_out);
    } else {
      last = std::move(res);
    }
  }
  if (PQstatus(conn_.get()) == CONNECTION_BAD) FailConnection("the server closed the connection");
  if (error) throw *error;
  if (!last) throw Error(kErrDataFailed, "The server sent no result", kPostgresSource);
  return last;
}

std::unique_ptr<DriverConnection> OpenPostgres(const OpenSettings& settings) {
  const ConnectionString& o = settings.options;
  std::vector<std::pair<std::string, std::string>> pairs;
  auto add = [&pairs](const char* keyword, std::string value) {
    if (!value.empty()) pairs.emplace_back(keyword, std::move(value));
  };
  add("host", o.Get({"Host", "Server", "Data Source"}));
  add("port", o.Get({"Port"}));
  add("dbname", o.Get({"Database", "Initial Catalog", "DBName"}));
  add("user",
      settings.user.empty() ? o.Get({"User ID", "UID", "User", "User Name"}) : settings.user);
  add("password", settings.password.empty() ? o.Get({"Password", "PWD"}) : settings.password);
  add("sslmode", o.Get({"SSL Mode", "SSLMode"}));
  add("application_name",
      o.Get({"Application Name"}).empty() ? std::string("Fennick") : o.Get({"Application Name"}));
  std::string timeout = o.Get({"Connect Timeout", "Timeout"});
  if (timeout.empty() && settings.connection_timeout > 0) {
    timeout = std::to_string(settings.connection_timeout);
  }
  add("connect_timeout", timeout);
  add("client_encoding", "UTF8");
  add("options", kSessionOptions);

  std::vector<const char*> keywords, values;
  for (const auto& [k, v] : pairs) {
    keywords.push_back(k.c_str());
    values.push_back(v.c_str());
  }
  keywords.push_back(nullptr);
  values.push_back(nullptr);
  PostgresConnectionPtr conn(PQconnectdbParams(keywords.data(), values.data(), 0));
  if (!conn)
    throw Error(kErrDataFailed, "Out of memory opening a PostgreSQL connection", kPostgresSource);
  if (PQstatus(conn.get()) != CONNECTION_OK) {
    throw Error(kErrDataFailed, CleanPostgresMessage(PQerrorMessage(conn.get())), kPostgresSource);
  }
  // Notices (a cascading drop, say) are for a console; a page has none.
  PQsetNoticeProcessor(
      conn.get(), [](void*, const char*) {}, nullptr);
  return std::make_unique<PostgresConnection>(std::move(conn));
}

}  // namespace fennick::data
