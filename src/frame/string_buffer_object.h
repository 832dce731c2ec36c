// The late-bound face of StringBuffer (Fennick.StringBuffer).
#ifndef FENNICK_FRAME_STRING_BUFFER_OBJECT_H_
#define FENNICK_FRAME_STRING_BUFFER_OBJECT_H_

#include <memory>

#include "fennick/object.h"

namespace fennick {

std::shared_ptr<Object> CreateStringBufferObject();

}  // namespace fennick

#endif  // FENNICK_FRAME_STRING_BUFFER_OBJECT_H_
