// Parsing typed SQL and writing it again for the report's database.
#include "designer/builder/sql_check.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>

#include "base/ascii.h"
#include "base/split.h"
#include "designer/builder/sql_tokens.h"
#include "grid/query/database_type.h"

namespace fennick::designer {
namespace {

using Tok = SqlTok;
using Token = SqlToken;

// Words that only a statement beyond one expression would use: their
// presence means a subquery or another statement, never a column.
bool IsStatementWord(std::string_view word) {
  static const char* const kWords[] = {
      "SELECT",    "FROM",   "WHERE", "UNION",   "INSERT", "UPDATE",  "DELETE",   "DROP",
      "CREATE",    "ALTER",  "EXEC",  "EXECUTE", "GRANT",  "REVOKE",  "TRUNCATE", "INTO",
      "EXISTS",    "ANY",    "ALL",   "SOME",    "WITH",   "DECLARE", "MERGE",    "CALL",
      "INTERSECT", "EXCEPT", "LIMIT", "OFFSET",  "FETCH",  "ORDER",   "GROUP",    "HAVING"};
  for (const char* w : kWords) {
    if (EqualsIgnoreCase(word, w)) return true;
  }
  return false;
}

bool IsKeyword(std::string_view word) {
  static const char* const kWords[] = {"AND", "OR",      "NOT",  "LIKE", "IS",   "NULL",
                                       "IN",  "BETWEEN", "CASE", "WHEN", "THEN", "ELSE",
                                       "END", "CAST",    "AS",   "TRUE", "FALSE"};
  for (const char* w : kWords) {
    if (EqualsIgnoreCase(word, w)) return true;
  }
  return false;
}

// Functions some databases know only under their own names, written so by
// Spell and read back by the parser: the database family (1 SQL Server and
// Sybase, 2 Access, 3 SQLite), the spelling, and the function it is.
struct SpelledFunction {
  int family;
  const char* spelled;
  AllowedFunction function;
  bool spelled_only;  // Spell writes the spelling itself for this name
};

const SpelledFunction kSpelledFunctions[] = {
    {1, "LEN", {"length", 1, 1}, false}, {1, "SUBSTRING", {"substr", 2, 3}, false},
    {1, "LTRIM", {"ltrim", 1, 1}, true}, {1, "RTRIM", {"rtrim", 1, 1}, true},
    {2, "Len", {"length", 1, 1}, false}, {2, "Mid", {"substr", 2, 3}, false},
    {2, "IIf", {"iif", 3, 3}, true},     {2, "IsNull", {"isnull", 1, 1}, true},
    {2, "CDbl", {"cdbl", 1, 1}, true},   {2, "CStr", {"cstr", 1, 1}, true},
    {2, "CDate", {"cdate", 1, 1}, true}, {3, "datetime", {"datetime", 1, 1}, true},
};

// The entry of `name` for database `db`: by its spelling (`by_spelling`,
// ignoring case) or by the function's own name.
const SpelledFunction* OwnSpelling(int db, std::string_view name, bool by_spelling) {
  const int family = db == kDbSqlServer || db == kDbSqlNativeClient || db == kDbSybase ? 1
                     : db == kDbAccess                                                 ? 2
                     : db == kDbSQLite                                                 ? 3
                                                                                       : 0;
  for (const SpelledFunction& f : kSpelledFunctions) {
    if (f.family != family) continue;
    if (by_spelling ? EqualsIgnoreCase(name, f.spelled) : name == f.function.name) return &f;
  }
  return nullptr;
}

class Parser {
 public:
  Parser(const SqlChecker& checker, std::string_view text) : checker_(checker), text_(text) {}

  // Parses the whole text as a condition (`want_condition`) or a value.
  SqlCheck Run(bool want_condition) {
    SqlCheck out;
    if (!Tokenize()) {
      out.error = error_;
      return out;
    }
    if (tokens_.size() == 1) {
      out.error = "it is empty";
      return out;
    }
    Part part = ParseOr();
    if (error_.empty() && Peek().kind != Tok::kEnd) Fail(Peek(), "this does not belong here");
    if (error_.empty() && want_condition && !part.condition) {
      Fail(tokens_.front(), "it is a value, not a condition");
    }
    if (error_.empty() && !want_condition && part.condition) {
      Fail(tokens_.front(), "it is a condition, not a value");
    }
    if (!error_.empty()) {
      out.error = error_;
      return out;
    }
    out.sql = part.sql;
    return out;
  }

 private:
  struct Part {
    std::string sql;
    bool condition = false;
  };

  int Db() const { return checker_.database_type(); }

  void Fail(const Token& at, std::string_view reason) {
    if (!error_.empty()) return;
    std::string excerpt(text_.substr(at.offset, 24));
    if (at.kind == Tok::kEnd) {
      error_ = std::string(reason) + " (at the end)";
    } else {
      error_ = std::string(reason) + " (at \"" + excerpt + "\")";
    }
  }
  void FailAt(size_t offset, std::string_view reason) {
    Token t;
    t.kind = Tok::kSymbol;
    t.offset = offset;
    Fail(t, reason);
  }

  bool Tokenize() {
    SqlTokens tokens = TokenizeSql(text_, Db());
    if (!tokens.ok()) {
      FailAt(tokens.error_offset, tokens.error);
      return false;
    }
    tokens_ = std::move(tokens.tokens);
    return true;
  }

  const Token& Peek(size_t ahead = 0) const {
    return tokens_[std::min(pos_ + ahead, tokens_.size() - 1)];
  }
  bool IsWord(const Token& t, std::string_view word) const {
    return t.kind == Tok::kName && EqualsIgnoreCase(t.text, word);
  }
  bool IsSym(const Token& t, std::string_view sym) const {
    return t.kind == Tok::kSymbol && t.text == sym;
  }
  bool TakeWord(std::string_view word) {
    if (!IsWord(Peek(), word)) return false;
    ++pos_;
    return true;
  }
  bool TakeSym(std::string_view sym) {
    if (!IsSym(Peek(), sym)) return false;
    ++pos_;
    return true;
  }
  void ExpectSym(std::string_view sym) {
    if (!TakeSym(sym)) Fail(Peek(), "\"" + std::string(sym) + "\" is missing");
  }
  void ExpectWord(std::string_view word) {
    if (!TakeWord(word)) Fail(Peek(), std::string(word) + " is missing");
  }

  // Nesting is bounded so a hostile text cannot exhaust the stack.
  struct Depth {
    explicit Depth(Parser* p) : parser(p) { ++parser->depth_; }
    ~Depth() { --parser->depth_; }
    bool too_deep() const { return parser->depth_ > 64; }
    Parser* parser;
  };

  Part ParseOr() {
    Part left = ParseAnd();
    while (error_.empty() && IsWord(Peek(), "OR")) {
      ++pos_;
      Part right = ParseAnd();
      NeedCondition(left);
      NeedCondition(right);
      left.sql = left.sql + " OR " + right.sql;
      left.condition = true;
    }
    return left;
  }

  Part ParseAnd() {
    Part left = ParseNot();
    while (error_.empty() && IsWord(Peek(), "AND")) {
      ++pos_;
      Part right = ParseNot();
      NeedCondition(left);
      NeedCondition(right);
      left.sql = left.sql + " AND " + right.sql;
      left.condition = true;
    }
    return left;
  }

  Part ParseNot() {
    Depth depth(this);
    if (depth.too_deep()) {
      Fail(Peek(), "it is nested too deeply");
      return Part();
    }
    if (IsWord(Peek(), "NOT")) {
      ++pos_;
      Part inner = ParseNot();
      NeedCondition(inner);
      return Part{"NOT " + inner.sql, true};
    }
    return ParsePredicate();
  }

  void NeedCondition(const Part& part) {
    if (!part.condition) Fail(Peek(), "a condition is expected here, not a value");
  }
  void NeedValue(const Part& part, const Token& at) {
    if (part.condition) Fail(at, "a value is expected here, not a condition");
  }

  Part ParsePredicate() {
    const Token& start = Peek();
    Part left = ParseValue();
    if (!error_.empty()) return left;
    const Token& op = Peek();
    static const char* const kCompare[] = {"=", "<>", "!=", "<", ">", "<=", ">="};
    for (const char* c : kCompare) {
      if (IsSym(op, c)) {
        NeedValue(left, start);
        ++pos_;
        const Token& at = Peek();
        Part right = ParseValue();
        NeedValue(right, at);
        std::string sym = op.text == "!=" ? "<>" : op.text;
        return Part{left.sql + " " + sym + " " + right.sql, true};
      }
    }
    bool negated = false;
    if (IsWord(op, "NOT") &&
        (IsWord(Peek(1), "LIKE") || IsWord(Peek(1), "IN") || IsWord(Peek(1), "BETWEEN"))) {
      negated = true;
      ++pos_;
    }
    const std::string no = negated ? "NOT " : "";
    if (TakeWord("LIKE")) {
      NeedValue(left, start);
      const Token& at = Peek();
      Part right = ParseValue();
      NeedValue(right, at);
      return Part{left.sql + " " + no + "LIKE " + right.sql, true};
    }
    if (TakeWord("IN")) {
      NeedValue(left, start);
      ExpectSym("(");
      std::string list;
      do {
        const Token& at = Peek();
        if (IsWord(at, "SELECT")) {
          Fail(at, "a subquery is not allowed");
          return Part();
        }
        Part item = ParseValue();
        NeedValue(item, at);
        if (!list.empty()) list += ", ";
        list += item.sql;
      } while (error_.empty() && TakeSym(","));
      ExpectSym(")");
      return Part{left.sql + " " + no + "IN (" + list + ")", true};
    }
    if (TakeWord("BETWEEN")) {
      NeedValue(left, start);
      Part low = ParseValue();
      ExpectWord("AND");
      Part high = ParseValue();
      NeedValue(low, start);
      NeedValue(high, start);
      return Part{left.sql + " " + no + "BETWEEN " + low.sql + " AND " + high.sql, true};
    }
    if (negated) Fail(op, "NOT must come before a condition");
    if (TakeWord("IS")) {
      NeedValue(left, start);
      const bool is_not = TakeWord("NOT");
      ExpectWord("NULL");
      return Part{left.sql + (is_not ? " IS NOT NULL" : " IS NULL"), true};
    }
    return left;
  }

  Part ParseValue() {
    Part left = ParseTerm();
    while (error_.empty()) {
      const Token& op = Peek();
      if (!IsSym(op, "+") && !IsSym(op, "-") && !IsSym(op, "||")) break;
      ++pos_;
      const Token& at = Peek();
      Part right = ParseTerm();
      NeedValue(left, op);
      NeedValue(right, at);
      left.sql = left.sql + " " + op.text + " " + right.sql;
    }
    return left;
  }

  Part ParseTerm() {
    Part left = ParseUnary();
    while (error_.empty()) {
      const Token& op = Peek();
      if (!IsSym(op, "*") && !IsSym(op, "/") && !IsSym(op, "%")) break;
      ++pos_;
      const Token& at = Peek();
      Part right = ParseUnary();
      NeedValue(left, op);
      NeedValue(right, at);
      left.sql = left.sql + " " + op.text + " " + right.sql;
    }
    return left;
  }

  Part ParseUnary() {
    Depth depth(this);
    if (depth.too_deep()) {
      Fail(Peek(), "it is nested too deeply");
      return Part();
    }
    if (IsSym(Peek(), "-") || IsSym(Peek(), "+")) {
      const std::string sign = Peek().text;
      ++pos_;
      const Token& at = Peek();
      Part inner = ParseUnary();
      NeedValue(inner, at);
      // "- -1" must not become "--1", a comment.
      const bool signed_inner =
          !inner.sql.empty() && (inner.sql.front() == '-' || inner.sql.front() == '+');
      return Part{sign + (signed_inner ? " " : "") + inner.sql, false};
    }
    return ParsePrimary();
  }

  std::string StringLiteral(std::string_view value) const {
    std::string out = "'";
    for (char c : value) {
      if (c == '\'') out.push_back('\'');
      // MySQL reads a backslash as an escape inside quotes.
      if (c == '\\' && Db() == kDbMySql) out.push_back('\\');
      out.push_back(c);
    }
    out.push_back('\'');
    return out;
  }

  std::string DateLiteral(const std::string& text) const {
    if (Db() == kDbAccess) return "#" + text + "#";
    if (Db() == kDbFoxPro) return "{^" + text + "}";
    return "'" + text + "'";
  }

  Part ParsePrimary() {
    const Token& t = Peek();
    switch (t.kind) {
      case Tok::kNumber:
        ++pos_;
        return Part{t.text, false};
      case Tok::kString:
        ++pos_;
        return Part{StringLiteral(t.text), false};
      case Tok::kDate: {
        int y, m, d, hh, mm, ss;
        if (!ParseSqlDate(t.text, &y, &m, &d, &hh, &mm, &ss)) {
          Fail(t, "this is not a date");
          return Part();
        }
        ++pos_;
        return Part{DateLiteral(SqlDateText(y, m, d, hh, mm, ss)), false};
      }
      case Tok::kTemp:
        ++pos_;
        return Part{"#TEMP#", false};
      case Tok::kQuotedName:
        return Column();
      case Tok::kSymbol:
        if (IsSym(t, "(")) {
          ++pos_;
          if (IsWord(Peek(), "SELECT")) {
            Fail(Peek(), "a subquery is not allowed");
            return Part();
          }
          Part inner = ParseOr();
          ExpectSym(")");
          return Part{"(" + inner.sql + ")", inner.condition};
        }
        Fail(t, "a value is expected here");
        return Part();
      case Tok::kEnd:
        Fail(t, "the text ends too early");
        return Part();
      case Tok::kName:
        break;
    }
    if (IsStatementWord(t.text)) {
      Fail(t, EqualsIgnoreCase(t.text, "SELECT") || EqualsIgnoreCase(t.text, "EXISTS")
                  ? "a subquery is not allowed"
                  : "a statement word is not allowed");
      return Part();
    }
    if (IsWord(t, "NULL")) {
      ++pos_;
      return Part{"NULL", false};
    }
    if (IsWord(t, "TRUE") || IsWord(t, "FALSE")) {
      ++pos_;
      // Not every database knows TRUE and FALSE; 1 and 0 they all do.
      return Part{IsWord(t, "TRUE") ? "1" : "0", false};
    }
    if (IsWord(t, "CASE")) return Case();
    if (IsWord(t, "CAST") && IsSym(Peek(1), "(")) return Cast();
    if (IsSym(Peek(1), "(")) return Function();
    if (IsKeyword(t.text)) {
      Fail(t, "a value is expected here");
      return Part();
    }
    return Column();
  }

  Part Column() {
    const Token& first = Peek();
    std::vector<std::string> parts = {first.text};
    ++pos_;
    while (IsSym(Peek(), ".") && (Peek(1).kind == Tok::kName || Peek(1).kind == Tok::kQuotedName)) {
      parts.push_back(Peek(1).text);
      pos_ += 2;
    }
    if (parts.size() > 3) {
      Fail(first, "a name has too many parts");
      return Part();
    }
    std::string name;
    for (const std::string& p : parts) {
      if (!name.empty()) name.push_back('.');
      name += p;
    }
    std::string why;
    std::string found = checker_.FindColumn(name, &why);
    if (found.empty()) {
      Fail(first, why);
      return Part();
    }
    return Part{QuoteColumn(found), false};
  }

  // A column as the report writes it ("table.col" or "col") delimited.
  std::string QuoteColumn(const std::string& column) const {
    size_t dot = column.rfind('.');
    // Found columns carry their table only when the report has several;
    // the table itself may hold a schema ("sales.Orders").
    for (const CheckedTable& table : checker_.tables()) {
      if (dot != std::string::npos && column.size() > table.name.size() &&
          column.compare(0, table.name.size(), table.name) == 0 &&
          column[table.name.size()] == '.') {
        return QuoteSqlName(Db(), table.name) + "." +
               QuoteSqlName(Db(), column.substr(table.name.size() + 1));
      }
    }
    return QuoteSqlName(Db(), column);
  }

  Part Case() {
    ++pos_;  // CASE
    std::string sql = "CASE";
    if (!IsWord(Peek(), "WHEN")) {
      const Token& at = Peek();
      Part subject = ParseValue();
      NeedValue(subject, at);
      sql += " " + subject.sql;
    }
    int whens = 0;
    while (error_.empty() && TakeWord("WHEN")) {
      Part when = ParseOr();
      ExpectWord("THEN");
      const Token& at = Peek();
      Part then = ParseValue();
      NeedValue(then, at);
      sql += " WHEN " + when.sql + " THEN " + then.sql;
      ++whens;
    }
    if (error_.empty() && whens == 0) Fail(Peek(), "CASE needs a WHEN");
    if (error_.empty() && TakeWord("ELSE")) {
      const Token& at = Peek();
      Part other = ParseValue();
      NeedValue(other, at);
      sql += " ELSE " + other.sql;
    }
    ExpectWord("END");
    return Part{sql + " END", false};
  }

  Part Cast() {
    const Token& at = Peek();
    pos_ += 2;  // CAST (
    const Token& value_at = Peek();
    Part value = ParseValue();
    NeedValue(value, value_at);
    ExpectWord("AS");
    const Token& type = Peek();
    if (type.kind != Tok::kName) {
      Fail(type, "CAST takes NUMBER, TEXT or DATE");
      return Part();
    }
    ++pos_;
    // A size, as the types written for some databases carry one
    // ("DECIMAL(38,10)", "NVARCHAR(4000)"); the type decides alone.
    if (TakeSym("(")) {
      do {
        if (Peek().kind != Tok::kNumber) Fail(Peek(), "a size is a number");
        ++pos_;
      } while (error_.empty() && TakeSym(","));
      ExpectSym(")");
    }
    ExpectSym(")");
    if (!error_.empty()) return Part();
    static const char* const kNumber[] = {"NUMBER", "NUMERIC", "DECIMAL", "FLOAT",
                                          "INT",    "INTEGER", "REAL",    "DOUBLE"};
    static const char* const kText[] = {"TEXT",   "VARCHAR",  "CHAR",
                                        "STRING", "NVARCHAR", "VARCHAR2"};
    static const char* const kDate[] = {"DATE", "DATETIME", "TIMESTAMP"};
    auto in = [&](const auto& words) {
      for (const char* w : words) {
        if (EqualsIgnoreCase(type.text, w)) return true;
      }
      return false;
    };
    const int db = Db();
    const bool sql_server = db == kDbSqlServer || db == kDbSqlNativeClient || db == kDbSybase;
    std::string sql;
    if (in(kNumber)) {
      if (db == kDbAccess) return Part{"CDbl(" + value.sql + ")", false};
      const char* target = sql_server        ? "FLOAT"
                           : db == kDbMySql  ? "DECIMAL(38,10)"
                           : db == kDbSQLite ? "REAL"
                           : db == kDbOracle ? "NUMBER"
                                             : "NUMERIC";
      return Part{"CAST(" + value.sql + " AS " + target + ")", false};
    }
    if (in(kText)) {
      if (db == kDbAccess) return Part{"CStr(" + value.sql + ")", false};
      const char* target = sql_server        ? "NVARCHAR(4000)"
                           : db == kDbMySql  ? "CHAR"
                           : db == kDbOracle ? "VARCHAR2(4000)"
                                             : "TEXT";
      return Part{"CAST(" + value.sql + " AS " + target + ")", false};
    }
    if (in(kDate)) {
      if (db == kDbAccess) return Part{"CDate(" + value.sql + ")", false};
      // SQLite keeps dates as text; its datetime() reads and normalises them.
      if (db == kDbSQLite) return Part{"datetime(" + value.sql + ")", false};
      const char* target = sql_server || db == kDbMySql ? "DATETIME"
                           : db == kDbOracle            ? "DATE"
                                                        : "TIMESTAMP";
      return Part{"CAST(" + value.sql + " AS " + target + ")", false};
    }
    (void)at;
    Fail(type, "CAST takes NUMBER, TEXT or DATE");
    return Part();
  }

  Part Function() {
    const Token& name = Peek();
    const AllowedFunction* fn = nullptr;
    for (const AllowedFunction& f : AllowedFunctions()) {
      if (EqualsIgnoreCase(name.text, f.name)) fn = &f;
    }
    if (!fn) fn = SpelledFor(name.text);
    if (!fn) {
      Fail(name, "the function " + name.text + " is not allowed");
      return Part();
    }
    pos_ += 2;  // name (
    std::vector<std::string> args;
    if (!IsSym(Peek(), ")")) {
      do {
        const Token& at = Peek();
        if (IsWord(at, "SELECT")) {
          Fail(at, "a subquery is not allowed");
          return Part();
        }
        Part arg = ParseValue();
        NeedValue(arg, at);
        args.push_back(arg.sql);
      } while (error_.empty() && TakeSym(","));
    }
    ExpectSym(")");
    if (!error_.empty()) return Part();
    const int count = static_cast<int>(args.size());
    if (count < fn->min_args || (fn->max_args >= 0 && count > fn->max_args)) {
      Fail(name,
           std::string("the function ") + fn->name + " takes " +
               (fn->min_args == fn->max_args
                    ? std::to_string(fn->min_args)
                    : std::to_string(fn->min_args) + " to " +
                          (fn->max_args < 0 ? std::string("many") : std::to_string(fn->max_args))) +
               " arguments");
      return Part();
    }
    return Part{Spell(fn->name, args), false};
  }

  // A function as Spell writes it for this database ("LEN" on SQL Server,
  // "Mid" on Access): read back as the function it stands for, so that a
  // checked text checks to itself.
  const AllowedFunction* SpelledFor(std::string_view spelled) const {
    const SpelledFunction* own = OwnSpelling(Db(), spelled, true);
    return own ? &own->function : nullptr;
  }

  // The function in the database's own spelling.
  std::string Spell(std::string_view name, const std::vector<std::string>& args) const {
    const int db = Db();
    const bool sql_server = db == kDbSqlServer || db == kDbSqlNativeClient || db == kDbSybase;
    auto call = [&](std::string_view spelled) {
      std::string out(spelled);
      out.push_back('(');
      for (size_t i = 0; i < args.size(); ++i) {
        if (i) out += ", ";
        out += args[i];
      }
      return out + ")";
    };
    if (const SpelledFunction* own = OwnSpelling(db, name, false)) {
      if (own->spelled_only) return call(own->spelled);
    }
    if (name == "length") {
      if (sql_server) return call("LEN");
      if (db == kDbAccess) return call("Len");
      return call("LENGTH");
    }
    if (name == "substr") {
      if (db == kDbAccess) return call("Mid");
      if (sql_server) {
        // SQL Server's SUBSTRING always wants a length.
        if (args.size() == 2) return "SUBSTRING(" + args[0] + ", " + args[1] + ", 2147483647)";
        return call("SUBSTRING");
      }
      return call("SUBSTR");
    }
    if (name == "trim" && sql_server) return "LTRIM(RTRIM(" + args[0] + "))";
    if (name == "coalesce" && db == kDbAccess) {
      // Access has no COALESCE; IIf over IsNull chains the same choice.
      std::string out = args.back();
      for (size_t i = args.size() - 1; i-- > 0;) {
        out = "IIf(IsNull(" + args[i] + "), " + out + ", " + args[i] + ")";
      }
      return out;
    }
    return call(AsciiUpper(name));
  }

  const SqlChecker& checker_;
  std::string_view text_;
  std::vector<Token> tokens_;
  size_t pos_ = 0;
  int depth_ = 0;
  std::string error_;
};

}  // namespace

const std::vector<AllowedFunction>& AllowedFunctions() {
  static const std::vector<AllowedFunction> kFunctions = {
      {"abs", 1, 1},    {"round", 1, 2}, {"upper", 1, 1},   {"lower", 1, 1},     {"length", 1, 1},
      {"substr", 2, 3}, {"trim", 1, 1},  {"replace", 3, 3}, {"coalesce", 2, -1}, {"nullif", 2, 2},
  };
  return kFunctions;
}

std::string SqlChecker::FindColumn(std::string_view name, std::string* error, int* category) const {
  // The name may be "col", "table.col" or "schema.table.col"; the table
  // part is matched whole against the report's objects.
  const size_t dot = name.rfind('.');
  const std::string_view qualifier = dot == std::string_view::npos ? "" : name.substr(0, dot);
  const std::string_view column = dot == std::string_view::npos ? name : name.substr(dot + 1);
  std::string found;
  int matches = 0;
  for (const CheckedTable& table : tables_) {
    if (!qualifier.empty() && !EqualsIgnoreCase(qualifier, table.name)) {
      // "Orders.Amount" where the object is "sales.Orders".
      const size_t table_dot = table.name.rfind('.');
      if (table_dot == std::string::npos ||
          !EqualsIgnoreCase(qualifier, std::string_view(table.name).substr(table_dot + 1))) {
        continue;
      }
    }
    for (size_t i = 0; i < table.columns.size(); ++i) {
      if (!EqualsIgnoreCase(table.columns[i], column)) continue;
      ++matches;
      found = tables_.size() > 1 ? table.name + "." + table.columns[i] : table.columns[i];
      if (category && i < table.categories.size()) *category = table.categories[i];
    }
  }
  if (matches == 1) return found;
  if (error) {
    *error = matches == 0
                 ? "the field " + std::string(name) + " does not exist in the report's tables"
                 : "the field " + std::string(name) + " is in more than one table: name its table";
  }
  return std::string();
}

SqlCheck SqlChecker::Condition(std::string_view text) const {
  return Parser(*this, text).Run(true);
}

SqlCheck SqlChecker::Expression(std::string_view text) const {
  return Parser(*this, text).Run(false);
}

SqlCheck SqlChecker::Format(std::string_view format) const {
  const size_t open = FindIgnoreCase(format, "[sql]");
  const size_t close = FindIgnoreCase(format, "[/sql]");
  if (open == std::string_view::npos && close == std::string_view::npos) {
    return SqlCheck{std::string(format), ""};
  }
  if (open == std::string_view::npos || close == std::string_view::npos || close < open) {
    return SqlCheck{"", "an [sql] expression must be written [sql]...[/sql]"};
  }
  SqlCheck inner = Expression(format.substr(open + 5, close - open - 5));
  if (!inner.ok()) return inner;
  return SqlCheck{"[sql]" + inner.sql + "[/sql]", ""};
}

}  // namespace fennick::designer
