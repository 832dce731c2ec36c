// The grid's navigation bar: the record counter, the paging links, reset,
// the page-size box and reload.
#ifndef FENNICK_GRID_RENDER_NAVIGATION_BAR_H_
#define FENNICK_GRID_RENDER_NAVIGATION_BAR_H_

#include <cstdint>
#include <string>
#include <string_view>

#include "grid/grid_object.h"

namespace fennick {

// The paging bar: counter, first/previous/numbered/next/last links, reset,
// page-size box and reload. `first` and `last` are 0-based row indexes.
void WriteNavigationBar(GridObject& g, int64_t first, int64_t page_size, int64_t last,
                        bool paging, bool bottom, std::string& out);
// One paging link to the page starting at row `target_first` (0-based).
void WritePageLink(GridObject& g, std::string_view text, int64_t target_first, bool active,
                   std::string_view title, std::string& out);

}  // namespace fennick

#endif  // FENNICK_GRID_RENDER_NAVIGATION_BAR_H_
