// The values every grid of a page shares, and the report designer with
// them.
//
// They live in the page's component state, so two grids on one page see the
// same page size, command and connection, and nothing carries over to
// another request. A new grid resets only some of them (ReadRequestState).
#ifndef FENNICK_GRID_STATE_PAGE_STATE_H_
#define FENNICK_GRID_STATE_PAGE_STATE_H_

#include <cstdint>
#include <memory>
#include <string>

#include "grid/state/summary_settings.h"

namespace fennick {

class Connection;

// Values shared by every grid of the page and by the report designer.
struct GridPageState {
  std::string command;
  std::shared_ptr<Connection> connection;
  // The connection string of `connection`, filled by whoever sets the
  // connection; binary-cell links carry it (sealed) to the download request.
  std::string connection_string;
  std::string master_table;
  int32_t command_timeout = 0;
  // Positions are 64-bit inside; the property setters keep their 16-bit
  // types.
  int64_t page_size = 10;
  // Whether page_size is what the browser posted (not set by the page
  // since): such a page size is held to the page's cap before it is used.
  bool page_size_from_request = false;
  int64_t start_rec = 1;
  bool page_results = true;
  bool add_row_numbers = true;
  bool can_filter = true;
  bool is_columnar = false;
  bool use_popup_filters = false;
  bool add_top_navigation_bar = false;
  bool show_inactive_buttons = false;
  int16_t default_filter_field_index = 0;
  int16_t default_filter_condition_index = 0;
  std::string print_header;
  std::string print_footer;

  // Class, style and align values, stored ready for output as attributes
  // (' class="grid"').
  std::string grid_class, header_class, item_class, alt_item_class, link_class, footer_class,
      paging_link_class, header_link_class;
  std::string grid_style, header_style, item_style, alt_item_style, link_style, footer_style,
      header_text_style, paging_link_style, header_link_style;
  std::string grid_align;
  std::string text_box_style;
  std::string filter_field_style;

  // Table layout.
  std::string grid_width = "100%";
  int border = 0;
  int cell_padding = 2;
  int cell_spacing = 1;
  bool header_sort_links = true;

  // Master-details: the master columns carried between requests.
  std::string master_columns;

  // Export settings shared by grids and the designer.
  bool use_fast_export = false;
  bool create_export_file = false;
  std::string xsl_export_template;
  bool is_euro_decimal_format = false;
  std::string encoding;
  // Column format lists that exports carry ("name|=|format|||").
  std::string date_format_list;
  std::string number_format_list;

  // A query string the report designer carries through the grid's form.
  std::string carried_query;

  // Master-details mode: switched on by setting MasterTable.
  bool master_mode = false;

  // Column format lists: entries "KEY|=|value|||" appended by the column
  // format methods and normalised when a grid displays.
  std::string caption_list;
  std::string template_list;
  std::string ole_list;
  std::string date_list;
  std::string number_list;
  std::string boolean_list;
  std::string regex_list;
  std::string hidden_list;
  std::string cell_style_list;
  std::string column_style_list;
  // The fields a report shows, comma-separated (set by the report
  // designer; empty: every column not hidden).
  std::string shown_fields;
  // The summary box, footers and row cells of a report (set by the report
  // designer).
  SummarySettings summary;
  // Whether plain cell values are written without HTML encoding.
  bool allow_html_in_data = false;
  // The picture format for dates of columns without a format (set by the
  // report designer).
  std::string default_date_format;
};

}  // namespace fennick

#endif  // FENNICK_GRID_STATE_PAGE_STATE_H_
