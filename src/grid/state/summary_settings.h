// What a report adds around its rows: the summary box, the footer rows and
// the row cells, and the lists of a summary report. The report designer
// sets them from a report definition (through fennick/grid_report.h); no
// page property reaches them.
#ifndef FENNICK_GRID_STATE_SUMMARY_SETTINGS_H_
#define FENNICK_GRID_STATE_SUMMARY_SETTINGS_H_

#include <string>

namespace fennick {

struct SummarySettings {
  // Entries field + "__" + TYPE + "__" + caption, separated by ","; the box
  // is written only when the text is at least 3 characters long.
  std::string specification;
  bool column_totals = false;    // the "Total" footer row
  bool column_averages = false;  // the "Average" footer row
  bool row_totals = false;       // a total cell at the end of every row
  bool row_averages = false;     // an average cell at the end of every row
  // The fields that get a column total / a column average (comma-
  // separated). A list that is set switches its footer row on.
  std::string total_fields;
  std::string average_fields;
  // The aggregate lists of a summary report (comma-separated fields).
  std::string sum_fields, avg_fields, min_fields, max_fields, stdev_fields, var_fields;

  bool HasAggregateLists() const {
    return !sum_fields.empty() || !avg_fields.empty() || !min_fields.empty() ||
           !max_fields.empty() || !stdev_fields.empty() || !var_fields.empty();
  }
};

}  // namespace fennick

#endif  // FENNICK_GRID_STATE_SUMMARY_SETTINGS_H_
