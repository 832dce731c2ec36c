// Classic assignments: a tokenizer that knows enough JavaScript to tell code
// from strings, comments, regular expressions and template literals, and the
// rewriting of `Session(k) = v` and its kin into setter calls over its
// tokens.
#include "platform/script/classic_assignment.h"

#include <algorithm>
#include <iterator>
#include <optional>
#include <vector>

namespace fennick {
namespace {

enum class Kind { kName, kNumber, kString, kTemplate, kRegExp, kPunct };

struct Token {
  Kind kind;
  size_t begin;
  size_t end;
  bool line_before;  // a line break lies between the previous token and this one
};

// Punctuators, longest first so that the first match is the longest.
constexpr std::string_view kPunctuators[] = {
    ">>>=", "...", "===", "!==", "**=", "<<=", ">>=", ">>>", "&&=", "||=", "?\?=", "=>", "==",
    "!=",   "<=",  ">=",  "&&",  "||",  "??",  "?.",  "++",  "--",  "+=",  "-=",   "*=", "/=",
    "%=",   "&=",  "|=",  "^=",  "**",  "<<",  ">>",  "{",   "}",   "(",   ")",    "[",  "]",
    ";",    ",",   "<",   ">",   "+",   "-",   "*",   "%",   "&",   "|",   "^",    "!",  "~"};
// Single characters not in the list above: "?", ":", "=", ".", "/".

// Words after which an expression cannot have ended: a "/" after them
// starts a regular expression, and a line break after them inserts no
// semicolon.
constexpr std::string_view kOperatorWords[] = {
    "await",    "break",  "case",   "catch",  "class",      "const",   "continue", "debugger",
    "default",  "delete", "do",     "else",   "export",     "extends", "finally",  "for",
    "function", "if",     "import", "in",     "instanceof", "let",     "new",      "return",
    "switch",   "throw",  "try",    "typeof", "var",        "void",    "while"};

bool IsNameChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
         c == '$' || c == '\\' || static_cast<unsigned char>(c) >= 0x80;
}
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

class Lexer {
 public:
  explicit Lexer(std::string_view s) : s_(s) {}

  std::vector<Token> Run() {
    std::vector<Token> tokens;
    size_t i = 0;
    while (true) {
      bool line = SkipBlank(i);
      if (i >= s_.size()) break;
      size_t begin = i;
      Kind kind = Scan(i, tokens.empty() ? nullptr : &tokens.back());
      tokens.push_back(Token{kind, begin, i, line});
    }
    return tokens;
  }

  // Whether `token` can end an expression (a name, a literal, a closing
  // bracket, a postfix ++ or --).
  static bool EndsExpression(std::string_view s, const Token& token) {
    std::string_view text = s.substr(token.begin, token.end - token.begin);
    switch (token.kind) {
      case Kind::kName:
        return std::find(std::begin(kOperatorWords), std::end(kOperatorWords), text) ==
               std::end(kOperatorWords);
      case Kind::kPunct:
        return text == ")" || text == "]" || text == "}" || text == "++" || text == "--";
      default:
        return true;
    }
  }

 private:
  // Skips blanks and comments from i; whether a line break was among them.
  bool SkipBlank(size_t& i) const {
    bool line = false;
    const size_t n = s_.size();
    while (i < n) {
      char c = s_[i];
      if (c == '\n' || c == '\r') {
        line = true;
        ++i;
      } else if (c == ' ' || c == '\t' || c == '\v' || c == '\f') {
        ++i;
      } else if (c == '/' && i + 1 < n && s_[i + 1] == '/') {
        while (i < n && s_[i] != '\n' && s_[i] != '\r') ++i;
      } else if (c == '/' && i + 1 < n && s_[i + 1] == '*') {
        size_t close = s_.find("*/", i + 2);
        size_t end = close == std::string_view::npos ? n : close + 2;
        if (s_.substr(i, end - i).find_first_of("\r\n") != std::string_view::npos) line = true;
        i = end;
      } else {
        break;
      }
    }
    return line;
  }

  Kind Scan(size_t& i, const Token* previous) const {
    const size_t n = s_.size();
    char c = s_[i];
    if (c == '"' || c == '\'') {
      ++i;
      // A raw line break ends an unterminated string; the compiler reports it.
      while (i < n && s_[i] != c && s_[i] != '\n') i += s_[i] == '\\' ? 2 : 1;
      i = std::min(n, i + (i < n && s_[i] == c ? 1 : 0));
      return Kind::kString;
    }
    if (c == '`') {
      i = SkipTemplate(i);
      return Kind::kTemplate;
    }
    if (IsDigit(c) || (c == '.' && i + 1 < n && IsDigit(s_[i + 1]))) {
      bool hex = c == '0' && i + 1 < n && (s_[i + 1] == 'x' || s_[i + 1] == 'X');
      ++i;
      while (i < n &&
             (IsNameChar(s_[i]) || s_[i] == '.' ||
              ((s_[i] == '+' || s_[i] == '-') && !hex && (s_[i - 1] == 'e' || s_[i - 1] == 'E')))) {
        ++i;
      }
      return Kind::kNumber;
    }
    if (IsNameChar(c)) {
      while (i < n && IsNameChar(s_[i])) i += s_[i] == '\\' ? 2 : 1;
      i = std::min(i, n);
      return Kind::kName;
    }
    if (c == '/' && (previous == nullptr || !EndsExpression(s_, *previous))) {
      SkipRegExp(i);
      return Kind::kRegExp;
    }
    for (std::string_view p : kPunctuators) {
      if (s_.compare(i, p.size(), p) == 0) {
        i += p.size();
        return Kind::kPunct;
      }
    }
    ++i;  // ? : = . / and anything the language does not have
    return Kind::kPunct;
  }

  // The end of the template literal opening at i, its ${...} parts included.
  size_t SkipTemplate(size_t i) const {
    const size_t n = s_.size();
    ++i;
    while (i < n && s_[i] != '`') {
      if (s_[i] == '\\') {
        i += 2;
      } else if (s_[i] == '$' && i + 1 < n && s_[i + 1] == '{') {
        i += 2;
        for (int depth = 1; i < n && depth > 0;) {
          char c = s_[i];
          if (c == '`') {
            i = SkipTemplate(i);
            continue;
          }
          if (c == '"' || c == '\'') {
            Scan(i, nullptr);
            continue;
          }
          depth += c == '{' ? 1 : c == '}' ? -1 : 0;
          ++i;
        }
      } else {
        ++i;
      }
    }
    return std::min(n, i + 1);
  }

  void SkipRegExp(size_t& i) const {
    const size_t n = s_.size();
    bool in_class = false;
    for (++i; i < n && s_[i] != '\n'; ++i) {
      char c = s_[i];
      if (c == '\\') {
        ++i;
      } else if (in_class) {
        in_class = c != ']';
      } else if (c == '[') {
        in_class = true;
      } else if (c == '/') {
        ++i;
        break;
      }
    }
    i = std::min(i, n);
    while (i < n && IsNameChar(s_[i])) ++i;  // the flags
  }

  std::string_view s_;
};

bool IsCompoundAssignment(std::string_view op) {
  static constexpr std::string_view kOps[] = {
      "+=", "-=", "*=", "/=", "%=", "**=", "<<=", ">>=", ">>>=", "&=", "|=", "^="};
  return std::find(std::begin(kOps), std::end(kOps), op) != std::end(kOps);
}

bool IsAssignment(std::string_view op) {
  return op == "=" || op == "&&=" || op == "||=" || op == "?\?=" || IsCompoundAssignment(op);
}

bool IsOpener(std::string_view t) { return t == "(" || t == "[" || t == "{"; }
bool IsCloser(std::string_view t) { return t == ")" || t == "]" || t == "}"; }

class Rewriter {
 public:
  explicit Rewriter(std::string_view s) : s_(s), t_(Lexer(s).Run()) {}

  ClassicRewrite Run() {
    for (size_t i = 0; i < t_.size(); ++i) TryAt(i);
    // Inserts before replacements at the same place: a value's closing ")"
    // goes before the "," that replaces the key's ")" right after it.
    std::stable_sort(edits_.begin(), edits_.end(), [](const Edit& a, const Edit& b) {
      return a.at != b.at ? a.at < b.at : (a.erase == 0) > (b.erase == 0);
    });
    ClassicRewrite out;
    out.code.reserve(s_.size() + edits_.size() * 8);
    size_t from = 0;
    for (const Edit& e : edits_) {
      out.code.append(s_.substr(from, e.at - from)).append(e.text);
      from = e.at + e.erase;
    }
    out.code.append(s_.substr(from));
    out.temporaries = temporaries_;
    return out;
  }

 private:
  struct Edit {
    size_t at;
    size_t erase;
    std::string text;
  };

  std::string_view Text(size_t i) const {
    return i < t_.size() ? s_.substr(t_[i].begin, t_[i].end - t_[i].begin) : std::string_view();
  }
  bool Punct(size_t i, std::string_view text) const {
    return i < t_.size() && t_[i].kind == Kind::kPunct && Text(i) == text;
  }
  bool Name(size_t i, std::string_view text) const {
    return i < t_.size() && t_[i].kind == Kind::kName && Text(i) == text;
  }
  void Replace(size_t token, std::string text) {
    edits_.push_back(Edit{t_[token].begin, t_[token].end - t_[token].begin, std::move(text)});
  }
  void InsertAfter(size_t token, std::string text) {
    edits_.push_back(Edit{t_[token].end, 0, std::move(text)});
  }

  // Whether an assignment may begin at token i: at the start, after a
  // statement ended (by a punctuator or a line break), after an opening
  // bracket, a comma, an assignment, "?", ":", or a word such as "return".
  // After ".", a binary operator or "new" the call is part of a larger
  // expression that cannot be assigned to, and stays as it is.
  bool MayBeginAssignment(size_t i) const {
    if (i == 0) return true;
    if (t_[i].line_before && Lexer::EndsExpression(s_, t_[i - 1])) return true;
    std::string_view p = Text(i - 1);
    if (t_[i - 1].kind == Kind::kName) {
      return p == "return" || p == "throw" || p == "else" || p == "do" || p == "case" ||
             p == "break" || p == "continue";
    }
    return t_[i - 1].kind == Kind::kPunct &&
           (p == ";" || p == "," || p == "?" || p == ":" || p == "=>" || IsOpener(p) ||
            IsCloser(p) || IsAssignment(p));
  }

  // The closing bracket of the one opening at `open`.
  std::optional<size_t> Matching(size_t open) const {
    int depth = 0;
    for (size_t i = open; i < t_.size(); ++i) {
      if (t_[i].kind != Kind::kPunct) continue;
      if (IsOpener(Text(i))) ++depth;
      if (IsCloser(Text(i)) && --depth == 0) return i;
    }
    return std::nullopt;
  }

  bool HasTopLevelComma(size_t open, size_t close) const {
    int depth = 0;
    for (size_t i = open + 1; i < close; ++i) {
      if (t_[i].kind != Kind::kPunct) continue;
      std::string_view p = Text(i);
      depth += IsOpener(p) ? 1 : IsCloser(p) ? -1 : 0;
      if (depth == 0 && p == ",") return true;
    }
    return false;
  }

  // Whether a line break before token i lets the expression go on (a binary
  // operator, ".", "(", "[" ...), so that no semicolon is inserted there.
  bool Continues(size_t i) const {
    std::string_view p = Text(i);
    switch (t_[i].kind) {
      case Kind::kPunct:
        return p != "{" && p != "!" && p != "~" && p != "++" && p != "--";
      case Kind::kTemplate:
        return true;
      case Kind::kName:
        return p == "in" || p == "instanceof";
      default:
        return false;
    }
  }

  // The last token of the assigned value that starts at `first`: it ends
  // where the assignment expression ends (a ";" or "," of its own level, a
  // bracket closing around it, a ":" of an enclosing "?", or a line break
  // where a semicolon is inserted).
  std::optional<size_t> ValueEnd(size_t first) const {
    std::optional<size_t> last;
    int depth = 0, conditionals = 0;
    for (size_t i = first; i < t_.size(); ++i) {
      if (i > first && t_[i].line_before && depth == 0 && Lexer::EndsExpression(s_, t_[i - 1]) &&
          !Continues(i)) {
        break;
      }
      if (t_[i].kind == Kind::kPunct) {
        std::string_view p = Text(i);
        if (IsOpener(p)) ++depth;
        if (IsCloser(p) && depth-- == 0) break;
        if (depth == 0 && (p == ";" || p == ",")) break;
        if (depth == 0 && p == "?") ++conditionals;
        if (depth == 0 && p == ":" && conditionals-- == 0) break;
      }
      last = i;
    }
    return last;
  }

  // Rewrites the classic assignment whose target starts at token i, if
  // there is one.
  void TryAt(size_t i) {
    bool store = Name(i, "Session") || Name(i, "Application");
    if (!(store || Name(i, "Response")) || !MayBeginAssignment(i)) return;
    size_t open = i + 1;
    std::optional<size_t> member;  // "Item" or "Contents", replaced by "Set"
    if (!store) {
      if (!Punct(open, ".") || !Name(open + 1, "Cookies")) return;
      open += 2;
    } else if (Punct(open, ".") && (Name(open + 1, "Item") || Name(open + 1, "Contents"))) {
      member = open + 1;
      open += 2;
    }
    if (!Punct(open, "(")) return;
    std::optional<size_t> close = Matching(open);
    // One key, as the setters take: anything else stays the compiler's error.
    if (!close || *close == open + 1 || HasTopLevelComma(open, *close)) return;
    size_t op = *close + 1;
    bool compound =
        store && op < t_.size() && t_[op].kind == Kind::kPunct && IsCompoundAssignment(Text(op));
    if (!compound && !Punct(op, "=")) return;
    std::optional<size_t> last = ValueEnd(op + 1);
    if (!last) return;

    if (member) {
      Replace(*member, "Set");
    } else if (store) {
      InsertAfter(i, ".Set");
    }
    if (compound) {
      std::string temp = std::string(kClassicTemporary) + std::to_string(temporaries_++);
      std::string_view binary = Text(op).substr(0, Text(op).size() - 1);
      InsertAfter(open, temp + " = (");
      Replace(*close, "),");
      Replace(op, std::string(Text(i)) + "(" + temp + ") " + std::string(binary) + " (");
      InsertAfter(*last, "))");
    } else {
      Replace(*close, ",");
      Replace(op, "");
      InsertAfter(*last, ")");
    }
  }

  std::string_view s_;
  std::vector<Token> t_;
  std::vector<Edit> edits_;
  uint32_t temporaries_ = 0;
};

}  // namespace

ClassicRewrite RewriteClassicAssignments(std::string_view code) {
  // Most pages store nothing: they are not tokenized at all.
  if (code.find("Session") == std::string_view::npos &&
      code.find("Application") == std::string_view::npos &&
      code.find("Cookies") == std::string_view::npos) {
    return ClassicRewrite{std::string(code), 0};
  }
  return Rewriter(code).Run();
}

}  // namespace fennick
