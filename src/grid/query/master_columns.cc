// Which result columns belong to a grid's master table. The list is always
// worked out from the grid's own columns: the copy a page posts back is
// never read, so a browser cannot make other columns into master columns
// (and so into the leading sort of the query).
#include "grid/query/master_columns.h"

namespace fennick {

std::vector<size_t> MasterColumnIndexes(const std::vector<GridColumn>& columns,
                                        std::string_view master_table) {
  std::vector<size_t> indexes;
  // An empty master table would match every unqualified column.
  if (master_table.empty()) return indexes;
  for (size_t i = 0; i < columns.size(); ++i) {
    if (columns[i].table == master_table) indexes.push_back(i);
  }
  return indexes;
}

std::string MasterColumns(const std::vector<GridColumn>& columns, std::string_view master_table) {
  std::string list;
  for (size_t index : MasterColumnIndexes(columns, master_table)) {
    if (!list.empty()) list.push_back(',');
    list.append(std::to_string(index));
  }
  return list;
}

}  // namespace fennick
