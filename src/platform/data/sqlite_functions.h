// SQL functions Fennick adds to every SQLite connection.
//
// STDEV and VAR are the sample standard deviation and variance that server
// databases offer under those names (STDEVP and VARP the population ones),
// so that report summaries of every kind run on the embedded default. They
// ignore nulls, take numbers (text as SQLite converts it), give NULL for
// fewer than two values (one for the population forms), and work as window
// functions too.
#ifndef FENNICK_PLATFORM_DATA_SQLITE_FUNCTIONS_H_
#define FENNICK_PLATFORM_DATA_SQLITE_FUNCTIONS_H_

struct sqlite3;

namespace fennick::data {

// Returns the SQLite result code of the first registration that failed, or
// SQLITE_OK.
int RegisterSqliteFunctions(sqlite3* db);

}  // namespace fennick::data

#endif  // FENNICK_PLATFORM_DATA_SQLITE_FUNCTIONS_H_
