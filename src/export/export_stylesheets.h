// The export stylesheets carried inside the component.
//
// - The rowset-to-table stylesheet turns a persisted rowset (with the
//   optional style, format and headers elements the exporter inserts) into
//   an HTML table, formatting cells through the formatdate and formatnum
//   extension functions of "urn:user-functions". The second-generation
//   exporter writes that table directly (export_table.h); the stylesheet
//   defines it.
// - The two table-to-dataset stylesheets turn an exported table into a
//   neutral "dataset" document; pages may replace them with their own.
// - The print stylesheet pages a first-generation table for printing.
#ifndef FENNICK_EXPORT_EXPORT_STYLESHEETS_H_
#define FENNICK_EXPORT_EXPORT_STYLESHEETS_H_

#include <string>
#include <string_view>

namespace fennick {

inline constexpr char kUserFunctionsNs[] = "urn:user-functions";

// Rowset to HTML table. String parameters: decimal_format_name ("us" or
// "euro") and decimal_format_pattern, for money cells without a format.
std::string_view RowsetToTableStylesheet();
// Table (thead) to dataset: the second-generation exporter's default.
std::string_view TableToDatasetStylesheet();
// Table (theader, with type and size on the header cells) to dataset: the
// first-generation exporter's default.
std::string_view FirstGenerationDatasetStylesheet();

// The print stylesheet with its defaults: rows per page (a table's own
// rowsPerPage attribute wins when it is a number above 0; below 1 means
// all rows on one page), the row-number switch ("1" or ""), the page title
// and an optional heading (both are escaped here).
std::string BuildPrintStylesheet(int rows_per_page, std::string_view row_numbers,
                                 std::string_view title, std::string_view heading);

// The euro decimal pattern for money cells.
inline constexpr char kEuroDecimalPattern[] = "###.###,00;(###.###,00)";

}  // namespace fennick

#endif  // FENNICK_EXPORT_EXPORT_STYLESHEETS_H_
