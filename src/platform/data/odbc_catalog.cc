// The ODBC driver's catalogue: tables, views and procedures through
// SQLTables and SQLProcedures, procedure parameters through
// SQLProcedureColumns (see odbc_connection.h).
//
// Names come back as "schema.name" when the driver gives a schema (ODBC
// does not say which schema a bare name finds), else bare. The engines'
// own schemas (information_schema, pg_catalog, sys) are left out.
#include <algorithm>

#include "base/ascii.h"
#include "platform/data/object_name.h"
#include "platform/data/odbc_connection.h"
#include "platform/data/odbc_types.h"

namespace fennick::data {
namespace {

bool Succeeded(SQLRETURN r) { return r == SQL_SUCCESS || r == SQL_SUCCESS_WITH_INFO; }

// A text column of the current catalogue row; nullopt for Null.
std::optional<std::string> ColumnText(SQLHSTMT stmt, SQLUSMALLINT column) {
  std::string out;
  char16_t buffer[512];
  for (;;) {
    SQLLEN indicator = 0;
    SQLRETURN r = SQLGetData(stmt, column, SQL_C_WCHAR, buffer, sizeof buffer, &indicator);
    if (r == SQL_NO_DATA) break;
    if (!Succeeded(r)) return std::nullopt;
    if (indicator == SQL_NULL_DATA) return std::nullopt;
    const size_t room = 511;
    size_t chars = indicator == SQL_NO_TOTAL
                       ? room
                       : std::min(room, static_cast<size_t>(indicator) / sizeof(char16_t));
    AppendUtf8(buffer, chars, out);
    if (r == SQL_SUCCESS) break;
  }
  return out;
}

int64_t ColumnNumber(SQLHSTMT stmt, SQLUSMALLINT column) {
  SQLBIGINT value = 0;
  SQLLEN indicator = 0;
  SQLRETURN r = SQLGetData(stmt, column, SQL_C_SBIGINT, &value, 0, &indicator);
  if (!Succeeded(r) || indicator == SQL_NULL_DATA) return 0;
  return value;
}

bool IsSystemSchema(std::string_view schema) {
  return EqualsIgnoreCase(schema, "information_schema") || EqualsIgnoreCase(schema, "pg_catalog") ||
         EqualsIgnoreCase(schema, "sys");
}

// A catalogue pattern that matches `name` only: "_" and "%" escaped.
std::u16string Pattern(std::string_view name) {
  std::string out;
  for (char c : name) {
    if (c == '_' || c == '%' || c == '\\') out.push_back('\\');
    out.push_back(c);
  }
  return ToWide(out);
}

// SQL Server names procedures "name;1" (the procedure's number).
std::string ProcedureName(std::string name) {
  size_t semi = name.rfind(';');
  if (semi != std::string::npos) name.erase(semi);
  return name;
}

std::string Qualified(const std::optional<std::string>& schema, const std::string& name) {
  if (!schema || schema->empty()) return name;
  return *schema + "." + name;
}

// The spellings a name may be stored under: as written, folded to lower
// case (PostgreSQL) and to upper case (Oracle, DB2).
std::vector<std::string> Spellings(const std::string& name) {
  std::vector<std::string> out{name};
  for (std::string s : {AsciiLower(name), AsciiUpper(name)}) {
    if (std::find(out.begin(), out.end(), s) == out.end()) out.push_back(s);
  }
  return out;
}

}  // namespace

std::vector<CatalogObject> OdbcConnection::ListObjects(bool procedures) {
  OdbcStatementPtr stmt = NewStatement(30);
  std::vector<CatalogObject> out;
  if (procedures) {
    if (!Succeeded(SQLProceduresW(stmt.get(), nullptr, 0, nullptr, 0, nullptr, 0))) {
      Fail(SQL_HANDLE_STMT, stmt.get(), kErrDataCommandFailed);
    }
  } else {
    std::u16string types = u"TABLE,VIEW";
    if (!Succeeded(
            SQLTablesW(stmt.get(), nullptr, 0, nullptr, 0, nullptr, 0, WideArg(types), SQL_NTS))) {
      Fail(SQL_HANDLE_STMT, stmt.get(), kErrDataCommandFailed);
    }
  }
  for (;;) {
    SQLRETURN r = SQLFetch(stmt.get());
    if (r == SQL_NO_DATA) break;
    if (!Succeeded(r)) Fail(SQL_HANDLE_STMT, stmt.get(), kErrDataCommandFailed);
    std::optional<std::string> schema = ColumnText(stmt.get(), 2);
    std::optional<std::string> name = ColumnText(stmt.get(), 3);
    if (!name || (schema && IsSystemSchema(*schema))) continue;
    CatalogObject object;
    if (procedures) {
      object.name = Qualified(schema, ProcedureName(*name));
      object.type = CatalogObjectType::kProcedure;
    } else {
      std::optional<std::string> type = ColumnText(stmt.get(), 4);
      object.name = Qualified(schema, *name);
      object.type = type && EqualsIgnoreCase(*type, "VIEW") ? CatalogObjectType::kView
                                                            : CatalogObjectType::kTable;
    }
    out.push_back(std::move(object));
  }
  std::sort(out.begin(), out.end(), [](const CatalogObject& a, const CatalogObject& b) {
    return AsciiLower(a.name) < AsciiLower(b.name);
  });
  out.erase(
      std::unique(out.begin(), out.end(),
                  [](const CatalogObject& a, const CatalogObject& b) { return a.name == b.name; }),
      out.end());
  return out;
}

std::optional<CatalogObjectType> OdbcConnection::FindObject(std::string_view name) {
  auto parts = SplitObjectName(name);
  if (!parts || parts->empty() || parts->size() > 3) return std::nullopt;
  const std::string& object = parts->back();
  std::optional<std::string> schema;
  if (parts->size() >= 2) schema = (*parts)[parts->size() - 2];
  for (const std::string& spelling : Spellings(object)) {
    OdbcStatementPtr stmt = NewStatement(30);
    std::u16string pattern = Pattern(spelling);
    std::u16string schema_pattern = schema ? Pattern(*schema) : std::u16string();
    std::u16string types = u"TABLE,VIEW";
    if (!Succeeded(SQLTablesW(stmt.get(), nullptr, 0, schema ? WideArg(schema_pattern) : nullptr,
                              schema ? SQL_NTS : 0, WideArg(pattern), SQL_NTS, WideArg(types),
                              SQL_NTS))) {
      Fail(SQL_HANDLE_STMT, stmt.get(), kErrDataCommandFailed);
    }
    if (Succeeded(SQLFetch(stmt.get()))) {
      std::optional<std::string> type = ColumnText(stmt.get(), 4);
      return type && EqualsIgnoreCase(*type, "VIEW") ? CatalogObjectType::kView
                                                     : CatalogObjectType::kTable;
    }
    stmt = NewStatement(30);
    if (!Succeeded(SQLProceduresW(stmt.get(), nullptr, 0,
                                  schema ? WideArg(schema_pattern) : nullptr, schema ? SQL_NTS : 0,
                                  WideArg(pattern), SQL_NTS))) {
      Fail(SQL_HANDLE_STMT, stmt.get(), kErrDataCommandFailed);
    }
    if (Succeeded(SQLFetch(stmt.get()))) return CatalogObjectType::kProcedure;
  }
  return std::nullopt;
}

// SQLPrimaryKeys takes names, not patterns; the table is tried under
// each spelling it may be stored under, the first that has a key wins.
TableKey OdbcConnection::PrimaryKey(std::string_view table) {
  TableKey key;
  auto parts = SplitObjectName(table);
  if (!parts || parts->empty() || parts->size() > 3) return key;
  std::optional<std::u16string> schema;
  if (parts->size() >= 2) schema = ToWide((*parts)[parts->size() - 2]);
  for (const std::string& spelling : Spellings(parts->back())) {
    OdbcStatementPtr stmt = NewStatement(30);
    std::u16string name = ToWide(spelling);
    if (!Succeeded(SQLPrimaryKeysW(stmt.get(), nullptr, 0, schema ? WideArg(*schema) : nullptr,
                                   schema ? SQL_NTS : 0, WideArg(name), SQL_NTS))) {
      Fail(SQL_HANDLE_STMT, stmt.get(), kErrDataCommandFailed);
    }
    // Rows come ordered by table, then KEY_SEQ.
    while (Succeeded(SQLFetch(stmt.get()))) {
      if (std::optional<std::string> column = ColumnText(stmt.get(), 4)) {
        key.columns.push_back(std::move(*column));
      }
    }
    if (!key.columns.empty()) break;
  }
  return key;
}

std::optional<std::vector<Parameter>> OdbcConnection::ProcedureParameters(std::string_view name) {
  auto parts = SplitObjectName(name);
  if (!parts || parts->empty()) return std::nullopt;
  return ReadProcedureColumns(*parts);
}

std::optional<std::vector<Parameter>> OdbcConnection::ReadProcedureColumns(
    const std::vector<std::string>& parts) {
  std::optional<std::string> schema;
  if (parts.size() >= 2) schema = parts[parts.size() - 2];
  for (const std::string& spelling : Spellings(parts.back())) {
    std::u16string pattern = Pattern(spelling);
    std::u16string schema_pattern = schema ? Pattern(*schema) : std::u16string();
    OdbcStatementPtr exists = NewStatement(30);
    if (!Succeeded(SQLProceduresW(exists.get(), nullptr, 0,
                                  schema ? WideArg(schema_pattern) : nullptr, schema ? SQL_NTS : 0,
                                  WideArg(pattern), SQL_NTS)) ||
        !Succeeded(SQLFetch(exists.get()))) {
      continue;
    }
    exists.reset();
    OdbcStatementPtr stmt = NewStatement(30);
    if (!Succeeded(
            SQLProcedureColumnsW(stmt.get(), nullptr, 0, schema ? WideArg(schema_pattern) : nullptr,
                                 schema ? SQL_NTS : 0, WideArg(pattern), SQL_NTS, nullptr, 0))) {
      Fail(SQL_HANDLE_STMT, stmt.get(), kErrDataCommandFailed);
    }
    std::vector<Parameter> out;
    for (;;) {
      SQLRETURN r = SQLFetch(stmt.get());
      if (r == SQL_NO_DATA) break;
      if (!Succeeded(r)) Fail(SQL_HANDLE_STMT, stmt.get(), kErrDataCommandFailed);
      std::string column = ColumnText(stmt.get(), 4).value_or("");
      int64_t kind = ColumnNumber(stmt.get(), 5);
      int64_t sql_type = ColumnNumber(stmt.get(), 6);
      std::string type_name = ColumnText(stmt.get(), 7).value_or("");
      int64_t size = ColumnNumber(stmt.get(), 8);
      int64_t digits = ColumnNumber(stmt.get(), 10);
      if (kind != SQL_PARAM_INPUT && kind != SQL_PARAM_INPUT_OUTPUT) continue;
      if (column.starts_with("@")) column.erase(0, 1);
      TypeInfo type =
          OdbcType(static_cast<int>(sql_type), static_cast<uint64_t>(std::max<int64_t>(size, 0)),
                   static_cast<int>(digits), false, type_name);
      out.emplace_back(column, type.type,
                       kind == SQL_PARAM_INPUT ? kAdParamInput : kAdParamInputOutput,
                       type.defined_size, Variant());
    }
    return out;
  }
  return std::nullopt;
}

}  // namespace fennick::data
