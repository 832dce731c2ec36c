// The error a column format raises for a cell value it cannot show: it
// names the column, the format the page gave it and the value, so that the
// page's author sees which call to change without reading the grid's code.
#ifndef FENNICK_GRID_RENDER_FORMAT_MISMATCH_H_
#define FENNICK_GRID_RENDER_FORMAT_MISMATCH_H_

#include <string>
#include <string_view>

namespace fennick {

struct ColumnFormat;

// The description of a format that does not fit its value, e.g.
//   Type mismatch: column Orders.Name has the format NumberColumn(2), and
//   its value "Smith" is not a number
// A long value is cut to its first 60 bytes (on a character boundary).
std::string FormatMismatchDescription(const ColumnFormat& format, std::string_view value);

// Raises Error 13 with that description (source "Fennick", to which the
// grid's trace steps are appended as to any other error).
[[noreturn]] void RaiseFormatMismatch(const ColumnFormat& format, std::string_view value);

}  // namespace fennick

#endif  // FENNICK_GRID_RENDER_FORMAT_MISMATCH_H_
