// Row cells and footer rows of a report.
#include "grid/render/footer_rows.h"

#include "base/ascii.h"
#include "fennick/error.h"
#include "fennick/variant.h"
#include "grid/query/aggregate_columns.h"
#include "grid/render/cell_formats.h"
#include "grid/render/cell_values.h"
#include "grid/render/data_markup.h"
#include "grid/render/field_index.h"
#include "grid/render/summary_box.h"
#include "platform/web/http_text.h"

namespace fennick {
namespace {

constexpr std::string_view kScriptHead1 = "<script>document.write(eval(\"Math.round((";
constexpr std::string_view kScriptHead2 = "<script>document.write(eval(\"Math.round((0";
constexpr std::string_view kScriptHead3 = "<script>document.write(eval(\"Math.round(((";
constexpr std::string_view kScriptTail = ")*100)/100\"));</script>";
constexpr std::string_view kAverageTail = "+1))*100)/100\"));</script>";

bool IsMaster(const SummaryContext& context) { return !context.page->master_table.empty(); }

// Whether column `c` is one of the master columns as the grid grouped them
// (",0,2,": by name or by the alias the command gives the master table).
bool IsMasterColumn(const SummaryContext& context, size_t c) {
  return context.page->master_columns.find("," + std::to_string(c) + ",") != std::string::npos;
}

Variant CellValue(const SummaryContext& context, int64_t row, size_t column) {
  context.rows->AbsolutePosition(static_cast<int32_t>(row - context.row_offset + 1));
  return context.rows->Fields(column).Value();
}

// The number a cell holds when its text is numeric.
std::optional<double> CellNumber(const Variant& value) {
  if (value.type() == VarType::kDate || value.type() == VarType::kBoolean) return std::nullopt;
  if (value.IsNumber()) return value.AsDouble();
  if (value.IsString()) {
    double number = 0;
    if (ParseNumber(value.AsString(), number)) return number;
  }
  return std::nullopt;
}

// value in the number format of the row's last column, as both row cells
// and the grand total are written.
std::string FormatLikeLastColumn(const SummaryContext& context, double value) {
  if (context.columns->empty()) return FormatDouble(value);
  return FormatAggregateValue(context, context.columns->back(), value);
}

void AppendRowAttributes(const SummaryContext& context, int64_t position, std::string& out) {
  const GridPageState& p = *context.page;
  const bool odd = position % 2 == 1;
  out.append("<tr ");
  out.append(odd ? p.alt_item_class : p.item_class);
  out.append(odd ? p.alt_item_style : p.item_style);
  out.append(">");
}

// Which cells a footer row has: a cell per shown column that is not the
// first (of the details' columns, with a master table), and which of them
// carry a value.
enum class FooterCell { kNone, kBlank, kValue };

std::vector<FooterCell> FooterCells(const SummaryContext& context, std::string_view field_list) {
  const std::vector<GridColumn>& columns = *context.columns;
  const bool master = IsMaster(context);
  std::vector<FooterCell> cells(columns.size(), FooterCell::kNone);
  bool first_detail = true;
  for (size_t c = 0; c < columns.size(); ++c) {
    const GridColumn& col = columns[c];
    bool cell = false;
    if (!master) {
      cell = c >= 1;
    } else if (!IsMasterColumn(context, c)) {
      cell = !first_detail;
      first_detail = false;
    }
    // The footers total the columns the row cells add.
    bool value = IsSummedColumn(context, c);
    if (!field_list.empty() && !FieldListNames(field_list, col)) value = false;
    if ((*context.hidden)[c]) cell = false;
    if (cell) cells[c] = value ? FooterCell::kValue : FooterCell::kBlank;
  }
  return cells;
}

// The template of a column whose cells the browser computes (one holding
// "[eval]"), or "".
std::string_view EvalTemplate(const SummaryContext& context, size_t column) {
  const GridColumn& col = (*context.columns)[column];
  const std::optional<std::string_view> entry =
      FindColumnEntry(context.formats.template_list, KeysOf(context.command, col));
  if (!entry || entry->find("[eval]") == std::string_view::npos) return {};
  return *entry;
}

// Appends, for each "[eval]" block of `tmpl`, "+(" + the block + ")" with
// "#TEMP#" and the "{{column}}" placeholders made row `row`'s values in
// brackets (a value that is not a plain number becomes 0, so no value can
// add script). Text outside the blocks is what the cell writes around its
// number; it is no part of the sum.
void AppendEvalTerms(const SummaryContext& context, int64_t row, size_t column,
                     std::string_view tmpl, std::string& text, std::string& expression) {
  const std::vector<GridColumn>& columns = *context.columns;
  auto append_value = [&](size_t c) {
    text.clear();
    AppendValueText(CellValue(context, row, c), text);
    expression.push_back('(');
    AppendScriptNumber(text, expression);
    expression.push_back(')');
  };
  size_t at = tmpl.find("[eval]");
  while (at != std::string_view::npos) {
    at += 6;
    const size_t close = tmpl.find("[/eval]", at);
    const std::string_view block =
        tmpl.substr(at, close == std::string_view::npos ? std::string_view::npos : close - at);
    expression.append("+(");
    size_t i = 0;
    while (i < block.size()) {
      if (block.compare(i, 6, "#TEMP#") == 0) {
        append_value(column);
        i += 6;
      } else if (block.compare(i, 2, "{{") == 0 &&
                 block.find("}}", i + 2) != std::string_view::npos) {
        const size_t end = block.find("}}", i + 2);
        const std::string_view name = TrimBlanks(block.substr(i + 2, end - i - 2));
        size_t found = columns.size();
        for (size_t c = 0; c < columns.size(); ++c) {
          if (EqualsIgnoreCase(columns[c].name, name)) {
            found = c;
            break;
          }
        }
        if (found < columns.size()) {
          append_value(found);
        } else {
          expression.append("0");
        }
        i = end + 2;
      } else {
        expression.push_back(block[i]);
        ++i;
      }
    }
    expression.append(")");
    if (close == std::string_view::npos) break;
    at = tmpl.find("[eval]", close + 7);
  }
}

void WriteErrorCell(const std::exception& e, size_t reached, std::string& out) {
  const auto* error = dynamic_cast<const Error*>(&e);
  out.append("<td><font color=red><b>Error #:");
  out.append(std::to_string(error ? error->number() : 0));
  out.append("</B> - ");
  out.append(HtmlEncode(error ? error->description() : e.what()));
  out.append("</font></td></tr><p>Footer stopped at column ");
  out.append(std::to_string(reached));
  out.append("</p>");
}

enum class FooterKind { kAverage, kTotal };

void WriteFooterRow(const SummaryContext& context, FooterKind kind, int64_t first, int64_t last,
                    int64_t position) {
  const SummarySettings& s = *context.settings;
  std::string& out = *context.out;
  const bool average = kind == FooterKind::kAverage;
  const std::vector<FooterCell> cells =
      FooterCells(context, average ? s.average_fields : s.total_fields);
  if (last > context.last_row) last = context.last_row;
  const ResultSums* over_result = context.result_sums;
  const int64_t count = over_result ? over_result->rows : last - first + 1;
  size_t reached = 0;
  try {
    AppendRowAttributes(context, position, out);
    out.append("<td colspan=");
    out.append(context.page->add_row_numbers ? "2" : "1");
    out.append(average ? " class=col_footerLabel>Average</td>"
                       : " class=col_footerLabel>Total</td>");
    double grand = 0;
    std::string grand_expression;
    for (size_t c = 0; c < cells.size(); ++c) {
      reached = c + 1;
      if (cells[c] == FooterCell::kNone) continue;
      out.append("<td class=col_footer>");
      if (cells[c] == FooterCell::kValue && over_result &&
          (c >= over_result->sums.size() || !over_result->sums[c])) {
        // Over the whole result: a sum the database did not give (a
        // column the browser computes) leaves the cell empty.
      } else if (cells[c] == FooterCell::kValue) {
        ColumnSum sum;
        if (over_result) {
          sum.total = *over_result->sums[c];
        } else {
          sum = ColumnTotal(context, c, first, last);
        }
        if (!sum.script) {
          grand += sum.total;
          const double value =
              average ? RoundAggregate(count > 0 ? sum.total / static_cast<double>(count) : 0)
                      : sum.total;
          out.append(HtmlEncode(FormatAggregateValue(context, (*context.columns)[c], value)));
        } else if (average) {
          out.append(kScriptHead3);
          out.append(sum.expression);
          out.append(")/(");
          out.append(std::to_string(last));
          out.append("-");
          out.append(std::to_string(first));
          out.append(kAverageTail);
        } else {
          out.append(kScriptHead1);
          out.append(sum.expression);
          out.append(kScriptTail);
          grand_expression.append("+(").append(sum.expression).append(")");
        }
      }
      out.append("</td>");
    }
    reached = cells.size() + 1;
    if (average) {
      if (s.row_averages && s.row_totals) {
        out.append("<td class=col_footer colspan=2>&nbsp;</td>");
      } else if (s.row_averages || s.row_totals) {
        out.append("<td class=col_footer>&nbsp;</td>");
      }
    } else {
      if (s.row_averages) out.append("<td class=col_footer>&nbsp;</td>");
      if (s.row_totals) {
        out.append("<td class=col_footer>");
        if (grand_expression.empty()) {
          out.append(HtmlEncode(FormatLikeLastColumn(context, RoundAggregate(grand))));
        } else {
          // The columns the browser computes join the ones added here.
          out.append(kScriptHead2);
          if (grand != 0) out.append("+(").append(FormatDouble(grand)).append(")");
          out.append(grand_expression);
          out.append(kScriptTail);
        }
        out.append("</td>");
      }
    }
    out.append("</tr>");
  } catch (const std::exception& e) {
    WriteErrorCell(e, reached, out);
  }
}

}  // namespace

bool IsSummedColumn(const SummaryContext& context, size_t index) {
  // Column 0 names the row; a hidden column is not shown, so not added.
  if (index == 0 || index >= context.columns->size() || (*context.hidden)[index]) return false;
  const GridColumn& col = (*context.columns)[index];
  const bool number = col.type_class == TypeClass::kNumber || col.type_class == TypeClass::kMoney;
  if (!IsMaster(context)) return number;
  // The master's own columns are not the details', and the details' first
  // column names the detail row as column 0 names a plain one.
  if (IsMasterColumn(context, index)) return false;
  for (size_t c = 0; c < index; ++c) {
    if (!IsMasterColumn(context, c)) {
      // An earlier details column: this one is not the first.
      if (IsAggregateColumn(col.name) || EqualsIgnoreCase(col.name, "COUNT_1")) return true;
      // Details that are no summary report's add their numbers, as their
      // footers do.
      return number && !context.settings->HasAggregateLists();
    }
  }
  return false;
}

std::vector<bool> FooterValueColumns(const SummaryContext& context, bool average) {
  const SummarySettings& s = *context.settings;
  const std::vector<FooterCell> cells =
      FooterCells(context, average ? s.average_fields : s.total_fields);
  std::vector<bool> values(cells.size());
  for (size_t c = 0; c < cells.size(); ++c) values[c] = cells[c] == FooterCell::kValue;
  return values;
}

bool IsBrowserComputed(const SummaryContext& context, size_t column) {
  return !EvalTemplate(context, column).empty();
}

int SummedColumnCount(const SummaryContext& context) {
  int count = 0;
  for (size_t c = 0; c < context.columns->size(); ++c) {
    if (IsSummedColumn(context, c)) ++count;
  }
  return count;
}

RowTotal RowsTotal(const SummaryContext& context, int64_t first, int64_t last) {
  RowTotal total;
  if (last > context.last_row) last = context.last_row;
  std::vector<std::string_view> templates(context.columns->size());
  std::vector<size_t> summed;
  for (size_t c = 0; c < context.columns->size(); ++c) {
    if (!IsSummedColumn(context, c)) continue;
    summed.push_back(c);
    templates[c] = EvalTemplate(context, c);
  }
  std::string text;
  for (int64_t row = first < 0 ? 0 : first; row <= last; ++row) {
    total.cells += static_cast<int64_t>(summed.size());
    for (size_t c : summed) {
      if (!templates[c].empty()) {
        // The browser computes what this cell shows; the total adds that.
        AppendEvalTerms(context, row, c, templates[c], text, total.expression);
      } else if (std::optional<double> n = CellNumber(CellValue(context, row, c))) {
        total.sum += *n;
      }
    }
  }
  total.sum = RoundAggregate(total.sum);
  return total;
}

void WriteRowCellHeaders(const SummaryContext& context) {
  const SummarySettings& s = *context.settings;
  const GridPageState& p = *context.page;
  std::string& out = *context.out;
  auto header = [&](std::string_view text) {
    out.append("<th><span");
    out.append(p.header_link_class);
    out.append(p.header_text_style);
    out.append(">");
    out.append(text);
    out.append("</span></th>");
  };
  if (s.row_averages) header("Average");
  if (s.row_totals) header("Total");
}

void WriteRowCells(const SummaryContext& context, int64_t first, int64_t last) {
  const SummarySettings& s = *context.settings;
  if (!s.row_averages && !s.row_totals) return;
  std::string& out = *context.out;
  const RowTotal total = RowsTotal(context, first, last);
  // Cells the browser computes make the whole cell a script over the same
  // terms, as the footers' totals are.
  auto script_sum = [&] {
    out.append("0");
    if (total.sum != 0) out.append("+(").append(FormatDouble(total.sum)).append(")");
    out.append(total.expression);
  };
  if (s.row_averages) {
    out.append("<td class=row_footer>");
    if (total.cells > 0 && total.expression.empty()) {
      out.append(HtmlEncode(FormatLikeLastColumn(
          context, RoundAggregate(total.sum / static_cast<double>(total.cells)))));
    } else if (total.cells > 0) {
      out.append(kScriptHead3);
      script_sum();
      out.append(")/").append(std::to_string(total.cells));
      out.append(kScriptTail);
    }
    out.append("</td>");
  }
  if (s.row_totals) {
    out.append("<td class=row_footer>");
    if (total.expression.empty()) {
      out.append(HtmlEncode(FormatLikeLastColumn(context, total.sum)));
    } else {
      out.append(kScriptHead1);
      script_sum();
      out.append(kScriptTail);
    }
    out.append("</td>");
  }
}

ColumnSum ColumnTotal(const SummaryContext& context, size_t column, int64_t first, int64_t last) {
  ColumnSum sum;
  const std::string_view tmpl = EvalTemplate(context, column);
  if (!tmpl.empty()) {
    sum.script = true;
    sum.expression = ColumnEvalTotal(context, column, tmpl, first, last);
    return sum;
  }
  if (last > context.last_row) last = context.last_row;
  for (int64_t row = first < 0 ? 0 : first; row <= last; ++row) {
    if (std::optional<double> n = CellNumber(CellValue(context, row, column))) sum.total += *n;
  }
  return sum;
}

std::string ColumnEvalTotal(const SummaryContext& context, size_t column, std::string_view tmpl,
                            int64_t first, int64_t last) {
  std::string expression = "0";
  std::string text;
  if (last > context.last_row) last = context.last_row;
  for (int64_t row = first < 0 ? 0 : first; row <= last; ++row) {
    AppendEvalTerms(context, row, column, tmpl, text, expression);
  }
  return expression;
}

void WriteFooterRows(const SummaryContext& context, int64_t first, int64_t last, int64_t position) {
  const SummarySettings& s = *context.settings;
  // A per-field list switches its footer row on.
  if (s.column_averages || !s.average_fields.empty()) {
    WriteFooterRow(context, FooterKind::kAverage, first, last, position);
  }
  if (s.column_totals || !s.total_fields.empty()) {
    WriteFooterRow(context, FooterKind::kTotal, first, last, position);
  }
}

}  // namespace fennick
