// The column formats a grid's cells are written with, resolved once per
// column: which list decides the column's text, with the entry already
// taken apart (date format, number kind and decimals, compiled template,
// Boolean texts, regular expression), and the column's style.
//
// The resolution is kept with the grid object and redone for every column
// when a format list, the default date format or the command changes, or
// when the grid's columns change. Not thread-safe: a grid belongs to its
// page's thread.
#ifndef FENNICK_GRID_RENDER_CELL_FORMATS_H_
#define FENNICK_GRID_RENDER_CELL_FORMATS_H_

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "grid/grid_object.h"
#include "grid/render/template_expansion.h"
#include "platform/script/regexp.h"

namespace fennick {

// The keys a column's entries are looked up by: the qualified key
// ("ORDERS.AMOUNT", empty when the column has no qualifier) first, then the
// bare name ("AMOUNT").
struct ColumnKeys {
  std::string qualified;
  std::string bare;
};
ColumnKeys OwnKeysOf(const GridColumn& column);
// The keys of a cell's formats: the column's own, except that an aggregate
// column (SUM_2) is formatted like the column it aggregates.
ColumnKeys KeysOf(const GridPageState& page, const GridColumn& column);
// The same, with the aggregates looked up in `command`.
ColumnKeys KeysOf(std::string_view command, const GridColumn& column);

// The first entry of list for the keys: by the qualified key, then by the
// bare one.
std::optional<std::string_view> FindColumnEntry(std::string_view list, const ColumnKeys& keys);

enum class CellFormatKind { kPlain, kDate, kNumber, kTemplate, kBoolean, kRegex };

struct ColumnFormat {
  bool resolved = false;
  std::string name, table;  // the column it was resolved for
  // An aggregate column's keys come from the command; the command they
  // were found in.
  bool aggregate = false;
  std::string command_of;

  CellFormatKind kind = CellFormatKind::kPlain;
  std::string entry;  // the deciding entry's value

  // Dates: a named format 0..4 (or another number, which the formatter
  // refuses), else a "%" token format, else a picture.
  std::optional<int> named_date;
  bool date_tokens = false;
  // Numbers: '1' number, '2' percent, '3' currency, and the decimals.
  char number_kind = '1';
  int decimals = -1;
  // Booleans: the texts for True and False.
  std::string true_text, false_text;
  // Regular expressions: the pattern (case-sensitive, first match), the
  // replacement, and whether a non-numeric value is first reduced to its
  // digits ("~d").
  script::RegExp regex;
  std::string replacement;
  bool digits_first = false;
  // Templates (LinkColumn, ReplaceColumn).
  CellTemplate tmpl;

  // The column's style (ColumnStyle), "" when none.
  std::string column_style;
};

struct CellWriterCache {
  // The sizes of what the resolution read; lists only grow, so a change in
  // any of them means an entry was added or the lists were normalised.
  std::array<size_t, 8> stamp{};
  std::vector<ColumnFormat> columns;
  // CellStyle entries in list order: upper-cased text and style.
  std::vector<std::pair<std::string, std::string>> cell_styles;

  // Scratch buffers reused from cell to cell.
  std::string value_text;
  std::string upper_text;
  TemplateScratch scratch;

  // The sealed tokens of binary-cell links by column ("" until made),
  // sealed once for all rows while the command and connection string they
  // hold stay the same.
  std::string download_command_of, download_connection_of;
  std::vector<std::string> download_tokens;
};

// The grid's cache, brought up to date with the page's lists.
CellWriterCache& CellCacheFor(GridObject& g);

// The resolved format of a column (resolving it on first use).
const ColumnFormat& FormatOf(GridObject& g, CellWriterCache& cache, size_t column);

// The CellStyle style for a cell text (any case), or nullptr.
const std::string* CellStyleFor(CellWriterCache& cache, std::string_view text);

}  // namespace fennick

#endif  // FENNICK_GRID_RENDER_CELL_FORMATS_H_
