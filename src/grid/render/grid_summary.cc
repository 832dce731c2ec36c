// Builds the summary writer's context from a DataGrid being displayed,
// checks the totals a page set, and sums the whole result for the footer
// rows that show it and for exports.
#include "grid/render/grid_summary.h"

#include "base/ascii.h"
#include "base/split.h"
#include "fennick/error.h"
#include "fennick/variant.h"
#include "frame/field_types.h"
#include "frame/module_state.h"
#include "grid/query/aggregate_query.h"
#include "grid/render/cell_writer.h"
#include "grid/render/display.h"
#include "grid/render/field_index.h"
#include "grid/render/footer_rows.h"
#include "grid/render/summary_box.h"

namespace fennick {
namespace {

constexpr char kSource[] = "DataGrid";

[[noreturn]] void RaiseUnknownColumn(std::string_view member, std::string_view column) {
  throw Error(kErrInvalidCall,
              std::string(member) + ": no column '" + std::string(column) + "' in the result",
              kSource);
}

// The result column a page's name means (bare or table.column, any case).
const GridColumn* NamedColumn(const std::vector<GridColumn>& columns, std::string_view name) {
  for (const GridColumn& c : columns) {
    if (FieldListNames(name, c)) return &c;
  }
  return nullptr;
}

void CheckFooterList(const std::vector<GridColumn>& columns, std::string_view list,
                     std::string_view member) {
  for (std::string_view name : SplitTrimmed(list, ",")) {
    if (name.empty()) continue;
    const GridColumn* c = NamedColumn(columns, name);
    if (!c) RaiseUnknownColumn(member, name);
    if (c->type_class != TypeClass::kNumber && c->type_class != TypeClass::kMoney) {
      throw Error(kErrInvalidCall,
                  std::string(member) + ": column '" + std::string(name) +
                      "' holds no numbers to add",
                  kSource);
    }
  }
}

// A sum as the database gives it: a number, or the text of an exact
// numeric (PostgreSQL's numeric); a null (no number in the column) adds
// nothing, as the rows shown would.
double SumValue(const Variant& value) {
  if (value.IsNull() || value.IsEmpty()) return 0;
  if (value.IsNumber() && value.type() != VarType::kDate) return value.AsDouble();
  double number = 0;
  return ParseNumber(value.AsString(), number) ? number : 0;
}

// The sums of the columns either footer row writes a value under, over
// every row of the result.
ResultSums SumResult(const SummaryContext& c) {
  const std::vector<bool> averages = FooterValueColumns(c, true);
  const std::vector<bool> totals = FooterValueColumns(c, false);
  ResultSums result;
  result.sums.resize(c.columns->size());
  std::vector<size_t> summed;
  std::vector<std::string> names;
  for (size_t i = 0; i < c.columns->size(); ++i) {
    if (!averages[i] && !totals[i]) continue;
    if (IsBrowserComputed(c, i)) continue;  // only the browser knows its cells
    summed.push_back(i);
    names.push_back((*c.columns)[i].name);
  }
  if (c.opened_sql.empty() || !c.connection) {
    // A procedure's rows: all of them were read, so they are added here.
    result.rows = c.last_row + 1;
    for (size_t i : summed) result.sums[i] = ColumnTotal(c, i, 0, c.last_row).total;
    return result;
  }
  Recordset rs =
      c.connection->Execute(ColumnSumsSql(c.opened_sql, names, c.database_type, c.row_limit));
  if (!rs.Eof()) {
    result.rows = static_cast<int64_t>(SumValue(rs.Fields(0).Value()));
    for (size_t k = 0; k < summed.size(); ++k) {
      result.sums[summed[k]] = SumValue(rs.Fields(k + 1).Value());
    }
  }
  rs.Close();
  return result;
}

bool HasFooterRows(const SummarySettings& s) {
  return s.column_totals || s.column_averages || !s.total_fields.empty() ||
         !s.average_fields.empty();
}

}  // namespace

SummaryContext GridSummaryContext(GridRender& r) {
  GridObject& g = r.g;
  const GridPageState& p = *g.page;
  SummaryContext c;
  c.out = &r.out;
  c.settings = &g.Summary();
  c.formats.number_list = p.number_list;
  c.formats.template_list = p.template_list;
  c.page = &p;
  c.command = p.command;
  c.columns = &g.result.columns;
  c.hidden = &r.hidden;
  c.rows = r.rows.get();
  c.last_row = r.last_row;
  c.row_offset = r.row_offset;
  c.opened_sql = g.result.opened_sql;
  c.row_limit = CurrentModuleState().max_records;
  c.connection = p.connection.get();
  c.database_type = g.req.database_type;
  c.label = g.settings.Text("summarylabeltext");
  return c;
}

void CheckPageTotals(const GridObject& g) {
  if (!g.settings.own_summary) return;
  const SummarySettings& s = g.settings.summary;
  const std::vector<GridColumn>& columns = g.result.columns;
  for (std::string_view entry : SplitTrimmed(s.specification, ",")) {
    const std::vector<std::string_view> parts = SplitView(entry, "__");
    if (!parts.empty() && !NamedColumn(columns, TrimBlanks(parts[0]))) {
      RaiseUnknownColumn("AddSummary", TrimBlanks(parts[0]));
    }
  }
  CheckFooterList(columns, s.total_fields, "FooterTotals");
  CheckFooterList(columns, s.average_fields, "FooterAverages");
}

bool HasRowCells(const GridRender& r) {
  const SummarySettings& s = r.g.Summary();
  return s.row_totals || s.row_averages;
}

void WriteGridSummaryBox(GridRender& r) {
  // A stored procedure's rows have no statement to aggregate over.
  if (r.g.Summary().specification.size() < 3 || r.g.result.opened_sql.empty() ||
      !r.g.page->connection) {
    return;
  }
  WriteSummaryBox(GridSummaryContext(r));
}

void WriteGridRowCellHeaders(GridRender& r) {
  if (HasRowCells(r)) WriteRowCellHeaders(GridSummaryContext(r));
}

void WriteGridRowCells(GridRender& r, int64_t first, int64_t last) {
  if (HasRowCells(r)) WriteRowCells(GridSummaryContext(r), first, last);
}

void WriteGridFooters(GridRender& r, int64_t first, int64_t last) {
  if (!HasFooterRows(r.g.Summary())) return;
  if (last > r.last_row) last = r.last_row;
  if (first < 0) first = 0;
  SummaryContext context = GridSummaryContext(r);
  if (r.g.settings.footers_over_result && !r.g.page->master_mode) {
    // Every print page shows the same sums: asked once.
    if (!r.result_sums) r.result_sums = std::make_shared<ResultSums>(SumResult(context));
    context.result_sums = r.result_sums.get();
  }
  WriteFooterRows(context, first, last, last + 1);
}

std::vector<ExportFooterRow> GridExportFooters(GridObject& g) {
  std::vector<ExportFooterRow> rows;
  const SummarySettings& s = g.Summary();
  if (!HasFooterRows(s) || g.page->master_mode || g.result.opened_sql.empty() ||
      !g.page->connection) {
    return rows;
  }
  std::vector<bool> hidden;
  for (const GridColumn& c : g.result.columns) {
    hidden.push_back(IsHiddenColumn(*g.page, c) || !IsShownField(*g.page, c));
  }
  std::string unused;
  SummaryContext c;
  c.out = &unused;
  c.settings = &s;
  c.formats.number_list = g.page->number_list;
  c.formats.template_list = g.page->template_list;
  c.page = g.page;
  c.command = g.page->command;
  c.columns = &g.result.columns;
  c.hidden = &hidden;
  c.opened_sql = g.result.opened_sql;
  c.row_limit = CurrentModuleState().max_records;
  c.connection = g.page->connection.get();
  c.database_type = g.req.database_type;
  const ResultSums sums = SumResult(c);
  auto row = [&](bool average) {
    ExportFooterRow out;
    out.label = average ? "Average" : "Total";
    out.values.resize(g.result.columns.size());
    const std::vector<bool> valued = FooterValueColumns(c, average);
    for (size_t i = 0; i < sums.sums.size(); ++i) {
      if (!sums.sums[i] || !valued[i]) continue;
      double value = *sums.sums[i];
      if (average) value = RoundAggregate(sums.rows > 0 ? value / sums.rows : 0);
      out.values[i] = ExportFooterValue{value, FormatAggregateValue(c, g.result.columns[i], value)};
    }
    rows.push_back(std::move(out));
  };
  if (s.column_averages || !s.average_fields.empty()) row(true);
  if (s.column_totals || !s.total_fields.empty()) row(false);
  return rows;
}

}  // namespace fennick
