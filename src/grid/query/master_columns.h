// Which result columns belong to a grid's master table: the columns whose
// rows group into master rows in the master-details layout.
//
// A column belongs to the master table when its table qualifier equals the
// master table's name exactly (no case folding, no trimming), or when the
// command's FROM clause makes one of the two the alias of the other: with
// "FROM Orders o JOIN Customers c", MasterTable "Customers" takes the
// columns qualified "c" and MasterTable "c" those qualified "Customers"
// (the provider's base table, when the command's select list has AS). A
// table named under several aliases (a self-join) is only matched exactly.
#ifndef FENNICK_GRID_QUERY_MASTER_COLUMNS_H_
#define FENNICK_GRID_QUERY_MASTER_COLUMNS_H_

#include <string>
#include <string_view>
#include <vector>

#include "grid/query/column_expressions.h"

namespace fennick {

// A table the FROM clause of a command names, and the alias it gives it
// ("" when none; table "" for a subquery).
struct TableReference {
  std::string table;
  std::string alias;
};

// The tables of the command's top-level FROM clause in order, read from the
// text (brackets, backquotes and double quotes removed from names).
std::vector<TableReference> TableReferences(std::string_view command);

// The 0-based indexes of the columns belonging to `master_table` under the
// rule above, `command` being the grid's SQL ("" for none: exact matches
// only). Empty when none does or `master_table` is empty.
std::vector<size_t> MasterColumnIndexes(const std::vector<GridColumn>& columns,
                                        std::string_view master_table,
                                        std::string_view command = {});

// The same indexes joined by ",".
std::string MasterColumns(const std::vector<GridColumn>& columns, std::string_view master_table,
                          std::string_view command = {});

}  // namespace fennick

#endif  // FENNICK_GRID_QUERY_MASTER_COLUMNS_H_
