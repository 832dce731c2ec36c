// A cell's value as the column formats read it: its text, and the number or
// date a numeric or date format takes from it.
#ifndef FENNICK_GRID_RENDER_CELL_VALUES_H_
#define FENNICK_GRID_RENDER_CELL_VALUES_H_

#include <optional>
#include <string>
#include <string_view>

#include "fennick/variant.h"

namespace fennick {

// Appends the value's text as a cell shows it: strings as they are,
// numbers and Booleans in their invariant form, dates in the page's locale,
// nothing for Null and Empty.
void AppendValueText(const Variant& value, std::string& out);

// Whether the value is a number: a numeric Variant, or text that reads as
// one (in the invariant form or the page's locale).
bool IsNumericValue(const Variant& value, std::string_view text);

// The value as a number for a number, percent or currency format. `text`
// is the value's text. Raises Error 13 "Type mismatch" when it is not a
// number.
double NumericValue(const Variant& value, std::string_view text);

// The value as an OLE date: a Date or numeric Variant, or text that reads
// as a date in the page's locale; nullopt otherwise.
std::optional<double> DateValue(const Variant& value, std::string_view text);

// The error a format raises for a value it cannot convert.
[[noreturn]] void RaiseTypeMismatch();

}  // namespace fennick

#endif  // FENNICK_GRID_RENDER_CELL_VALUES_H_
