// What one grid reads from its page's request: the postback argument, the
// posted state fields and the filter bar, with the resets a new grid applies
// to the page's shared grid values.
#ifndef FENNICK_GRID_STATE_REQUEST_STATE_H_
#define FENNICK_GRID_STATE_REQUEST_STATE_H_

#include <cstdint>
#include <memory>
#include <string>

namespace fennick {

struct ArmedExport;

// An export asked for by an export button (postback code 4).
struct ExportRequest {
  bool pending = false;
  // Set once CreateConnection gave the grid its connection: the export
  // runs at Display, or when the page ends (grid/export_dispatch.h).
  std::shared_ptr<ArmedExport> armed;
  std::string format;    // lower case: "excel", "doc", "csv", "xml", "text"
  std::string captions;  // comma-separated header captions
};

// What one grid object read from the request and keeps for itself.
struct GridRequestState {
  std::string requested_sort;
  std::string last_sort;
  bool remove_sort = false;
  std::string order_list;
  std::string filter_expression;
  int64_t current_detail = 0;
  bool show_all_details = false;
  bool page_graph = true;
  int database_type = 0;
  std::string return_report;
  bool print_view = false;
  ExportRequest export_request;
  // Whether the posted "clearfilters" box was ticked, and the posted filter
  // bar fields, for redrawing the bar as the user left it.
  bool clear_filters_checked = false;
  std::string posted_search_field;
  std::string posted_use_dropdown;
  // A filter-bar clause added while reading the request, kept apart so it
  // can be withdrawn when its field is not one the grid offers.
  std::string filter_before_clause;
  std::string clause_field;
  bool has_new_clause = false;
  // The clause as built (it ends filter_expression), and the value and
  // condition the user typed, for reading the value again in the column's
  // display form once its type and format are known (typed_filter_value.h).
  std::string clause;
  std::string clause_text;
  std::string clause_condition;
  // The sealed row count the form carried ("rowcount"), and whether the
  // post asks for the page already shown (the Reload link): it counts again.
  std::string posted_row_count;
  bool reload = false;
};

class Request;
struct GridObject;
struct GridPageState;

// Reads the request into a new grid (first request or post, filter bar,
// postback argument) and applies the creation resets.
void ReadRequestState(GridObject& g);

// The same from the fields of `r` (a request with form fields reads as a
// post), the creation resets applied only when `creation`. The state an
// address carries (url_state.h) is read through it as a post without
// resets, so it passes exactly the checks a posted form does: a sealed
// field that does not open ends the request with HTTP 400.
void ReadRequestFields(GridObject& g, const Request& r, bool creation);

// Holds a page size the browser posted to the page's MaxPageSize: a larger
// one, or 0 (every row), becomes the cap. A page size the page set itself
// is left as it is. Called before the page size is used, since the page
// sets the cap after the grid read its request.
void BoundRequestedPageSize(GridPageState& page);

}  // namespace fennick

#endif  // FENNICK_GRID_STATE_REQUEST_STATE_H_
