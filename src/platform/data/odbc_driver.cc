// The ODBC driver: opening connections through unixODBC, running
// statements and fetching their rows (see odbc_connection.h).
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "base/ascii.h"
#include "base/ole_date.h"
#include "platform/data/object_name.h"
#include "platform/data/odbc_connection.h"
#include "platform/data/odbc_connection_string.h"
#include "platform/data/odbc_types.h"
#include "platform/data/value_text.h"

namespace fennick::data {
namespace {

// Characters read per SQLGetData call of a text value; longer values take
// several calls.
constexpr size_t kTextChunk = 2048;
constexpr size_t kBinaryChunk = 8192;

bool Succeeded(SQLRETURN r) { return r == SQL_SUCCESS || r == SQL_SUCCESS_WITH_INFO; }

std::string CleanMessage(std::string_view message) {
  std::string out;
  for (char c : message) {
    if (c == '\n' || c == '\t' || c == '\r') c = ' ';
    if (c == ' ' && (out.empty() || out.back() == ' ')) continue;
    out.push_back(c);
  }
  while (!out.empty() && (out.back() == ' ' || out.back() == ';')) out.pop_back();
  return out;
}

struct Diagnostic {
  std::string state;
  std::string message;
};

// The states and messages of a failed call, first record first.
std::vector<Diagnostic> Diagnose(SQLSMALLINT handle_type, SQLHANDLE handle) {
  std::vector<Diagnostic> out;
  for (SQLSMALLINT record = 1; record <= 8; ++record) {
    SQLWCHAR state[6] = {};
    SQLINTEGER native = 0;
    std::u16string message(1024, u'\0');
    SQLSMALLINT length = 0;
    SQLRETURN r = SQLGetDiagRecW(handle_type, handle, record, state, &native,
                                 reinterpret_cast<SQLWCHAR*>(message.data()),
                                 static_cast<SQLSMALLINT>(message.size()), &length);
    if (!Succeeded(r)) break;
    message.resize(std::min<size_t>(static_cast<size_t>(std::max<SQLSMALLINT>(length, 0)),
                                    message.size() - 1));
    Diagnostic d;
    for (SQLWCHAR c : state) {
      if (c != 0) d.state.push_back(static_cast<char>(c));
    }
    d.message = CleanMessage(FromWide(message));
    out.push_back(std::move(d));
  }
  return out;
}

bool IsDateType(int32_t type) {
  return type == kAdDate || type == kAdDBDate || type == kAdDBTimeStamp;
}

OdbcReader ReaderFor(int32_t ado_type, int sql_type) {
  switch (ado_type) {
    case kAdSmallInt:
    case kAdInteger:
    case kAdBigInt:
    case kAdTinyInt:
    case kAdUnsignedTinyInt:
      return OdbcReader::kInteger;
    case kAdBoolean:
      return OdbcReader::kBoolean;
    case kAdSingle:
    case kAdDouble:
      return OdbcReader::kReal;
    case kAdNumeric:
    case kAdDecimal:
      return OdbcReader::kNumeric;
    case kAdCurrency:
      return OdbcReader::kCurrency;
    case kAdDBTime:
      return OdbcReader::kTime;
    case kAdGuid:
      return sql_type == SQL_GUID ? OdbcReader::kGuid : OdbcReader::kText;
    case kAdBinary:
    case kAdVarBinary:
    case kAdLongVarBinary:
      return OdbcReader::kBinary;
    default:
      return IsDateType(ado_type) ? OdbcReader::kDate : OdbcReader::kText;
  }
}

double OleDate(int year, int month, int day, int hour, int minute, double second) {
  int64_t days = DaysFromCivil(year, month, day);
  double time = (hour * 3600.0 + minute * 60.0 + second) / 86400.0;
  return days < 0 ? static_cast<double>(days) - time : static_cast<double>(days) + time;
}

std::string FormatGuid(const SQLGUID& g) {
  char text[40];
  std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                static_cast<unsigned>(g.Data1), g.Data2, g.Data3, g.Data4[0], g.Data4[1],
                g.Data4[2], g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
  return text;
}

}  // namespace

// How long after the deadline the watchdog steps in, so that a driver
// enforcing the query timeout itself reports it first.
constexpr std::chrono::milliseconds kWatchdogGrace{500};

StatementWatchdog::StatementWatchdog(SQLHSTMT stmt, std::chrono::steady_clock::time_point deadline,
                                     std::atomic<bool>& cancelled)
    : thread_([this, stmt, deadline, &cancelled] {
        std::unique_lock lock(mutex_);
        if (wake_.wait_until(lock, deadline + kWatchdogGrace, [this] { return done_; })) return;
        cancelled = true;
        // Ignoring errors on purpose: a statement that has just finished
        // has nothing left to cancel.
        SQLCancel(stmt);
      }) {}

StatementWatchdog::~StatementWatchdog() {
  {
    std::lock_guard lock(mutex_);
    done_ = true;
  }
  wake_.notify_one();
  thread_.join();
}

// The columns of a result and how each is read, and the reading of one
// row into a RowSet.
class OdbcResultReader {
 public:
  OdbcResultReader(OdbcConnection& connection, SQLHSTMT stmt) : c_(connection), stmt_(stmt) {}

  // Describes the current result's columns.
  void Describe(SQLSMALLINT count) {
    for (SQLSMALLINT i = 1; i <= count; ++i) {
      std::u16string name(256, u'\0');
      SQLSMALLINT name_length = 0, sql_type = 0, digits = 0, nullable = 0;
      SQLULEN size = 0;
      SQLRETURN r = SQLDescribeColW(stmt_, static_cast<SQLUSMALLINT>(i), WideArg(name),
                                    static_cast<SQLSMALLINT>(name.size()), &name_length, &sql_type,
                                    &size, &digits, &nullable);
      if (!Succeeded(r)) c_.Fail(SQL_HANDLE_STMT, stmt_, kErrDataCommandFailed);
      name.resize(std::min<size_t>(static_cast<size_t>(std::max<SQLSMALLINT>(name_length, 0)),
                                   name.size() - 1));
      SQLLEN is_unsigned = SQL_FALSE;
      SQLColAttributeW(stmt_, static_cast<SQLUSMALLINT>(i), SQL_DESC_UNSIGNED, nullptr, 0, nullptr,
                       &is_unsigned);
      const std::string type_name = TextAttribute(i, SQL_DESC_TYPE_NAME);
      TypeInfo type = OdbcType(sql_type, size, digits, is_unsigned == SQL_TRUE, type_name);
      ColumnInfo info;
      info.name = FromWide(name);
      info.type = type.type;
      info.defined_size = type.defined_size;
      info.precision = type.precision;
      info.scale = type.scale;
      info.base_table = TextAttribute(i, SQL_DESC_BASE_TABLE_NAME);
      columns_.push_back(std::move(info));
      readers_.push_back(ReaderFor(type.type, sql_type));
    }
  }

  std::unique_ptr<RowSet> NewRowSet() const {
    auto rows = std::make_unique<RowSet>();
    rows->columns.reserve(columns_.size());
    for (const ColumnInfo& info : columns_) {
      Column& column = rows->columns.emplace_back(info);
      column.SetStorage(StorageFor(info.type));
    }
    return rows;
  }

  // Fetches the next row into `rows`; false at the end of the result.
  // Raises FetchError when the driver fails on a row once `fetched` rows
  // have arrived, the plain error before.
  bool FetchRow(RowSet& rows, size_t fetched) {
    SQLRETURN r = SQLFetch(stmt_);
    if (r == SQL_NO_DATA) return false;
    if (!Succeeded(r)) Raise(fetched);
    for (size_t i = 0; i < readers_.size(); ++i) ReadCell(rows.columns[i], i, fetched);
    return true;
  }

 private:
  std::string TextAttribute(SQLSMALLINT column, SQLUSMALLINT field) {
    char16_t buffer[256] = {};
    SQLSMALLINT length = 0;
    SQLRETURN r = SQLColAttributeW(stmt_, static_cast<SQLUSMALLINT>(column), field, buffer,
                                   sizeof buffer - sizeof(char16_t), &length, nullptr);
    if (!Succeeded(r) || length <= 0) return "";
    size_t chars = std::min<size_t>(static_cast<size_t>(length) / sizeof(char16_t), 255);
    std::string out;
    AppendUtf8(buffer, chars, out);
    return out;
  }

  [[noreturn]] void Raise(size_t fetched) {
    Error e = c_.Failure(SQL_HANDLE_STMT, stmt_, kErrDataCommandFailed);
    if (fetched > 0 && e.number() == kErrDataCommandFailed) {
      throw FetchError(e.number(), e.description(), e.source());
    }
    throw e;
  }

  // SQLGetData into a fixed-size buffer; false for Null.
  bool Get(size_t i, SQLSMALLINT c_type, void* value, SQLLEN size, size_t fetched) {
    SQLLEN indicator = 0;
    SQLRETURN r =
        SQLGetData(stmt_, static_cast<SQLUSMALLINT>(i + 1), c_type, value, size, &indicator);
    if (!Succeeded(r)) Raise(fetched + 1);
    return indicator != SQL_NULL_DATA;
  }

  // A text value as UTF-8 in scratch_, read in chunks; false for Null.
  bool GetText(size_t i, size_t fetched) {
    scratch_.clear();
    for (;;) {
      SQLLEN indicator = 0;
      SQLRETURN r = SQLGetData(stmt_, static_cast<SQLUSMALLINT>(i + 1), SQL_C_WCHAR, wide_,
                               sizeof wide_, &indicator);
      if (r == SQL_NO_DATA) return true;
      if (!Succeeded(r)) Raise(fetched + 1);
      if (indicator == SQL_NULL_DATA) return false;
      const size_t room = kTextChunk - 1;
      size_t chars = indicator == SQL_NO_TOTAL
                         ? room
                         : std::min(room, static_cast<size_t>(indicator) / sizeof(char16_t));
      AppendUtf8(wide_, chars, scratch_);
      if (r == SQL_SUCCESS || (indicator != SQL_NO_TOTAL &&
                               static_cast<size_t>(indicator) / sizeof(char16_t) <= room)) {
        return true;
      }
    }
  }

  bool GetBinary(size_t i, size_t fetched) {
    scratch_.clear();
    for (;;) {
      SQLLEN indicator = 0;
      SQLRETURN r = SQLGetData(stmt_, static_cast<SQLUSMALLINT>(i + 1), SQL_C_BINARY, bytes_,
                               sizeof bytes_, &indicator);
      if (r == SQL_NO_DATA) return true;
      if (!Succeeded(r)) Raise(fetched + 1);
      if (indicator == SQL_NULL_DATA) return false;
      size_t n = indicator == SQL_NO_TOTAL
                     ? sizeof bytes_
                     : std::min(sizeof bytes_, static_cast<size_t>(indicator));
      scratch_.append(bytes_, n);
      if (r == SQL_SUCCESS ||
          (indicator != SQL_NO_TOTAL && static_cast<size_t>(indicator) <= sizeof bytes_)) {
        return true;
      }
    }
  }

  // A short ASCII text (a number's digits) in narrow_; false for Null.
  bool GetDigits(size_t i, size_t fetched, std::string_view& text) {
    if (!GetText(i, fetched)) return false;
    text = scratch_;
    return true;
  }

  void ReadCell(Column& column, size_t i, size_t fetched) {
    switch (readers_[i]) {
      case OdbcReader::kInteger: {
        SQLBIGINT v = 0;
        if (!Get(i, SQL_C_SBIGINT, &v, 0, fetched)) return column.AppendNull();
        return column.AppendInteger(v);
      }
      case OdbcReader::kBoolean: {
        unsigned char v = 0;
        if (!Get(i, SQL_C_BIT, &v, 0, fetched)) return column.AppendNull();
        return column.AppendInteger(v != 0 ? 1 : 0);
      }
      case OdbcReader::kReal: {
        double v = 0;
        if (!Get(i, SQL_C_DOUBLE, &v, 0, fetched)) return column.AppendNull();
        return column.AppendReal(v);
      }
      case OdbcReader::kNumeric: {
        std::string_view text;
        if (!GetDigits(i, fetched, text)) return column.AppendNull();
        double v;
        if (ParseEngineDouble(TrimBlanks(text), v)) return column.AppendReal(v);
        return column.AppendVariant(Variant(text));
      }
      case OdbcReader::kCurrency: {
        std::string_view text;
        if (!GetDigits(i, fetched, text)) return column.AppendNull();
        // Money as text: "1234.5000" from SQL Server, "$1,234.50" from
        // PostgreSQL in the C locale.
        std::string digits;
        for (char c : text) {
          if (c != '$' && c != ',') digits.push_back(c);
        }
        int64_t amount;
        if (ParseCurrency(digits, amount)) return column.AppendInteger(amount);
        return column.AppendVariant(Variant(text));
      }
      case OdbcReader::kDate: {
        SQL_TIMESTAMP_STRUCT t{};
        if (!Get(i, SQL_C_TYPE_TIMESTAMP, &t, sizeof t, fetched)) return column.AppendNull();
        return column.AppendReal(
            OleDate(t.year, t.month, t.day, t.hour, t.minute, t.second + t.fraction / 1e9));
      }
      case OdbcReader::kTime: {
        SQL_TIME_STRUCT t{};
        if (!Get(i, SQL_C_TYPE_TIME, &t, sizeof t, fetched)) return column.AppendNull();
        return column.AppendReal((t.hour * 3600.0 + t.minute * 60.0 + t.second) / 86400.0);
      }
      case OdbcReader::kGuid: {
        SQLGUID g{};
        if (!Get(i, SQL_C_GUID, &g, sizeof g, fetched)) return column.AppendNull();
        return column.AppendBytes(FormatGuid(g));
      }
      case OdbcReader::kText:
        if (!GetText(i, fetched)) return column.AppendNull();
        return column.AppendBytes(scratch_);
      case OdbcReader::kBinary:
        if (!GetBinary(i, fetched)) return column.AppendNull();
        return column.AppendBytes(scratch_);
    }
  }

  OdbcConnection& c_;
  SQLHSTMT stmt_;
  std::vector<ColumnInfo> columns_;
  std::vector<OdbcReader> readers_;
  std::string scratch_;
  char16_t wide_[kTextChunk];
  char bytes_[kBinaryChunk];
};

// The rows of one result read a batch at a time; the statement's later
// results are run through once the first is read.
class OdbcCursor : public RowCursor {
 public:
  OdbcCursor(OdbcConnection& connection, OdbcStatementPtr stmt, int32_t timeout_seconds)
      : c_(connection),
        stmt_(std::move(stmt)),
        watchdog_(connection.Watch(stmt_.get(), timeout_seconds)),
        reader_(connection, stmt_.get()) {}

  // Finds the first result with columns; false when there is none.
  bool Start() {
    for (;;) {
      SQLSMALLINT count = 0;
      if (!Succeeded(SQLNumResultCols(stmt_.get(), &count))) {
        c_.Fail(SQL_HANDLE_STMT, stmt_.get(), kErrDataCommandFailed);
      }
      if (count > 0) {
        reader_.Describe(count);
        return true;
      }
      SQLRETURN r = SQLMoreResults(stmt_.get());
      if (r == SQL_NO_DATA) return false;
      if (!Succeeded(r)) c_.Fail(SQL_HANDLE_STMT, stmt_.get(), kErrDataCommandFailed);
    }
  }

  std::unique_ptr<RowSet> Next(size_t max_rows) override {
    std::unique_ptr<RowSet> rows = reader_.NewRowSet();
    if (done_) return rows;
    size_t count = 0;
    while (count < max_rows) {
      if (!reader_.FetchRow(*rows, fetched_)) {
        done_ = true;
        Finish();
        break;
      }
      ++count;
      ++fetched_;
    }
    rows->row_count = count;
    rows->Trim();
    return rows;
  }

 private:
  // Runs the statement's later results through, for their errors.
  void Finish() {
    for (;;) {
      SQLRETURN r = SQLMoreResults(stmt_.get());
      if (r == SQL_NO_DATA) return;
      if (!Succeeded(r)) c_.Fail(SQL_HANDLE_STMT, stmt_.get(), kErrDataCommandFailed);
    }
  }

  OdbcConnection& c_;
  OdbcStatementPtr stmt_;
  // After the statement: it goes first, while the handle still exists.
  std::unique_ptr<StatementWatchdog> watchdog_;
  OdbcResultReader reader_;
  size_t fetched_ = 0;
  bool done_ = false;
};

OdbcConnection::OdbcConnection(OdbcEnvironmentPtr env, OdbcLinkPtr link, std::string password)
    : env_(std::move(env)), link_(std::move(link)), password_(std::move(password)) {
  char16_t buffer[128] = {};
  SQLSMALLINT length = 0;
  if (Succeeded(SQLGetInfoW(link_.get(), SQL_DBMS_NAME, buffer, sizeof buffer - 2, &length))) {
    AppendUtf8(buffer, std::min<size_t>(static_cast<size_t>(length) / 2, 127), dbms_name_);
  }
  std::fill(std::begin(buffer), std::end(buffer), 0);
  if (Succeeded(SQLGetInfoW(link_.get(), SQL_IDENTIFIER_QUOTE_CHAR, buffer, sizeof buffer - 2,
                            &length))) {
    std::string quote;
    AppendUtf8(buffer, std::min<size_t>(static_cast<size_t>(length) / 2, 127), quote);
    // A blank means the driver has no quoting; keep the standard quote.
    if (quote.size() == 1 && quote != " ") quote_ = quote;
  }
}

OdbcStatementPtr OdbcConnection::NewStatement(int32_t timeout_seconds) {
  SQLHANDLE stmt = nullptr;
  if (!Succeeded(SQLAllocHandle(SQL_HANDLE_STMT, link_.get(), &stmt))) {
    Fail(SQL_HANDLE_DBC, link_.get(), kErrDataFailed);
  }
  OdbcStatementPtr owned(stmt);
  cancelled_ = false;  // a cancel belongs to the statement it stopped
  if (auto deadline = RequestDeadline(timeout_seconds)) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        *deadline - std::chrono::steady_clock::now());
    // Whole seconds, rounded up: a deadline already passed still gets the
    // shortest limit the driver knows rather than none.
    SQLULEN seconds = static_cast<SQLULEN>(std::max<int64_t>(1, (left.count() + 999) / 1000));
    // Ignoring errors on purpose: a driver without query timeouts runs the
    // statement unbounded, as the engine would.
    SQLSetStmtAttr(stmt, SQL_ATTR_QUERY_TIMEOUT, reinterpret_cast<SQLPOINTER>(seconds), 0);
  }
  return owned;
}

std::unique_ptr<StatementWatchdog> OdbcConnection::Watch(SQLHSTMT stmt, int32_t timeout_seconds) {
  cancelled_ = false;
  auto deadline = RequestDeadline(timeout_seconds);
  if (!deadline) return nullptr;
  return std::make_unique<StatementWatchdog>(stmt, *deadline, cancelled_);
}

Error OdbcConnection::Failure(SQLSMALLINT handle_type, SQLHANDLE handle, int32_t number) {
  std::vector<Diagnostic> records = Diagnose(handle_type, handle);
  std::string message;
  std::string state = records.empty() ? "" : records.front().state;
  for (const Diagnostic& d : records) {
    if (d.message.empty() || message.find(d.message) != std::string::npos) continue;
    if (!message.empty()) message.push_back(' ');
    message.append(d.message);
  }
  if (message.empty()) message = "The ODBC driver reported an error without a message";
  message = MaskPasswords(message, password_);
  if (state == "HYT00" || state == "HYT01" || state == "57014" || cancelled_) {
    return Error(kErrDataTimeout, "Query timeout expired", kOdbcSource);
  }
  if (state.starts_with("08")) {
    lost_ = true;
    return Error(kErrDataFailed, "Connection lost: " + message, kOdbcSource);
  }
  return Error(number, message, kOdbcSource);
}

std::string OdbcConnection::QuoteName(const std::vector<std::string>& parts) const {
  std::string out;
  for (const std::string& part : parts) {
    if (!out.empty()) out.push_back('.');
    // A plain name stays bare so that the engine folds its case as it
    // folded the name when the object was made ("Orders" finds orders on
    // PostgreSQL); only names that need it are quoted.
    bool plain = !part.empty() && !(part[0] >= '0' && part[0] <= '9');
    for (char c : part) {
      plain = plain && ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                        (c >= '0' && c <= '9') || c == '_');
    }
    if (plain) {
      out.append(part);
      continue;
    }
    out.append(quote_);
    for (char c : part) {
      out.push_back(c);
      if (quote_.size() == 1 && c == quote_[0]) out.push_back(c);
    }
    out.append(quote_);
  }
  return out;
}

std::string OdbcConnection::RequestSql(const ExecuteRequest& request,
                                       std::vector<const Parameter*>& bound) {
  switch (request.kind) {
    case CommandKind::kText:
      for (const Parameter& p : request.parameters) bound.push_back(&p);
      return std::string(request.text);
    case CommandKind::kTable: {
      auto parts = SplitObjectName(request.text);
      if (!parts) {
        throw Error(kErrDataInvalidArgument, "Not a table name: " + std::string(request.text),
                    kOdbcSource);
      }
      return "SELECT * FROM " + QuoteName(*parts);
    }
    case CommandKind::kStoredProcedure: {
      auto parts = SplitObjectName(request.text);
      if (!parts) {
        throw Error(kErrDataInvalidArgument, "Not a procedure name: " + std::string(request.text),
                    kOdbcSource);
      }
      // Parameters go in the procedure's order, matched by name (a leading
      // "@" dropped, case ignored); without names, in the order given.
      std::optional<std::vector<Parameter>> declared = ReadProcedureColumns(*parts);
      auto bare = [](std::string_view name) {
        return std::string(name.starts_with("@") ? name.substr(1) : name);
      };
      bool by_name = declared.has_value() && !declared->empty();
      for (const Parameter& p : request.parameters) by_name = by_name && !p.Name().empty();
      if (by_name) {
        for (const Parameter& d : *declared) {
          for (const Parameter& p : request.parameters) {
            if (EqualsIgnoreCase(bare(p.Name()), bare(d.Name()))) {
              bound.push_back(&p);
              break;
            }
          }
        }
      } else {
        for (const Parameter& p : request.parameters) bound.push_back(&p);
      }
      std::string sql = "{call " + QuoteName(*parts) + "(";
      for (size_t i = 0; i < bound.size(); ++i) sql.append(i == 0 ? "?" : ", ?");
      return sql + ")}";
    }
  }
  return std::string(request.text);
}

void OdbcConnection::Start(SQLHSTMT stmt, const ExecuteRequest& request) {
  std::vector<const Parameter*> bound;
  std::u16string sql = ToWide(RequestSql(request, bound));
  // The values bound, kept until the statement has run.
  std::vector<std::u16string> texts(bound.size());
  std::vector<std::string> blobs(bound.size());
  std::vector<SQLBIGINT> integers(bound.size());
  std::vector<double> reals(bound.size());
  std::vector<SQLLEN> lengths(bound.size());
  for (size_t i = 0; i < bound.size(); ++i) {
    const Variant& v = bound[i]->Value();
    SQLUSMALLINT number = static_cast<SQLUSMALLINT>(i + 1);
    SQLRETURN r;
    if (v.IsNull() || v.IsEmpty()) {
      lengths[i] = SQL_NULL_DATA;
      r = SQLBindParameter(stmt, number, SQL_PARAM_INPUT, SQL_C_WCHAR, SQL_WVARCHAR, 1, 0, nullptr,
                           0, &lengths[i]);
    } else if (v.IsBinary()) {
      blobs[i] = v.Bytes();
      lengths[i] = static_cast<SQLLEN>(blobs[i].size());
      r = SQLBindParameter(stmt, number, SQL_PARAM_INPUT, SQL_C_BINARY, SQL_VARBINARY,
                           std::max<SQLULEN>(1, blobs[i].size()), 0, blobs[i].data(), lengths[i],
                           &lengths[i]);
    } else if (v.type() == VarType::kInteger || v.type() == VarType::kLong ||
               v.type() == VarType::kByte || v.type() == VarType::kLongLong) {
      integers[i] = v.AsInt64();
      r = SQLBindParameter(stmt, number, SQL_PARAM_INPUT, SQL_C_SBIGINT, SQL_BIGINT, 0, 0,
                           &integers[i], 0, nullptr);
    } else if (v.type() == VarType::kBoolean) {
      integers[i] = v.AsInt64() != 0 ? 1 : 0;
      r = SQLBindParameter(stmt, number, SQL_PARAM_INPUT, SQL_C_SBIGINT, SQL_BIT, 1, 0,
                           &integers[i], 0, nullptr);
    } else if (v.type() == VarType::kDouble || v.type() == VarType::kSingle ||
               v.type() == VarType::kDecimal) {
      reals[i] = v.AsDouble();
      r = SQLBindParameter(stmt, number, SQL_PARAM_INPUT, SQL_C_DOUBLE, SQL_DOUBLE, 0, 0, &reals[i],
                           0, nullptr);
    } else {
      // Everything else as text, which every engine converts.
      texts[i] = ToWide(v.type() == VarType::kDate ? FormatIsoDate(v.AsDouble()) : v.AsString());
      lengths[i] = static_cast<SQLLEN>(texts[i].size() * sizeof(char16_t));
      r = SQLBindParameter(stmt, number, SQL_PARAM_INPUT, SQL_C_WCHAR, SQL_WVARCHAR,
                           std::max<SQLULEN>(1, texts[i].size()), 0, texts[i].data(), lengths[i],
                           &lengths[i]);
    }
    if (!Succeeded(r)) Fail(SQL_HANDLE_STMT, stmt, kErrDataCommandFailed);
  }
  SQLRETURN r = SQLExecDirectW(stmt, WideArg(sql), static_cast<SQLINTEGER>(sql.size()));
  // SQL_NO_DATA: a statement that changed no rows.
  if (!Succeeded(r) && r != SQL_NO_DATA) Fail(SQL_HANDLE_STMT, stmt, kErrDataCommandFailed);
}

ExecuteResult OdbcConnection::Execute(const ExecuteRequest& request) {
  OdbcStatementPtr stmt = NewStatement(request.timeout_seconds);
  std::unique_ptr<StatementWatchdog> watchdog = Watch(stmt.get(), request.timeout_seconds);
  if (request.max_records > 0) {
    // Ignoring errors on purpose: the fetch below stops at the limit too.
    SQLSetStmtAttr(stmt.get(), SQL_ATTR_MAX_ROWS,
                   reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(request.max_records)), 0);
  }
  Start(stmt.get(), request);
  ExecuteResult result;
  int64_t affected = 0;
  bool changed = false;
  for (;;) {
    SQLSMALLINT count = 0;
    if (!Succeeded(SQLNumResultCols(stmt.get(), &count))) {
      Fail(SQL_HANDLE_STMT, stmt.get(), kErrDataCommandFailed);
    }
    if (count > 0 && !result.rows) {
      OdbcResultReader reader(*this, stmt.get());
      reader.Describe(count);
      std::unique_ptr<RowSet> rows = reader.NewRowSet();
      size_t fetched = 0;
      while ((request.max_records <= 0 || static_cast<int64_t>(fetched) < request.max_records) &&
             reader.FetchRow(*rows, fetched)) {
        ++fetched;
      }
      rows->row_count = fetched;
      rows->Trim();
      result.rows = std::move(rows);
    } else if (count == 0) {
      SQLLEN rows = -1;
      if (Succeeded(SQLRowCount(stmt.get(), &rows)) && rows >= 0) {
        affected += rows;
        changed = true;
      }
    }
    SQLRETURN r = SQLMoreResults(stmt.get());
    if (r == SQL_NO_DATA) break;
    if (!Succeeded(r)) Fail(SQL_HANDLE_STMT, stmt.get(), kErrDataCommandFailed);
  }
  result.records_affected = changed ? affected : -1;
  return result;
}

std::unique_ptr<RowCursor> OdbcConnection::OpenCursor(const ExecuteRequest& request) {
  if (request.kind == CommandKind::kStoredProcedure || request.max_records > 0) {
    return DriverConnection::OpenCursor(request);
  }
  OdbcStatementPtr stmt = NewStatement(request.timeout_seconds);
  SQLHSTMT handle = stmt.get();
  // The cursor (and its watchdog) first, so that the whole read is bounded.
  auto cursor = std::make_unique<OdbcCursor>(*this, std::move(stmt), request.timeout_seconds);
  Start(handle, request);
  if (!cursor->Start()) return nullptr;
  return cursor;
}

std::unique_ptr<DriverConnection> OpenOdbc(const OpenSettings& settings) {
  std::string text = OdbcConnectionText(settings.options.text(), SqlServerOdbcDriver());
  std::string password = settings.options.Get({"Password", "PWD"});
  if (!settings.user.empty() || !settings.password.empty()) {
    // Open's arguments replace the string's: ODBC drivers take the first
    // of a repeated key, so the old ones go.
    std::vector<OdbcAttribute> attributes = SplitOdbcString(text);
    auto drop = [&attributes](std::initializer_list<std::string_view> keys) {
      std::erase_if(attributes, [keys](const OdbcAttribute& a) {
        for (std::string_view k : keys) {
          if (EqualsIgnoreCase(a.key, k)) return true;
        }
        return false;
      });
    };
    if (!settings.user.empty()) {
      drop({"UID", "User", "User ID"});
      attributes.push_back({"UID", settings.user});
    }
    if (!settings.password.empty()) {
      drop({"PWD", "Password"});
      attributes.push_back({"PWD", settings.password});
      password = settings.password;
    }
    text = JoinOdbcString(attributes);
  }

  SQLHANDLE env = nullptr;
  if (!Succeeded(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env))) {
    throw Error(kErrDataFailed, "The ODBC driver manager could not be started", kOdbcSource);
  }
  OdbcEnvironmentPtr owned_env(env);
  SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
  SQLHANDLE dbc = nullptr;
  if (!Succeeded(SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc))) {
    throw Error(kErrDataFailed, "The ODBC driver manager could not make a connection", kOdbcSource);
  }
  // Freed, not disconnected, until the connection is made.
  struct LinkFreer {
    void operator()(void* h) const { SQLFreeHandle(SQL_HANDLE_DBC, h); }
  };
  std::unique_ptr<void, LinkFreer> pending(dbc);
  int32_t timeout = settings.connection_timeout;
  if (auto given = settings.options.Find({"Connect Timeout", "Connection Timeout"})) {
    int64_t v;
    if (ParseInteger(TrimBlanks(*given), v) && v >= 0 && v <= INT32_MAX) {
      timeout = static_cast<int32_t>(v);
    }
  }
  if (timeout > 0) {
    SQLSetConnectAttr(dbc, SQL_ATTR_LOGIN_TIMEOUT,
                      reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(timeout)), 0);
  }
  std::u16string wide = ToWide(text);
  SQLRETURN r =
      SQLDriverConnectW(dbc, nullptr, WideArg(wide), static_cast<SQLSMALLINT>(wide.size()), nullptr,
                        0, nullptr, SQL_DRIVER_NOPROMPT);
  if (!Succeeded(r)) {
    std::vector<Diagnostic> records = Diagnose(SQL_HANDLE_DBC, dbc);
    std::string message;
    for (const Diagnostic& d : records) {
      if (d.message.empty() || message.find(d.message) != std::string::npos) continue;
      if (!message.empty()) message.push_back(' ');
      message.append(d.message);
    }
    if (message.empty()) message = "The ODBC data source could not be opened";
    throw Error(kErrDataFailed, MaskPasswords(message, password), kOdbcSource);
  }
  OdbcLinkPtr link(pending.release());
  return std::make_unique<OdbcConnection>(std::move(owned_env), std::move(link),
                                          std::move(password));
}

bool ClaimsOdbc(const ConnectionString& options) {
  return options.Find({"DSN", "FileDSN", "Driver"}).has_value();
}

}  // namespace fennick::data
