// What the ODBC driver hands to unixODBC: the ODBC connection string made
// from a page's connection string, and passwords masked for messages.
//
// Three kinds of strings reach the ODBC driver:
//  - ODBC strings, bare ("DSN=sales;UID=x", "Driver={PostgreSQL Unicode};
//    Server=...") or under Provider=MSDASQL: passed through without the
//    Provider key. Under MSDASQL the OLE DB names of that provider are read
//    as well: Data Source is the DSN, User ID and Password are UID and PWD,
//    Extended Properties holds more ODBC attributes.
//  - SQL Server's OLE DB strings (Provider=SQLOLEDB, SQLNCLI*, MSOLEDBSQL*
//    with Data Source, Initial Catalog, User ID, Password): rewritten for an
//    ODBC driver of SQL Server, FreeTDS unless the site names another
//    (SetSqlServerOdbcDriver in fennick/data.h).
//  - ODBC strings naming one of Windows' own SQL Server drivers
//    (Driver={SQL Server}, {SQL Native Client}, {SQL Server Native Client
//    11.0}), which no other system has: rewritten the same way.
//  - Integrated Security (Windows authentication) cannot work on this
//    host: such a string is refused with a message that says so.
//
// Pure functions; SqlServerOdbcDriver's setting is guarded by a mutex.
#ifndef FENNICK_PLATFORM_DATA_ODBC_CONNECTION_STRING_H_
#define FENNICK_PLATFORM_DATA_ODBC_CONNECTION_STRING_H_

#include <string>
#include <string_view>
#include <vector>

namespace fennick::data {

struct OdbcAttribute {
  std::string key;    // as written
  std::string value;  // without its braces or quotes
};

// The attributes of an ODBC-style string. Values may be in braces ("}}"
// inside stands for "}") or quotes; segments without "=" are dropped.
std::vector<OdbcAttribute> SplitOdbcString(std::string_view text);
// "key=value;" for each attribute, the value in braces when it holds ";",
// braces or blanks.
std::string JoinOdbcString(const std::vector<OdbcAttribute>& attributes);

// Whether a Driver value names one of Windows' own SQL Server drivers.
bool IsWindowsSqlServerDriver(std::string_view driver);
// Whether a Provider value is one of SQL Server's OLE DB providers.
bool IsSqlServerOleDbProvider(std::string_view provider);

// The ODBC connection string for `text`, as the head comment says.
// `sql_server_driver` is the ODBC driver SQL Server's OLE DB strings are
// rewritten for. Raises kErrDataFailed for Integrated Security or
// Trusted_Connection, and kErrDataInvalidArgument when the string names
// no data source at all.
std::string OdbcConnectionText(std::string_view text, std::string_view sql_server_driver);

// `text` with the value of every Pwd, Password or PWD attribute (any case,
// "key = value" included) replaced by "****", and with `password` itself
// (when four characters or longer, so that a short one cannot blot out
// ordinary words) replaced wherever it occurs. For error messages and
// anything else a page or a log may show.
std::string MaskPasswords(std::string_view text, std::string_view password = {});

// The ODBC driver for SQL Server's OLE DB strings: "FreeTDS" until set.
std::string SqlServerOdbcDriver();

}  // namespace fennick::data

#endif  // FENNICK_PLATFORM_DATA_ODBC_CONNECTION_STRING_H_
