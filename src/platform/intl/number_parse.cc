// ParseLocaleNumber: whether a text a user typed (a filter value, a cell) is
// a number as the page's locale writes numbers, and which.
//
// Accepted: blanks around, the locale's grouping separator between digits of
// the integer part, its decimal separator once, an exponent ("1E3"), one sign
// before or after the number, or parentheses around it for a negative, and
// the locale's currency symbol or code before or after. "&H1F" and "&O17"
// are read as hexadecimal and octal, as the script world writes them.
// Nothing else is: "50%", "1.5" where the decimal separator is a comma and
// the grouping separator a blank, "1 2" in a locale that groups with commas.
#include <unicode/dcfmtsym.h>

#include <string>
#include <unordered_map>

#include "fennick/variant.h"
#include "platform/intl/format.h"
#include "platform/intl/icu_support.h"

namespace fennick::intl {

namespace {

struct NumberSymbols {
  std::string decimal, grouping, minus, plus, currency, currency_code;
  // Locales that group with a (no-break) blank accept any blank there, since
  // users type the plain one.
  bool blank_grouping = false;
};

bool IsBlankSeparator(std::string_view s) {
  return s == " " || s == "\u00A0" || s == "\u202F";
}

NumberSymbols LoadSymbols(const std::string& locale) {
  UErrorCode status = U_ZERO_ERROR;
  icu::DecimalFormatSymbols symbols(detail::ToIcuLocale(locale), status);
  detail::CheckIcu(status, "Loading the number symbols of " + locale);
  using S = icu::DecimalFormatSymbols;
  NumberSymbols out;
  out.decimal = detail::ToUtf8(symbols.getSymbol(S::kDecimalSeparatorSymbol));
  out.grouping = detail::ToUtf8(symbols.getSymbol(S::kGroupingSeparatorSymbol));
  out.minus = detail::ToUtf8(symbols.getSymbol(S::kMinusSignSymbol));
  out.plus = detail::ToUtf8(symbols.getSymbol(S::kPlusSignSymbol));
  out.currency = detail::ToUtf8(symbols.getSymbol(S::kCurrencySymbol));
  out.currency_code = detail::ToUtf8(symbols.getSymbol(S::kIntlCurrencySymbol));
  out.blank_grouping = IsBlankSeparator(out.grouping);
  return out;
}

const NumberSymbols& SymbolsFor(std::string_view locale) {
  thread_local std::unordered_map<std::string, NumberSymbols> cache;
  std::string name = detail::EffectiveLocale(locale);
  auto it = cache.find(name);
  if (it == cache.end()) it = cache.emplace(name, LoadSymbols(name)).first;
  return it->second;
}

// A cursor over the text with the matching steps of the grammar above.
class Scanner {
 public:
  explicit Scanner(std::string_view text) : text_(text) {}

  bool AtEnd() const { return pos_ == text_.size(); }
  bool AtDigit() const { return !AtEnd() && text_[pos_] >= '0' && text_[pos_] <= '9'; }
  char Next() { return text_[pos_++]; }
  char Peek() const { return AtEnd() ? '\0' : text_[pos_]; }

  bool Take(std::string_view token) {
    if (token.empty() || !text_.substr(pos_).starts_with(token)) return false;
    pos_ += token.size();
    return true;
  }
  bool TakeBlank() {
    return Take(" ") || Take("\t") || Take("\u00A0") || Take("\u202F");
  }
  void SkipBlanks() {
    while (TakeBlank()) {
    }
  }
  // A grouping separator counts only between two digits.
  bool TakeGrouping(const NumberSymbols& symbols) {
    const size_t start = pos_;
    if (Take(symbols.grouping) || (symbols.blank_grouping && TakeBlank())) {
      if (AtDigit()) return true;
      pos_ = start;
    }
    return false;
  }

 private:
  std::string_view text_;
  size_t pos_ = 0;
};

}  // namespace

bool ParseLocaleNumber(std::string_view text, double& value, std::string_view locale) {
  Scanner scan(text);
  scan.SkipBlanks();
  if (scan.Peek() == '&') return ParseNumber(text, value);
  const NumberSymbols& symbols = SymbolsFor(locale);

  bool negative = false, signed_ = false, parens = false, currency = false;
  auto take_sign = [&]() {
    if (signed_ || parens) return false;
    if (scan.Take(symbols.minus) || scan.Take("-")) {
      negative = signed_ = true;
    } else if (scan.Take(symbols.plus) || scan.Take("+")) {
      signed_ = true;
    }
    return signed_;
  };
  auto take_currency = [&]() {
    if (currency) return false;
    currency = scan.Take(symbols.currency) || scan.Take(symbols.currency_code);
    return currency;
  };

  // Before the digits: "(", a sign, the currency, in any order.
  for (;;) {
    scan.SkipBlanks();
    if (!parens && !signed_ && scan.Take("(")) {
      parens = negative = true;
      continue;
    }
    if (take_sign() || take_currency()) continue;
    break;
  }

  std::string invariant;  // the number as ParseNumber reads it
  bool digits = false, decimal = false;
  for (;;) {
    if (scan.AtDigit()) {
      invariant.push_back(scan.Next());
      digits = true;
    } else if (!decimal && scan.Take(symbols.decimal)) {
      invariant.push_back('.');
      decimal = true;
    } else if (digits && !decimal && scan.TakeGrouping(symbols)) {
      // Ignoring the separator on purpose: only its position was checked.
    } else {
      break;
    }
  }
  if (!digits) return false;
  if (scan.Peek() == 'e' || scan.Peek() == 'E') {
    invariant.push_back(scan.Next());
    if (scan.Peek() == '+' || scan.Peek() == '-') invariant.push_back(scan.Next());
    if (!scan.AtDigit()) return false;
    while (scan.AtDigit()) invariant.push_back(scan.Next());
  }

  // After the digits: the currency, a sign, the closing parenthesis.
  bool closed = !parens;
  for (;;) {
    scan.SkipBlanks();
    if (!closed && scan.Take(")")) {
      closed = true;
      continue;
    }
    if (closed && parens) break;
    if (take_sign() || take_currency()) continue;
    break;
  }
  scan.SkipBlanks();
  if (!closed || !scan.AtEnd()) return false;

  double parsed = 0;
  if (!ParseNumber(invariant, parsed)) return false;
  value = negative ? -parsed : parsed;
  return true;
}

}  // namespace fennick::intl
