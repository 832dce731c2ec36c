// The connection API: Fennick's database access in the shape pages know.
//
// A Connection opens a database from a "Key=Value;" connection string and
// runs statements; a Recordset holds a result, every row fetched at once
// into compact column storage, and is read with a cursor (EOF, MoveNext,
// Fields); a Command runs a statement or a stored procedure with
// parameters; a Catalog lists tables, views, procedures and procedure
// parameters. Field types are ADO type codes (kAdInteger, kAdVarChar, ...),
// values are Variants.
//
// Providers: "Provider=SQLite;Data Source=file.db" (the embedded default,
// also taken when no Provider is named; a relative path is taken from the
// site root of the running page, or the current folder with no page
// running; ":memory:" is a private in-memory database; "Mode=Read" opens
// read-only, and a missing file is created only with
// "Mode=ReadWriteCreate"), "Provider=PostgreSQL;Host=...;Port=...;
// Database=...;User ID=...;Password=..." (Host may be a Unix-socket
// folder), "Provider=MySQL;Server=...;Port=...;Database=...;Uid=...;
// Pwd=..." for MySQL and MariaDB (also reached through the historic
// "Driver={MySQL ODBC 8.0 Driver};Server=...;User=...;Password=..." with
// no Provider). Any other ODBC data source opens through unixODBC: an ODBC
// string ("DSN=...", "Driver={...};..."; no Provider or Provider=MSDASQL,
// the latter even when it names a MySQL driver), and SQL Server's OLE DB
// strings (Provider=SQLOLEDB, SQLNCLI*, MSOLEDBSQL), which are rewritten
// for an ODBC driver of SQL Server (SetSqlServerOdbcDriver). A password
// never appears in an error message.
//
// Links to the database are reused: when a connection closes (or goes),
// its link is readied for the next page and kept, and the next Open of
// the same SQLite file and mode on the same thread, or of the same server
// connection string (user and password included) on any thread, takes it.
// Readying puts the session back as a new link has it, so temporary
// tables, SET values, variables and open transactions never pass from one
// page to the next; a link left in a transaction, lost, or (SQLite)
// broken off by an error or holding session changes is closed instead.
// FENNICK_DB_POOL_SIZE (default 8; 0 turns reuse off) bounds the idle
// links kept per server string and per thread for SQLite, and
// FENNICK_DB_POOL_IDLE_SECONDS (default 60) closes those idle longer.
// In-memory SQLite databases and ODBC sources are never reused.
//
// The classes are shaped for the late-bound objects scripts will drive
// (rs.Fields("x").Value): members carry the published names, a Field reads
// whatever row is current, and nothing here depends on a page running.
//
// Every failure is a fennick::Error: the engine's own message for database
// errors, with the numbers below. None of these classes is thread-safe: a
// connection and what it returns belong to one page at a time.
#ifndef FENNICK_DATA_H_
#define FENNICK_DATA_H_

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "fennick/error.h"
#include "fennick/variant.h"

namespace fennick {

// Field and parameter types (ADO DataTypeEnum).
inline constexpr int32_t kAdEmpty = 0;
inline constexpr int32_t kAdSmallInt = 2;
inline constexpr int32_t kAdInteger = 3;
inline constexpr int32_t kAdSingle = 4;
inline constexpr int32_t kAdDouble = 5;
inline constexpr int32_t kAdCurrency = 6;
inline constexpr int32_t kAdDate = 7;
inline constexpr int32_t kAdBoolean = 11;
inline constexpr int32_t kAdDecimal = 14;
inline constexpr int32_t kAdTinyInt = 16;
inline constexpr int32_t kAdUnsignedTinyInt = 17;
inline constexpr int32_t kAdBigInt = 20;
inline constexpr int32_t kAdGuid = 72;
inline constexpr int32_t kAdBinary = 128;
inline constexpr int32_t kAdChar = 129;
inline constexpr int32_t kAdWChar = 130;
inline constexpr int32_t kAdNumeric = 131;
inline constexpr int32_t kAdDBDate = 133;
inline constexpr int32_t kAdDBTime = 134;
inline constexpr int32_t kAdDBTimeStamp = 135;
inline constexpr int32_t kAdVarChar = 200;
inline constexpr int32_t kAdLongVarChar = 201;
inline constexpr int32_t kAdVarWChar = 202;
inline constexpr int32_t kAdLongVarWChar = 203;
inline constexpr int32_t kAdVarBinary = 204;
inline constexpr int32_t kAdLongVarBinary = 205;

// Object states.
inline constexpr int32_t kAdStateClosed = 0;
inline constexpr int32_t kAdStateOpen = 1;
// Cursor types, lock types and cursor locations. Every recordset is static
// and read-only whatever is asked; the values are kept for the pages.
inline constexpr int32_t kAdOpenForwardOnly = 0;
inline constexpr int32_t kAdOpenStatic = 3;
inline constexpr int32_t kAdLockReadOnly = 1;
inline constexpr int32_t kAdUseServer = 2;
inline constexpr int32_t kAdUseClient = 3;
// Command types (also the low bits of Execute and Open options).
inline constexpr int32_t kAdCmdUnspecified = -1;
inline constexpr int32_t kAdCmdText = 1;
inline constexpr int32_t kAdCmdTable = 2;
inline constexpr int32_t kAdCmdStoredProc = 4;
inline constexpr int32_t kAdCmdUnknown = 8;
// Parameter directions.
inline constexpr int32_t kAdParamInput = 1;
inline constexpr int32_t kAdParamOutput = 2;
inline constexpr int32_t kAdParamInputOutput = 3;
inline constexpr int32_t kAdParamReturnValue = 4;
// GetString format.
inline constexpr int32_t kAdClipString = 2;

// Error numbers. Database errors carry the engine's message as description
// and the provider ("SQLite", "PostgreSQL") as source.
inline constexpr int32_t kErrDataInvalidArgument = 3001;  // bad filter, sort, argument
inline constexpr int32_t kErrDataNoCurrentRecord = 3021;  // at BOF or EOF
inline constexpr int32_t kErrDataNotSupported = 3251;     // provider lacks the feature
inline constexpr int32_t kErrDataItemNotFound = 3265;     // unknown field or parameter
inline constexpr int32_t kErrDataObjectClosed = 3704;
inline constexpr int32_t kErrDataObjectOpen = 3705;
inline constexpr int32_t kErrDataProviderNotFound = 3706;
inline constexpr int32_t kErrDataNoConnection = 3709;
inline constexpr int32_t kErrDataFailed = -2147467259;         // open failed, connection lost
inline constexpr int32_t kErrDataCommandFailed = -2147217900;  // the engine refused a statement
inline constexpr int32_t kErrDataTimeout = -2147217871;        // CommandTimeout expired

// The error a statement raises when the engine fails after its rows have
// begun to arrive (a value that overflows in a later row, say): the
// statement was accepted, reading its result was not. It carries the
// engine's number and message like any other database error, so a handler
// for Error sees no difference; one that cares may tell it apart. The rows
// read before the failure are dropped.
class FetchError : public Error {
 public:
  using Error::Error;
};

namespace data {
struct ConnectionState;
struct CursorState;
struct RecordsetState;
}  // namespace data

class Connection;
class Command;
class Cursor;

// One column of a recordset, seen at the recordset's current row. A Field
// borrows its recordset: it stays valid while the recordset lives (moving
// the recordset keeps it valid) and reads whatever row is current when
// Value is called.
class Field {
 public:
  const std::string& Name() const;
  // The ADO type code (see the type table of the data layer).
  int32_t Type() const;
  // Declared length of text and binary columns; the byte size of fixed
  // types; 2147483647 for unbounded text and binary.
  int32_t DefinedSize() const;
  // Byte length of the current value (0 for Null).
  int32_t ActualSize() const;
  uint8_t Precision() const;
  uint8_t NumericScale() const;
  // The current row's value. Raises kErrDataNoCurrentRecord at BOF or EOF.
  Variant Value() const;
  bool IsNull() const;
  // The next `length` bytes of a text or binary value: successive calls
  // continue where the last stopped, until moving to another row, reading
  // a value whole, or reading another field's chunks starts over. Null when nothing is left or the
  // value is Null. Text gives a String, anything else Binary.
  Variant GetChunk(int32_t length) const;
  // The table the column comes from, when the engine knows it ("" for
  // expressions).
  const std::string& BaseTableName() const;

 private:
  friend class Recordset;
  Field(data::RecordsetState* state, size_t index) : state_(state), index_(index) {}
  data::RecordsetState* state_;
  size_t index_;
};

// A static, read-only result: every row is fetched when it opens. Sort and
// Filter work on the fetched rows. Non-copyable, movable; a moved-from
// recordset may only be assigned to or destroyed.
class Recordset {
 public:
  Recordset();
  ~Recordset();
  Recordset(Recordset&&) noexcept;
  Recordset& operator=(Recordset&&) noexcept;
  Recordset(const Recordset&) = delete;
  Recordset& operator=(const Recordset&) = delete;

  // Runs `source` on an open connection: an SQL text, a table or view name,
  // or a procedure name (options kAdCmdTable, kAdCmdStoredProc; with -1 a
  // bare name is looked up in the catalogue). Cursor and lock types are
  // accepted and ignored. Raises kErrDataObjectOpen when already open, and
  // whatever the engine raises (the recordset then stays closed).
  void Open(std::string_view source, Connection& connection, int32_t cursor_type = -1,
            int32_t lock_type = -1, int32_t options = -1);
  // As above on a connection opened from `connection_string` for this call.
  void Open(std::string_view source, std::string_view connection_string, int32_t cursor_type = -1,
            int32_t lock_type = -1, int32_t options = -1);
  // Runs the command (its text, type and parameters).
  void Open(Command& command, int32_t cursor_type = -1, int32_t lock_type = -1);
  void Close();
  int32_t State() const;

  // EOF and BOF (EOF is a C macro, hence the names). Both are true on an
  // empty result.
  bool Eof() const;
  bool Bof() const;
  void MoveFirst();
  void MoveLast();
  // Raise kErrDataNoCurrentRecord when already at EOF (BOF).
  void MoveNext();
  void MovePrevious();
  void Move(int32_t rows);
  // The rows visible through the filter.
  int32_t RecordCount() const;
  // 1-based position of the current row; -3 at EOF, -2 at BOF.
  int32_t AbsolutePosition() const;
  void AbsolutePosition(int32_t position);

  size_t FieldCount() const;
  // Raise kErrDataItemNotFound for an index out of range or an unknown name
  // (names are matched ignoring case).
  Field Fields(size_t index);
  Field Fields(std::string_view name);

  // Up to `rows` rows (-1: all) from the current one, as [column][row];
  // the cursor moves past them. At EOF every column is empty.
  std::vector<std::vector<Variant>> GetRows(int32_t rows = -1);
  // Up to `rows` rows from the current one as text: values in their
  // invariant text form joined by `column_delimiter`, `row_delimiter`
  // after every row (the last one included), `null_expr` for Null. The
  // cursor moves past them. At EOF the text is empty. Only the clip format
  // (2) exists.
  std::string GetString(int32_t format = kAdClipString, int32_t rows = -1,
                        std::string_view column_delimiter = "\t",
                        std::string_view row_delimiter = "\r", std::string_view null_expr = "");

  // Row limit applied when the recordset opens (0: none).
  int32_t MaxRecords() const;
  void MaxRecords(int32_t value);
  int32_t CursorLocation() const;
  void CursorLocation(int32_t value);
  int32_t CursorType() const;
  int32_t LockType() const;

  // Client-side order: "name [ASC|DESC], name2 ..." ("" restores the
  // fetched order). Raises kErrDataInvalidArgument for a malformed list and
  // kErrDataItemNotFound for an unknown field; the old order then stays.
  const std::string& Sort() const;
  void Sort(std::string_view order);
  // Client-side filter in the filter grammar of the data layer: field
  // comparisons (= <> < > <= >= LIKE, IS [NOT] NULL) joined by AND, OR,
  // NOT and parentheses; strings in single quotes, dates in # or quotes,
  // LIKE with % or * wildcards. Text compares ignoring case. "" removes the
  // filter. Raises kErrDataInvalidArgument for a filter that does not parse
  // or names an unknown field; the old filter then stays. The cursor moves
  // to the first visible row.
  const std::string& Filter() const;
  void Filter(std::string_view filter);
  // Turns the fetched rows around, the last first, as if the database had
  // returned them so (a page read from the far end of its order shows in
  // the order's direction). Clears Sort and Filter and moves to the first
  // row.
  void ReverseRows();

 private:
  friend class Connection;
  friend class Command;
  friend class Cursor;
  explicit Recordset(std::unique_ptr<data::RecordsetState> state);
  data::RecordsetState& OpenState() const;
  std::unique_ptr<data::RecordsetState> state_;
};

// A result read forward only, from Connection::OpenCursor. It keeps the
// database link it reads from alive until it is destroyed, even when its
// connection is closed or destroyed first, so it may outlive the page
// objects that opened it. Movable, not copyable; not thread-safe.
class Cursor {
 public:
  ~Cursor();
  Cursor(Cursor&&) noexcept;
  Cursor& operator=(Cursor&&) noexcept;
  Cursor(const Cursor&) = delete;
  Cursor& operator=(const Cursor&) = delete;

  // The next rows, at most `max_rows` (at least 1), as an open recordset
  // positioned on its first row. Once the result is exhausted (or when the
  // command returned no result with columns) the recordset has no rows.
  // Raises FetchError when reading the result fails after it started, and
  // the engine's other errors as Execute does.
  Recordset Next(size_t max_rows);

 private:
  friend class Connection;
  explicit Cursor(std::unique_ptr<data::CursorState> state);
  std::unique_ptr<data::CursorState> state_;
};

// A database connection. Non-copyable, movable; a moved-from connection
// may only be assigned to or destroyed.
class Connection {
 public:
  Connection();
  ~Connection();
  Connection(Connection&&) noexcept;
  Connection& operator=(Connection&&) noexcept;
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  // Opens the database named by `connection_string` (or by ConnectionString
  // when empty). A non-empty user or password overrides the string's.
  // Raises kErrDataProviderNotFound for a provider Fennick cannot open
  // (the message lists those it can), kErrDataFailed with the engine's
  // message when the database cannot be opened, kErrDataObjectOpen when
  // already open.
  void Open(std::string_view connection_string = {}, std::string_view user = {},
            std::string_view password = {}, int32_t options = -1);
  // Closes the connection; recordsets already returned stay readable. Its
  // link is kept for reuse or closed (see above) once open cursors are
  // done with it.
  void Close();
  int32_t State() const;

  // Runs a command text (options as Recordset::Open). Returns the first
  // result that has columns, or a closed recordset for statements without
  // rows; `records_affected` receives the count of changed rows (-1 when
  // unknown). Raises kErrDataNoConnection when closed; kErrDataCommandFailed,
  // kErrDataTimeout or kErrDataFailed with the engine's message. After a
  // lost server connection the connection is closed; otherwise it stays
  // open and usable.
  Recordset Execute(std::string_view command_text, int64_t* records_affected = nullptr,
                    int32_t options = -1);
  // Runs a command text as Execute does, but reads its first result with
  // columns forward only, a batch at a time (see Cursor), so a result of
  // any size needs memory for one batch. Raises as Execute; errors of
  // later rows come from Cursor::Next. The connection runs nothing else
  // while the cursor is in use.
  Cursor OpenCursor(std::string_view command_text, int32_t options = -1);

  const std::string& ConnectionString() const;
  void ConnectionString(std::string_view value);
  // Seconds a statement may run, fetching included; 0 waits forever.
  // Default 30.
  int32_t CommandTimeout() const;
  void CommandTimeout(int32_t seconds);
  // Seconds to wait for a server when opening. Default 15.
  int32_t ConnectionTimeout() const;
  void ConnectionTimeout(int32_t seconds);
  // The provider's name ("SQLite", "PostgreSQL", "MySQL", "ODBC"); "" while
  // closed.
  const std::string& Provider() const;
  // The database product behind the connection as its driver names it
  // ("PostgreSQL", "Microsoft SQL Server"; an ODBC driver's DBMS name);
  // "" while closed.
  std::string DbmsName() const;
  // Whether the server reads a backslash in a string literal as an escape
  // character, so that SQL written for it must double backslashes: on
  // MySQL unless the session's SQL mode has NO_BACKSLASH_ESCAPES (followed
  // as the session changes it). nullopt while closed or when the driver
  // cannot tell.
  std::optional<bool> BackslashEscapes() const;
  // Whether a transaction is open on the connection (one the page began
  // with BEGIN); nullopt while closed or when the provider cannot tell.
  std::optional<bool> InTransaction() const;

 private:
  friend class Recordset;
  friend class Command;
  friend class Catalog;
  data::ConnectionState& OpenState() const;
  std::unique_ptr<data::ConnectionState> state_;
};

// A command parameter.
class Parameter {
 public:
  Parameter() = default;
  Parameter(std::string name, int32_t type, int32_t direction, int32_t size, Variant value)
      : name_(std::move(name)),
        type_(type),
        direction_(direction),
        size_(size),
        value_(std::move(value)) {}

  const std::string& Name() const { return name_; }
  void Name(std::string_view value) { name_ = value; }
  int32_t Type() const { return type_; }
  void Type(int32_t value) { type_ = value; }
  int32_t Direction() const { return direction_; }
  void Direction(int32_t value) { direction_ = value; }
  int32_t Size() const { return size_; }
  void Size(int32_t value) { size_ = value; }
  const Variant& Value() const { return value_; }
  void Value(Variant value) { value_ = std::move(value); }

 private:
  std::string name_;
  int32_t type_ = kAdVarChar;
  int32_t direction_ = kAdParamInput;
  int32_t size_ = 0;
  Variant value_;
};

// A statement or stored procedure with parameters. The command borrows its
// connection, which must outlive it. Non-copyable, movable.
//
// A stored procedure (CommandType kAdCmdStoredProc) is called with its
// input parameters by name (a leading "@" is dropped); on PostgreSQL a
// function returning rows is called as "SELECT * FROM f(name => value)" and
// a procedure with CALL. A text command binds its parameters in order
// ("?", "$1") or, on SQLite, by name (":name", "@name").
class Command {
 public:
  Command() = default;
  explicit Command(Connection& connection) : connection_(&connection) {}
  Command(Command&&) noexcept = default;
  Command& operator=(Command&&) noexcept = default;
  Command(const Command&) = delete;
  Command& operator=(const Command&) = delete;

  Connection* ActiveConnection() const { return connection_; }
  void ActiveConnection(Connection& connection) { connection_ = &connection; }
  const std::string& CommandText() const { return text_; }
  void CommandText(std::string_view text) { text_ = text; }
  int32_t CommandType() const { return type_; }
  void CommandType(int32_t type) { type_ = type; }
  // Seconds; -1 (the default) takes the connection's CommandTimeout.
  int32_t CommandTimeout() const { return timeout_; }
  void CommandTimeout(int32_t seconds) { timeout_ = seconds; }

  Parameter CreateParameter(std::string_view name = {}, int32_t type = kAdVarChar,
                            int32_t direction = kAdParamInput, int32_t size = 0,
                            Variant value = Variant()) const;
  void AppendParameter(Parameter parameter);
  size_t ParameterCount() const { return parameters_.size(); }
  // Raise kErrDataItemNotFound for an unknown index or name.
  Parameter& Parameters(size_t index);
  Parameter& Parameters(std::string_view name);

  // Runs the command. Raises kErrDataNoConnection without an open
  // connection, kErrDataNotSupported for a procedure on an engine without
  // them, and what Connection::Execute raises.
  Recordset Execute(int64_t* records_affected = nullptr);

 private:
  friend class Recordset;
  Recordset Run(int64_t* records_affected, int32_t max_records);
  Connection* connection_ = nullptr;
  std::string text_;
  int32_t type_ = kAdCmdUnspecified;
  int32_t timeout_ = -1;
  std::vector<Parameter> parameters_;
};

enum class CatalogObjectType { kTable, kView, kProcedure };

struct CatalogObject {
  // The name to use in SQL: bare when the engine finds it without a schema,
  // else "schema.name".
  std::string name;
  CatalogObjectType type = CatalogObjectType::kTable;
};

// The primary key of a table.
struct TableKey {
  // Its columns in key order, spelled as the catalogue keeps them; empty
  // when the table has none.
  std::vector<std::string> columns;
  // SQLite: the key is the table's rowid (one INTEGER PRIMARY KEY column of
  // a rowid table), the order in which a plain scan reads the rows.
  bool is_rowid = false;
};

// The database catalogue of an open connection, which it borrows.
class Catalog {
 public:
  explicit Catalog(Connection& connection) : connection_(&connection) {}

  // Tables and views of the database, sorted by name (system objects left
  // out).
  std::vector<CatalogObject> Tables() const;
  // The stored procedures: on PostgreSQL the functions and procedures that
  // return rows; SQLite has none; through ODBC what the driver's
  // SQLProcedures lists, as "schema.name" when it gives a schema.
  std::vector<CatalogObject> Procedures() const;
  // The input parameters of a procedure in call order (name, type, size;
  // direction input or input-output). Raises kErrDataItemNotFound for an
  // unknown procedure.
  std::vector<Parameter> ProcedureParameters(std::string_view procedure) const;
  // A stored-procedure command on the connection with those parameters
  // appended, ready for their values.
  Command ProcedureCommand(std::string_view procedure) const;
  // The primary key of a table named as a page writes it ("Orders",
  // "sales.orders", "\"Order Details\""); no columns when it has none,
  // when the name names no table, or when the driver cannot tell. Raises
  // what the engine raises for its catalogue query.
  TableKey PrimaryKey(std::string_view table) const;

 private:
  Connection* connection_;
};

// The ODBC driver that SQL Server's OLE DB connection strings are rewritten
// for: "FreeTDS" (Debian's tdsodbc) unless set, or a name registered in
// odbcinst.ini such as "ODBC Driver 18 for SQL Server"; "" restores
// FreeTDS. Process-wide and thread-safe; connections opened afterwards use
// it.
void SetSqlServerOdbcDriver(std::string_view driver);

}  // namespace fennick

#endif  // FENNICK_DATA_H_
