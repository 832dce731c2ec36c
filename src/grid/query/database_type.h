// Database types and how names are written into their SQL.
//
// Codes: 0 not recognised, 1 Access, 2 SQL Server, 3 FoxPro database
// container, 4 text files, 5 Excel, 6 MySQL, 7 Oracle, 8 Sybase, 9 SQL Server
// Native Client, 10 SQLite, 11 PostgreSQL. The code decides identifier
// delimiters, date literals, TOP clauses and catalogue queries.
#ifndef FENNICK_GRID_QUERY_DATABASE_TYPE_H_
#define FENNICK_GRID_QUERY_DATABASE_TYPE_H_

#include <string>
#include <string_view>

namespace fennick {

inline constexpr int kDbUnknown = 0;
inline constexpr int kDbAccess = 1;
inline constexpr int kDbSqlServer = 2;
inline constexpr int kDbFoxPro = 3;
inline constexpr int kDbText = 4;
inline constexpr int kDbExcel = 5;
inline constexpr int kDbMySql = 6;
inline constexpr int kDbOracle = 7;
inline constexpr int kDbSybase = 8;
inline constexpr int kDbSqlNativeClient = 9;
inline constexpr int kDbSQLite = 10;
inline constexpr int kDbPostgreSql = 11;

// The type of a connection string or type name ("SQL SERVER", "ACCESS").
// A type forced by the report designer (1 to 11) wins; pass -1 for none.
int GetDatabaseType(std::string_view connection_string, int forced_type = -1);

// The type of a database product as an ODBC driver names it
// (SQLGetInfo's DBMS name: "Microsoft SQL Server", "PostgreSQL", "MySQL");
// kDbUnknown for others. For ODBC connections whose string says nothing
// (a bare "DSN=sales").
int DatabaseTypeOfDbms(std::string_view dbms_name);

struct SqlNaming {
  std::string prefix = "$";  // "$": the database's own delimiters
  std::string suffix = "$";
  std::string owner;         // put in front when the owner flag is set
};

// A table or column name delimited for the database: "[Orders].[Amount]",
// "`Orders`"; on PostgreSQL only names that cannot stand bare are quoted
// ("\"Order Details\""). "*" stays as it is; a name with "." is quoted as
// the part before the first "." and the part after it. A delimiter inside
// a name is doubled, so a name can never close its quotes.
std::string QuoteSqlName(int database_type, std::string_view name, bool owner_flag,
                         const SqlNaming& naming);
// The same with the naming of the running page (the defaults when none).
std::string QuoteSqlName(int database_type, std::string_view name, bool owner_flag = false);

}  // namespace fennick

#endif  // FENNICK_GRID_QUERY_DATABASE_TYPE_H_
