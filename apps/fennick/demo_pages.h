// Pages of the demo site that are written in C++.
#ifndef FENNICK_APPS_DEMO_PAGES_H_
#define FENNICK_APPS_DEMO_PAGES_H_

#include "fennick/server.h"

namespace fennick {

void RegisterDemoPages(WebServer& server);

// /graphs: SimpleGraph examples.
void GraphDemoPage(PageContext& page);

}  // namespace fennick

#endif  // FENNICK_APPS_DEMO_PAGES_H_
