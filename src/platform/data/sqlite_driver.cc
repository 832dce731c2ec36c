// The SQLite driver (libsqlite3): the embedded default.
//
// Opens "Data Source" (relative to the running page's site root, or the
// current folder with no page; ":memory:" and "file:" URIs as SQLite reads
// them). "Mode=Read" opens read-only and "Mode=ReadWriteCreate" creates a
// missing file; by default a missing file is an error, so that a mistyped
// path does not quietly become an empty database.
//
// A request's statements run in order; the first that returns columns is
// fetched into the RowSet. Column types come from the declared types, or
// from the first value for columns without one (type_map.cc). The command
// timeout is enforced by a progress handler that interrupts the statement
// once the deadline has passed, and bounds waiting for a locked database.
//
// A link is reused by the next page of its thread (connection_pool.h)
// unless its page left a transaction open, failed, or changed its session
// (a temporary table, an attached database, a pragma setting: an
// authorizer notes them as they are prepared), and only while its file is
// still the one at the path. It keeps its single statements prepared
// (sqlite_statements.h).
#include <sqlite3.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <cmath>
#include <filesystem>

#include "base/ascii.h"
#include "fennick/error.h"
#include "fennick/page.h"
#include "platform/data/driver.h"
#include "platform/data/object_name.h"
#include "platform/data/sqlite_functions.h"
#include "platform/data/sqlite_statements.h"
#include "platform/data/type_map.h"
#include "platform/data/value_text.h"

namespace fennick::data {
namespace {

constexpr const char* kSource = "SQLite";
// Virtual machine steps between two looks at the clock.
constexpr int kProgressSteps = 1000;

struct DatabaseCloser {
  void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
using DatabasePtr = std::unique_ptr<sqlite3, DatabaseCloser>;

bool IsDateType(int32_t type) {
  return type == kAdDate || type == kAdDBDate || type == kAdDBTime || type == kAdDBTimeStamp;
}

// How a column's cells are read from the statement.
enum class Reader : uint8_t { kPending, kInteger, kCurrency, kReal, kDate, kText, kGuid };

Reader ReaderFor(int32_t type) {
  switch (StorageFor(type)) {
    case Storage::kInteger:
      return type == kAdCurrency ? Reader::kCurrency : Reader::kInteger;
    case Storage::kReal:
      return IsDateType(type) ? Reader::kDate : Reader::kReal;
    default:
      return type == kAdGuid ? Reader::kGuid : Reader::kText;
  }
}

std::string_view ColumnText(sqlite3_stmt* stmt, int i) {
  const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt, i));
  return std::string_view(text ? text : "", static_cast<size_t>(sqlite3_column_bytes(stmt, i)));
}

// The fetch reads each cell through sqlite3_column_value once rather than
// through several sqlite3_column_* calls. SQLite calls such values
// unprotected, which only matters to connections shared between threads;
// a Fennick connection belongs to one thread (SQLITE_OPEN_NOMUTEX).
std::string_view ValueText(sqlite3_value* value) {
  const auto* text = reinterpret_cast<const char*>(sqlite3_value_text(value));
  return std::string_view(text ? text : "", static_cast<size_t>(sqlite3_value_bytes(value)));
}

std::string_view ValueBlob(sqlite3_value* value) {
  const auto* blob = static_cast<const char*>(sqlite3_value_blob(value));
  return std::string_view(blob ? blob : "", static_cast<size_t>(sqlite3_value_bytes(value)));
}

// A value the column's storage cannot hold, kept as SQLite has it.
Variant RawValue(sqlite3_value* value, int storage_class) {
  switch (storage_class) {
    case SQLITE_INTEGER:
      return Variant(static_cast<int64_t>(sqlite3_value_int64(value)));
    case SQLITE_FLOAT:
      return Variant(sqlite3_value_double(value));
    case SQLITE_BLOB:
      return Variant::Binary(std::string(ValueBlob(value)));
    default:
      return Variant(ValueText(value));
  }
}

std::string FormatGuid(std::string_view bytes) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out = "{";
  for (size_t i = 0; i < bytes.size(); ++i) {
    if (i == 4 || i == 6 || i == 8 || i == 10) out.push_back('-');
    unsigned char b = static_cast<unsigned char>(bytes[i]);
    out.push_back(kHex[b >> 4]);
    out.push_back(kHex[b & 15]);
  }
  out.push_back('}');
  return out;
}

void AppendCell(Column& column, Reader reader, sqlite3_value* value) {
  int storage_class = sqlite3_value_type(value);
  if (storage_class == SQLITE_NULL) {
    column.AppendNull();
    return;
  }
  if (column.storage() == Storage::kVariant) {
    column.AppendVariant(RawValue(value, storage_class));
    return;
  }
  switch (reader) {
    case Reader::kInteger:
      if (storage_class == SQLITE_INTEGER) {
        column.AppendInteger(sqlite3_value_int64(value));
        return;
      }
      if (storage_class == SQLITE_FLOAT) {
        double d = sqlite3_value_double(value);
        if (d == std::trunc(d) && std::fabs(d) < 9.2e18) {
          column.AppendInteger(static_cast<int64_t>(d));
          return;
        }
      } else if (storage_class == SQLITE_TEXT) {
        int64_t v;
        if (ParseInteger(ValueText(value), v)) {
          column.AppendInteger(v);
          return;
        }
      }
      break;
    case Reader::kCurrency: {
      int64_t amount;
      if (storage_class == SQLITE_INTEGER) {
        int64_t v = sqlite3_value_int64(value);
        if (v > INT64_MIN / 10000 && v < INT64_MAX / 10000) {
          column.AppendInteger(v * 10000);
          return;
        }
      } else if (storage_class == SQLITE_FLOAT) {
        double d = sqlite3_value_double(value) * 10000.0;
        if (std::fabs(d) < 9.2e18) {
          column.AppendInteger(std::llround(d));
          return;
        }
      } else if (storage_class == SQLITE_TEXT && ParseCurrency(ValueText(value), amount)) {
        column.AppendInteger(amount);
        return;
      }
      break;
    }
    case Reader::kReal:
      if (storage_class == SQLITE_FLOAT || storage_class == SQLITE_INTEGER) {
        column.AppendReal(sqlite3_value_double(value));
        return;
      }
      if (storage_class == SQLITE_TEXT) {
        double v;
        if (ParseNumber(ValueText(value), v)) {
          column.AppendReal(v);
          return;
        }
      }
      break;
    case Reader::kDate:
      if (storage_class == SQLITE_TEXT) {
        double date;
        if (ParseIsoDate(ValueText(value), date)) {
          column.AppendReal(date);
          return;
        }
      } else if (storage_class == SQLITE_FLOAT) {
        column.AppendReal(OleDateFromJulianDay(sqlite3_value_double(value)));
        return;
      } else if (storage_class == SQLITE_INTEGER) {
        column.AppendReal(OleDateFromUnixSeconds(static_cast<double>(sqlite3_value_int64(value))));
        return;
      }
      break;
    case Reader::kText:
      column.AppendBytes(storage_class == SQLITE_BLOB ? ValueBlob(value) : ValueText(value));
      return;
    case Reader::kGuid:
      if (storage_class == SQLITE_BLOB && sqlite3_value_bytes(value) == 16) {
        column.AppendBytes(FormatGuid(ValueBlob(value)));
      } else {
        column.AppendBytes(ValueText(value));
      }
      return;
    case Reader::kPending:
      break;
  }
  column.AppendVariant(RawValue(value, storage_class));
}

std::filesystem::path ResolvePath(const std::string& source) {
  std::filesystem::path path(source);
  if (path.is_absolute()) return path;
  PageContext* page = CurrentPage();
  std::filesystem::path base =
      page != nullptr ? page->server().SiteRoot() : std::filesystem::current_path();
  return base / path;
}

// The file and flags a connection string opens.
struct SqliteTarget {
  std::string path;
  int flags = 0;
  bool is_file = false;  // a plain file, not ":memory:" or a URI
};

SqliteTarget TargetOf(const OpenSettings& settings) {
  std::string source = settings.options.Get({"Data Source", "Database", "Filename"});
  if (source.empty()) {
    throw Error(kErrDataFailed, "The connection string names no Data Source", kSource);
  }
  std::string mode = settings.options.Get({"Mode"});
  SqliteTarget target;
  target.flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX | SQLITE_OPEN_URI;
  if (EqualsIgnoreCase(mode, "Read") || EqualsIgnoreCase(mode, "ReadOnly")) {
    target.flags = SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX | SQLITE_OPEN_URI;
  } else if (AsksToCreateDatabase(settings.options)) {
    target.flags |= SQLITE_OPEN_CREATE;
  }
  target.path = source;
  target.is_file = source != ":memory:" && source.rfind("file:", 0) != 0;
  if (target.is_file) target.path = ResolvePath(source).string();
  return target;
}

// Pragmas that only read, whatever their argument.
bool IsReadingPragma(std::string_view name) {
  for (std::string_view reader :
       {"table_info", "table_xinfo", "index_list", "index_info", "index_xinfo", "foreign_key_list",
        "foreign_key_check", "integrity_check", "quick_check"}) {
    if (EqualsIgnoreCase(name, reader)) return true;
  }
  return false;
}

class SqliteConnection : public DriverConnection {
 public:
  // `file` is the database file's identity when it is a plain file (kept
  // for reuse), else null.
  SqliteConnection(DatabasePtr db, std::string path, const struct stat* file)
      : db_(std::move(db)), path_(std::move(path)), reusable_(file != nullptr) {
    if (file != nullptr) {
      device_ = file->st_dev;
      inode_ = file->st_ino;
    }
    sqlite3_set_authorizer(db_.get(), &SqliteConnection::Authorize, this);
  }

  std::string_view Provider() const override { return "SQLite"; }
  std::optional<bool> InTransaction() const override {
    return sqlite3_get_autocommit(db_.get()) == 0;
  }

  bool ResetForReuse() override {
    if (!reusable_ || failed_ || session_changed_ || sqlite3_get_autocommit(db_.get()) == 0) {
      return false;
    }
    // The one value of the last page that SQL can still read.
    sqlite3_set_last_insert_rowid(db_.get(), 0);
    return true;
  }

  // The link holds its file open, so the inode cannot be reused while it
  // lives: the same inode at the path means the same file. A file replaced
  // or removed since would leave the link reading a database no one else
  // sees any more.
  bool Usable() override {
    struct stat now;
    return stat(path_.c_str(), &now) == 0 && now.st_dev == device_ && now.st_ino == inode_;
  }

  ExecuteResult Execute(const ExecuteRequest& request) override {
    std::string sql = RequestSql(request);
    DeadlineScope deadline(*this, request.timeout_seconds);
    Run run(request);
    if (StatementPtr kept = statements_.Take(sql)) {
      RunStatement(kept.get(), run);
      statements_.Put(std::move(sql), std::move(kept));
      return run.Finish();
    }
    const char* tail = sql.c_str();
    const char* end = tail + sql.size();
    while (tail < end) {
      const char* start = tail;
      sqlite3_stmt* raw = nullptr;
      int rc = sqlite3_prepare_v2(db_.get(), tail, static_cast<int>(end - tail), &raw, &tail);
      StatementPtr stmt(raw);
      if (rc != SQLITE_OK) Fail();
      if (!stmt) continue;  // only blanks or a comment were left
      RunStatement(stmt.get(), run);
      bool whole = start == sql.c_str() && TrimBlanks(std::string_view(tail, end - tail)).empty();
      if (whole) statements_.Put(std::move(sql), std::move(stmt));
    }
    return run.Finish();
  }

  std::vector<CatalogObject> ListObjects(bool procedures) override {
    std::vector<CatalogObject> objects;
    if (procedures) return objects;
    StatementPtr stmt = Prepare(
        "SELECT name, type FROM sqlite_schema WHERE type IN ('table', 'view') "
        "AND name NOT LIKE 'sqlite\\_%' ESCAPE '\\' ORDER BY name COLLATE NOCASE");
    int rc;
    while ((rc = sqlite3_step(stmt.get())) == SQLITE_ROW) {
      CatalogObject object;
      object.name = std::string(ColumnText(stmt.get(), 0));
      object.type = ColumnText(stmt.get(), 1) == "view" ? CatalogObjectType::kView
                                                        : CatalogObjectType::kTable;
      objects.push_back(std::move(object));
    }
    if (rc != SQLITE_DONE) Fail();
    return objects;
  }

  std::optional<std::vector<Parameter>> ProcedureParameters(std::string_view) override {
    return std::nullopt;
  }

  std::optional<CatalogObjectType> FindObject(std::string_view name) override {
    auto parts = SplitObjectName(name);
    if (!parts || parts->size() > 2) return std::nullopt;
    std::string schema_table =
        parts->size() == 2 ? QuoteObjectName({parts->front()}) + ".sqlite_schema" : "sqlite_schema";
    sqlite3_stmt* raw = nullptr;
    std::string sql = "SELECT type FROM " + schema_table +
                      " WHERE type IN ('table', 'view') AND name = ?1 COLLATE NOCASE";
    if (sqlite3_prepare_v2(db_.get(), sql.c_str(), -1, &raw, nullptr) != SQLITE_OK) {
      sqlite3_finalize(raw);
      return std::nullopt;  // an unknown schema: not an object name after all
    }
    StatementPtr stmt(raw);
    const std::string& object = parts->back();
    sqlite3_bind_text(stmt.get(), 1, object.data(), static_cast<int>(object.size()),
                      SQLITE_TRANSIENT);
    if (sqlite3_step(stmt.get()) != SQLITE_ROW) return std::nullopt;
    return ColumnText(stmt.get(), 0) == "view" ? CatalogObjectType::kView
                                               : CatalogObjectType::kTable;
  }

  TableKey PrimaryKey(std::string_view table) override {
    TableKey key;
    auto parts = SplitObjectName(table);
    if (!parts || parts->empty() || parts->size() > 2) return key;
    // A rowid table declares no index for its INTEGER PRIMARY KEY.
    const std::string schema = parts->size() == 2 ? ", ?2" : "";
    const std::string sql =
        "SELECT name, upper(type) = 'INTEGER' AND NOT EXISTS (SELECT 1 FROM pragma_index_list(?1" +
        schema + ") WHERE origin = 'pk') FROM pragma_table_info(?1" + schema +
        ") WHERE pk > 0 ORDER BY pk";
    StatementPtr stmt = Prepare(sql.c_str());
    for (int i = 0; i < static_cast<int>(parts->size()); ++i) {
      sqlite3_bind_text(stmt.get(), i + 1, parts->rbegin()[i].c_str(), -1, SQLITE_TRANSIENT);
    }
    int rc;
    while ((rc = sqlite3_step(stmt.get())) == SQLITE_ROW) {
      key.columns.emplace_back(ColumnText(stmt.get(), 0));
      key.is_rowid = sqlite3_column_int(stmt.get(), 1) != 0;
    }
    if (rc != SQLITE_DONE) Fail();
    key.is_rowid = key.is_rowid && key.columns.size() == 1;
    return key;
  }

  std::unique_ptr<RowCursor> OpenCursor(const ExecuteRequest& request) override;

 private:
  friend class SqliteCursor;

  // What the statements of one request add up to.
  struct Run {
    explicit Run(const ExecuteRequest& request)
        : request(request), used(request.parameters.size(), false) {}
    ExecuteResult Finish() {
      result.records_affected = changed ? affected : -1;
      return std::move(result);
    }
    const ExecuteRequest& request;
    std::vector<bool> used;  // parameters bound so far
    ExecuteResult result;
    int64_t affected = 0;
    bool changed = false;
  };

  // Runs one statement of a request: the first with columns is fetched,
  // the others run to their end.
  void RunStatement(sqlite3_stmt* stmt, Run& run) {
    BindParameters(stmt, run.request.parameters, run.used);
    int64_t before = sqlite3_total_changes64(db_.get());
    if (!run.result.rows && sqlite3_column_count(stmt) > 0) {
      run.result.rows = Fetch(stmt, run.request.max_records);
    } else {
      int rc;
      while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
      }
      if (rc != SQLITE_DONE) Fail();
    }
    if (!sqlite3_stmt_readonly(stmt)) {
      run.affected += sqlite3_total_changes64(db_.get()) - before;
      run.changed = true;
    }
  }

  // Notes, as statements are prepared, what would change the session of
  // the link's next user; the statement itself is always allowed.
  static int Authorize(void* self, int action, const char* first, const char* second, const char*,
                       const char*) {
    auto* owner = static_cast<SqliteConnection*>(self);
    switch (action) {
      case SQLITE_CREATE_TEMP_INDEX:
      case SQLITE_CREATE_TEMP_TABLE:
      case SQLITE_CREATE_TEMP_TRIGGER:
      case SQLITE_CREATE_TEMP_VIEW:
      case SQLITE_ATTACH:
      case SQLITE_DETACH:
        owner->session_changed_ = true;
        break;
      case SQLITE_PRAGMA:
        // A pragma without an argument reads its setting.
        if (second != nullptr && !IsReadingPragma(first != nullptr ? first : "")) {
          owner->session_changed_ = true;
        }
        break;
      default:
        break;
    }
    return SQLITE_OK;
  }

  static std::string RequestSql(const ExecuteRequest& request) {
    switch (request.kind) {
      case CommandKind::kText:
        return std::string(request.text);
      case CommandKind::kTable: {
        auto parts = SplitObjectName(request.text);
        if (!parts) {
          throw Error(kErrDataInvalidArgument, "Not a table name: " + std::string(request.text),
                      kSource);
        }
        return "SELECT * FROM " + QuoteObjectName(*parts);
      }
      case CommandKind::kStoredProcedure:
        break;
    }
    throw Error(kErrDataNotSupported, "SQLite has no stored procedures", kSource);
  }

  // Installs the deadline of one request and removes it afterwards.
  class DeadlineScope {
   public:
    // `seconds` from now, or the page's deadline when sooner.
    DeadlineScope(SqliteConnection& owner, int32_t seconds)
        : DeadlineScope(owner, RequestDeadline(seconds)) {}
    // A deadline fixed earlier (a cursor's, taken when it was opened).
    DeadlineScope(SqliteConnection& owner,
                  std::optional<std::chrono::steady_clock::time_point> deadline)
        : owner_(owner) {
      owner_.timed_out_ = false;
      sqlite3* db = owner_.db_.get();
      if (deadline) {
        owner_.deadline_ = *deadline;
        sqlite3_progress_handler(db, kProgressSteps, &SqliteConnection::OnProgress, &owner_);
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                        *deadline - std::chrono::steady_clock::now())
                        .count();
        // At least a millisecond: 0 would turn the busy wait off and report
        // a locked database instead of the timeout.
        sqlite3_busy_timeout(db, static_cast<int>(std::clamp<int64_t>(left, 1, INT_MAX)));
      } else {
        sqlite3_busy_timeout(db, INT_MAX);
      }
    }
    ~DeadlineScope() { sqlite3_progress_handler(owner_.db_.get(), 0, nullptr, nullptr); }
    DeadlineScope(const DeadlineScope&) = delete;
    DeadlineScope& operator=(const DeadlineScope&) = delete;

   private:
    SqliteConnection& owner_;
  };

  static int OnProgress(void* self) {
    auto* owner = static_cast<SqliteConnection*>(self);
    if (std::chrono::steady_clock::now() < owner->deadline_) return 0;
    owner->timed_out_ = true;
    return 1;  // interrupts the statement
  }

  // Raises the link's last error. A link that failed is not reused: a
  // statement it broke off may have left the session in any state.
  [[noreturn]] void Fail() {
    failed_ = true;
    if (timed_out_) throw Error(kErrDataTimeout, "Query timeout expired", kSource);
    throw Error(kErrDataCommandFailed, sqlite3_errmsg(db_.get()), kSource);
  }

  StatementPtr Prepare(const char* sql) {
    sqlite3_stmt* raw = nullptr;
    int rc = sqlite3_prepare_v2(db_.get(), sql, -1, &raw, nullptr);
    StatementPtr stmt(raw);
    if (rc != SQLITE_OK) Fail();
    return stmt;
  }

  // Binds named placeholders (":name", "@name", "$name") to the parameter
  // of that name, then the other placeholders, in order, to the parameters
  // not bound by name. `used` follows the parameters across the statements
  // of one request.
  void BindParameters(sqlite3_stmt* stmt, std::span<const Parameter> parameters,
                      std::vector<bool>& used) {
    int count = sqlite3_bind_parameter_count(stmt);
    std::vector<int> unnamed;
    for (int index = 1; index <= count; ++index) {
      const char* name = sqlite3_bind_parameter_name(stmt, index);
      if (name == nullptr || name[0] == '?') {
        unnamed.push_back(index);
        continue;
      }
      std::string_view wanted(name + 1);
      for (size_t i = 0; i < parameters.size(); ++i) {
        std::string_view given = parameters[i].Name();
        if (!given.empty() && (given[0] == '@' || given[0] == ':' || given[0] == '$')) {
          given.remove_prefix(1);
        }
        if (EqualsIgnoreCase(given, wanted)) {
          Bind(stmt, index, parameters[i].Value());
          used[i] = true;
          break;
        }
      }
    }
    size_t next = 0;
    for (int index : unnamed) {
      while (next < parameters.size() && used[next]) ++next;
      if (next == parameters.size()) break;  // placeholders left unbound are NULL
      Bind(stmt, index, parameters[next].Value());
      used[next] = true;
    }
  }

  void Bind(sqlite3_stmt* stmt, int index, const Variant& value) {
    int rc;
    switch (value.type()) {
      case VarType::kEmpty:
      case VarType::kNull:
        rc = sqlite3_bind_null(stmt, index);
        break;
      case VarType::kBoolean:
        rc = sqlite3_bind_int(stmt, index, value.AsBool() ? 1 : 0);
        break;
      case VarType::kInteger:
      case VarType::kLong:
      case VarType::kByte:
      case VarType::kLongLong:
        rc = sqlite3_bind_int64(stmt, index, value.AsInt64());
        break;
      case VarType::kSingle:
      case VarType::kDouble:
      case VarType::kCurrency:
      case VarType::kDecimal:
        rc = sqlite3_bind_double(stmt, index, value.AsDouble());
        break;
      case VarType::kDate: {
        std::string text = FormatIsoDate(value.AsDate());
        rc = sqlite3_bind_text(stmt, index, text.c_str(), -1, SQLITE_TRANSIENT);
        break;
      }
      case VarType::kBinary:
        rc = sqlite3_bind_blob64(stmt, index, value.Bytes().data(), value.Bytes().size(),
                                 SQLITE_TRANSIENT);
        break;
      default: {
        std::string text = value.AsString();
        rc = sqlite3_bind_text64(stmt, index, text.data(), text.size(), SQLITE_TRANSIENT,
                                 SQLITE_UTF8);
        break;
      }
    }
    if (rc != SQLITE_OK) Fail();
  }

  std::unique_ptr<RowSet> Fetch(sqlite3_stmt* stmt, int64_t max_records) {
    auto rows = std::make_unique<RowSet>();
    // Step first, describe after: a statement prepared before another link
    // changed the schema is prepared again by its step, and may then have
    // other columns.
    int rc = sqlite3_step(stmt);
    int count = sqlite3_column_count(stmt);
    std::vector<Reader> readers(static_cast<size_t>(count), Reader::kPending);
    rows->columns.reserve(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
      ColumnInfo info;
      const char* name = sqlite3_column_name(stmt, i);
      info.name = name ? name : "";
      const char* table = sqlite3_column_table_name(stmt, i);
      if (table != nullptr) info.base_table = table;
      Column& column = rows->columns.emplace_back(std::move(info));
      const char* declared = sqlite3_column_decltype(stmt, i);
      if (declared != nullptr && declared[0] != '\0') {
        TypeInfo type = SqliteDeclaredType(declared);
        SetType(column, type);
        readers[i] = ReaderFor(type.type);
        column.SetStorage(StorageFor(type.type));
      }
    }
    int64_t fetched = 0;
    for (; rc == SQLITE_ROW; rc = sqlite3_step(stmt)) {
      for (int i = 0; i < count; ++i) {
        Column& column = rows->columns[i];
        sqlite3_value* value = sqlite3_column_value(stmt, i);
        if (readers[i] == Reader::kText && column.storage() == Storage::kBytes) {
          // Text needs no look at the storage class first: SQLite gives
          // numbers and blobs as text too, and a null as no text at all.
          const auto* text = reinterpret_cast<const char*>(sqlite3_value_text(value));
          if (text != nullptr) {
            column.AppendBytes(
                std::string_view(text, static_cast<size_t>(sqlite3_value_bytes(value))));
            continue;
          }
          if (sqlite3_value_type(value) != SQLITE_NULL) Fail();  // out of memory
        }
        if (readers[i] == Reader::kPending && sqlite3_value_type(value) != SQLITE_NULL) {
          // A column without a declared type takes the type of its first value.
          TypeInfo type = SqliteValueType(sqlite3_value_type(value));
          SetType(column, type);
          readers[i] = ReaderFor(type.type);
          column.SetStorage(StorageFor(type.type));
        }
        AppendCell(column, readers[i], value);
      }
      if (++fetched == max_records) break;
    }
    if (rc != SQLITE_ROW && rc != SQLITE_DONE) {
      // Past the first row the statement was running: a failure now is one
      // of reading its result.
      if (fetched > 0 && !timed_out_) {
        failed_ = true;
        throw FetchError(kErrDataCommandFailed, sqlite3_errmsg(db_.get()), kSource);
      }
      Fail();
    }
    rows->row_count = static_cast<size_t>(fetched);
    for (size_t i = 0; i < rows->columns.size(); ++i) {
      Column& column = rows->columns[i];
      if (readers[i] == Reader::kPending) {
        SetType(column, SqliteValueType(SQLITE_NULL));
      } else if (column.info().type == kAdVarChar && column.info().defined_size == 0) {
        // Undeclared text: its size is the longest value.
        int32_t longest = 0;
        for (size_t row = 0; row < column.size(); ++row) {
          longest = std::max(longest, column.ActualSize(row));
        }
        column.mutable_info().defined_size = longest;
      }
    }
    rows->Trim();
    return rows;
  }

  static void SetType(Column& column, const TypeInfo& type) {
    ColumnInfo& info = column.mutable_info();
    info.type = type.type;
    info.defined_size = type.defined_size;
    info.precision = type.precision;
    info.scale = type.scale;
  }

  DatabasePtr db_;
  // Declared after the link: statements are finalized before it closes.
  StatementCache statements_;
  std::string path_;
  bool reusable_;
  dev_t device_ = 0;
  ino_t inode_ = 0;
  bool failed_ = false;
  bool session_changed_ = false;
  std::chrono::steady_clock::time_point deadline_;
  bool timed_out_ = false;
};

// Steps the one statement of a result, a batch per Next, so only a batch
// of rows is ever held. The request's deadline, taken when the cursor was
// opened, bounds every batch. The statement goes back to the link's
// cache when the cursor goes.
class SqliteCursor : public RowCursor {
 public:
  SqliteCursor(SqliteConnection& owner, std::string sql, StatementPtr stmt,
               std::optional<std::chrono::steady_clock::time_point> deadline, int64_t max_records)
      : owner_(owner),
        sql_(std::move(sql)),
        stmt_(std::move(stmt)),
        deadline_(deadline),
        max_records_(max_records) {}
  ~SqliteCursor() override {
    if (!owner_.failed_) owner_.statements_.Put(std::move(sql_), std::move(stmt_));
  }
  SqliteCursor(const SqliteCursor&) = delete;
  SqliteCursor& operator=(const SqliteCursor&) = delete;

  std::unique_ptr<RowSet> Next(size_t max_rows) override {
    int64_t want = static_cast<int64_t>(std::max<size_t>(max_rows, 1));
    if (max_records_ > 0) want = std::min(want, max_records_ - fetched_);
    // Stepping a finished statement would run it again from the start.
    if (done_ || want <= 0) return std::make_unique<RowSet>();
    done_ = true;  // stays so when the batch fails
    SqliteConnection::DeadlineScope scope(owner_, deadline_);
    std::unique_ptr<RowSet> rows = owner_.Fetch(stmt_.get(), want);
    fetched_ += static_cast<int64_t>(rows->row_count);
    done_ = static_cast<int64_t>(rows->row_count) < want;
    return rows;
  }

 private:
  SqliteConnection& owner_;
  std::string sql_;
  StatementPtr stmt_;
  std::optional<std::chrono::steady_clock::time_point> deadline_;
  int64_t max_records_;
  int64_t fetched_ = 0;
  bool done_ = false;
};

std::unique_ptr<RowCursor> SqliteConnection::OpenCursor(const ExecuteRequest& request) {
  std::string sql = RequestSql(request);
  auto deadline = RequestDeadline(request.timeout_seconds);
  StatementPtr stmt = statements_.Take(sql);
  if (!stmt) {
    sqlite3_stmt* raw = nullptr;
    const char* tail = nullptr;
    int rc = sqlite3_prepare_v2(db_.get(), sql.c_str(), static_cast<int>(sql.size()), &raw, &tail);
    stmt.reset(raw);
    if (rc != SQLITE_OK) Fail();
    bool single = tail != nullptr && TrimBlanks(std::string_view(tail)).empty();
    if (!stmt || !single) {
      // Statements before the result must run first: Execute does that.
      stmt.reset();
      return DriverConnection::OpenCursor(request);
    }
  }
  if (sqlite3_column_count(stmt.get()) == 0) {
    // A statement without rows has nothing to read: Execute runs it, and
    // finds it prepared.
    statements_.Put(sql, std::move(stmt));
    return DriverConnection::OpenCursor(request);
  }
  std::vector<bool> used(request.parameters.size(), false);
  BindParameters(stmt.get(), request.parameters, used);
  return std::make_unique<SqliteCursor>(*this, std::move(sql), std::move(stmt), deadline,
                                        request.max_records);
}

}  // namespace

std::optional<std::string> SqliteReuseKey(const OpenSettings& settings) {
  SqliteTarget target = TargetOf(settings);
  // Every open of an in-memory database is a database of its own, and a
  // URI may name one.
  if (!target.is_file) return std::nullopt;
  return std::to_string(target.flags) + ":" + target.path;
}

std::unique_ptr<DriverConnection> OpenSqlite(const OpenSettings& settings) {
  SqliteTarget target = TargetOf(settings);
  // The file's identity, taken before and after opening: should the file
  // be replaced meanwhile, the link would not know which one it has.
  struct stat before, after;
  bool known = target.is_file && stat(target.path.c_str(), &before) == 0;
  sqlite3* raw = nullptr;
  int rc = sqlite3_open_v2(target.path.c_str(), &raw, target.flags, nullptr);
  DatabasePtr db(raw);
  if (rc != SQLITE_OK) {
    std::string message = raw != nullptr ? sqlite3_errmsg(raw) : sqlite3_errstr(rc);
    throw Error(kErrDataFailed, message + ": " + target.path, kSource);
  }
  rc = RegisterSqliteFunctions(db.get());
  if (rc != SQLITE_OK) throw Error(kErrDataFailed, sqlite3_errstr(rc), kSource);
  known = known && stat(target.path.c_str(), &after) == 0 && after.st_dev == before.st_dev &&
          after.st_ino == before.st_ino;
  return std::make_unique<SqliteConnection>(std::move(db), std::move(target.path),
                                            known ? &after : nullptr);
}

}  // namespace fennick::data
