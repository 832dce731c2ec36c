// The late-bound face of DataGrid (Fennick.DataGrid).
#ifndef FENNICK_GRID_DATA_GRID_OBJECT_H_
#define FENNICK_GRID_DATA_GRID_OBJECT_H_

#include <memory>

#include "fennick/object.h"

namespace fennick {

// Creates a grid for the running page; raises an error when no page runs.
std::shared_ptr<Object> CreateDataGridObject();

}  // namespace fennick

#endif  // FENNICK_GRID_DATA_GRID_OBJECT_H_
