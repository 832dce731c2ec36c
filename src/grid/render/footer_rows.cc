// Row cells and footer rows of a report.
#include "grid/render/footer_rows.h"

#include "base/ascii.h"
#include "fennick/error.h"
#include "fennick/variant.h"
#include "grid/query/aggregate_columns.h"
#include "grid/render/cell_formats.h"
#include "grid/render/cell_values.h"
#include "grid/render/data_markup.h"
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

// Whether `name` is in a comma-separated field list (any case).
bool InFieldList(std::string_view list, std::string_view name) {
  return ("," + AsciiLower(list) + ",").find("," + AsciiLower(name) + ",") != std::string::npos;
}

std::string_view LastColumnName(const SummaryContext& context) {
  return context.columns->empty() ? std::string_view() : context.columns->back().name;
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
  const bool any_lists = context.settings->HasAggregateLists();
  std::vector<FooterCell> cells(columns.size(), FooterCell::kNone);
  bool first_detail = true;
  for (size_t c = 0; c < columns.size(); ++c) {
    const GridColumn& col = columns[c];
    bool cell = false;
    bool value = false;
    if (!master) {
      cell = c >= 1;
      value = col.type_class == TypeClass::kNumber || col.type_class == TypeClass::kMoney;
    } else if (!EqualsIgnoreCase(col.table, context.page->master_table)) {
      cell = !first_detail;
      first_detail = false;
      value = IsAggregateColumn(col.name) || EqualsIgnoreCase(col.name, "COUNT_1") ||
              (!any_lists &&
               (col.type_class == TypeClass::kNumber || col.type_class == TypeClass::kMoney));
    }
    if (!field_list.empty() && !InFieldList(field_list, col.name)) value = false;
    if ((*context.hidden)[c]) cell = false;
    if (cell) cells[c] = value ? FooterCell::kValue : FooterCell::kBlank;
  }
  return cells;
}

// The "[eval]" template of an aggregate column, or "".
std::string_view EvalTemplate(const SummaryContext& context, size_t column) {
  const GridColumn& col = (*context.columns)[column];
  if (!IsAggregateColumn(col.name)) return {};
  const std::optional<std::string_view> entry =
      FindColumnEntry(context.formats.template_list, KeysOf(*context.page, col));
  if (!entry || entry->find("[eval]") == std::string_view::npos) return {};
  return *entry;
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
  const int64_t count = last - first + 1;
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
      if (cells[c] == FooterCell::kValue) {
        const ColumnSum sum = ColumnTotal(context, c, first, last);
        const std::string& name = (*context.columns)[c].name;
        if (!sum.script) {
          grand += sum.total;
          const double value =
              average ? RoundAggregate(count > 0 ? sum.total / static_cast<double>(count) : 0)
                      : sum.total;
          out.append(HtmlEncode(FormatAggregateValue(context, name, value)));
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
          out.append(HtmlEncode(
              FormatAggregateValue(context, LastColumnName(context), RoundAggregate(grand))));
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

bool IsSummedColumn(std::string_view name, size_t index, TypeClass type_class, bool master) {
  if (master) return IsAggregateColumn(name) || EqualsIgnoreCase(name, "COUNT_1");
  return index >= 1 && (type_class == TypeClass::kNumber || type_class == TypeClass::kMoney);
}

int SummedColumnCount(const SummaryContext& context) {
  int count = 0;
  const bool master = IsMaster(context);
  for (size_t c = 0; c < context.columns->size(); ++c) {
    const GridColumn& col = (*context.columns)[c];
    if (IsSummedColumn(col.name, c, col.type_class, master)) ++count;
  }
  return count;
}

double RowSum(const SummaryContext& context, int64_t row) {
  const bool master = IsMaster(context);
  double sum = 0;
  // Column 0 never counts: it names the row.
  for (size_t c = 1; c < context.columns->size(); ++c) {
    const GridColumn& col = (*context.columns)[c];
    if (!IsSummedColumn(col.name, c, col.type_class, master)) continue;
    if (std::optional<double> n = CellNumber(CellValue(context, row, c))) sum += *n;
  }
  return RoundAggregate(sum);
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

void WriteRowCells(const SummaryContext& context, int64_t row) {
  const SummarySettings& s = *context.settings;
  if (!s.row_averages && !s.row_totals) return;
  std::string& out = *context.out;
  const double sum = RowSum(context, row);
  const std::string_view last = LastColumnName(context);
  if (s.row_averages) {
    out.append("<td class=row_footer>");
    const int count = SummedColumnCount(context);
    if (count > 0) {
      out.append(HtmlEncode(FormatAggregateValue(context, last, RoundAggregate(sum / count))));
    }
    out.append("</td>");
  }
  if (s.row_totals) {
    out.append("<td class=row_footer>");
    out.append(HtmlEncode(FormatAggregateValue(context, last, sum)));
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
  const std::vector<GridColumn>& columns = *context.columns;
  std::string expression = "0";
  std::string text;
  if (last > context.last_row) last = context.last_row;
  for (int64_t row = first < 0 ? 0 : first; row <= last; ++row) {
    auto append_value = [&](size_t c) {
      text.clear();
      AppendValueText(CellValue(context, row, c), text);
      expression.push_back('(');
      AppendScriptNumber(text, expression);
      expression.push_back(')');
    };
    size_t at = 0;
    while (at < tmpl.size()) {
      if (tmpl.compare(at, 6, "[eval]") == 0) {
        expression.append("+(");
        at += 6;
      } else if (tmpl.compare(at, 7, "[/eval]") == 0) {
        expression.append(")");
        at += 7;
      } else if (tmpl.compare(at, 6, "#TEMP#") == 0) {
        append_value(column);
        at += 6;
      } else if (tmpl.compare(at, 2, "{{") == 0 &&
                 tmpl.find("}}", at + 2) != std::string_view::npos) {
        const size_t close = tmpl.find("}}", at + 2);
        const std::string_view name = TrimBlanks(tmpl.substr(at + 2, close - at - 2));
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
        at = close + 2;
      } else {
        expression.push_back(tmpl[at]);
        ++at;
      }
    }
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
