// The demo site's report page (/grid-summary): a DataGrid over the orders
// with the summary box, the Average and Total footer rows, and the average
// and total of every row, switched on the way the report designer does.
#include <filesystem>
#include <string>
#include <system_error>

#include "demo_pages.h"
#include "fennick/data.h"
#include "fennick/data_grid.h"
#include "fennick/grid_report.h"

namespace fennick {
namespace {

void ShowOrderReport(PageContext& page) {
  Response& out = page.response();
  out.Write(
      "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">"
      "<title>Fennick report with summaries</title>"
      "<link rel=\"stylesheet\" href=\"/css/site.css\">"
      "<link rel=\"stylesheet\" href=\"/css/grid.css\">"
      "</head><body><header class=\"site\"><div class=\"wrap\"><a class=\"logo\" href=\"/\">"
      "Fennick</a><span class=\"tag\">DataGrid</span></div></header><main class=\"wrap\">"
      "<h1>Order charges</h1><p class=\"lead\">Each row ends with the average and the total "
      "of its freight and amount; the footer rows add up the orders on the page, and the "
      "summary under the grid covers every order the filter lets through.</p>");
  const std::filesystem::path database = page.server().MapPath("/data/demo.db");
  std::error_code ec;
  if (!std::filesystem::exists(database, ec)) {
    out.Write(
        "<p>The demo database has not been built; start the server with --demo.</p>"
        "</main></body></html>");
    return;
  }
  DataGrid grid;
  // The command first: an export button's request runs in CreateConnection.
  grid.Command("SELECT OrderID, Customer, Region, OrderDate, Freight, Amount FROM OrderOverview");
  grid.CreateConnection("Provider=SQLite;Data Source=" + database.string());
  grid.Title("Order charges");
  grid.GridClassName("grid");
  grid.HeaderClassName("gridHeader");
  grid.ItemClassName("gridItem");
  grid.AltItemClassName("gridAlt");
  grid.FooterClassName("gridFooter");
  grid.PagingLinkClass("pagingLink");
  grid.TextBoxStyle("font-size:12px;padding:1px 3px;margin:0 4px;");
  grid.ColumnCaption("OrderID", "Order");
  grid.ColumnCaption("OrderDate", "Date");
  grid.CurrencyColumn("Freight", 2);
  grid.CurrencyColumn("Amount", 2);
  grid.DefaultFilterFieldIndex(3);
  grid.DefaultFilterConditionIndex(1);
  SetSummarySpecification(
      grid,
      "Amount__SUM__Total amount,Amount__AVG__Average order,Amount__MAX__Largest order,"
      "Amount__STDEV__Standard deviation,OrderID__COUNT__Orders,OrderDate__MIN__First order,"
      "OrderDate__MAX__Last order,Freight__SUM__Total freight");
  SetColumnTotals(grid, true);
  SetColumnAverages(grid, true);
  SetRowTotals(grid, true);
  SetRowAverages(grid, true);
  grid.Display();
  out.Write("</main></body></html>\n");
}

}  // namespace

void RegisterSummaryDemoPage(WebServer& server) {
  server.RegisterPage("/grid-summary", ShowOrderReport);
}

}  // namespace fennick
