// The download of a binary cell: the request that a binary cell's link
// makes, answered with the field's bytes.
#ifndef FENNICK_GRID_FIELD_DOWNLOAD_H_
#define FENNICK_GRID_FIELD_DOWNLOAD_H_

#include "grid/grid_object.h"

namespace fennick {

// On a binary cell's link (query "a" = "i"), sends the bytes of the linked
// field as the whole response and ends the page: HTTP 400 (nothing run) for
// a token that does not open as a download link of this server or whose
// connection string would create a database file, 403 (nothing run) for
// one made for another session or expired, 404 for a row or column
// outside the result or a field that holds no bytes, 500 with a fixed text
// when the database fails (its message would repeat what the token held).
// Returns false on any other request.
bool ServeFieldDownload(GridObject& g);

}  // namespace fennick

#endif  // FENNICK_GRID_FIELD_DOWNLOAD_H_
