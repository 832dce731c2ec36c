// The grid's filter bar: the inline bar with its field, condition and value
// boxes and the distinct-value drop-down, and the popup filter button with
// its script.
#ifndef FENNICK_GRID_RENDER_FILTER_BAR_H_
#define FENNICK_GRID_RENDER_FILTER_BAR_H_

#include <string>

#include "grid/grid_object.h"

namespace fennick {

// The inline filter bar. Its distinct-value drop-down queries only a
// column expression the bar offers, over the grid's own command and the
// filter the query builder checked.
void WriteFilterBar(GridObject& g, std::string& out);
// The script that opens the popup filter window.
void WritePopupFilterScript(GridObject& g, std::string& out);
// The popup filter button; stores what the popup window shows in the
// session.
void WritePopupFilterButton(GridObject& g, std::string& out);

}  // namespace fennick

#endif  // FENNICK_GRID_RENDER_FILTER_BAR_H_
