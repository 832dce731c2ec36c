// Filter parsing and the canonical text of a parsed filter.
#include "platform/data/filter.h"

#include <charconv>

#include "base/ascii.h"
#include "platform/data/value_text.h"

namespace fennick::data {
namespace {

// Deeper nesting than this is refused rather than risking the stack.
constexpr int kMaxDepth = 64;

enum class TokenKind : uint8_t {
  kEnd,
  kName,
  kQuotedName,
  kNumber,
  kString,
  kDate,
  kOpenParen,
  kCloseParen,
  kDot,
  kOperator,
};

struct Token {
  TokenKind kind = TokenKind::kEnd;
  std::string text;  // name, literal or operator text
  size_t offset = 0;
};

bool IsNameStart(unsigned char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c >= 0x80;
}
bool IsNameChar(unsigned char c) { return IsNameStart(c) || (c >= '0' && c <= '9') || c == '$'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

constexpr std::string_view kKeywords[] = {"AND", "OR",   "NOT",  "LIKE",
                                          "IS",  "NULL", "TRUE", "FALSE"};

bool IsKeyword(std::string_view text) {
  for (std::string_view k : kKeywords) {
    if (EqualsIgnoreCase(text, k)) return true;
  }
  return false;
}

class Parser {
 public:
  Parser(std::string_view text, std::vector<FilterNode>& nodes) : text_(text), nodes_(nodes) {}

  FilterResult Run(uint32_t& root) {
    Advance();
    if (!failed()) root = ParseOr(0);
    if (!failed() && token_.kind != TokenKind::kEnd) {
      Fail("unexpected " + Describe(token_), token_.offset);
    }
    return result_;
  }

 private:
  bool failed() const { return !result_.ok(); }

  void Fail(std::string description, size_t offset) {
    if (failed()) return;
    result_.description = std::move(description);
    result_.offset = offset;
    token_.kind = TokenKind::kEnd;
  }

  static std::string Describe(const Token& t) {
    switch (t.kind) {
      case TokenKind::kEnd:
        return "end of filter";
      case TokenKind::kString:
        return "'" + t.text + "'";
      case TokenKind::kDate:
        return "#" + t.text + "#";
      default:
        return "\"" + t.text + "\"";
    }
  }

  bool IsWord(std::string_view keyword) const {
    return token_.kind == TokenKind::kName && EqualsIgnoreCase(token_.text, keyword);
  }

  // Reads the next token into token_.
  void Advance() {
    if (failed()) return;
    while (pos_ < text_.size() && (text_[pos_] == ' ' || text_[pos_] == '\t' ||
                                   text_[pos_] == '\r' || text_[pos_] == '\n')) {
      ++pos_;
    }
    token_ = Token();
    token_.offset = pos_;
    if (pos_ >= text_.size()) return;
    char c = text_[pos_];
    auto take_delimited = [this](char close, TokenKind kind, const char* what) {
      size_t start = pos_++;
      std::string out;
      while (pos_ < text_.size()) {
        if (text_[pos_] == close) {
          if (pos_ + 1 < text_.size() && text_[pos_ + 1] == close && close != '#') {
            out.push_back(close);
            pos_ += 2;
            continue;
          }
          ++pos_;
          token_.kind = kind;
          token_.text = std::move(out);
          return;
        }
        out.push_back(text_[pos_++]);
      }
      Fail(std::string("unterminated ") + what, start);
    };
    switch (c) {
      case '(':
        token_.kind = TokenKind::kOpenParen;
        token_.text.assign(1, c);
        ++pos_;
        return;
      case ')':
        token_.kind = TokenKind::kCloseParen;
        token_.text.assign(1, c);
        ++pos_;
        return;
      case '.':
        if (pos_ + 1 < text_.size() && IsDigit(text_[pos_ + 1])) break;
        token_.kind = TokenKind::kDot;
        token_.text.assign(1, c);
        ++pos_;
        return;
      case '\'':
        take_delimited('\'', TokenKind::kString, "string");
        return;
      case '#':
        take_delimited('#', TokenKind::kDate, "date");
        return;
      case '[':
        take_delimited(']', TokenKind::kQuotedName, "name");
        return;
      case '`':
        take_delimited('`', TokenKind::kQuotedName, "name");
        return;
      case '"':
        take_delimited('"', TokenKind::kQuotedName, "name");
        return;
      case '=':
        token_.kind = TokenKind::kOperator;
        token_.text.assign(1, c);
        ++pos_;
        return;
      case '<':
      case '>':
      case '!': {
        std::string op(1, c);
        ++pos_;
        if (pos_ < text_.size() && (text_[pos_] == '=' || (c == '<' && text_[pos_] == '>'))) {
          op.push_back(text_[pos_++]);
        }
        if (op == "!") {
          Fail("unexpected \"!\"", token_.offset);
          return;
        }
        token_.kind = TokenKind::kOperator;
        token_.text = std::move(op);
        return;
      }
      default:
        break;
    }
    if (IsDigit(c) || c == '.' ||
        ((c == '-' || c == '+') && pos_ + 1 < text_.size() &&
         (IsDigit(text_[pos_ + 1]) || text_[pos_ + 1] == '.'))) {
      size_t start = pos_;
      if (c == '-' || c == '+') ++pos_;
      size_t digits = 0;
      while (pos_ < text_.size() && IsDigit(text_[pos_])) ++pos_, ++digits;
      if (pos_ < text_.size() && text_[pos_] == '.') {
        ++pos_;
        while (pos_ < text_.size() && IsDigit(text_[pos_])) ++pos_, ++digits;
      }
      if (digits > 0 && pos_ < text_.size() && (text_[pos_] == 'e' || text_[pos_] == 'E')) {
        size_t mark = pos_++;
        if (pos_ < text_.size() && (text_[pos_] == '+' || text_[pos_] == '-')) ++pos_;
        size_t exp_digits = 0;
        while (pos_ < text_.size() && IsDigit(text_[pos_])) ++pos_, ++exp_digits;
        if (exp_digits == 0) pos_ = mark;
      }
      if (digits == 0 || (pos_ < text_.size() && IsNameChar(text_[pos_]))) {
        Fail("malformed number", start);
        return;
      }
      token_.kind = TokenKind::kNumber;
      token_.text = std::string(text_.substr(start, pos_ - start));
      return;
    }
    if (IsNameStart(static_cast<unsigned char>(c))) {
      size_t start = pos_;
      while (pos_ < text_.size() && IsNameChar(static_cast<unsigned char>(text_[pos_]))) ++pos_;
      token_.kind = TokenKind::kName;
      token_.text = std::string(text_.substr(start, pos_ - start));
      return;
    }
    Fail(std::string("unexpected character \"") + c + "\"", pos_);
  }

  uint32_t Add(FilterNode node) {
    nodes_.push_back(std::move(node));
    return static_cast<uint32_t>(nodes_.size() - 1);
  }

  uint32_t Binary(FilterNode::Kind kind, uint32_t left, uint32_t right) {
    FilterNode node;
    node.kind = kind;
    node.left = left;
    node.right = right;
    return Add(std::move(node));
  }

  uint32_t ParseOr(int depth) {
    uint32_t left = ParseAnd(depth);
    while (!failed() && IsWord("OR")) {
      Advance();
      uint32_t right = ParseAnd(depth);
      left = Binary(FilterNode::Kind::kOr, left, right);
    }
    return left;
  }

  uint32_t ParseAnd(int depth) {
    uint32_t left = ParseNot(depth);
    while (!failed() && IsWord("AND")) {
      Advance();
      uint32_t right = ParseNot(depth);
      left = Binary(FilterNode::Kind::kAnd, left, right);
    }
    return left;
  }

  uint32_t ParseNot(int depth) {
    if (depth > kMaxDepth) {
      Fail("the filter is nested too deeply", token_.offset);
      return 0;
    }
    if (IsWord("NOT")) {
      Advance();
      uint32_t operand = ParseNot(depth + 1);
      FilterNode node;
      node.kind = FilterNode::Kind::kNot;
      node.left = operand;
      return Add(std::move(node));
    }
    if (token_.kind == TokenKind::kOpenParen) {
      size_t open = token_.offset;
      Advance();
      uint32_t inner = ParseOr(depth + 1);
      if (failed()) return 0;
      if (token_.kind != TokenKind::kCloseParen) {
        Fail("missing \")\" for the \"(\" at character " + std::to_string(open + 1), token_.offset);
        return 0;
      }
      Advance();
      return inner;
    }
    return ParseCondition();
  }

  bool IsColumnName() const {
    return token_.kind == TokenKind::kQuotedName ||
           (token_.kind == TokenKind::kName && !IsKeyword(token_.text));
  }

  uint32_t ParseCondition() {
    FilterNode node;
    node.offset = token_.offset;
    if (!IsColumnName()) {
      Fail("expected a field name, found " + Describe(token_), token_.offset);
      return 0;
    }
    std::vector<std::string> parts{token_.text};
    Advance();
    while (!failed() && token_.kind == TokenKind::kDot) {
      Advance();
      if (!IsColumnName() || parts.size() == 3) {
        Fail("expected a field name after \".\"", token_.offset);
        return 0;
      }
      parts.push_back(token_.text);
      Advance();
    }
    if (failed()) return 0;
    node.column = parts.back();
    if (parts.size() > 1) node.table = parts[parts.size() - 2];

    if (IsWord("IS")) {
      Advance();
      bool negated = IsWord("NOT");
      if (negated) Advance();
      if (!IsWord("NULL")) {
        Fail("expected NULL after IS, found " + Describe(token_), token_.offset);
        return 0;
      }
      Advance();
      node.op = negated ? FilterOp::kIsNotNull : FilterOp::kIsNull;
      return Add(std::move(node));
    }
    bool not_like = IsWord("NOT");
    if (not_like) Advance();
    if (IsWord("LIKE")) {
      Advance();
      if (token_.kind != TokenKind::kString) {
        Fail("LIKE needs a pattern in single quotes, found " + Describe(token_), token_.offset);
        return 0;
      }
      node.op = not_like ? FilterOp::kNotLike : FilterOp::kLike;
      node.literal_kind = LiteralKind::kString;
      node.literal = token_.text;
      Advance();
      return Add(std::move(node));
    }
    if (not_like) {
      Fail("expected LIKE after NOT, found " + Describe(token_), token_.offset);
      return 0;
    }
    if (token_.kind != TokenKind::kOperator) {
      Fail("expected a comparison after the field " + node.column + ", found " + Describe(token_),
           token_.offset);
      return 0;
    }
    const std::string& op = token_.text;
    if (op == "=")
      node.op = FilterOp::kEqual;
    else if (op == "<>" || op == "!=")
      node.op = FilterOp::kNotEqual;
    else if (op == "<")
      node.op = FilterOp::kLess;
    else if (op == ">")
      node.op = FilterOp::kGreater;
    else if (op == "<=")
      node.op = FilterOp::kLessEqual;
    else
      node.op = FilterOp::kGreaterEqual;
    Advance();
    if (!ParseLiteral(node)) return 0;
    if (node.literal_kind == LiteralKind::kNull) {
      if (node.op != FilterOp::kEqual && node.op != FilterOp::kNotEqual) {
        Fail("NULL can only be compared with = or <>", node.offset);
        return 0;
      }
      node.op = node.op == FilterOp::kEqual ? FilterOp::kIsNull : FilterOp::kIsNotNull;
      node.literal_kind = LiteralKind::kNone;
      node.literal.clear();
    }
    return Add(std::move(node));
  }

  bool ParseLiteral(FilterNode& node) {
    switch (token_.kind) {
      case TokenKind::kNumber: {
        std::string_view t = token_.text;
        if (!t.empty() && t.front() == '+') t.remove_prefix(1);
        std::string digits(t);
        if (digits.front() == '.' || (digits.front() == '-' && digits[1] == '.')) {
          digits.insert(digits.begin() + (digits.front() == '-' ? 1 : 0), '0');
        }
        auto res = std::from_chars(digits.data(), digits.data() + digits.size(), node.number);
        if (res.ec != std::errc()) {
          Fail("number out of range", token_.offset);
          return false;
        }
        node.literal_kind = LiteralKind::kNumber;
        break;
      }
      case TokenKind::kString:
        node.literal_kind = LiteralKind::kString;
        break;
      case TokenKind::kDate:
        if (!ParseDateText(token_.text, node.number)) {
          Fail("not a date: #" + token_.text + "#", token_.offset);
          return false;
        }
        node.literal_kind = LiteralKind::kDate;
        break;
      case TokenKind::kName:
        if (EqualsIgnoreCase(token_.text, "NULL")) {
          node.literal_kind = LiteralKind::kNull;
        } else if (EqualsIgnoreCase(token_.text, "TRUE") || EqualsIgnoreCase(token_.text, "FALSE")) {
          node.literal_kind = LiteralKind::kBoolean;
          node.number = EqualsIgnoreCase(token_.text, "TRUE") ? 1 : 0;
        } else {
          Fail("expected a value, found " + Describe(token_) + " (put text in single quotes)",
               token_.offset);
          return false;
        }
        break;
      default:
        Fail("expected a value, found " + Describe(token_), token_.offset);
        return false;
    }
    node.literal = token_.text;
    Advance();
    return !failed();
  }

  std::string_view text_;
  std::vector<FilterNode>& nodes_;
  size_t pos_ = 0;
  Token token_;
  FilterResult result_;
};

void WriteName(std::string_view name, std::string& out) {
  bool bare = !name.empty() && IsNameStart(static_cast<unsigned char>(name[0])) && !IsKeyword(name);
  for (char c : name) bare = bare && IsNameChar(static_cast<unsigned char>(c));
  if (bare) {
    out.append(name);
    return;
  }
  out.push_back('[');
  for (char c : name) {
    if (c == ']') out.push_back(']');
    out.push_back(c);
  }
  out.push_back(']');
}

const char* OperatorText(FilterOp op) {
  switch (op) {
    case FilterOp::kEqual:
      return " = ";
    case FilterOp::kNotEqual:
      return " <> ";
    case FilterOp::kLess:
      return " < ";
    case FilterOp::kGreater:
      return " > ";
    case FilterOp::kLessEqual:
      return " <= ";
    case FilterOp::kGreaterEqual:
      return " >= ";
    case FilterOp::kLike:
      return " LIKE ";
    case FilterOp::kNotLike:
      return " NOT LIKE ";
    case FilterOp::kIsNull:
      return " IS NULL";
    case FilterOp::kIsNotNull:
      return " IS NOT NULL";
  }
  return "";
}

}  // namespace

FilterResult FilterExpression::Parse(std::string_view text) {
  nodes_.clear();
  root_ = 0;
  std::string_view rest = text;
  while (!rest.empty() && (rest.front() == ' ' || rest.front() == '\t')) rest.remove_prefix(1);
  if (rest.empty()) return {};
  Parser parser(text, nodes_);
  FilterResult result = parser.Run(root_);
  if (!result.ok()) nodes_.clear();
  return result;
}

std::string FilterExpression::ToString() const {
  std::string out;
  if (!nodes_.empty()) Write(root_, out);
  return out;
}

void FilterExpression::Write(uint32_t index, std::string& out) const {
  const FilterNode& node = nodes_[index];
  switch (node.kind) {
    case FilterNode::Kind::kAnd:
    case FilterNode::Kind::kOr:
      out.push_back('(');
      Write(node.left, out);
      out.append(node.kind == FilterNode::Kind::kAnd ? " AND " : " OR ");
      Write(node.right, out);
      out.push_back(')');
      return;
    case FilterNode::Kind::kNot:
      out.append("NOT ");
      Write(node.left, out);
      return;
    case FilterNode::Kind::kCondition:
      break;
  }
  if (!node.table.empty()) {
    WriteName(node.table, out);
    out.push_back('.');
  }
  WriteName(node.column, out);
  out.append(OperatorText(node.op));
  switch (node.literal_kind) {
    case LiteralKind::kString:
      out.push_back('\'');
      for (char c : node.literal) {
        if (c == '\'') out.push_back('\'');
        out.push_back(c);
      }
      out.push_back('\'');
      break;
    case LiteralKind::kDate:
      out.append("#").append(node.literal).append("#");
      break;
    case LiteralKind::kBoolean:
      out.append(node.number != 0 ? "TRUE" : "FALSE");
      break;
    case LiteralKind::kNumber:
      out.append(node.literal);
      break;
    case LiteralKind::kNone:
    case LiteralKind::kNull:
      break;
  }
}

}  // namespace fennick::data
