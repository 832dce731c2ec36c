// Builds the site of the delivery benchmark (bench/delivery.sh): a SQLite
// table of 10,000 orders, a stored report over it, and N schedules of that
// report all due now, in the given format. The timing itself is of
// `fennick deliver` over that site, taken by the script.
//
//   bench_delivery SITE_DIR [SCHEDULES=100] [ROWS=10000] [FORMAT=csv]
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <string>

#include "delivery/schedules_file.h"
#include "designer/report_definition.h"
#include "designer/reports_file.h"
#include "fennick/data.h"

int main(int argc, char** argv) {
  namespace fs = std::filesystem;
  if (argc < 2) {
    std::fprintf(stderr, "usage: bench_delivery SITE_DIR [SCHEDULES] [ROWS] [FORMAT]\n");
    return 2;
  }
  const fs::path site = argv[1];
  const int schedules = argc > 2 ? std::atoi(argv[2]) : 100;
  const int rows = argc > 3 ? std::atoi(argv[3]) : 10000;
  const std::string format = argc > 4 ? argv[4] : "csv";
  fs::remove_all(site);
  fs::create_directories(site / "data");
  const std::string db = (site / "data" / "shop.db").string();
  fennick::Connection connection;
  connection.Open("Provider=SQLite;Mode=ReadWriteCreate;Data Source=" + db);
  connection.Execute(
      "CREATE TABLE Orders (OrderId INTEGER, Customer VARCHAR(40), Amount DOUBLE, "
      "Placed VARCHAR(20))");
  connection.Execute(
      "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < " +
      std::to_string(rows) +
      ") INSERT INTO Orders SELECT i, 'Customer ' || (i % 997), i * 1.25, "
      "'2026-01-' || (1 + i % 28) FROM n");
  connection.Close();

  fennick::designer::ReportsFile reports(site / "data" / "reports.xml");
  if (!reports.Create().ok()) return 1;
  fennick::designer::ReportSave save;
  save.id = "R-ORDERS";
  save.title = "Orders";
  save.args = fennick::designer::EncodeDefinition(
      ";tables:Orders;fields:OrderId, Customer, Amount, Placed;rtitle:Orders;pagesize:10;");
  std::string error;
  if (!reports.SaveReport(save, &error)) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return 1;
  }
  const fennick::delivery::SchedulesFile file(site / "data" / "reports.xml");
  for (int i = 0; i < schedules; ++i) {
    fennick::delivery::Schedule s;
    s.report_id = "R-ORDERS";
    s.recipients = {"bench" + std::to_string(i) + "@example.com"};
    s.timing = *fennick::delivery::ParseTiming("daily 00:00", "UTC");
    s.format = format;
    s.subject = "Orders " + std::to_string(i);
    s.context.connection_string = "Provider=SQLite;Data Source=" + db;
    if (!file.Save(s, std::time(nullptr) - 2 * 86400, &error)) {
      std::fprintf(stderr, "%s\n", error.c_str());
      return 1;
    }
  }
  std::printf("%d schedules of a %d-row report (%s) in %s\n", schedules, rows, format.c_str(),
              site.c_str());
  return 0;
}
