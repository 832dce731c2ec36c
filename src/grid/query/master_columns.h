// Which result columns belong to a grid's master table: the columns whose
// rows group into master rows in the master-details layout.
#ifndef FENNICK_GRID_QUERY_MASTER_COLUMNS_H_
#define FENNICK_GRID_QUERY_MASTER_COLUMNS_H_

#include <string>
#include <string_view>
#include <vector>

#include "grid/query/column_expressions.h"

namespace fennick {

// The 0-based indexes of the columns whose table qualifier equals
// `master_table` exactly (no case folding, no trimming), joined by ",";
// "" when none does or `master_table` is empty.
std::string MasterColumns(const std::vector<GridColumn>& columns, std::string_view master_table);

// The same columns as indexes.
std::vector<size_t> MasterColumnIndexes(const std::vector<GridColumn>& columns,
                                        std::string_view master_table);

}  // namespace fennick

#endif  // FENNICK_GRID_QUERY_MASTER_COLUMNS_H_
