// The lexer and the recursive-descent parser of expressions.
#include "platform/script/parser.h"

#include <cmath>
#include <charconv>
#include <string>

#include "base/ascii.h"
#include "platform/script/builtins.h"
#include "platform/script/coerce.h"
#include "platform/script/date_literal.h"
#include "platform/script/script_error.h"

namespace fennick::script {
namespace {

enum class Tok : uint8_t {
  kEnd, kNumber, kString, kDate, kName,
  kPlus, kMinus, kStar, kSlash, kBackslash, kCaret, kAmpersand,
  kOpen, kClose, kComma, kEqual, kNotEqual, kLess, kGreater, kLessEqual, kGreaterEqual,
};

struct Token {
  Tok kind = Tok::kEnd;
  size_t column = 1;       // 1-based
  std::string_view text;   // names
  Variant value;           // numbers, strings, dates
};

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsNameChar(char c) { return IsLetter(c) || IsDigit(c) || c == '_'; }

class Lexer {
 public:
  explicit Lexer(std::string_view text) : text_(text) {}

  Token Next() {
    // Line breaks count as blanks: a template may wrap a long expression.
    while (pos_ < text_.size() && (text_[pos_] == ' ' || text_[pos_] == '\t' ||
                                   text_[pos_] == '\r' || text_[pos_] == '\n'))
      ++pos_;
    Token t;
    t.column = pos_ + 1;
    if (pos_ >= text_.size()) return t;
    char c = text_[pos_];
    if (IsDigit(c) || (c == '.' && pos_ + 1 < text_.size() && IsDigit(text_[pos_ + 1]))) {
      LexNumber(t);
    } else if (c == '&' && pos_ + 1 < text_.size() &&
               (text_[pos_ + 1] == 'H' || text_[pos_ + 1] == 'h' || text_[pos_ + 1] == 'O' ||
                text_[pos_ + 1] == 'o')) {
      LexRadixNumber(t);
    } else if (c == '"') {
      LexString(t);
    } else if (c == '#') {
      LexDate(t);
    } else if (IsLetter(c)) {
      size_t start = pos_;
      while (pos_ < text_.size() && IsNameChar(text_[pos_])) ++pos_;
      t.kind = Tok::kName;
      t.text = text_.substr(start, pos_ - start);
    } else {
      LexOperator(t);
    }
    return t;
  }

 private:
  void LexNumber(Token& t) {
    size_t start = pos_;
    bool integral = true;
    while (pos_ < text_.size() && IsDigit(text_[pos_])) ++pos_;
    if (pos_ < text_.size() && text_[pos_] == '.') {
      integral = false;
      ++pos_;
      while (pos_ < text_.size() && IsDigit(text_[pos_])) ++pos_;
    }
    if (pos_ < text_.size() && (text_[pos_] == 'e' || text_[pos_] == 'E')) {
      size_t exp = pos_ + 1;
      if (exp < text_.size() && (text_[exp] == '+' || text_[exp] == '-')) ++exp;
      if (exp < text_.size() && IsDigit(text_[exp])) {
        integral = false;
        pos_ = exp;
        while (pos_ < text_.size() && IsDigit(text_[pos_])) ++pos_;
      }
    }
    // A number runs straight into a name or another point: not a number.
    if (pos_ < text_.size() && (IsNameChar(text_[pos_]) || text_[pos_] == '.'))
      RaiseCompile(kErrSyntax, pos_ + 1);
    std::string_view digits = text_.substr(start, pos_ - start);
    t.kind = Tok::kNumber;
    if (integral && digits.size() <= 10) {
      int64_t n = 0;
      std::from_chars(digits.data(), digits.data() + digits.size(), n);
      t.value = FitInteger(n);
      return;
    }
    double d = 0;
    if (!ParseNumber(digits, d)) RaiseCompile(kErrSyntax, start + 1);
    if (!std::isfinite(d)) RaiseCompile(kErrOverflow, start + 1);
    t.value = Variant(d);
  }

  // &Hhex and &Ooctal: up to 16 bits an Integer, up to 32 bits a Long
  // (both wrapping to negative like the script world's), a trailing & forces
  // a Long.
  void LexRadixNumber(Token& t) {
    size_t start = pos_;
    int base = (text_[pos_ + 1] | 0x20) == 'h' ? 16 : 8;
    pos_ += 2;
    size_t digits_start = pos_;
    uint64_t n = 0;
    while (pos_ < text_.size()) {
      char c = text_[pos_];
      int digit = IsDigit(c) ? c - '0' : IsLetter(c) ? (c | 0x20) - 'a' + 10 : 99;
      if (digit >= base) break;
      n = n * base + static_cast<uint64_t>(digit);
      if (n > 0xFFFFFFFFu) RaiseCompile(kErrOverflow, start + 1);
      ++pos_;
    }
    if (pos_ == digits_start) RaiseCompile(kErrSyntax, start + 1);
    bool force_long = pos_ < text_.size() && text_[pos_] == '&';
    if (force_long) ++pos_;
    if (pos_ < text_.size() && IsNameChar(text_[pos_])) RaiseCompile(kErrSyntax, pos_ + 1);
    t.kind = Tok::kNumber;
    if (n <= 0xFFFF && !force_long) {
      t.value = Variant(static_cast<int16_t>(static_cast<uint16_t>(n)));
    } else {
      t.value = Variant(static_cast<int32_t>(static_cast<uint32_t>(n)));
    }
  }

  void LexString(Token& t) {
    size_t start = pos_++;
    std::string value;
    for (;;) {
      size_t quote = text_.find('"', pos_);
      if (quote == std::string_view::npos) RaiseCompile(kErrUnterminatedString, start + 1);
      value.append(text_.substr(pos_, quote - pos_));
      pos_ = quote + 1;
      if (pos_ < text_.size() && text_[pos_] == '"') {
        value.push_back('"');
        ++pos_;
        continue;
      }
      break;
    }
    t.kind = Tok::kString;
    t.value = Variant(std::move(value));
  }

  void LexDate(Token& t) {
    size_t start = pos_++;
    size_t close = text_.find('#', pos_);
    if (close == std::string_view::npos) RaiseCompile(kErrSyntax, start + 1);
    double date;
    if (!ParseDateLiteral(text_.substr(pos_, close - pos_), date))
      RaiseCompile(kErrSyntax, start + 1);
    pos_ = close + 1;
    t.kind = Tok::kDate;
    t.value = Variant::Date(date);
  }

  void LexOperator(Token& t) {
    char c = text_[pos_++];
    char next = pos_ < text_.size() ? text_[pos_] : '\0';
    switch (c) {
      case '+': t.kind = Tok::kPlus; return;
      case '-': t.kind = Tok::kMinus; return;
      case '*': t.kind = Tok::kStar; return;
      case '/': t.kind = Tok::kSlash; return;
      case '\\': t.kind = Tok::kBackslash; return;
      case '^': t.kind = Tok::kCaret; return;
      case '&': t.kind = Tok::kAmpersand; return;
      case '(': t.kind = Tok::kOpen; return;
      case ')': t.kind = Tok::kClose; return;
      case ',': t.kind = Tok::kComma; return;
      case '=': t.kind = Tok::kEqual; return;
      case '<':
        if (next == '=') { ++pos_; t.kind = Tok::kLessEqual; return; }
        if (next == '>') { ++pos_; t.kind = Tok::kNotEqual; return; }
        t.kind = Tok::kLess;
        return;
      case '>':
        if (next == '=') { ++pos_; t.kind = Tok::kGreaterEqual; return; }
        t.kind = Tok::kGreater;
        return;
      default:
        RaiseCompile(kErrInvalidCharacter, pos_);
    }
  }

  std::string_view text_;
  size_t pos_ = 0;
};

class Parser {
 public:
  explicit Parser(std::string_view text) : lexer_(text) { Advance(); }

  std::shared_ptr<const Expression> Parse() {
    uint32_t root = ParseImp();
    if (token_.kind != Tok::kEnd) {
      RaiseCompile(kErrSyntax, token_.column);
    }
    return std::make_shared<const Expression>(std::move(nodes_), root);
  }

 private:
  void Advance() { token_ = lexer_.Next(); }

  bool AtWord(std::string_view word) const {
    return token_.kind == Tok::kName && EqualsIgnoreCase(token_.text, word);
  }

  uint32_t Add(Node node) {
    nodes_.push_back(std::move(node));
    return static_cast<uint32_t>(nodes_.size() - 1);
  }

  uint32_t Constant(Variant value, bool literal) {
    Node n;
    n.kind = NodeKind::kConstant;
    n.literal = literal;
    n.value = std::move(value);
    return Add(std::move(n));
  }

  void Enter() {
    if (++depth_ > kMaxNesting) RaiseCompile(kErrOutOfStack, token_.column);
  }
  void Leave() { --depth_; }

  // A left-to-right chain of one level's operators over operands parsed by
  // `operand`; a single operand is returned as it is.
  template <typename Operand>
  uint32_t Chain(std::initializer_list<std::pair<Tok, BinaryOp>> tokens,
                 std::initializer_list<std::pair<std::string_view, BinaryOp>> words,
                 Operand operand) {
    uint32_t first = operand();
    Node chain;
    for (;;) {
      bool found = false;
      BinaryOp op{};
      for (const auto& [tok, o] : tokens) {
        if (token_.kind == tok) {
          found = true;
          op = o;
          break;
        }
      }
      if (!found) {
        for (const auto& [word, o] : words) {
          if (AtWord(word)) {
            found = true;
            op = o;
            break;
          }
        }
      }
      if (!found) break;
      Advance();
      if (chain.children.empty()) chain.children.push_back(first);
      chain.ops.push_back(op);
      chain.children.push_back(operand());
    }
    if (chain.children.empty()) return first;
    chain.kind = NodeKind::kChain;
    return Add(std::move(chain));
  }

  uint32_t ParseImp() {
    return Chain({}, {{"Imp", BinaryOp::kImp}}, [this] { return ParseEqv(); });
  }
  uint32_t ParseEqv() {
    return Chain({}, {{"Eqv", BinaryOp::kEqv}}, [this] { return ParseXor(); });
  }
  uint32_t ParseXor() {
    return Chain({}, {{"Xor", BinaryOp::kXor}}, [this] { return ParseOr(); });
  }
  uint32_t ParseOr() {
    return Chain({}, {{"Or", BinaryOp::kOr}}, [this] { return ParseAnd(); });
  }
  uint32_t ParseAnd() {
    return Chain({}, {{"And", BinaryOp::kAnd}}, [this] { return ParseNot(); });
  }

  uint32_t ParseNot() {
    if (!AtWord("Not")) return ParseComparison();
    Advance();
    Enter();
    Node n;
    n.kind = NodeKind::kNot;
    n.children.push_back(ParseNot());
    Leave();
    return Add(std::move(n));
  }

  uint32_t ParseComparison() {
    return Chain({{Tok::kEqual, BinaryOp::kEqual},
                  {Tok::kNotEqual, BinaryOp::kNotEqual},
                  {Tok::kLess, BinaryOp::kLess},
                  {Tok::kGreater, BinaryOp::kGreater},
                  {Tok::kLessEqual, BinaryOp::kLessEqual},
                  {Tok::kGreaterEqual, BinaryOp::kGreaterEqual}},
                 {{"Is", BinaryOp::kIs}}, [this] { return ParseConcat(); });
  }
  uint32_t ParseConcat() {
    return Chain({{Tok::kAmpersand, BinaryOp::kConcat}}, {}, [this] { return ParseAdditive(); });
  }
  uint32_t ParseAdditive() {
    return Chain({{Tok::kPlus, BinaryOp::kAdd}, {Tok::kMinus, BinaryOp::kSubtract}}, {},
                 [this] { return ParseMod(); });
  }
  uint32_t ParseMod() {
    return Chain({}, {{"Mod", BinaryOp::kMod}}, [this] { return ParseIntDivide(); });
  }
  uint32_t ParseIntDivide() {
    return Chain({{Tok::kBackslash, BinaryOp::kIntDivide}}, {},
                 [this] { return ParseMultiplicative(); });
  }
  uint32_t ParseMultiplicative() {
    return Chain({{Tok::kStar, BinaryOp::kMultiply}, {Tok::kSlash, BinaryOp::kDivide}}, {},
                 [this] { return ParseUnary(); });
  }

  // Unary minus binds looser than ^ (-2^2 is -4) and tighter than *.
  uint32_t ParseUnary() {
    if (token_.kind != Tok::kMinus && token_.kind != Tok::kPlus) return ParsePower();
    return ParseSigned([this] { return ParseUnary(); });
  }

  template <typename Operand>
  uint32_t ParseSigned(Operand operand) {
    bool minus = token_.kind == Tok::kMinus;
    Advance();
    Enter();
    uint32_t inner = operand();
    Leave();
    if (!minus) return inner;  // unary + changes nothing
    Node& node = nodes_[inner];
    if (node.kind == NodeKind::kConstant && node.literal && node.value.IsNumber() &&
        node.value.type() != VarType::kBoolean) {
      // A negative number literal stays a literal, of the narrowest type
      // that holds it (-32768 is an Integer).
      node.value = Negate(node.value);
      if (node.value.type() == VarType::kLong) node.value = FitInteger(node.value.AsInt64());
      return inner;
    }
    Node n;
    n.kind = NodeKind::kNegate;
    n.children.push_back(inner);
    return Add(std::move(n));
  }

  uint32_t ParsePower() {
    return Chain({{Tok::kCaret, BinaryOp::kPower}}, {}, [this] {
      // The exponent may carry its own sign: 2 ^ -1.
      if (token_.kind == Tok::kMinus || token_.kind == Tok::kPlus) {
        return ParseSigned([this] { return ParsePrimary(); });
      }
      return ParsePrimary();
    });
  }

  uint32_t ParsePrimary() {
    switch (token_.kind) {
      case Tok::kNumber: case Tok::kString: case Tok::kDate: {
        uint32_t n = Constant(std::move(token_.value), true);
        Advance();
        return n;
      }
      case Tok::kOpen: {
        Advance();
        Enter();
        uint32_t inner = ParseImp();
        Leave();
        if (token_.kind != Tok::kClose)
          RaiseCompile(kErrExpectedParen, token_.column);
        Advance();
        return inner;
      }
      case Tok::kName:
        return ParseName();
      default:
        RaiseCompile(kErrSyntax, token_.column);
    }
  }

  uint32_t ParseName() {
    std::string_view name = token_.text;
    size_t column = token_.column;
    if (EqualsIgnoreCase(name, "Not")) {
      // Not in operand position: 1 + Not 0.
      return ParseNot();
    }
    Advance();
    if (EqualsIgnoreCase(name, "True")) return Constant(Variant(true), true);
    if (EqualsIgnoreCase(name, "False")) return Constant(Variant(false), true);
    if (EqualsIgnoreCase(name, "Null")) return Constant(Variant::Null(), true);
    if (EqualsIgnoreCase(name, "Empty")) return Constant(Variant(), true);
    if (EqualsIgnoreCase(name, "Nothing")) return Constant(Variant::Nothing(), true);
    if (IsOperatorWord(name)) RaiseCompile(kErrSyntax, column);
    const Builtin* builtin = FindBuiltin(name);
    bool call = token_.kind == Tok::kOpen;
    if (!builtin) {
      Variant value;
      if (call) RaiseRuntime(kErrTypeMismatch, name);
      if (FindConstant(name, value)) return Constant(std::move(value), true);
      // A variable never assigned: Empty.
      return Constant(Variant(), false);
    }
    Node n;
    n.kind = NodeKind::kCall;
    n.builtin = builtin;
    if (call) {
      Advance();
      Enter();
      if (token_.kind != Tok::kClose) {
        for (;;) {
          if (token_.kind == Tok::kComma || token_.kind == Tok::kClose) {
            Node missing;
            missing.kind = NodeKind::kMissing;
            n.children.push_back(Add(std::move(missing)));
          } else {
            n.children.push_back(ParseImp());
          }
          if (token_.kind != Tok::kComma) break;
          Advance();
        }
      }
      Leave();
      if (token_.kind != Tok::kClose)
        RaiseCompile(kErrExpectedParen, token_.column);
      Advance();
    }
    size_t count = n.children.size();
    bool arity_ok = count >= builtin->min_args && count <= builtin->max_args;
    for (size_t i = 0; arity_ok && i < count && i < builtin->min_args; ++i) {
      if (nodes_[n.children[i]].kind == NodeKind::kMissing) arity_ok = false;
    }
    if (!arity_ok) RaiseRuntime(kErrWrongArgCount, builtin->name);
    return Add(std::move(n));
  }

  static bool IsOperatorWord(std::string_view name) {
    for (std::string_view word : {"And", "Or", "Xor", "Eqv", "Imp", "Mod", "Is"}) {
      if (EqualsIgnoreCase(name, word)) return true;
    }
    return false;
  }

  Lexer lexer_;
  Token token_;
  std::vector<Node> nodes_;
  int depth_ = 0;
};

}  // namespace

std::shared_ptr<const Expression> ParseExpression(std::string_view text) {
  return Parser(text).Parse();
}

}  // namespace fennick::script
