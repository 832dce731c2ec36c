// The grid's sort order: header clicks turned into an ORDER BY list of
// 1-based column numbers, each optionally followed by " desc" ("3,1 desc").
#ifndef FENNICK_GRID_QUERY_ORDER_LIST_H_
#define FENNICK_GRID_QUERY_ORDER_LIST_H_

#include <string>
#include <string_view>

namespace fennick {

// The new order list from the requested sort (the clicked column, or the
// carried list on a plain post), the list when the link was drawn, and
// whether the click asked to remove the column. An empty request keeps
// nothing. A first click sorts ascending, a second descending, a click on
// another column adds it after the others.
std::string ComputeOrderList(std::string_view requested, std::string_view last, bool remove);

// The list without `item` (and item + " desc"), compared without case.
std::string RemoveFromOrderList(std::string_view list, std::string_view item);

// Keeps only the items of a posted list that are column numbers with an
// optional " desc": the list comes back from the browser and ends up in SQL.
std::string SanitizeOrderList(std::string_view list);

}  // namespace fennick

#endif  // FENNICK_GRID_QUERY_ORDER_LIST_H_
