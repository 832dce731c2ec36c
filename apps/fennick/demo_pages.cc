// Pages of the demo site that are written in C++. The home page is a script
// page of the site (site/index.asp); these are registered next to it.
#include "demo_pages.h"

namespace fennick {

void RegisterDemoPages(WebServer& server) {
  server.RegisterPage("/graphs", GraphDemoPage);
  RegisterGridDemoPage(server);
  RegisterSummaryDemoPage(server);
}

}  // namespace fennick
