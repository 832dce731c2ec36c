// The demo site's grid page (/grid): a DataGrid over a small SQLite
// database of orders that the page builds under the site's data folder the
// first time it runs.
#include <filesystem>
#include <mutex>
#include <string>
#include <system_error>

#include "demo_pages.h"
#include "fennick/data.h"
#include "fennick/data_grid.h"
#include "fennick/error.h"

namespace fennick {
namespace {

constexpr int kOrderCount = 60;

// The Orders table, deterministic: customers, regions and products cycle,
// amounts and dates follow from the order number.
std::string DemoScript() {
  static const char* kCustomers[] = {"Alfreds Futterkiste", "Berglunds snabbköp",
                                     "Bon app'",            "Ernst Handel",
                                     "Folk och fä HB",      "Island Trading",
                                     "Maison Dewey",        "Wartian Herkku",
                                     "QUICK-Stop"};
  static const char* kRegions[] = {"North", "South", "East", "West"};
  static const char* kProducts[] = {"Chai", "Chang", "Aniseed Syrup", "Tofu", "Ikura",
                                    "Konbu", "Pavlova"};
  std::string sql =
      "CREATE TABLE Orders (OrderID INTEGER PRIMARY KEY, Customer VARCHAR(40), "
      "Region VARCHAR(10), Product VARCHAR(30), Quantity INTEGER, Amount DOUBLE PRECISION, "
      "OrderDate DATE, Shipped BOOLEAN);\n";
  for (int i = 1; i <= kOrderCount; ++i) {
    const int quantity = 1 + (i * 7) % 40;
    const int cents = (i * 1237) % 100;
    const int month = 1 + (i * 5) % 12;
    const int day = 1 + (i * 11) % 28;
    char date[16];
    std::snprintf(date, sizeof date, "2024-%02d-%02d", month, day);
    std::string customer = kCustomers[(i * 5) % 9];
    for (size_t at = customer.find('\''); at != std::string::npos;
         at = customer.find('\'', at + 2)) {
      customer.insert(at, "'");
    }
    sql += "INSERT INTO Orders VALUES (" + std::to_string(10247 + i) + ", '" + customer + "', '" +
           kRegions[i % 4] + "', '" + kProducts[(i * 3) % 7] + "', " + std::to_string(quantity) +
           ", " + std::to_string(quantity * 12 + (i % 9) * 3) + "." + std::to_string(cents) +
           ", '" + date + "', " + (i % 3 == 0 ? "0" : "1") + ");\n";
  }
  return sql;
}

// Builds data/demo.db once; the file appears whole (written beside it and
// renamed), so a concurrent first request never sees it half made.
std::filesystem::path EnsureDemoDatabase(PageContext& page) {
  static std::mutex mutex;
  const std::filesystem::path path = page.server().MapPath("/data/demo.db");
  std::lock_guard<std::mutex> lock(mutex);
  std::error_code ec;
  if (std::filesystem::exists(path, ec)) return path;
  const std::filesystem::path building = path.string() + ".building";
  std::filesystem::remove(building, ec);  // Ignoring errors on purpose: a leftover may be absent
  {
    Connection connection;
    connection.Open("Provider=SQLite;Mode=ReadWriteCreate;Data Source=" + building.string());
    connection.Execute("BEGIN");
    std::string script = DemoScript();
    size_t done = 0;
    for (size_t end = script.find(";\n"); end != std::string::npos;
         end = script.find(";\n", done)) {
      connection.Execute(script.substr(done, end - done));
      done = end + 2;
    }
    connection.Execute("COMMIT");
    connection.Close();
  }
  std::filesystem::rename(building, path);
  return path;
}

constexpr char kStyles[] =
    "<style>"
    ".grid{border-collapse:separate;font-size:14px;background:#fff}"
    ".grid th{text-align:left}"
    ".gridHeader{background:#1f4e79;color:#fff}"
    ".gridHeader a{color:#fff;text-decoration:none}"
    ".gridItem{background:#fff}.gridAlt{background:#f1f5fa}"
    ".grid td.number,.grid td.money{text-align:right}"
    ".gridFooter{background:#e8eef5;font-size:13px}"
    ".pagingLink{color:#1f4e79;font-weight:600;text-decoration:none}"
    ".filters{color:#555}"
    "</style>";

// The grid; with `popup` its filters are made in a popup window instead of
// the inline bar.
void ShowOrders(PageContext& page, bool popup) {
  Response& out = page.response();
  out.Write(
      "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">"
      "<title>Fennick DataGrid</title>"
      "<link rel=\"stylesheet\" href=\"/css/site.css\">");
  out.Write(kStyles);
  out.Write(
      "</head><body><header class=\"site\"><div class=\"wrap\"><a class=\"logo\" href=\"/\">"
      "Fennick</a><span class=\"tag\">DataGrid</span></div></header><main class=\"wrap\">"
      "<h1>Orders</h1><p class=\"lead\">Click a header to sort (again for descending), page "
      "with the bar below, filter with the bar above the table (press F9 in the value box "
      "for a list of values), or print. ");
  out.Write(popup ? "<a href=\"/grid\">Filter inline instead</a>.</p>"
                  : "<a href=\"/grid-popup\">Filter in a popup window instead</a>.</p>");
  std::filesystem::path database;
  try {
    database = EnsureDemoDatabase(page);
  } catch (const Error& e) {
    out.Write("<p>The demo database could not be built: ");
    out.Write(Server::HTMLEncode(e.description()));
    out.Write("</p></main></body></html>");
    return;
  }
  DataGrid grid;
  grid.CreateConnection("Provider=SQLite;Data Source=" + database.string());
  grid.Command(
      "SELECT OrderID, Customer, Region, Product, Quantity, Amount, OrderDate, Shipped "
      "FROM Orders");
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
}

}  // namespace fennick
