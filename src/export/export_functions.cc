// formatdate and formatnum for the export tables and stylesheets, and the
// money pattern.
#include "export/export_functions.h"

#include <charconv>
#include <cmath>
#include <mutex>

#include "base/ascii.h"
#include "export/export_stylesheets.h"
#include "fennick/error.h"
#include "fennick/variant.h"
#include "frame/date_tokens.h"
#include "platform/intl/format.h"
#include "platform/xml/xslt.h"

namespace fennick {
namespace {

// Reads exactly `length` digits at `pos`.
bool ReadDigits(std::string_view text, size_t pos, size_t length, int& value) {
  if (pos + length > text.size()) return false;
  value = 0;
  for (size_t i = pos; i < pos + length; ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
    value = value * 10 + (text[i] - '0');
  }
  return true;
}

// Appends the digits of floor(number) as format-number does: digit by
// digit from the right through floating division, grouped every `group`
// digits, at least `width` digits.
void AppendPatternDigits(double number, int width, int group, char separator, std::string& out) {
  char digits[400];
  char* at = digits + sizeof digits;
  int i = 0;
  while (at - digits > 2) {
    if (i >= width && std::fabs(number) < 1.0) break;
    if (i > 0 && group > 0 && i % group == 0) *--at = separator;
    *--at = static_cast<char>('0' + static_cast<int>(std::fmod(number, 10.0)));
    number /= 10.0;
    ++i;
  }
  out.append(at, digits + sizeof digits);
}

}  // namespace

bool ParseExportDate(std::string_view text, double& ole_date) {
  text = TrimBlanks(text);
  DateParts parts;
  if (!ReadDigits(text, 0, 4, parts.year) || text.size() < 10 || text[4] != '-' ||
      !ReadDigits(text, 5, 2, parts.month) || text[7] != '-' ||
      !ReadDigits(text, 8, 2, parts.day))
    return false;
  if (parts.month < 1 || parts.month > 12 || parts.day < 1 || parts.day > 31) return false;
  if (text.size() >= 19 && (text[10] == 'T' || text[10] == ' ')) {
    if (!ReadDigits(text, 11, 2, parts.hour) || text[13] != ':' ||
        !ReadDigits(text, 14, 2, parts.minute) || text[16] != ':' ||
        !ReadDigits(text, 17, 2, parts.second))
      return false;
  }
  ole_date = MakeOleDate(parts);
  return true;
}

std::string FormatExportDate(double ole_date, std::string_view format) {
  std::string_view code = TrimBlanks(format);
  try {
    double named = 0;
    if (!code.empty() && ParseNumber(code, named)) {
      const double rounded = std::nearbyint(named);
      if (rounded >= 0 && rounded <= 4) {
        return intl::FormatDateTime(ole_date, static_cast<int>(rounded));
      }
    }
    if (format.find('%') != std::string_view::npos) return FormatDateTokens(ole_date, format);
    return intl::FormatDatePicture(ole_date, format);
  } catch (const Error&) {
    return "";  // a date outside the years the formats can write
  }
}

std::string FormatExportDate(std::string_view value, std::string_view format) {
  double ole_date = 0;
  if (!ParseExportDate(value, ole_date)) return std::string(value);
  return FormatExportDate(ole_date, format);
}

std::string FormatExportNumber(double number, std::string_view format) {
  if (format.empty() || format[0] < '1' || format[0] > '3') return std::string(format);
  int decimals = -1;
  std::string_view rest = TrimBlanks(format.substr(1));
  if (!rest.empty()) {
    auto [end, error] = std::from_chars(rest.data(), rest.data() + rest.size(), decimals);
    if (error != std::errc() || end != rest.data() + rest.size() || decimals < 0 || decimals > 99)
      return std::string(format);
  }
  if (std::isnan(number)) return "NaN";
  if (std::isinf(number)) return number < 0 ? "-Infinity" : "Infinity";
  switch (format[0]) {
    case '1': return intl::FormatNumber(number, decimals);
    case '2': return intl::FormatPercent(number, decimals);
    default: return intl::FormatCurrency(number, decimals);
  }
}

std::string FormatExportNumber(std::string_view number, std::string_view format) {
  double value = 0;
  std::string_view text = TrimBlanks(number);
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || error != std::errc() || end != text.data() + text.size() ||
      !std::isfinite(value)) {
    return format.empty() || format[0] < '1' || format[0] > '3' ? std::string(format)
                                                                : std::string(number);
  }
  return FormatExportNumber(value, format);
}

bool ParseXPathNumber(std::string_view text, double& value) {
  auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; };
  size_t i = 0;
  while (i < text.size() && blank(text[i])) ++i;
  const bool negative = i < text.size() && text[i] == '-';
  if (negative) ++i;
  double whole = 0, fraction = 0;
  int fraction_digits = 0;
  bool digits = false;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    whole = whole * 10 + (text[i] - '0');
    digits = true;
  }
  if (i < text.size() && text[i] == '.') {
    for (++i; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
      // Digits past the twentieth change nothing a double can hold.
      if (fraction_digits < 20) {
        fraction = fraction * 10 + (text[i] - '0');
        ++fraction_digits;
      }
      digits = true;
    }
  }
  int exponent = 0;
  bool exponent_negative = false;
  if (digits && i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    ++i;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) exponent_negative = text[i++] == '-';
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
      if (exponent < 1000000) exponent = exponent * 10 + (text[i] - '0');
    }
  }
  while (i < text.size() && blank(text[i])) ++i;
  if (!digits || i != text.size()) return false;
  value = whole + fraction / std::pow(10.0, fraction_digits);
  if (exponent != 0) value *= std::pow(10.0, exponent_negative ? -exponent : exponent);
  if (negative) value = -value;
  return true;
}

std::string FormatMoneyPattern(double value, bool euro) {
  if (std::isnan(value)) return "NaN";
  if (std::isinf(value)) return value < 0 ? "-Infinity" : "Infinity";
  const char decimal = euro ? ',' : '.';
  const char grouping = euro ? '.' : ',';
  std::string out;
  if (value < 0) out.push_back('(');
  // Rounded to the two decimals first, half up.
  double number = std::floor(std::fabs(value) * 100.0 + 0.5) / 100.0;
  AppendPatternDigits(std::floor(number), 0, 3, grouping, out);
  number -= std::floor(number);
  out.push_back(decimal);
  AppendPatternDigits(std::floor(100.0 * number + 0.5), 2, 0, 0, out);
  if (value < 0) out.push_back(')');
  return out;
}

void RegisterExportFunctions() {
  static std::once_flag once;
  std::call_once(once, [] {
    RegisterXsltFunction(kUserFunctionsNs, "formatdate", [](const std::vector<std::string>& a) {
      return FormatExportDate(a.size() > 0 ? a[0] : "", a.size() > 1 ? a[1] : "");
    });
    RegisterXsltFunction(kUserFunctionsNs, "formatnum", [](const std::vector<std::string>& a) {
      return FormatExportNumber(a.size() > 0 ? a[0] : "", a.size() > 1 ? a[1] : "");
    });
  });
}

}  // namespace fennick
