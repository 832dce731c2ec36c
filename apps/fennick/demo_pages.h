// Pages of the demo site that are written in C++.
#ifndef FENNICK_APPS_DEMO_PAGES_H_
#define FENNICK_APPS_DEMO_PAGES_H_

#include "fennick/server.h"

namespace fennick {

void RegisterDemoPages(WebServer& server);

// /graphs: SimpleGraph examples.
void GraphDemoPage(PageContext& page);

// /grid: a DataGrid over the demo orders database.
void RegisterGridDemoPage(WebServer& server);

// /grid-summary: a DataGrid with the summary box, footer rows and row
// cells.
void RegisterSummaryDemoPage(WebServer& server);

}  // namespace fennick

#endif  // FENNICK_APPS_DEMO_PAGES_H_
