// The report state as the builder's pages carry it: one hidden field per
// definition key, read back from the post (names ignoring case), and the
// order in which the pages follow each other.
//
// Plain value code: thread-compatible, no page.
#ifndef FENNICK_DESIGNER_BUILDER_BUILDER_STATE_H_
#define FENNICK_DESIGNER_BUILDER_BUILDER_STATE_H_

#include <cstdint>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "designer/report_definition.h"
#include "fennick/page.h"

namespace fennick::designer {

// Pages of the builder. The graph pages have no index of their own in
// older builders; here they are numbered after the others.
inline constexpr int kPageFinish = 0;
inline constexpr int kPageFields = 1;
inline constexpr int kPageCaptions = 2;
inline constexpr int kPageFilters = 3;
inline constexpr int kPageDetails = 4;
inline constexpr int kPageSummaries = 5;
inline constexpr int kPageOrder = 6;
inline constexpr int kPageAggregates = 13;
inline constexpr int kPageGraphFields = 51;
inline constexpr int kPageChart = 52;
inline constexpr int kPageProcParams = -9;
inline constexpr int kPageProcFields = -8;
inline constexpr int kPageProcCaptions = -7;
inline constexpr int kPageProcDetails = -6;

// Reads every definition key posted in `form` into `report` (which starts
// as a fresh definition): text keys as posted, number keys when they are
// 16-bit numbers. A missing or non-numeric pagesize becomes
// `default_page_size`.
void ReadPostedState(const FieldList& form, int16_t default_page_size, ReportDefinition& report);

// The hidden fields of every definition key except those in `own` (the
// keys the page edits itself), each value HTML-encoded.
std::string StateHiddenFields(const ReportDefinition& report, const std::set<std::string>& own);

// The pages of this report in order: procedure reports -9 (when it has
// parameters), -8, -7, -6; table reports 1 to 5, 13 for summary reports,
// the graph pages with a graph, then 6.
std::vector<int> PageSequence(const ReportDefinition& report, bool has_parameters);

// The fields of the report, in order (split at ",", trimmed).
std::vector<std::string> ReportFields(const ReportDefinition& report);

// The aggregate columns of a summary report as the query builder names
// them: COUNT_1 with a record count, then SUM_n, AVG_n, MIN_n, MAX_n,
// STDEV_n and VAR_n, n counting the fields of each list from 1. `label` of
// each is what pages show ("Count", "SUM(Amount)").
struct AggregateColumn {
  std::string alias;
  std::string label;
  std::string field;  // "" for COUNT_1
};
std::vector<AggregateColumn> AggregateColumns(const ReportDefinition& report);

// The caption of aggregate `alias` in agcaps ("&SUM_1=Total&..."), or "".
std::string AggregateCaption(std::string_view agcaps, std::string_view alias);

}  // namespace fennick::designer

#endif  // FENNICK_DESIGNER_BUILDER_BUILDER_STATE_H_
