// The formatdate and formatnum extension functions of the export
// stylesheets (namespace "urn:user-functions"), in the current page's
// locale. Format codes are read here; no format text reaches a printf.
#ifndef FENNICK_EXPORT_EXPORT_FUNCTIONS_H_
#define FENNICK_EXPORT_EXPORT_FUNCTIONS_H_

#include <string>
#include <string_view>

namespace fennick {

// Registers both functions for every stylesheet compiled afterwards. Safe
// to call from any thread, any number of times.
void RegisterExportFunctions();

// A persisted date value ("yyyy-mm-dd" or "yyyy-mm-ddThh:mm:ss"; the time
// of day is kept) through a format: a number 0 to 4 picks a named date
// format, anything else is a "%" token pattern. A value that is not a date
// is returned as it is.
std::string FormatExportDate(std::string_view value, std::string_view format);

// A number (its XPath text) through a format whose first digit chooses
// number (1), percent (2) or currency (3) and whose rest is the number of
// decimals; any other format is shown itself, as is a value that is not a
// number.
std::string FormatExportNumber(std::string_view number, std::string_view format);

}  // namespace fennick

#endif  // FENNICK_EXPORT_EXPORT_FUNCTIONS_H_
