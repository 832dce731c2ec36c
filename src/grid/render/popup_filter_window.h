// The popup filter window: the page the popup filter button opens, drawn
// from what the button stored in the session.
#ifndef FENNICK_GRID_RENDER_POPUP_FILTER_WINDOW_H_
#define FENNICK_GRID_RENDER_POPUP_FILTER_WINDOW_H_

#include "grid/grid_object.h"

namespace fennick {

// On the popup window's own request (query "a" = "j"), writes the popup
// filter window from what the button stored in the session and ends the
// page; returns false on any other request.
bool WritePopupFilterWindow(GridObject& g);

}  // namespace fennick

#endif  // FENNICK_GRID_RENDER_POPUP_FILTER_WINDOW_H_
