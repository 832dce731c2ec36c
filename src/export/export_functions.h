// The cell formats of the export tables: dates and numbers through a
// column's format, in the current page's locale, and money cells without a
// format. They are also the formatdate and formatnum extension functions
// of the export stylesheets (namespace "urn:user-functions"). Format codes
// are read here; no format text reaches a printf.
#ifndef FENNICK_EXPORT_EXPORT_FUNCTIONS_H_
#define FENNICK_EXPORT_EXPORT_FUNCTIONS_H_

#include <string>
#include <string_view>

namespace fennick {

// Registers both functions for every stylesheet compiled afterwards. Safe
// to call from any thread, any number of times.
void RegisterExportFunctions();

// Reads a persisted date ("yyyy-mm-dd", or with "Thh:mm:ss" or " hh:mm:ss"
// after it; blanks around it allowed) as an OLE date.
bool ParseExportDate(std::string_view text, double& ole_date);

// A date through a column's date format, as the grid reads it: a number 0
// to 4 names a format (general, long date, short date, long time, short
// time), a text with "%" holds tokens, anything else is a picture ("d mmm
// yyyy"). A date the format cannot write (out of range) gives "".
std::string FormatExportDate(double ole_date, std::string_view format);
// The same for a persisted date's text; a value that is not a date is
// returned as it is.
std::string FormatExportDate(std::string_view value, std::string_view format);

// A number through a format whose first digit chooses number (1), percent
// (2) or currency (3) and whose rest is the number of decimals; any other
// format is shown itself.
std::string FormatExportNumber(double number, std::string_view format);
// The same for a number's text; a value that is not a number is returned
// as it is.
std::string FormatExportNumber(std::string_view number, std::string_view format);

// Reads a number as XPath's number() does: an optional "-", digits with an
// optional ".", blanks around; no exponent, no "+".
bool ParseXPathNumber(std::string_view text, double& value);

// Money without a column format, as the pattern "###,###.00;(###,###.00)"
// writes it (XSLT format-number): grouping by three, two decimals, no
// leading zero, negatives in parentheses; with `euro` "," is the decimal
// and "." the grouping separator.
std::string FormatMoneyPattern(double value, bool euro);

}  // namespace fennick

#endif  // FENNICK_EXPORT_EXPORT_FUNCTIONS_H_
