// The demo site's grid page (/grid): a DataGrid over the orders of the
// demo database.
#include <filesystem>
#include <string>
#include <system_error>

#include "demo_pages.h"
#include "fennick/data.h"
#include "fennick/data_grid.h"
#include "fennick/error.h"

namespace fennick {
namespace {

// The demo database, built from data/demo.sql when the server starts.
std::filesystem::path DemoDatabase(PageContext& page) {
  return page.server().MapPath("/data/demo.db");
}

// The grid; with `popup` its filters are made in a popup window instead of
// the inline bar; with `url_state` the address keeps its state (for
// bookmarks and shared links).
void ShowOrders(PageContext& page, bool popup, bool url_state = false) {
  Response& out = page.response();
  out.Write(
      "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">"
      "<title>Fennick DataGrid</title>"
      "<link rel=\"stylesheet\" href=\"/css/site.css\">"
      "<link rel=\"stylesheet\" href=\"/css/grid.css\">");
  out.Write(
      "</head><body><header class=\"site\"><div class=\"wrap\"><a class=\"logo\" href=\"/\">"
      "Fennick</a><span class=\"tag\">DataGrid</span></div></header><main class=\"wrap\">"
      "<h1>Orders</h1><p class=\"lead\">Click a header to sort (again for descending), page "
      "with the bar below, filter with the bar above the table (press F9 in the value box "
      "for a list of values), or print. ");
  out.Write(popup ? "<a href=\"/grid\">Filter inline instead</a>.</p>"
                  : "<a href=\"/grid-popup\">Filter in a popup window instead</a>.</p>");
  const std::filesystem::path database = DemoDatabase(page);
  std::error_code ec;
  if (!std::filesystem::exists(database, ec)) {
    out.Write("<p>The demo database has not been built; start the server with --demo.</p>"
              "</main></body></html>");
    return;
  }
  DataGrid grid;
  if (url_state) grid.UrlState(true);
  // The command first: an export button's request runs in CreateConnection.
  grid.Command(
      "SELECT OrderID, Customer, Region, Employee, OrderDate, Lines, Amount, Shipped "
      "FROM OrderOverview");
  grid.CreateConnection("Provider=SQLite;Data Source=" + database.string());
  grid.Title("Orders");
  grid.GridClassName("grid");
  grid.HeaderClassName("gridHeader");
  grid.ItemClassName("gridItem");
  grid.AltItemClassName("gridAlt");
  grid.FooterClassName("gridFooter");
  grid.PagingLinkClass("pagingLink");
  grid.TextBoxStyle("font-size:12px;padding:1px 3px;margin:0 4px;");
  grid.ColumnCaption("OrderID", "Order");
  grid.ColumnCaption("OrderDate", "Date");
  grid.CurrencyColumn("Amount", 2);
  grid.BoolColumn("Shipped", "Yes", "No");
  grid.DefaultFilterFieldIndex(2);
  grid.DefaultFilterConditionIndex(1);
  if (popup) grid.UsePopupFilters(true);
  grid.PrintHeader("<h2>@ReportTitle</h2><p>Page @CurrentPage of @NumOfPages</p>");
  grid.PrintFooter("<p class=\"filters\">@NumOfRecs orders</p>");
  grid.Display();
  out.Write("</main></body></html>\n");
}

}  // namespace

void RegisterGridDemoPage(WebServer& server) {
  server.RegisterPage("/grid", [](PageContext& page) { ShowOrders(page, false); });
  server.RegisterPage("/grid-popup", [](PageContext& page) { ShowOrders(page, true); });
  server.RegisterPage("/grid-links", [](PageContext& page) { ShowOrders(page, false, true); });
}

}  // namespace fennick
