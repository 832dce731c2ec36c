// Values the component shares between all of its objects on one page: the
// images folder that the report designer sets and the export folder. They
// live in the page's component state, so every object of the page sees the
// same values and nothing carries over to the next request.
#ifndef FENNICK_FRAME_MODULE_STATE_H_
#define FENNICK_FRAME_MODULE_STATE_H_

#include <cstdint>
#include <string>

namespace fennick {

struct ModuleState {
  // Folder (URL) that image cells and links are drawn from; empty for a
  // plain grid.
  std::string images_url;
  // Virtual folder of export files; empty means "tmp".
  std::string temp_folder_url;

  // How names are written into SQL, as the report designer sets it:
  // delimiters that replace the database's own unless either is "$" (the
  // "not set" value), and the owner put in front of owner-qualified names.
  std::string sql_name_prefix = "$";
  std::string sql_name_suffix = "$";
  std::string db_owner;
  // A database type forced by the report designer; -1 when not set.
  int database_type = -1;
  // Row limit of grid queries; 0 for none.
  int32_t max_records = 0;
  // The largest page size a browser may ask a grid for (its page-size box
  // or a forged post); a larger ask, or one for every row, gets this many.
  // 0 or less: no cap. Set by DataGrid.MaxPageSize and Quillon2.MaxPageSize.
  int32_t max_page_size = 1000;
  // The most rows a grid's print view shows; 0 or less: no cap. Set by
  // DataGrid.MaxPrintRows and Quillon2.MaxPrintRows.
  int32_t max_print_rows = 10000;
  // Whether grids show the SQL they run.
  bool display_prepared_sql = false;
  // The report designer's field schema (",name~cCaption~fFormat~tType~").
  std::string field_schema;
};

// The running page's module state. Raises an error when no page runs.
ModuleState& CurrentModuleState();

}  // namespace fennick

#endif  // FENNICK_FRAME_MODULE_STATE_H_
