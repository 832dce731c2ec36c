// The demo site's home page: what Fennick is, and the component version.
#include "demo_pages.h"

#include <string>

#include "fennick/registry.h"
#include "frame/host.h"

namespace fennick {
namespace {

void HomePage(PageContext& page) {
  Response& out = page.response();
  out.Write(
      "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">"
      "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">"
      "<title>Fennick reporting component</title>"
      "<link rel=\"stylesheet\" href=\"/css/site.css\"></head><body>"
      "<header class=\"site\"><div class=\"wrap\"><span class=\"logo\">Fennick</span>"
      "<span class=\"tag\">SQL in, interactive reports out</span></div></header>"
      "<main class=\"wrap\">"
      "<h1>Reports for your web pages, straight from SQL</h1>"
      "<p class=\"lead\">Fennick is a reporting component for web sites. A page creates a "
      "<code>DataGrid</code>, hands it a connection and an SQL query, and gets a paged, "
      "sortable, filterable grid with column formats, summaries, master-details, bar "
      "graphs, a print view and exports to Excel, Word, CSV, XML and text. A page "
      "creates a <code>Quillon2</code> and gets an end-user report designer with a "
      "catalogue of stored reports.</p>"
      "<div class=\"cards\">"
      "<section class=\"card\"><h2>DataGrid</h2><p>One query or stored procedure as a "
      "grid: paging, sorting by header clicks, inline and popup filters, formats per "
      "column. <a href=\"/grid\">See a grid</a>.</p></section>"
      "<section class=\"card\"><h2>Quillon2</h2><p>End users pick tables, fields, "
      "captions, filters and summaries; reports are kept in a catalogue of groups.</p>"
      "</section>"
      "<section class=\"card\"><h2>SimpleGraph</h2><p>Plain, stacked and relative bar "
      "graphs in pure HTML, from rows of values. <a href=\"/graphs\">See the examples</a>."
      "</p></section>"
      "<section class=\"card\"><h2>StringBuffer</h2><p>The growable string builder the "
      "component assembles its long outputs in.</p></section>"
      "</div>"
      "<h2>This server</h2><table class=\"facts\">");
  auto row = [&out](std::string_view name, std::string_view value) {
    out.Write("<tr><th>");
    out.Write(name);
    out.Write("</th><td>");
    out.Write(Server::HTMLEncode(value));
    out.Write("</td></tr>");
  };
  row("Component version", kVersion);
  row("Type library", std::string(kTypeLibraryName) + " " + std::string(kTypeLibraryVersion) +
                          " " + std::string(kTypeLibraryId));
  row("Page", page.Url());
  row("Served to", page.request().ServerVariables("REMOTE_ADDR"));
  out.Write("</table><h2>Classes</h2><table class=\"facts\"><tr><th>ProgID</th>"
            "<th>CLSID</th></tr>");
  for (const ClassInfo& info : PublicClasses()) row(info.prog_id, info.clsid);
  out.Write("</table></main><footer class=\"wrap\">Fennick ");
  out.Write(kVersion);
  out.Write("</footer></body></html>\n");
}

}  // namespace

void RegisterDemoPages(WebServer& server) {
  server.RegisterPage("/", HomePage);
  server.RegisterPage("/graphs", GraphDemoPage);
  RegisterGridDemoPage(server);
}

}  // namespace fennick
