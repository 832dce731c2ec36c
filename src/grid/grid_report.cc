// The report settings the designer sets on a DataGrid: they go into the
// page's shared grid state, where the summary writer reads them.
#include "fennick/grid_report.h"

#include <string>

#include "grid/grid_object.h"

namespace fennick {
namespace {

SummarySettings& SummaryOf(DataGrid& grid) { return GridInternals(grid).page->summary; }

}  // namespace

void SetSummarySpecification(DataGrid& grid, std::string_view specification) {
  SummaryOf(grid).specification = std::string(specification);
}
void SetColumnTotals(DataGrid& grid, bool on) { SummaryOf(grid).column_totals = on; }
void SetColumnAverages(DataGrid& grid, bool on) { SummaryOf(grid).column_averages = on; }
void SetRowTotals(DataGrid& grid, bool on) { SummaryOf(grid).row_totals = on; }
void SetRowAverages(DataGrid& grid, bool on) { SummaryOf(grid).row_averages = on; }
void SetTotalFields(DataGrid& grid, std::string_view fields) {
  SummaryOf(grid).total_fields = std::string(fields);
}
void SetAverageFields(DataGrid& grid, std::string_view fields) {
  SummaryOf(grid).average_fields = std::string(fields);
}

void SetAggregateFields(DataGrid& grid, AggregateList list, std::string_view fields) {
  SummarySettings& s = SummaryOf(grid);
  std::string* target = nullptr;
  switch (list) {
    case AggregateList::kSum:
      target = &s.sum_fields;
      break;
    case AggregateList::kAvg:
      target = &s.avg_fields;
      break;
    case AggregateList::kMin:
      target = &s.min_fields;
      break;
    case AggregateList::kMax:
      target = &s.max_fields;
      break;
    case AggregateList::kStdev:
      target = &s.stdev_fields;
      break;
    case AggregateList::kVar:
      target = &s.var_fields;
      break;
  }
  if (target) *target = std::string(fields);
}

void SetShownFields(DataGrid& grid, std::string_view fields) {
  GridInternals(grid).page->shown_fields = std::string(fields);
}

}  // namespace fennick
