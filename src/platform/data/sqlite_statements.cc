// The prepared-statement cache of an SQLite link (see sqlite_statements.h).
#include "platform/data/sqlite_statements.h"

namespace fennick::data {

StatementPtr StatementCache::Take(std::string_view sql) {
  for (size_t i = entries_.size(); i-- > 0;) {
    if (entries_[i].first != sql) continue;
    StatementPtr stmt = std::move(entries_[i].second);
    entries_.erase(entries_.begin() + static_cast<ptrdiff_t>(i));
    return stmt;
  }
  return nullptr;
}

void StatementCache::Put(std::string sql, StatementPtr stmt) {
  // Reset ends the statement's read of the database, which would otherwise
  // hold a lock against writers while the statement waits here. Its result
  // code repeats the last step's, already reported.
  sqlite3_reset(stmt.get());
  sqlite3_clear_bindings(stmt.get());
  // A second statement of the same text (prepared while the first was in
  // use) is not kept: one is enough.
  for (const auto& entry : entries_) {
    if (entry.first == sql) return;
  }
  if (entries_.size() >= kCapacity) entries_.erase(entries_.begin());
  entries_.emplace_back(std::move(sql), std::move(stmt));
}

}  // namespace fennick::data
