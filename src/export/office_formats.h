// How a cell of an Office HTML document (the Excel and Word exports) tells
// a spreadsheet what it holds, so the document opens with numbers as
// numbers, dates as dates and text as text.
//
// Excel reads the x:num attribute (the cell's value) and the CSS property
// mso-number-format (its number format code); LibreOffice reads sdval (the
// value) and sdnum ("language;0;code", honoured only for the codes of its
// own built-in en-US table, so anything else falls back to the nearest
// built-in kind: an ISO date, a plain number). The cell's text stays what
// the screen shows, for every reader that knows neither.
//
// The column formats of the grid are translated here: numbers, percents and
// money with their decimals in the page's locale, and date formats (the
// named ones, "%" tokens and pictures). A date format that has no spreadsheet
// equivalent (ordinals, day of the year, week numbers) gets an ISO date
// code. Translations are pure functions of their arguments and the page's
// locale.
#ifndef FENNICK_EXPORT_OFFICE_FORMATS_H_
#define FENNICK_EXPORT_OFFICE_FORMATS_H_

#include <string>
#include <string_view>

namespace fennick {

// The attributes of a cell whose text a spreadsheet must keep as text (a
// value starting with "=", "+", "-", "@", a tab or a line break would
// otherwise be read as a formula).
inline constexpr std::string_view kOfficeTextCell =
    " style='mso-number-format:\"\\@\"' sdnum=\"1033;0;@\"";

// Whether a text cell holding `text` needs kOfficeTextCell.
bool LooksLikeFormula(std::string_view text);

// The number-format attributes of a cell (" style='...' sdnum=\"...\"",
// without the value), ready to append after "<td".
struct OfficeCellFormat {
  std::string attributes;
  // The Excel number format code alone ("#,##0.00", "d mmm yyyy"), as a
  // workbook's cell styles take it; "" for none.
  std::string excel;
};

// A number column format: kind '1' number, '2' percent, '3' money, with
// `decimals` (-1: the locale's default), in the current page's locale.
OfficeCellFormat OfficeNumberFormat(char kind, int decimals);
// Money cells without a column format, written with two decimals.
OfficeCellFormat OfficeMoneyFormat();

// A date column format as the grid reads it (a number 0 to 4 names a
// format, a text with "%" holds tokens, anything else is a picture), for a
// value with or without a time of day (which matters only where the format
// leaves the choice to the value).
OfficeCellFormat OfficeDateFormat(std::string_view format, bool has_time);
// A date shown as "yyyy-mm-dd" (has_time false) or "yyyy-mm-dd hh:mm:ss".
OfficeCellFormat OfficeIsoDateFormat(bool has_time);
// A date shown as "m/d/yyyy" or "m/d/yyyy h:mm:ss AM/PM" (the invariant
// text of a date value).
OfficeCellFormat OfficeInvariantDateFormat(bool has_time);

// Appends " x:num=\"v\" sdval=\"v\"" with the shortest text that reads
// back as `value`.
void AppendOfficeValue(double value, std::string& out);

// The Excel format code of a date format ("" when it has none), for tests
// and the attributes above.
std::string ExcelDateCode(std::string_view format);

}  // namespace fennick

#endif  // FENNICK_EXPORT_OFFICE_FORMATS_H_
