// Number formats of Office HTML cells, translated from the grid's column
// formats.
#include "export/office_formats.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <optional>
#include <vector>

#include "base/ascii.h"
#include "fennick/variant.h"
#include "platform/intl/format.h"

namespace fennick {
namespace {

// The parts of a date format a spreadsheet can show.
enum class DatePart {
  kLiteral,
  kDay,
  kDay2,
  kWeekdayAbbr,
  kWeekday,
  kMonth,
  kMonth2,
  kMonthAbbr,
  kMonthName,
  kYear2,
  kYear4,
  kHour,
  kHour2,
  kMinute,
  kMinute2,
  kSecond,
  kSecond2,
  kHalfOfDay
};

struct Token {
  DatePart part;
  std::string text;  // a literal, or the half-of-day marker as written
};

// A date format taken apart, or nothing when it uses a part no spreadsheet
// format has (ordinal days, day of the year, weeks, quarters, the named
// dates inside a picture, a 12-hour clock without its marker).
using DateTokens = std::optional<std::vector<Token>>;

bool IsHour(DatePart p) { return p == DatePart::kHour || p == DatePart::kHour2; }
bool IsClock(DatePart p) { return p >= DatePart::kHour && p <= DatePart::kHalfOfDay; }

size_t RunLength(std::string_view text, size_t at) {
  size_t n = 1;
  while (at + n < text.size() && AsciiLowerChar(text[at + n]) == AsciiLowerChar(text[at])) ++n;
  return n;
}

// A picture as the grid's date pictures read it: letters in any case,
// "m" right after an hour means minutes, "literal" and \x copy text.
DateTokens PictureTokens(std::string_view picture) {
  std::vector<Token> out;
  auto literal = [&out](std::string_view text) {
    if (!out.empty() && out.back().part == DatePart::kLiteral) {
      out.back().text.append(text);
    } else {
      out.push_back({DatePart::kLiteral, std::string(text)});
    }
  };
  auto after_hour = [&out] {
    for (auto it = out.rbegin(); it != out.rend(); ++it) {
      if (it->part != DatePart::kLiteral) return IsHour(it->part);
    }
    return false;
  };
  size_t i = 0;
  while (i < picture.size()) {
    const char lower = AsciiLowerChar(picture[i]);
    const size_t run = RunLength(picture, i);
    size_t used = 1;
    switch (lower) {
      case '"': {
        size_t end = picture.find('"', i + 1);
        if (end == std::string_view::npos) end = picture.size();
        literal(picture.substr(i + 1, end - i - 1));
        used = end + 1 - i;
        break;
      }
      case '\\':
        if (i + 1 < picture.size()) {
          literal(picture.substr(i + 1, 1));
          used = 2;
        }
        break;
      case 'd': {
        static constexpr DatePart kByRun[] = {DatePart::kDay, DatePart::kDay2,
                                              DatePart::kWeekdayAbbr, DatePart::kWeekday};
        if (run > 4) return std::nullopt;  // the named dates
        used = run;
        out.push_back({kByRun[run - 1], ""});
        break;
      }
      case 'm': {
        used = std::min<size_t>(run, 4);
        static constexpr DatePart kByRun[] = {DatePart::kMonth, DatePart::kMonth2,
                                              DatePart::kMonthAbbr, DatePart::kMonthName};
        DatePart part = kByRun[used - 1];
        if (used <= 2 && after_hour()) part = used == 1 ? DatePart::kMinute : DatePart::kMinute2;
        out.push_back({part, ""});
        break;
      }
      case 'y':
        if (run == 1) return std::nullopt;  // day of the year
        used = run >= 4 ? 4 : 2;
        out.push_back({used == 4 ? DatePart::kYear4 : DatePart::kYear2, ""});
        break;
      case 'h':
      case 'n':
      case 's': {
        used = std::min<size_t>(run, 2);
        static constexpr std::array<DatePart, 6> kParts = {DatePart::kHour,   DatePart::kHour2,
                                                           DatePart::kMinute, DatePart::kMinute2,
                                                           DatePart::kSecond, DatePart::kSecond2};
        const size_t base = lower == 'h' ? 0 : lower == 'n' ? 2 : 4;
        out.push_back({kParts[base + used - 1], ""});
        break;
      }
      case 'w':
      case 'q': return std::nullopt;
      case 'a': {
        const std::string_view rest = picture.substr(i);
        if (StartsWithIgnoreCase(rest, "am/pm")) {
          out.push_back({DatePart::kHalfOfDay, std::string(rest.substr(0, 5))});
          used = 5;
        } else if (StartsWithIgnoreCase(rest, "a/p")) {
          out.push_back({DatePart::kHalfOfDay, std::string(rest.substr(0, 3))});
          used = 3;
        } else if (StartsWithIgnoreCase(rest, "ampm")) {
          out.push_back({DatePart::kHalfOfDay, "AM/PM"});
          used = 4;
        } else {
          literal(rest.substr(0, 1));
        }
        break;
      }
      default: literal(picture.substr(i, 1)); break;
    }
    i += used;
  }
  return out;
}

// "%" tokens as FormatDateTokens writes them.
DateTokens PercentTokens(std::string_view format) {
  std::vector<Token> out;
  bool half_of_day = format.find("%P") != std::string_view::npos;
  for (size_t i = 0; i < format.size(); ++i) {
    if (format[i] != '%' || i + 1 == format.size()) {
      if (!out.empty() && out.back().part == DatePart::kLiteral) {
        out.back().text.push_back(format[i]);
      } else {
        out.push_back({DatePart::kLiteral, std::string(1, format[i])});
      }
      continue;
    }
    DatePart part;
    switch (format[++i]) {
      case 'm': part = DatePart::kMonth; break;
      case 'B': part = DatePart::kMonthName; break;
      case 'b': part = DatePart::kMonthAbbr; break;
      case 'd': part = DatePart::kDay; break;
      case 'D': part = DatePart::kDay2; break;
      case 'Y': part = DatePart::kYear4; break;
      case 'y': part = DatePart::kYear2; break;
      case 'a': part = DatePart::kWeekdayAbbr; break;
      case 'A': part = DatePart::kWeekday; break;
      // %H counts 0 to 23 even beside %P, which a spreadsheet cannot show.
      case 'H':
        if (half_of_day) return std::nullopt;
        part = DatePart::kHour;
        break;
      case 'h':
        if (!half_of_day) return std::nullopt;
        part = DatePart::kHour;
        break;
      case 'N': part = DatePart::kMinute2; break;
      case 'S': part = DatePart::kSecond2; break;
      case 'P': part = DatePart::kHalfOfDay; break;
      default: return std::nullopt;  // %O, %j, %w, %n, or a text FormatDateTokens keeps
    }
    out.push_back({part, part == DatePart::kHalfOfDay ? "AM/PM" : ""});
  }
  return out;
}

DateTokens TokensOf(std::string_view format) {
  if (format.find('%') != std::string_view::npos) return PercentTokens(format);
  return PictureTokens(format);
}

// A spreadsheet reads "m" as minutes only right after an hour or right
// before seconds; anywhere else the format cannot say minutes.
bool MinutesReadAsMinutes(const std::vector<Token>& tokens) {
  for (size_t i = 0; i < tokens.size(); ++i) {
    if (tokens[i].part != DatePart::kMinute && tokens[i].part != DatePart::kMinute2) continue;
    auto neighbour = [&](int step) {
      for (size_t j = i + step; j < tokens.size(); j += step) {
        if (tokens[j].part != DatePart::kLiteral) return tokens[j].part;
      }
      return DatePart::kLiteral;
    };
    const DatePart before = neighbour(-1), after = neighbour(1);
    if (!IsHour(before) && after != DatePart::kSecond && after != DatePart::kSecond2) return false;
  }
  return true;
}

// The code of one part: Excel's letters, or LibreOffice's en-US keywords.
std::string_view PartCode(DatePart part, bool calc) {
  switch (part) {
    case DatePart::kDay: return calc ? "D" : "d";
    case DatePart::kDay2: return calc ? "DD" : "dd";
    case DatePart::kWeekdayAbbr: return calc ? "NN" : "ddd";
    case DatePart::kWeekday: return calc ? "NNN" : "dddd";
    case DatePart::kMonth: return calc ? "M" : "m";
    case DatePart::kMonth2:
    case DatePart::kMinute2: return calc ? "MM" : "mm";
    case DatePart::kMinute: return calc ? "M" : "m";
    case DatePart::kMonthAbbr: return calc ? "MMM" : "mmm";
    case DatePart::kMonthName: return calc ? "MMMM" : "mmmm";
    case DatePart::kYear2: return calc ? "YY" : "yy";
    case DatePart::kYear4: return calc ? "YYYY" : "yyyy";
    case DatePart::kHour: return calc ? "H" : "h";
    case DatePart::kHour2: return calc ? "HH" : "hh";
    case DatePart::kSecond: return calc ? "S" : "s";
    case DatePart::kSecond2: return calc ? "SS" : "ss";
    default: return "";
  }
}

// Literal text in a format code: separators as they are, the rest quoted.
void AppendLiteral(std::string_view text, std::string& code) {
  bool quoted = false;
  for (char c : text) {
    const bool plain = c == ' ' || c == '-' || c == '/' || c == ':' || c == ',' || c == '.';
    if (plain || c == '"' || c == '\\') {
      if (quoted) code.push_back('"');
      quoted = false;
      if (!plain) code.push_back('\\');
      code.push_back(c);
      continue;
    }
    if (!quoted) code.push_back('"');
    quoted = true;
    code.push_back(c);
  }
  if (quoted) code.push_back('"');
}

std::string DateCode(const std::vector<Token>& tokens, bool calc) {
  std::string code;
  for (const Token& t : tokens) {
    if (t.part == DatePart::kLiteral) {
      AppendLiteral(t.text, code);
    } else if (t.part == DatePart::kHalfOfDay) {
      code += calc ? std::string("AM/PM") : t.text;
    } else {
      code += PartCode(t.part, calc);
    }
  }
  return code;
}

// The attributes of a cell format: Excel's code as CSS in a single-quoted
// attribute, LibreOffice's (one of its built-in codes) in sdnum.
OfficeCellFormat Attributes(std::string_view excel, std::string_view calc) {
  OfficeCellFormat f;
  f.excel = excel;
  if (!excel.empty()) {
    f.attributes = " style='mso-number-format:\"";
    for (char c : excel) {
      switch (c) {
        case '"': f.attributes += "\\0022"; break;
        case '\\': f.attributes += "\\\\"; break;
        case '\'': f.attributes += "&#39;"; break;
        case '&': f.attributes += "&amp;"; break;
        case '<': f.attributes += "&lt;"; break;
        default: f.attributes.push_back(c);
      }
    }
    f.attributes += "\"'";
  }
  if (!calc.empty()) {
    f.attributes += " sdnum=\"1033;0;";
    f.attributes += calc;
    f.attributes += "\"";
  }
  return f;
}

// LibreOffice keeps the format of an imported cell only when it is one of
// its built-in en-US codes.
bool IsCalcBuiltInDate(std::string_view code) {
  static constexpr std::string_view kCodes[] = {"MM/DD/YY",
                                                "MM/DD/YYYY",
                                                "MMM D, YYYY",
                                                "MMMM D, YYYY",
                                                "YYYY-MM-DD",
                                                "HH:MM",
                                                "HH:MM:SS",
                                                "HH:MM AM/PM",
                                                "HH:MM:SS AM/PM",
                                                "YYYY-MM-DD HH:MM:SS",
                                                "MM/DD/YY HH:MM AM/PM"};
  for (std::string_view known : kCodes) {
    if (known == code) return true;
  }
  return false;
}

std::string_view CalcIsoCode(bool has_date, bool has_time) {
  if (!has_date) return "HH:MM:SS";
  return has_time ? "YYYY-MM-DD HH:MM:SS" : "YYYY-MM-DD";
}

std::string NumberCode(int decimals) {
  std::string code = "#,##0";
  if (decimals > 0) code += "." + std::string(static_cast<size_t>(decimals), '0');
  return code;
}

}  // namespace

bool LooksLikeFormula(std::string_view text) {
  if (text.empty()) return false;
  const char c = text[0];
  return c == '=' || c == '+' || c == '-' || c == '@' || c == '\t' || c == '\r' || c == '\n';
}

OfficeCellFormat OfficeNumberFormat(char kind, int decimals) {
  if (kind != '3') {
    const int shown = std::clamp(decimals < 0 ? 2 : decimals, 0, 30);
    std::string excel = NumberCode(shown) + (kind == '2' ? "%" : "");
    std::string_view calc;
    if (shown == 0) calc = kind == '2' ? "0%" : "#,##0";
    if (shown == 2) calc = kind == '2' ? "0.00%" : "#,##0.00";
    return Attributes(excel, calc);
  }
  // The symbol and its place, and the currency's own decimals, as the
  // locale writes one unit.
  const std::string unit = intl::FormatCurrency(1.0, decimals);
  const size_t one = unit.find('1');
  std::string prefix = unit.substr(0, one == std::string::npos ? 0 : one);
  size_t at = one == std::string::npos ? unit.size() : one + 1;
  int shown = 0;
  if (at + 1 < unit.size() && (unit[at] == '.' || unit[at] == ',') && unit[at + 1] == '0') {
    ++at;
    while (at < unit.size() && unit[at] == '0') ++at, ++shown;
  }
  std::string suffix = unit.substr(std::min(at, unit.size()));
  std::string excel;
  AppendLiteral(prefix, excel);
  excel += NumberCode(shown);
  AppendLiteral(suffix, excel);
  std::string_view calc;
  if (prefix == "$" && suffix.empty()) {
    if (shown == 0) calc = "[$$-409]#,##0;-[$$-409]#,##0";
    if (shown == 2) calc = "[$$-409]#,##0.00;-[$$-409]#,##0.00";
  } else if (shown == 0 || shown == 2) {
    calc = shown == 0 ? "#,##0" : "#,##0.00";
  }
  return Attributes(excel, calc);
}

OfficeCellFormat OfficeMoneyFormat() { return Attributes("#,##0.00", "#,##0.00"); }

std::string ExcelDateCode(std::string_view format) {
  std::string_view trimmed = TrimBlanks(format);
  double named = 0;
  if (!trimmed.empty() && ParseNumber(trimmed, named)) return "";
  DateTokens tokens = TokensOf(format);
  if (!tokens || !MinutesReadAsMinutes(*tokens)) return "";
  return DateCode(*tokens, false);
}

OfficeCellFormat OfficeDateFormat(std::string_view format, bool has_time) {
  std::string_view trimmed = TrimBlanks(format);
  double named = 0;
  if (!trimmed.empty() && ParseNumber(trimmed, named)) {
    // The named formats in their en-US forms.
    switch (static_cast<int>(named)) {
      case 0:
        return has_time ? Attributes("m/d/yyyy h:mm:ss AM/PM", "MM/DD/YY HH:MM AM/PM")
                        : Attributes("m/d/yyyy", "MM/DD/YYYY");
      case 1: return Attributes("dddd, mmmm d, yyyy", "MMMM D, YYYY");
      case 2: return Attributes("m/d/yyyy", "MM/DD/YYYY");
      case 3: return Attributes("h:mm:ss AM/PM", "HH:MM:SS AM/PM");
      case 4: return Attributes("hh:mm", "HH:MM");
      default: return OfficeIsoDateFormat(has_time);
    }
  }
  DateTokens tokens = TokensOf(format);
  if (!tokens || !MinutesReadAsMinutes(*tokens)) return OfficeIsoDateFormat(has_time);
  bool date = false, clock = false;
  for (const Token& t : *tokens) {
    if (t.part == DatePart::kLiteral) continue;
    (IsClock(t.part) ? clock : date) = true;
  }
  std::string calc = DateCode(*tokens, true);
  if (!IsCalcBuiltInDate(calc)) calc = CalcIsoCode(date || !clock, clock);
  return Attributes(DateCode(*tokens, false), calc);
}

OfficeCellFormat OfficeIsoDateFormat(bool has_time) {
  return has_time ? Attributes("yyyy-mm-dd hh:mm:ss", "YYYY-MM-DD HH:MM:SS")
                  : Attributes("yyyy-mm-dd", "YYYY-MM-DD");
}

OfficeCellFormat OfficeInvariantDateFormat(bool has_time) {
  return has_time ? Attributes("m/d/yyyy h:mm:ss AM/PM", "MM/DD/YY HH:MM AM/PM")
                  : Attributes("m/d/yyyy", "MM/DD/YYYY");
}

void AppendOfficeValue(double value, std::string& out) {
  if (!std::isfinite(value)) return;
  char text[32];
  auto [end, error] = std::to_chars(text, text + sizeof text, value);
  if (error != std::errc()) return;
  std::string_view number(text, static_cast<size_t>(end - text));
  out += " x:num=\"";
  out += number;
  out += "\" sdval=\"";
  out += number;
  out += "\"";
}

}  // namespace fennick
