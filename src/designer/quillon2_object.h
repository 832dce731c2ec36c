// The late-bound face of Quillon2 (Fennick.Quillon2).
#ifndef FENNICK_DESIGNER_QUILLON2_OBJECT_H_
#define FENNICK_DESIGNER_QUILLON2_OBJECT_H_

#include <memory>

#include "fennick/object.h"

namespace fennick {

// A new designer for Server.CreateObject, bound to the running page. Raises
// an error when no page is running.
std::shared_ptr<Object> CreateQuillon2Object();

}  // namespace fennick

#endif  // FENNICK_DESIGNER_QUILLON2_OBJECT_H_
