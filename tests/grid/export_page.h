// A grid page served over real HTTP for the export tests: script pages over
// a People table (dates, money, percentages, nulls, non-ASCII text, markup,
// text that looks like formulas, a hidden column) on SQLite or PostgreSQL,
// written the way a newcomer writes them (CreateConnection first, then the
// command and the settings), and the posting of an export button.
#ifndef FENNICK_TESTS_GRID_EXPORT_PAGE_H_
#define FENNICK_TESTS_GRID_EXPORT_PAGE_H_

#include <gtest/gtest.h>
#include <unistd.h>

#include <memory>
#include <string>

#include "fennick/data.h"
#include "fennick/registry.h"
#include "fennick/script_pages.h"
#include "frame/argument_codec.h"
#include "grid/test_page.h"
#include "platform/data/test_databases.h"
#include "platform/web/test_server.h"

namespace fennick::testing {

class ExportPageTest : public ::testing::Test {
 protected:
  // The rows of People: Secret is hidden by every page.
  static std::string PeopleRows(bool postgres) {
    const std::string tab = postgres ? "chr(9)" : "char(9)", cr = postgres ? "chr(13)" : "char(13)";
    return "(1, 'Z\xC3\xBCrich <b>&amp;</b> \"q\"', '2004-03-05', '2004-03-05 14:07:09', 1234.5, "
           "0.25, '=1+2', 'TOPSECRET'), (2, NULL, NULL, NULL, NULL, NULL, '+1+2', 'TOPSECRET'), "
           "(3, '\xC3\x9Cn\xC3\xAF\xE2\x9C\x93 \xC4\xB1', '1999-12-31', '1999-12-31 23:59:00', -5, "
           "1, '-1+2', 'TOPSECRET'), (4, 'plain', '2025-12-30', '2025-12-30 00:00:00', 0, 0.005, "
           "'@SUM(A1)', 'TOPSECRET'), (5, 'tab', '2000-01-01', '2000-01-01 08:00:00', 7.25, 0.5, " +
           tab +
           " || '=1+2', 'TOPSECRET'), (6, 'cr', '2000-01-02', '2000-01-02 09:30:00', 8, "
           "0.75, " +
           cr + " || '=1+2', 'TOPSECRET')";
  }

  void SetUp() override {
    ServerOptions options;
    options.secret = "export page tests";
    server_ = std::make_unique<TestServer>(options);
    sqlite_ = "Provider=SQLite;Data Source=" + (server_->site().root() / "people.db").string();
    Connection db;
    db.Open(sqlite_ + ";Mode=ReadWriteCreate");
    db.Execute(
        "CREATE TABLE People (Id INTEGER, Name VARCHAR(60), Born DATE, Stamp DATETIME, "
        "Price REAL, Share REAL, Note VARCHAR(20), Secret VARCHAR(20))");
    db.Execute("INSERT INTO People VALUES " + PeopleRows(false));
    server_->server().SetObjectFactory(
        [](std::string_view progid) { return CreateComponentObject(progid); });
    ScriptPageOptions pages;
    pages.time_limit = std::chrono::seconds(3);
    EnableScriptPages(server_->server(), pages);
  }

  void TearDown() override {
    server_.reset();
    if (!people_pg_.empty()) {
      Connection db;
      db.Open(PostgresConnectionString());
      db.Execute("DROP TABLE " + people_pg_);
    }
  }

  // The connection string and table of People on `engine`.
  std::pair<std::string, std::string> People(const std::string& engine) {
    if (engine == "SQLite") return {sqlite_, "People"};
    const std::string cs = PostgresConnectionString();
    EXPECT_FALSE(cs.empty()) << "No PostgreSQL test server: scripts/services/postgres-start.sh";
    if (people_pg_.empty()) {
      people_pg_ = "fnk_people_" + std::to_string(getpid());
      Connection db;
      db.Open(cs);
      db.Execute("CREATE TABLE " + people_pg_ +
                 " (Id INTEGER, Name VARCHAR(60), Born DATE, "
                 "Stamp TIMESTAMP, Price NUMERIC(12,2), Share DOUBLE PRECISION, "
                 "Note VARCHAR(20), Secret VARCHAR(20))");
      db.Execute("INSERT INTO " + people_pg_ + " VALUES " + PeopleRows(true));
    }
    return {cs, people_pg_};
  }

  // Writes the page `name`: a grid on People of `engine` given its
  // connection first, then its command, formats and `settings` (script
  // lines), and Display unless `display` is false.
  void WritePage(const std::string& name, const std::string& engine,
                 const std::string& settings = "", bool display = true) {
    auto [cs, table] = People(engine);
    std::string page = "<% var g = Server.CreateObject('Fennick.DataGrid');\n";
    page += "g.CreateConnection(\"" + cs + "\");\n";
    page += "g.Command = 'SELECT Id, Name, Born, Stamp, Price, Share, Note, Secret FROM " + table +
            " ORDER BY Id';\n";
    page +=
        "g.ExportFileName = 'people';\n"
        "g.DateColumn('Born', 'd mmm yyyy');\ng.DateColumn('Stamp', '%d/%m/%Y %H:%N');\n"
        "g.CurrencyColumn('Price', 2);\ng.PercentColumn('Share', 0);\n"
        "g.HiddenColumn('Secret');\ng.CsvByteOrderMark = true;\n";
    page += settings + "\n";
    if (display) page += "g.Display();\n";
    page += "%>";
    server_->site().Write(name, page);
  }

  // Writes the page `name`: a grid given `connection_string` first, then
  // `command` and `settings` (script lines), then Display.
  void WriteGridPage(const std::string& name, const std::string& connection_string,
                     const std::string& command, const std::string& settings = "") {
    server_->site().Write(name, "<% var g = Server.CreateObject('Fennick.DataGrid');\n"
                                "g.CreateConnection(\"" + connection_string + "\");\n"
                                "g.Command = \"" + command + "\";\n" + settings +
                                    "\ng.Display(); %>");
  }

  // A client of the server, started at the first request so that pages can
  // be written until then.
  httplib::Client Client() {
    if (!started_) {
      server_->Start();
      started_ = true;
    }
    return server_->Client();
  }

  // Posts the export button of `format` to `page`.
  httplib::Result Export(const std::string& page, const std::string& format) {
    return Client().Post(
        "/" + page,
        httplib::Params{{"__FARGS", EncodeArgument("4fmt:" + format + ";hdr:;ttl:People;")}});
  }

  std::unique_ptr<TestServer> server_;
  std::string sqlite_;
  std::string people_pg_;
  bool started_ = false;
};

}  // namespace fennick::testing

#endif  // FENNICK_TESTS_GRID_EXPORT_PAGE_H_
