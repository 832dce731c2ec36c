// The summary box and the aggregate values it shows.
#include "grid/render/summary_box.h"

#include <algorithm>
#include <cmath>
#include <optional>

#include "base/ascii.h"
#include "base/split.h"
#include "frame/field_types.h"
#include "grid/query/aggregate_columns.h"
#include "grid/query/aggregate_query.h"
#include "grid/render/cell_formats.h"
#include "grid/render/cell_values.h"
#include "grid/render/format_lists.h"
#include "platform/intl/format.h"
#include "platform/web/http_text.h"

namespace fennick {
namespace {

// The shown result column an entry's field names: its name, or table + "."
// + name, compared without regard to case (PostgreSQL folds unquoted
// names). A hidden column is not shown, so neither is its aggregate.
const GridColumn* FindResultColumn(const SummaryContext& context, std::string_view field) {
  const std::vector<GridColumn>& columns = *context.columns;
  auto shown = [&](size_t i) { return !(*context.hidden)[i]; };
  for (size_t i = 0; i < columns.size(); ++i) {
    if (shown(i) && EqualsIgnoreCase(columns[i].name, field)) return &columns[i];
  }
  for (size_t i = 0; i < columns.size(); ++i) {
    const GridColumn& c = columns[i];
    if (shown(i) && !c.table.empty() && EqualsIgnoreCase(c.table + "." + c.name, field)) return &c;
  }
  return nullptr;
}

bool IsNumericAdoType(int32_t type) {
  const TypeClass c = ClassifyFieldType(std::to_string(type), 1);
  return c == TypeClass::kNumber || c == TypeClass::kMoney;
}

}  // namespace

double RoundAggregate(double value) {
  if (!std::isfinite(value)) return value;
  // nearbyint rounds halves to even in the default rounding mode.
  return std::nearbyint(value * 100.0) / 100.0;
}

Variant ComputeAggregate(const SummaryContext& context, const GridColumn& column,
                         data::Aggregate aggregate) {
  // The product, not the provider: through ODBC the engine behind decides
  // the function names.
  const std::string sql =
      AggregateSql(context.opened_sql, column.name, aggregate, context.database_type,
                   context.connection->DbmsName(), context.row_limit);
  Recordset rs = context.connection->Execute(sql);
  Variant result;
  if (!rs.Eof()) {
    const Field field = rs.Fields(0);
    Variant value = field.Value();
    if (value.IsNull() || value.IsEmpty()) {
      result = Variant();
    } else if (value.IsNumber() && !(value.type() == VarType::kDate)) {
      result = Variant(RoundAggregate(value.AsDouble()));
    } else if (value.IsString() && IsNumericAdoType(field.Type())) {
      // Exact numerics may arrive as their text (PostgreSQL's numeric).
      double number = 0;
      result = ParseNumber(value.AsString(), number) ? Variant(RoundAggregate(number)) : value;
    } else {
      result = value;
    }
  }
  rs.Close();
  return result;
}

std::string FormatAggregateValue(const SummaryContext& context, const GridColumn& column,
                                 double value) {
  // The keys the column's cells are formatted by: qualified, then bare.
  const ColumnKeys keys =
      context.aggregate_keys ? KeysOf(context.command, column) : OwnKeysOf(column);
  const std::optional<std::string_view> entry = FindColumnEntry(context.formats.number_list, keys);
  if (!entry || entry->empty()) return FormatDouble(value);
  double decimals = -1;
  if (entry->size() > 1 && !ParseNumber(entry->substr(1), decimals)) decimals = -1;
  const int places = static_cast<int>(std::clamp(decimals, -1.0, 28.0));
  switch ((*entry)[0]) {
    case '1':
      return intl::FormatNumber(value, places);
    case '2':
      return intl::FormatPercent(value, places);
    case '3':
      return intl::FormatCurrency(value, places);
    default:
      return FormatDouble(value);
  }
}

void WriteSummaryBox(const SummaryContext& context) {
  const SummarySettings& s = *context.settings;
  if (s.specification.size() < 3) return;
  const GridPageState& p = *context.page;
  std::string& out = *context.out;
  out.append(context.box_spans ? "<table class=summary cellpadding=4 width=\""
                               : "<table cellpadding=4 width=\"");
  out.append(HtmlAttributeEscape(p.grid_width));
  out.append("\"><tr");
  out.append(p.footer_class);
  out.append(p.footer_style);
  out.append("><td>");
  out.append(context.label);
  out.append("<br>");
  for (std::string_view entry : SplitView(s.specification, ",")) {
    entry = TrimBlanks(entry);
    if (entry.empty()) continue;
    const std::vector<std::string_view> parts = SplitView(entry, "__");
    if (parts.size() < 2) continue;
    const std::optional<data::Aggregate> aggregate = data::ParseAggregate(parts[1]);
    if (!aggregate) continue;
    const std::string_view field = TrimBlanks(parts[0]);
    if (field.empty()) continue;
    const GridColumn* column = FindResultColumn(context, field);
    if (!column) {
      // Said, not skipped: a box that leaves a line out silently reads as
      // complete.
      out.append("<font color=red>No summary of <b>");
      out.append(HtmlEncode(field));
      out.append("</b>: the report does not show it</font><br>");
      continue;
    }
    std::string caption = parts.size() > 2 ? std::string(parts[2]) : std::string();
    if (caption.empty()) caption = std::string(TrimBlanks(parts[1])) + " " + std::string(field);

    // The caption is the report author's text, written as given (as
    // column captions are).
    if (context.box_spans) out.append("<span class=summary_name>");
    out.append(caption);
    out.append(context.box_spans ? "</span> <i><span class=summary_value>" : " <i>");
    const Variant value = ComputeAggregate(context, *column, *aggregate);
    if (value.type() == VarType::kDouble) {
      out.append(HtmlEncode(FormatAggregateValue(context, *column, value.AsDouble())));
    } else {
      // A date or a text (MIN and MAX of such a column) is shown as the
      // cell would show it; it is data, so it is encoded.
      std::string text;
      AppendValueText(value, text);
      if (column->type_class == TypeClass::kDate && value.IsString()) {
        // Engines without a date type (SQLite) return a date column's
        // MIN and MAX as the stored text; the cells show it as a date.
        if (std::optional<double> date = DateValue(value, text)) {
          text.clear();
          AppendValueText(Variant::Date(*date), text);
        }
      }
      out.append(HtmlEncode(text));
    }
    out.append(context.box_spans ? "</span></i><br>" : "</i><br>");
  }
  out.append("</td></tr></table>");
}

}  // namespace fennick
