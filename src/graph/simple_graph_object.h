// The late-bound face of SimpleGraph (Fennick.SimpleGraph).
#ifndef FENNICK_GRAPH_SIMPLE_GRAPH_OBJECT_H_
#define FENNICK_GRAPH_SIMPLE_GRAPH_OBJECT_H_

#include <memory>

#include "fennick/object.h"

namespace fennick {

// A new graph for Server.CreateObject. Needs no running page: the graph
// reaches the page only when it draws.
std::shared_ptr<Object> CreateSimpleGraphObject();

}  // namespace fennick

#endif  // FENNICK_GRAPH_SIMPLE_GRAPH_OBJECT_H_
