// formatdate and formatnum for the export stylesheets.
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

bool ParsePersistedDate(std::string_view text, double& ole_date) {
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

}  // namespace

std::string FormatExportDate(std::string_view value, std::string_view format) {
  double ole_date = 0;
  if (!ParsePersistedDate(TrimBlanks(value), ole_date)) return std::string(value);
  std::string_view code = TrimBlanks(format);
  if (code.size() == 1 && code[0] >= '0' && code[0] <= '4') {
    return intl::FormatDateTime(ole_date, code[0] - '0');
  }
  return FormatDateTokens(ole_date, format);
}

std::string FormatExportNumber(std::string_view number, std::string_view format) {
  if (format.empty() || format[0] < '1' || format[0] > '3') return std::string(format);
  int decimals = -1;
  std::string_view rest = TrimBlanks(format.substr(1));
  if (!rest.empty()) {
    auto [end, error] = std::from_chars(rest.data(), rest.data() + rest.size(), decimals);
    if (error != std::errc() || end != rest.data() + rest.size() || decimals < 0 || decimals > 99)
      return std::string(format);
  }
  double value = 0;
  std::string_view text = TrimBlanks(number);
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || error != std::errc() || end != text.data() + text.size() ||
      !std::isfinite(value))
    return std::string(number);
  switch (format[0]) {
    case '1': return intl::FormatNumber(value, decimals);
    case '2': return intl::FormatPercent(value, decimals);
    default: return intl::FormatCurrency(value, decimals);
  }
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
