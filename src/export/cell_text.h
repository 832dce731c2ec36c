// Cell text for the documents that lay out their own cells (the workbook,
// the PDF): well-formed UTF-8 whatever the database held, so neither the
// workbook's XML nor the PDF's text layout can be broken by a value, and
// cut to a length with a note saying so.
#ifndef FENNICK_EXPORT_CELL_TEXT_H_
#define FENNICK_EXPORT_CELL_TEXT_H_

#include <cstddef>
#include <string>
#include <string_view>

namespace fennick {

// Appends `text` with bytes that are not UTF-8 read as U+FFFD and the
// characters no XML document holds (C0 controls other than tab, line feed
// and carriage return; U+FFFE, U+FFFF) left out. With `one_line`, tabs and
// line breaks become spaces.
void AppendCellText(std::string_view text, bool one_line, std::string& out);

// The most characters a workbook cell holds.
inline constexpr size_t kMaxWorkbookCellChars = 32767;

// Cuts `text` (well-formed UTF-8, as AppendCellText leaves it) to at most
// `max_chars` characters counted as UTF-16 units, as spreadsheets count
// them: a longer text keeps its start and ends with a note giving its
// full length ("... [cut: 40000 characters]"). Returns whether it cut.
bool CutCellText(std::string& text, size_t max_chars);

}  // namespace fennick

#endif  // FENNICK_EXPORT_CELL_TEXT_H_
