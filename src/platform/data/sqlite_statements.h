// Prepared SQLite statements kept by their SQL text, per link.
//
// The grid runs the same statements page after page (its page query, the
// count of its rows); a reused link keeps them prepared, so a page pays
// neither the parse nor the planning again. A statement prepared before
// another link changed the schema is prepared again by SQLite on its next
// step, so a kept statement never reads an old schema.
#ifndef FENNICK_PLATFORM_DATA_SQLITE_STATEMENTS_H_
#define FENNICK_PLATFORM_DATA_SQLITE_STATEMENTS_H_

#include <sqlite3.h>

#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace fennick::data {

struct StatementFinalizer {
  void operator()(sqlite3_stmt* stmt) const { sqlite3_finalize(stmt); }
};
using StatementPtr = std::unique_ptr<sqlite3_stmt, StatementFinalizer>;

// A bounded cache, the least recently used statement leaving first. A
// statement is taken out while in use, so two users never share one. Not
// thread-safe: it belongs to its link.
class StatementCache {
 public:
  // The kept statement of exactly this text, taken out of the cache; null
  // when there is none.
  StatementPtr Take(std::string_view sql);
  // Keeps a statement of a single SQL statement, reset and its bindings
  // cleared, as the most recently used (or finalizes it when one of the
  // same text is kept already); the least recently used one is finalized
  // when the cache is full.
  void Put(std::string sql, StatementPtr stmt);

 private:
  static constexpr size_t kCapacity = 16;
  std::vector<std::pair<std::string, StatementPtr>> entries_;  // least recently used first
};

}  // namespace fennick::data

#endif  // FENNICK_PLATFORM_DATA_SQLITE_STATEMENTS_H_
