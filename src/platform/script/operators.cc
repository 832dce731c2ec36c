// Arithmetic, concatenation, comparison and logic on Variants.
#include "platform/script/operators.h"

#include <climits>
#include <cmath>
#include <string>

#include "platform/script/coerce.h"
#include "platform/script/script_error.h"

namespace fennick::script {
namespace {

// Result-type ranks of arithmetic, lowest first.
enum Rank {
  kRankByte, kRankInteger, kRankLong, kRankSingle, kRankDouble, kRankCurrency, kRankDate,
};

Rank RankOf(const Variant& v) {
  switch (v.type()) {
    case VarType::kByte: return kRankByte;
    case VarType::kEmpty: case VarType::kBoolean: case VarType::kInteger: return kRankInteger;
    case VarType::kLong: return kRankLong;
    case VarType::kSingle: return kRankSingle;
    case VarType::kCurrency: return kRankCurrency;
    case VarType::kDate: return kRankDate;
    default: return kRankDouble;
  }
}

bool IsIntegerRank(Rank r) { return r <= kRankLong; }

Variant CheckedDouble(double d) {
  if (!std::isfinite(d)) RaiseRuntime(kErrOverflow);
  return Variant(d);
}

Variant CheckedDate(double d) {
  if (!(d >= kMinOleDate && d <= kMaxOleDate)) RaiseRuntime(kErrOverflow);
  return Variant::Date(d);
}

// An integer result of rank `rank` or wider: Byte, Integer, Long, Double.
Variant FitRank(int64_t value, Rank rank) {
  if (rank == kRankByte && value >= 0 && value <= 255)
    return Variant::Byte(static_cast<uint8_t>(value));
  if (rank <= kRankInteger && value >= -32768 && value <= 32767)
    return Variant(static_cast<int16_t>(value));
  if (value >= INT32_MIN && value <= INT32_MAX) return Variant(static_cast<int32_t>(value));
  return Variant(static_cast<double>(value));
}

Variant CurrencyResult(long double raw) {
  if (!(raw >= -9.2233720368547758e18L && raw <= 9.2233720368547758e18L - 1024))
    RaiseRuntime(kErrOverflow);
  return Variant::Currency(static_cast<int64_t>(std::nearbyint(raw)));
}

Variant Arithmetic(BinaryOp op, const Variant& a, const Variant& b) {
  if (a.IsNull() || b.IsNull()) return Variant::Null();
  if (op == BinaryOp::kAdd) {
    // + joins two Strings, and a String with Empty.
    bool a_text = a.IsString(), b_text = b.IsString();
    if ((a_text && (b_text || b.IsEmpty())) || (b_text && a.IsEmpty())) {
      ChargeText(a.Bytes().size() + b.Bytes().size());
      std::string out = a.Bytes();
      out.append(b.Bytes());
      return Variant(std::move(out));
    }
  }
  Variant x = ToNumeric(a), y = ToNumeric(b);
  Rank rx = RankOf(x), ry = RankOf(y);
  Rank top = rx > ry ? rx : ry;
  if (op != BinaryOp::kMultiply && top == kRankDate) {
    double d = op == BinaryOp::kAdd ? x.AsDouble() + y.AsDouble() : x.AsDouble() - y.AsDouble();
    // The difference of two dates is a number of days.
    if (op == BinaryOp::kSubtract && rx == kRankDate && ry == kRankDate) return CheckedDouble(d);
    return CheckedDate(d);
  }
  if (top == kRankDate) top = kRankDouble;
  if (IsIntegerRank(top)) {
    int64_t p = x.AsInt64(), q = y.AsInt64();
    int64_t r = op == BinaryOp::kAdd ? p + q : op == BinaryOp::kSubtract ? p - q : p * q;
    return FitRank(r, top);
  }
  bool x_float = rx == kRankSingle || rx == kRankDouble || rx == kRankDate;
  bool y_float = ry == kRankSingle || ry == kRankDouble || ry == kRankDate;
  if (top == kRankCurrency && (op != BinaryOp::kMultiply || (!x_float && !y_float))) {
    long double p = static_cast<long double>(ToCurrencyRaw(x));
    long double q = static_cast<long double>(ToCurrencyRaw(y));
    if (op == BinaryOp::kAdd) return CurrencyResult(p + q);
    if (op == BinaryOp::kSubtract) return CurrencyResult(p - q);
    return CurrencyResult(p * q / 10000.0L);
  }
  double p = x.AsDouble(), q = y.AsDouble();
  double r = op == BinaryOp::kAdd ? p + q : op == BinaryOp::kSubtract ? p - q : p * q;
  // Single with Single or a narrow integer stays Single while it fits.
  bool single = (rx == kRankSingle || ry == kRankSingle) && rx <= kRankSingle &&
                ry <= kRankSingle && rx != kRankLong && ry != kRankLong;
  if (single && std::fabs(r) <= 3.402823466e38) return Variant(static_cast<float>(r));
  return CheckedDouble(r);
}

Variant Divide(const Variant& a, const Variant& b) {
  if (a.IsNull() || b.IsNull()) return Variant::Null();
  double p = ToDouble(a), q = ToDouble(b);
  if (q == 0) RaiseRuntime(p == 0 ? kErrOverflow : kErrDivisionByZero);
  return CheckedDouble(p / q);
}

// \ and Mod: both operands rounded to integers first.
Variant IntegerDivide(BinaryOp op, const Variant& a, const Variant& b) {
  if (a.IsNull() || b.IsNull()) return Variant::Null();
  Variant x = ToNumeric(a), y = ToNumeric(b);
  int64_t p = ToLong(x), q = ToLong(y);
  if (q == 0) RaiseRuntime(kErrDivisionByZero);
  int64_t r = op == BinaryOp::kIntDivide ? p / q : p % q;
  Rank rank = RankOf(x) <= kRankInteger && RankOf(y) <= kRankInteger ? kRankInteger : kRankLong;
  if (RankOf(x) == kRankByte && RankOf(y) == kRankByte) rank = kRankByte;
  if (r < INT32_MIN || r > INT32_MAX) RaiseRuntime(kErrOverflow);
  return FitRank(r, rank);
}

Variant Power(const Variant& a, const Variant& b) {
  if (a.IsNull() || b.IsNull()) return Variant::Null();
  double p = ToDouble(a), q = ToDouble(b);
  if ((p < 0 && q != std::trunc(q)) || (p == 0 && q < 0)) RaiseRuntime(kErrInvalidCall);
  return CheckedDouble(std::pow(p, q));
}

Variant Concatenate(const Variant& a, const Variant& b) {
  if (a.IsNull() && b.IsNull()) return Variant::Null();
  std::string out;
  AppendText(a, out);
  AppendText(b, out);
  ChargeText(out.size());
  return Variant(std::move(out));
}

int Sign(double d) { return d < 0 ? -1 : d > 0 ? 1 : 0; }

int CompareBytes(std::string_view a, std::string_view b) {
  int c = a.compare(b);
  return c < 0 ? -1 : c > 0 ? 1 : 0;
}

// Orders a number against a String (see the header for the rules).
int CompareNumberWithText(const Variant& number, bool number_literal, const Variant& text,
                          bool text_literal) {
  if (number_literal) {
    if (number.type() == VarType::kBoolean) {
      return Sign(number.AsDouble() - (ToBoolean(text) ? -1.0 : 0.0));
    }
    double other = number.type() == VarType::kDate ? ToDate(text) : ToDouble(text);
    return Sign(number.AsDouble() - other);
  }
  if (text_literal) return CompareBytes(ToText(number), text.Bytes());
  return -1;
}

Variant Compare(BinaryOp op, const Variant& a, const Variant& b, bool a_literal,
                bool b_literal) {
  if (a.IsNull() || b.IsNull()) return Variant::Null();
  if (a.type() == VarType::kObject || b.type() == VarType::kObject)
    RaiseRuntime(kErrObjectNotSet);
  bool a_text = a.IsString(), b_text = b.IsString();
  int c;
  if (a_text && b_text) {
    c = CompareBytes(a.Bytes(), b.Bytes());
  } else if (a_text && b.IsEmpty()) {
    c = CompareBytes(a.Bytes(), "");
  } else if (b_text && a.IsEmpty()) {
    c = CompareBytes("", b.Bytes());
  } else if (b_text) {
    c = CompareNumberWithText(ToNumeric(a), a_literal, b, b_literal);
  } else if (a_text) {
    c = -CompareNumberWithText(ToNumeric(b), b_literal, a, a_literal);
  } else {
    Variant x = ToNumeric(a), y = ToNumeric(b);
    if (x.type() == VarType::kCurrency && y.type() == VarType::kCurrency) {
      c = x.CurrencyRaw() < y.CurrencyRaw() ? -1 : x.CurrencyRaw() > y.CurrencyRaw() ? 1 : 0;
    } else {
      double p = x.AsDouble(), q = y.AsDouble();
      c = p < q ? -1 : p > q ? 1 : 0;
    }
  }
  switch (op) {
    case BinaryOp::kEqual: return Variant(c == 0);
    case BinaryOp::kNotEqual: return Variant(c != 0);
    case BinaryOp::kLess: return Variant(c < 0);
    case BinaryOp::kGreater: return Variant(c > 0);
    case BinaryOp::kLessEqual: return Variant(c <= 0);
    default: return Variant(c >= 0);
  }
}

Variant Identity(const Variant& a, const Variant& b) {
  if (a.type() != VarType::kObject || b.type() != VarType::kObject)
    RaiseRuntime(kErrObjectRequired);
  return Variant(a.AsObject() == b.AsObject());
}

// An operand of a logical operator.
struct Logical {
  bool null = false;
  bool boolean = false;  // a Boolean (or a "True"/"False" text)
  bool narrow = false;   // fits the Integer result type
  int32_t bits = 0;
};

Logical ToLogical(const Variant& v) {
  Logical l;
  switch (v.type()) {
    case VarType::kNull:
      l.null = true;
      return l;
    case VarType::kBoolean:
      l.boolean = l.narrow = true;
      l.bits = v.AsDouble() != 0 ? -1 : 0;
      return l;
    case VarType::kEmpty:
      l.narrow = true;
      return l;
    case VarType::kByte: case VarType::kInteger:
      l.narrow = true;
      l.bits = static_cast<int32_t>(v.AsInt64());
      return l;
    case VarType::kString: {
      std::string_view t = v.Bytes();
      while (!t.empty() && t.front() == ' ') t.remove_prefix(1);
      while (!t.empty() && t.back() == ' ') t.remove_suffix(1);
      if (t.size() == 4 || t.size() == 5) {
        double d;
        if (!ParseScriptNumber(t, d)) {
          l.boolean = l.narrow = true;
          l.bits = ToBoolean(v) ? -1 : 0;
          return l;
        }
      }
      l.bits = ToLong(v);
      return l;
    }
    default:
      l.bits = ToLong(v);
      return l;
  }
}

Variant LogicalResult(int32_t bits, bool boolean, bool narrow) {
  if (boolean) return Variant(bits != 0);
  if (narrow) return Variant(static_cast<int16_t>(bits));
  return Variant(bits);
}

Variant Logic(BinaryOp op, const Variant& a, const Variant& b) {
  Logical x = ToLogical(a), y = ToLogical(b);
  if (x.null && y.null) return Variant::Null();
  if (x.null || y.null) {
    // Null is an unknown: the result is known only where the other side
    // alone decides it.
    const Logical& known = x.null ? y : x;
    switch (op) {
      case BinaryOp::kAnd:
        if (known.bits == 0) return LogicalResult(0, known.boolean, known.narrow);
        return Variant::Null();
      case BinaryOp::kOr:
        if (known.bits == -1) return LogicalResult(-1, known.boolean, known.narrow);
        return Variant::Null();
      case BinaryOp::kImp:
        // Null Imp True is True; False Imp Null is True.
        if ((x.null && y.bits == -1) || (y.null && x.bits == 0))
          return LogicalResult(-1, known.boolean, known.narrow);
        return Variant::Null();
      default:
        return Variant::Null();
    }
  }
  int32_t r;
  switch (op) {
    case BinaryOp::kAnd: r = x.bits & y.bits; break;
    case BinaryOp::kOr: r = x.bits | y.bits; break;
    case BinaryOp::kXor: r = x.bits ^ y.bits; break;
    case BinaryOp::kEqv: r = ~(x.bits ^ y.bits); break;
    default: r = ~x.bits | y.bits; break;
  }
  return LogicalResult(r, x.boolean && y.boolean, x.narrow && y.narrow);
}

}  // namespace

Variant ApplyBinary(BinaryOp op, const Variant& a, const Variant& b, bool a_literal,
                    bool b_literal) {
  switch (op) {
    case BinaryOp::kPower: return Power(a, b);
    case BinaryOp::kMultiply: case BinaryOp::kAdd: case BinaryOp::kSubtract:
      return Arithmetic(op, a, b);
    case BinaryOp::kDivide: return Divide(a, b);
    case BinaryOp::kIntDivide: case BinaryOp::kMod: return IntegerDivide(op, a, b);
    case BinaryOp::kConcat: return Concatenate(a, b);
    case BinaryOp::kIs: return Identity(a, b);
    case BinaryOp::kAnd: case BinaryOp::kOr: case BinaryOp::kXor: case BinaryOp::kEqv:
    case BinaryOp::kImp:
      return Logic(op, a, b);
    default:
      return Compare(op, a, b, a_literal, b_literal);
  }
}

Variant Negate(const Variant& v) {
  switch (v.type()) {
    case VarType::kNull:
      return v;
    case VarType::kEmpty:
      return Variant(static_cast<int16_t>(0));
    case VarType::kBoolean: case VarType::kByte: case VarType::kInteger:
      return FitRank(-v.AsInt64(), kRankInteger);
    case VarType::kLong:
      return FitRank(-v.AsInt64(), kRankLong);
    case VarType::kSingle:
      return Variant(static_cast<float>(-v.AsDouble()));
    case VarType::kCurrency:
      if (v.CurrencyRaw() == INT64_MIN) RaiseRuntime(kErrOverflow);
      return Variant::Currency(-v.CurrencyRaw());
    case VarType::kDate:
      return CheckedDate(-v.AsDouble());
    default:
      return CheckedDouble(-ToDouble(v));
  }
}

Variant LogicalNot(const Variant& v) {
  Logical x = ToLogical(v);
  if (x.null) return Variant::Null();
  return LogicalResult(~x.bits, x.boolean, x.narrow);
}

}  // namespace fennick::script
