// FormatNumber, FormatCurrency and FormatPercent: numbers written the way the
// page's locale writes them, with a fixed number of decimals.
//
// Halves round away from zero (2.5 gives 3, -2.5 gives -3), as report users
// expect of a rounded figure; ICU's own default would round them to even.
// A value that rounds to zero is written without a sign. Each combination of
// locale and options gets one ICU formatter per thread, built on first use.
#include <unicode/numberformatter.h>
#include <unicode/ucurr.h>

#include <string>
#include <unordered_map>

#include "platform/intl/format.h"
#include "platform/intl/icu_support.h"

namespace fennick::intl {

namespace {

namespace number = icu::number;

// Decimals when the caller asks for the locale's default (currencies carry
// their own count: 2 for the euro, 0 for the yen).
constexpr int kDefaultDecimals = 2;
constexpr int kMaxDecimals = 99;

enum class NumberKind : uint8_t { kNumber, kCurrency, kPercent };

struct FormatKey {
  std::string locale;
  NumberKind kind;
  int8_t decimals;        // -1: the default
  bool no_leading_zero;   // ".5" instead of "0.5"
  bool parens;            // "(5.00)" instead of "-5.00"
  int8_t grouping;        // kUseDefault, kTrue or kFalse

  bool operator==(const FormatKey&) const = default;
};

struct FormatKeyHash {
  size_t operator()(const FormatKey& key) const {
    size_t options = static_cast<size_t>(key.kind) | (static_cast<size_t>(key.decimals + 1) << 2) |
                     (static_cast<size_t>(key.no_leading_zero) << 10) |
                     (static_cast<size_t>(key.parens) << 11) |
                     (static_cast<size_t>(key.grouping + 2) << 12);
    return std::hash<std::string>()(key.locale) ^ (options * 0x9E3779B97F4A7C15ull);
  }
};

// The tri-states as a page passes them: anything but "use default" and
// "false" counts as true, as the script world converts a number to a Boolean.
bool IsTrue(int tristate) { return tristate != kUseDefault && tristate != kFalse; }

number::LocalizedNumberFormatter BuildFormatter(const FormatKey& key) {
  const icu::Locale locale = detail::ToIcuLocale(key.locale);
  UNumberGroupingStrategy grouping = UNUM_GROUPING_AUTO;  // the locale's habit
  if (key.grouping == kFalse) grouping = UNUM_GROUPING_OFF;
  if (key.grouping == kTrue) grouping = UNUM_GROUPING_ON_ALIGNED;

  number::LocalizedNumberFormatter formatter =
      number::NumberFormatter::withLocale(locale)
          .roundingMode(UNUM_ROUND_HALFUP)
          .grouping(grouping)
          .integerWidth(number::IntegerWidth::zeroFillTo(key.no_leading_zero ? 0 : 1))
          // With parentheses the sign is drawn by FormatWith; without, a value
          // rounded to zero shows no minus sign.
          .sign(key.parens ? UNUM_SIGN_NEVER : UNUM_SIGN_NEGATIVE);
  const number::Precision fixed =
      number::Precision::fixedFraction(key.decimals < 0 ? kDefaultDecimals : key.decimals);

  switch (key.kind) {
    case NumberKind::kNumber:
      return formatter.precision(fixed);
    case NumberKind::kPercent:
      return formatter.unit(icu::NoUnit::percent())
          .scale(number::Scale::powerOfTen(2))
          .precision(fixed);
    case NumberKind::kCurrency: {
      // A locale named without its country ("fr") has its likely country's
      // currency.
      icu::Locale full = locale;
      UErrorCode status = U_ZERO_ERROR;
      full.addLikelySubtags(status);
      UChar code[4] = {};
      status = U_ZERO_ERROR;
      ucurr_forLocale(full.getName(), code, 4, &status);
      if (U_FAILURE(status) || code[0] == 0) {
        // No currency is known for the locale: the amount alone.
        return formatter.precision(fixed);
      }
      status = U_ZERO_ERROR;
      icu::CurrencyUnit currency(code, status);
      detail::CheckIcu(status, "Choosing the currency of " + key.locale);
      return formatter.unit(currency).precision(
          key.decimals < 0 ? number::Precision::currency(UCURR_USAGE_STANDARD) : fixed);
    }
  }
  return formatter;
}

const number::LocalizedNumberFormatter& FormatterFor(FormatKey&& key) {
  thread_local std::unordered_map<FormatKey, number::LocalizedNumberFormatter, FormatKeyHash>
      cache;
  // A grid column formats every cell alike: most calls hit the last entry.
  thread_local const std::pair<const FormatKey, number::LocalizedNumberFormatter>* last =
      nullptr;
  if (last != nullptr && last->first == key) return last->second;
  auto it = cache.find(key);
  if (it == cache.end()) {
    number::LocalizedNumberFormatter formatter = BuildFormatter(key);
    it = cache.emplace(std::move(key), std::move(formatter)).first;
  }
  last = &*it;
  return it->second;
}

std::string FormatWith(NumberKind kind, double value, int decimals, int leading_digit,
                       int parens_for_negative, int group_digits, std::string_view locale) {
  if (decimals < -1 || decimals > kMaxDecimals) {
    detail::ThrowInvalidCall("decimals must be -1 to 99");
  }
  FormatKey key{detail::EffectiveLocale(locale),
                kind,
                static_cast<int8_t>(decimals),
                leading_digit == kFalse,
                IsTrue(parens_for_negative),
                static_cast<int8_t>(group_digits == kUseDefault ? kUseDefault
                                    : IsTrue(group_digits) ? kTrue
                                                           : kFalse)};
  const bool parens = key.parens;
  const number::LocalizedNumberFormatter& formatter = FormatterFor(std::move(key));

  UErrorCode status = U_ZERO_ERROR;
  const number::FormattedNumber formatted = formatter.formatDouble(value, status);
  const icu::UnicodeString& text = formatted.toTempString(status);
  detail::CheckIcu(status, "Formatting a number");
  std::string out;
  // The rounded value decides the parentheses: -0.001 with 2 decimals is
  // written "0.00", not "(0.00)".
  const bool wrap = parens && value < 0 &&
                    formatted.toDecimalNumber<std::string>(status).starts_with('-');
  if (wrap) out.push_back('(');
  detail::AppendUtf8(text, out);
  if (wrap) out.push_back(')');
  return out;
}

}  // namespace

std::string FormatNumber(double value, int decimals, int leading_digit, int parens_for_negative,
                         int group_digits, std::string_view locale) {
  return FormatWith(NumberKind::kNumber, value, decimals, leading_digit, parens_for_negative,
                    group_digits, locale);
}

std::string FormatCurrency(double value, int decimals, int leading_digit,
                           int parens_for_negative, int group_digits, std::string_view locale) {
  return FormatWith(NumberKind::kCurrency, value, decimals, leading_digit, parens_for_negative,
                    group_digits, locale);
}

std::string FormatPercent(double value, int decimals, int leading_digit, int parens_for_negative,
                          int group_digits, std::string_view locale) {
  return FormatWith(NumberKind::kPercent, value, decimals, leading_digit, parens_for_negative,
                    group_digits, locale);
}

}  // namespace fennick::intl
