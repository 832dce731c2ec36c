// The cell writer: one cell's value as the column formats show it.
//
// The page's column format lists (captions, templates, dates, numbers,
// booleans, regular expressions, hidden columns, cell and column styles)
// decide how a value is written; the row writers call WriteCell for every
// visible, non-binary cell and append the result to the page's buffer.
#ifndef FENNICK_GRID_RENDER_CELL_WRITER_H_
#define FENNICK_GRID_RENDER_CELL_WRITER_H_

#include <cstdint>
#include <string>

#include "fennick/variant.h"
#include "grid/grid_object.h"

namespace fennick {

// One row of the grid's result, by column index.
class RowView {
 public:
  virtual ~RowView() = default;
  virtual Variant Value(size_t column) const = 0;
};

// Puts "|||" in front of the non-empty lists so every entry is found as
// "|||" + key + "|=|"; called once when a grid displays.
void NormaliseFormatLists(GridPageState& page);

// The lookup key of a column: its name, or qualifier + "." + name, upper
// case.
std::string CellKey(const GridColumn& column);

// The header caption of a column: its caption entry by table.column, then
// by bare name (any case), else the field's name.
std::string ColumnCaptionOf(const GridPageState& page, const GridColumn& column);

// Whether a column is hidden by HiddenColumn.
bool IsHiddenColumn(const GridPageState& page, const GridColumn& column);

// Appends the formatted value of row[column] to out; row_index is the
// 0-based index of the row in the result. Raises the formatter's error for
// a value the column's format cannot convert.
void WriteCell(GridObject& g, const RowView& row, size_t column, int64_t row_index,
               std::string& out);

// Appends the link or image of a binary cell: a download link when the
// column has an OleColumn entry, else an image. The link carries the
// command, connection string and column sealed as one token
// (grid/download_link.h).
void WriteBinaryCell(GridObject& g, size_t column, int64_t row_index, std::string& out);

}  // namespace fennick

#endif  // FENNICK_GRID_RENDER_CELL_WRITER_H_
