// Which result columns belong to a grid's master table. The list is always
// worked out from the grid's own columns: the copy a page posts back is
// never read, so a browser cannot make other columns into master columns
// (and so into the leading sort of the query).
#include "grid/query/master_columns.h"

#include <algorithm>
#include <initializer_list>

#include "base/ascii.h"

namespace fennick {
namespace {

bool IsNameChar(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
         c == '_' || c == '$' || c == '#' || c == '@' || static_cast<unsigned char>(c) >= 0x80;
}

bool IsOneOf(std::string_view word, std::initializer_list<std::string_view> words) {
  return std::any_of(words.begin(), words.end(),
                     [&](std::string_view w) { return EqualsIgnoreCase(word, w); });
}

// Words that end the FROM clause.
bool IsEndOfFrom(std::string_view word) {
  return IsOneOf(word, {"WHERE", "GROUP", "ORDER", "HAVING", "LIMIT", "UNION", "EXCEPT",
                        "INTERSECT", "WINDOW", "OFFSET", "FETCH", "FOR"});
}

// Words that end a table reference or the FROM clause, never an alias.
bool IsClauseWord(std::string_view word) {
  return IsEndOfFrom(word) || IsOneOf(word, {"AS", "ON", "USING", "JOIN", "INNER", "LEFT",
                                             "RIGHT", "FULL", "OUTER", "CROSS", "NATURAL",
                                             "WITH"});
}

// Reads the SQL text a token at a time: a name (quoted parts unquoted,
// dotted parts joined), one punctuation character, or a whole string
// literal; parentheses come as "(" and ")".
class SqlTokens {
 public:
  explicit SqlTokens(std::string_view text) : text_(text) {}

  // The next token and whether it is a name; false at the end.
  bool Next(std::string& token, bool& name) {
    while (at_ < text_.size() && static_cast<unsigned char>(text_[at_]) <= ' ') ++at_;
    if (at_ >= text_.size()) return false;
    token.clear();
    name = false;
    const char c = text_[at_];
    if (c == '\'') {
      const size_t end = text_.find('\'', at_ + 1);
      at_ = end == std::string_view::npos ? text_.size() : end + 1;
      token = "'";
      return true;
    }
    if (!IsNameChar(c) && c != '[' && c != '"' && c != '`') {
      token.push_back(c);
      ++at_;
      return true;
    }
    name = true;
    while (at_ < text_.size()) {
      const char d = text_[at_];
      if (d == '[' || d == '"' || d == '`') {
        const char close = d == '[' ? ']' : d;
        const size_t end = text_.find(close, at_ + 1);
        const size_t stop = end == std::string_view::npos ? text_.size() : end;
        token.append(text_.substr(at_ + 1, stop - at_ - 1));
        at_ = stop == text_.size() ? stop : stop + 1;
      } else if (IsNameChar(d) || d == '.') {
        token.push_back(d);
        ++at_;
      } else {
        break;
      }
    }
    return true;
  }

  // Skips to the ")" that closes a "(" just read.
  void SkipGroup() {
    std::string token;
    bool name = false;
    for (int depth = 1; depth > 0 && Next(token, name);) {
      if (token == "(") ++depth;
      if (token == ")") --depth;
    }
  }

 private:
  std::string_view text_;
  size_t at_ = 0;
};

}  // namespace

std::vector<TableReference> TableReferences(std::string_view command) {
  std::vector<TableReference> tables;
  SqlTokens tokens(command);
  std::string token;
  bool name = false;
  // Up to the top-level FROM (subqueries in the select list skipped).
  bool found = false;
  while (!found && tokens.Next(token, name)) {
    if (token == "(") tokens.SkipGroup();
    found = name && EqualsIgnoreCase(token, "FROM");
  }
  if (!found) return tables;

  enum class Expect { kTable, kAlias, kNothing } expect = Expect::kTable;
  bool after_as = false;
  while (tokens.Next(token, name)) {
    if (token == "(") {
      // A subquery is a table without a name; any other parenthesis around
      // joins is read through, and one in a join condition skipped.
      if (expect != Expect::kTable) {
        tokens.SkipGroup();
        continue;
      }
      std::string first;
      bool first_name = false;
      SqlTokens peek = tokens;
      if (peek.Next(first, first_name) && EqualsIgnoreCase(first, "SELECT")) {
        tokens.SkipGroup();
        tables.push_back({});
        expect = Expect::kAlias;
      }
      continue;
    }
    if (token == ",") {
      expect = Expect::kTable;
      continue;
    }
    if (!name) {
      if (token != ")") expect = Expect::kNothing;
      continue;
    }
    if (EqualsIgnoreCase(token, "JOIN")) {
      expect = Expect::kTable;
      continue;
    }
    if (EqualsIgnoreCase(token, "AS") && expect == Expect::kAlias) {
      after_as = true;
      continue;
    }
    if (expect == Expect::kNothing && !IsClauseWord(token)) continue;
    if (IsEndOfFrom(token)) break;
    if (expect == Expect::kTable && !IsClauseWord(token)) {
      tables.push_back({token, ""});
      expect = Expect::kAlias;
    } else if (expect == Expect::kAlias && (after_as || !IsClauseWord(token))) {
      tables.back().alias = token;
      expect = Expect::kNothing;
    } else {
      expect = Expect::kNothing;
    }
    after_as = false;
  }
  return tables;
}

std::vector<size_t> MasterColumnIndexes(const std::vector<GridColumn>& columns,
                                        std::string_view master_table,
                                        std::string_view command) {
  std::vector<size_t> indexes;
  // An empty master table would match every unqualified column.
  if (master_table.empty()) return indexes;
  // The other name the master table goes by in the command, when it has
  // exactly one.
  std::string other;
  int others = 0;
  for (const TableReference& t : TableReferences(command)) {
    if (t.table.empty() || t.alias.empty()) continue;
    if (t.table == master_table) {
      other = t.alias;
      ++others;
    } else if (t.alias == master_table) {
      other = t.table;
      ++others;
    }
  }
  if (others != 1) other.clear();
  for (size_t i = 0; i < columns.size(); ++i) {
    const std::string& table = columns[i].table;
    if (table == master_table || (!other.empty() && table == other)) indexes.push_back(i);
  }
  return indexes;
}

std::string MasterColumns(const std::vector<GridColumn>& columns, std::string_view master_table,
                          std::string_view command) {
  std::string list;
  for (size_t index : MasterColumnIndexes(columns, master_table, command)) {
    if (!list.empty()) list.push_back(',');
    list.append(std::to_string(index));
  }
  return list;
}

}  // namespace fennick
