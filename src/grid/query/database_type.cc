// GetDatabaseType and QuoteSqlName.
#include "grid/query/database_type.h"

#include "base/ascii.h"
#include "fennick/page.h"
#include "frame/module_state.h"

namespace fennick {
namespace {

bool NeedsQuotes(std::string_view part) {
  if (part.empty() || (part[0] >= '0' && part[0] <= '9')) return true;
  for (char c : part) {
    if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_'))
      return true;
  }
  return false;
}

void AppendQuoted(std::string& out, std::string_view part, std::string_view open,
                  std::string_view close) {
  out.append(open);
  if (close.size() == 1) {
    for (char c : part) {
      out.push_back(c);
      if (c == close[0]) out.push_back(c);
    }
  } else {
    out.append(part);
  }
  out.append(close);
}

void QuotePart(std::string& out, int type, std::string_view part, const SqlNaming& naming) {
  if (naming.prefix != "$" && naming.suffix != "$") {
    AppendQuoted(out, part, naming.prefix, naming.suffix);
    return;
  }
  switch (type) {
    case kDbAccess: case kDbSqlServer: case kDbSybase: case kDbSqlNativeClient: case kDbSQLite:
      AppendQuoted(out, part, "[", "]");
      return;
    case kDbMySql:
      AppendQuoted(out, part, "`", "`");
      return;
    case kDbPostgreSql:
      // PostgreSQL folds unquoted names to lower case, and commands are
      // mostly written unquoted: quoting "Orders" would name another table
      // than the command's Orders. Only names that cannot stand bare are
      // quoted.
      if (NeedsQuotes(part)) {
        AppendQuoted(out, part, "\"", "\"");
      } else {
        out.append(part);
      }
      return;
    default:
      if (part.find('-') != std::string_view::npos && part.find(' ') != std::string_view::npos) {
        AppendQuoted(out, part, "[", "]");
      } else {
        out.append(part);
      }
  }
}

}  // namespace

int GetDatabaseType(std::string_view connection_string, int forced_type) {
  if (forced_type >= 1 && forced_type <= kDbPostgreSql) return forced_type;
  const std::string s = AsciiUpper(connection_string);
  auto has = [&s](const char* part) { return s.find(part) != std::string::npos; };
  if (has("SOURCETYPE=DBC")) return kDbFoxPro;
  if (has("FIL=TEXT") || has("EXTENDED PROPERTIES=\"TEXT")) return kDbText;
  if (has("FIL=EXCEL") || has("EXTENDED PROPERTIES=\"EXCEL")) return kDbExcel;
  if (has("PROVIDER=MICROSOFT.JET.OLEDB") || has("FIL=MS ACCESS") || s == "ACCESS") return kDbAccess;
  // ODBC writes the driver's name in braces: "Driver={SQL Server}".
  if (has("SQLOLEDB") || has("PROVIDER=MSDASQL") || has("DRIVER=SQL SERVER") ||
      has("DRIVER={SQL SERVER}") || s == "SQL SERVER" || s == "SQLSERVER")
    return kDbSqlServer;
  // MSOLEDBSQL is the provider that followed the Native Client.
  if (has("SQLNCLI") || has("MSOLEDBSQL")) return kDbSqlNativeClient;
  if (has("ORACLE") || has("PROVIDER=MSDAORA")) return kDbOracle;
  if (has("MYSQL")) return kDbMySql;
  if (has("SYBASE") || has("PROVIDER=ASAPROV")) return kDbSybase;
  if (has("SQLITE")) return kDbSQLite;
  if (has("POSTGRES")) return kDbPostgreSql;
  return kDbUnknown;
}

int DatabaseTypeOfDbms(std::string_view dbms_name) {
  const std::string s = AsciiUpper(TrimBlanks(dbms_name));
  auto has = [&s](const char* part) { return s.find(part) != std::string::npos; };
  if (has("SQL SERVER")) return kDbSqlServer;
  if (has("MYSQL") || has("MARIADB")) return kDbMySql;
  if (has("POSTGRES")) return kDbPostgreSql;
  if (has("SQLITE")) return kDbSQLite;
  if (has("ORACLE")) return kDbOracle;
  if (has("SYBASE") || has("ADAPTIVE SERVER") || has("SQL ANYWHERE")) return kDbSybase;
  if (s == "ACCESS") return kDbAccess;
  return kDbUnknown;
}

std::string QuoteSqlName(int database_type, std::string_view name, bool owner_flag,
                         const SqlNaming& naming) {
  name = TrimBlanks(name);
  if (name == "*") return "*";
  std::string out;
  if (owner_flag && !naming.owner.empty()) {
    QuotePart(out, database_type, naming.owner, naming);
    out.push_back('.');
  }
  size_t dot = name.find('.');
  if (dot == std::string_view::npos) {
    QuotePart(out, database_type, name, naming);
  } else {
    QuotePart(out, database_type, name.substr(0, dot), naming);
    out.push_back('.');
    QuotePart(out, database_type, name.substr(dot + 1), naming);
  }
  return out;
}

std::string QuoteSqlName(int database_type, std::string_view name, bool owner_flag) {
  SqlNaming naming;
  if (CurrentPage()) {
    const ModuleState& state = CurrentModuleState();
    naming.prefix = state.sql_name_prefix;
    naming.suffix = state.sql_name_suffix;
    naming.owner = state.db_owner;
  }
  return QuoteSqlName(database_type, name, owner_flag, naming);
}

}  // namespace fennick
