// DataGrid's totals as a page sets them: the summary box, the row cells and
// the footer rows, and what an empty result keeps. The values go into the
// grid's own summary settings, which then stand in for the page-wide ones
// the report designer sets; their column names are checked once the result
// is known (CheckPageTotals, grid/render/grid_summary.h).
#include <string>

#include "base/ascii.h"
#include "fennick/data_grid.h"
#include "fennick/error.h"
#include "grid/grid_object.h"
#include "platform/data/aggregate_functions.h"

namespace fennick {
namespace {

constexpr char kSource[] = "DataGrid";

SummarySettings& OwnSummary(GridObject& g) {
  g.settings.own_summary = true;
  return g.settings.summary;
}

// The summary specification keeps its entries apart with "," and its
// parts with "__": a caption keeps both by writing them as character
// references (it is HTML, so the page shows them unchanged).
std::string SpecificationCaption(std::string_view caption) {
  std::string out;
  for (char c : caption) {
    if (c == ',') {
      out.append("&#44;");
    } else if (c == '_') {
      out.append("&#95;");
    } else {
      out.push_back(c);
    }
  }
  return out;
}

// A footer list as the page gave it, "*" for every number column.
void SetFooterList(GridObject& g, std::string_view columns, bool totals) {
  SummarySettings& s = OwnSummary(g);
  const std::string_view list = TrimBlanks(columns);
  bool& every = totals ? s.column_totals : s.column_averages;
  std::string& fields = totals ? s.total_fields : s.average_fields;
  every = list == "*";
  fields = every ? std::string() : std::string(list);
}

}  // namespace

void DataGrid::AddSummary(std::string_view function, std::string_view column,
                          std::string_view caption) {
  const std::optional<data::Aggregate> aggregate = data::ParseAggregate(function);
  if (!aggregate) {
    throw Error(kErrInvalidCall,
                "AddSummary: unknown function '" + std::string(function) +
                    "' (use SUM, AVG, MIN, MAX, COUNT, STDEV or VAR)",
                kSource);
  }
  const std::string_view field = TrimBlanks(column);
  if (field.empty() || field.find(',') != std::string_view::npos ||
      field.find("__") != std::string_view::npos) {
    throw Error(kErrInvalidCall, "AddSummary: no column '" + std::string(column) + "'", kSource);
  }
  SummarySettings& s = OwnSummary(*g_);
  if (!s.specification.empty()) s.specification.push_back(',');
  s.specification.append(field);
  s.specification.append("__");
  s.specification.append(data::AggregateName(*aggregate));
  s.specification.append("__");
  s.specification.append(SpecificationCaption(caption));
}

void DataGrid::RowTotals(bool on) { OwnSummary(*g_).row_totals = on; }
void DataGrid::RowAverages(bool on) { OwnSummary(*g_).row_averages = on; }
void DataGrid::FooterTotals(std::string_view columns) { SetFooterList(*g_, columns, true); }
void DataGrid::FooterAverages(std::string_view columns) { SetFooterList(*g_, columns, false); }

void DataGrid::FooterScope(std::string_view scope) {
  const std::string_view name = TrimBlanks(scope);
  if (EqualsIgnoreCase(name, "Page")) {
    g_->settings.footers_over_result = false;
  } else if (EqualsIgnoreCase(name, "Result")) {
    g_->settings.footers_over_result = true;
  } else {
    throw Error(kErrInvalidCall,
                "FooterScope: '" + std::string(scope) + "' is neither Page nor Result", kSource);
  }
}

void DataGrid::KeepBarsWhenEmpty(bool on) { g_->settings.keep_bars_when_empty = on; }

}  // namespace fennick
