// Report pages over real HTTP: stored reports open from their links, with
// their password, their parameters and their hidden filters; the sealed
// statement and reference of a report page, forged password proofs and
// objects the page does not offer are refused; GetReport returns the
// report and writes nothing.
#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <mutex>
#include <regex>
#include <thread>

#include "base/ascii.h"
#include "designer/report_definition.h"
#include "designer/report_password.h"
#include "designer/reports_file.h"
#include "designer/schema_discovery.h"
#include "export/office_reader.h"
#include "fennick/data.h"
#include "fennick/registry.h"
#include "fennick/script_pages.h"
#include "frame/argument_codec.h"
#include "platform/crypto/seal.h"
#include "platform/data/test_databases.h"
#include "platform/xml/xml_chars.h"
#include "platform/xml/xml_document.h"
#include "platform/web/test_server.h"
#include "support/fold-designer_site.h"
#include "support/fold-designer_text.h"

namespace fennick {
namespace {

using test_support::SaveReport;


// The page every test drives: a designer over data/shop.db whose rows of
// Orders are restricted to owner 1, with the table Secrets hidden.
const char kReportsPage[] =
    "<% var q = Server.CreateObject('Fennick.Quillon2');\n"
    "q.ReportsFile = 'data/reports.xml';\n"
    "q.HiddenSqlFilter = 'OwnerId=1';\n"
    "q.HiddenTables = 'Secrets';\n"
    "q.HiddenFields = 'OwnerId';\n"
    "q.DisplayReportParameters = true;\n"
    "q.Init('Provider=SQLite;Data Source=' + Server.MapPath('data/shop.db'));\n"
    "q.DisplayReports(); %>";

// GetReport between two markers: nothing may appear between them.
const char kGetReportPage[] =
    "<% var q = Server.CreateObject('Fennick.Quillon2');\n"
    "q.ReportsFile = 'data/reports.xml';\n"
    "q.HiddenSqlFilter = 'OwnerId=1';\n"
    "q.HiddenTables = 'Secrets';\n"
    "q.HiddenFields = 'OwnerId';\n"
    "q.Init('Provider=SQLite;Data Source=' + Server.MapPath('data/shop.db'));\n"
    "Response.Write('[A]');\n"
    "var html = q.GetReport(Request.QueryString('id'), Request.QueryString('p'));\n"
    "Response.Write('[B]');\n"
    "Response.Write(html); %>";

// Rows restricted by the signed-in user: the session's UserId, when the page
// set one (query "as").
const char kOwnerPage[] =
    "<% if (Request.QueryString('as') != '') Session.Set('UserId', Request.QueryString('as'));\n"
    "var q = Server.CreateObject('Fennick.Quillon2');\n"
    "q.ReportsFile = 'data/reports.xml';\n"
    "q.HiddenSqlFilter = \"OwnerId='@USERID'\";\n"
    "q.Init('Provider=SQLite;Data Source=' + Server.MapPath('data/shop.db'));\n"
    "q.DisplayReports(); %>";

// The export settings of the designer (UseFastExport when the query says
// fast=1), without the hidden filter, over data/reports.xml or data/<f>.xml.
const char kExportOptionsPage[] =
    "<% var q = Server.CreateObject('Fennick.Quillon2');\n"
    "q.ReportsFile = 'data/' + (Request.QueryString('f') || 'reports') + '.xml';\n"
    "q.HiddenFields = 'OwnerId';\n"
    "if (Request.QueryString('fast') == '1') q.UseFastExport = true;\n"
    "q.IsEuroDecimalFormat = true;\n"
    "q.Encoding = 'UTF-8';\n"
    "q.Init('Provider=SQLite;Data Source=' + Server.MapPath('data/shop.db'));\n"
    "q.DisplayReports(); %>";

// Init, then the page's own text, then one report named by the query
// string, with CsvSafe on.
const char kInitPage[] =
    "<% var q = Server.CreateObject('Fennick.Quillon2');\n"
    "q.ReportsFile = 'data/reports.xml';\n"
    "q.HiddenSqlFilter = 'OwnerId=1';\n"
    "q.HiddenFields = 'OwnerId';\n"
    "q.CsvSafe = true;\n"
    "if (Request.QueryString('office') == '1') { q.ExportXlsx = true; q.ExportPdf = true; }\n"
    "q.Init('Provider=SQLite;Data Source=' + Server.MapPath('data/shop.db'));\n"
    "Response.Write('[after Init]');\n"
    "q.DisplayReport(Request.QueryString('rid')); %>";

std::string Definition(const std::string& body) { return designer::EncodeDefinition(body); }

class ReportDisplayHttpTest : public test_support::DesignerSiteTest {
 protected:
  void SetUp() override {
    ServerOptions options;
    options.log = [this](const std::string& line) {
      std::lock_guard<std::mutex> hold(log_mutex_);
      log_ += line + "\n";
    };
    MakeSite("report display http tests", options);
    server_->site().Write("init.asp", kInitPage);
    server_->site().Write("reports.asp", kReportsPage);
    server_->site().Write("get.asp", kGetReportPage);
    server_->site().Write("owner.asp", kOwnerPage);
    server_->site().Write("options.asp", kExportOptionsPage);
    const auto data = Data();
    Connection db;
    db.Open("Provider=SQLite;Mode=ReadWriteCreate;Data Source=" + (data / "shop.db").string());
    db.Execute("CREATE TABLE Orders (OrderId INTEGER, Customer VARCHAR(40), OwnerId INTEGER)");
    db.Execute(
        "INSERT INTO Orders VALUES (1, 'Alpha', 1), (2, 'O''Brien', 1), "
        "(3, 'Hidden Corp', 2), (4, 'Beta', 1), (5, '=1+1', 1)");
    db.Execute("CREATE TABLE Lines (OrderId INTEGER, Price MONEY)");
    db.Execute("INSERT INTO Lines VALUES (1, 18), (2, 1234.5), (3, 1000), (4, 0.25)");
    db.Execute("CREATE TABLE Secrets (Code VARCHAR(20))");
    db.Execute("INSERT INTO Secrets VALUES ('top-secret-row')");
    db.Close();

    designer::ReportsFile file(data / "reports.xml");
    ASSERT_TRUE(file.Create().ok());
    SaveReport(file, "R-ORDERS",
               ";tables:Orders;fields:OrderId, "
               "Customer;filters:;relations:;schema:,OrderId~cNumber~f~t131~"
               ",Customer~cCustomer name~f~t200~;rtitle:Orders <b>list</b>;pagesize:10;rownum:1;");
    SaveReport(file, "R-SECRET",
               ";tables:Orders;fields:OrderId, Customer;schema:,Customer~cCustomer~f~t200~;"
               "rtitle:Locked orders;rpwd:s3cret;pagesize:10;");
    SaveReport(file, "R-TOTALS",
               ";tables:Orders;fields:Customer, OrderId;schema:,Customer~cCustomer~f~t200~"
               ",OrderId~cNumber~f~t131~;rtitle:Totals;pagesize:10;coltotal:1;colavg:1;");
    SaveReport(file, "R-PARAM",
               ";tables:Orders;fields:OrderId, Customer;filters:Customer__2__?Name;"
               "schema:,Customer~cCustomer~f~t200~;rtitle:One customer;pagesize:10;");
    // A stored statement reading the hidden table: it is never run.
    SaveReport(file, "R-STORED", ";tables:Orders;fields:Customer;rtitle:Stored;pagesize:10;",
               "SELECT Code AS Customer FROM Secrets");
    SaveReport(file, "R-LOCK", ";tables:Orders;fields:Customer;rtitle:Locked;rpwd:open;");
    // Definitions the builder refuses, as a file edited by hand or an old
    // import holds them.
    SaveReport(file, "R-ESCAPE", ";tables:Orders;fields:OrderId, Customer;relations:1=1) OR (1=1;");
    SaveReport(file, "R-SQLFMT",
               ";tables:Orders;fields:Customer;"
               "schema:,Customer~cC~f[sql](SELECT group_concat(Code) FROM Secrets)[/sql]~t200~;");
    SaveReport(file, "R-HIDDEN",
               ";tables:Orders;fields:Customer;schema:,Customer~cC~f[sql]OwnerId[/sql]~t200~;");
    SaveReport(file, "R-TABLE", ";tables:Secrets;fields:Code;");
    // A report over two tables: money with its format, a footer and a
    // summary box naming qualified fields, a summary of a hidden field, and
    // a column computed by [sql].
    SaveReport(
        file, "R-LINES",
        ";tables:Orders,Lines;fields:Orders.Customer, Lines.Price, Orders.OwnerId, "
        "Orders.OrderId;relations:Orders.OrderId = Lines.OrderId;"
        "schema:,Orders.Customer~cWho~f~t200~,Lines.Price~cPrice~fN2~t6~"
        ",Orders.OwnerId~cOwner~f~t131~,Orders.OrderId~cTimes ten~f[sql]#TEMP# * 10[/sql]~t131~;"
        "rtitle:Lines;summary:Lines.Price__SUM__<b>Total</b>,Orders.OwnerId__SUM__x;"
        "nftotal:Lines.Price;pagesize:10;");
    // An author's relation with an OR: it must not open the hidden filter.
    SaveReport(file, "R-OR",
               ";tables:Orders;fields:OrderId, Customer;relations:OrderId>0 OR 1=1;"
               "schema:,Customer~cCustomer~f~t200~;rtitle:Or report;pagesize:10;");

    Start("/reports.asp");
  }
  void TearDown() override { server_.reset(); }  // it logs until it is gone

  // The document of the export button for `format` on the page at `url`
  // (a format without a button, "print", is asked for all the same).
  std::string Export(const std::string& url, const std::string& format) {
    auto shown = Get(url);
    std::string button = Hidden(shown->body, "btnExp" + format);
    if (button.empty()) button = EncodeArgument("4fmt:" + format + ";");
    return Post(url, {{"__SQL", Hidden(shown->body, "__SQL")},
                      {"__ARGS", Hidden(shown->body, "__ARGS")},
                      {"__FARGS", button}})
        ->body;
  }

  static std::string Hidden(const std::string& body, const std::string& name) {
    std::smatch m;
    std::regex re("name=" + name + " value=\"([^\"]*)\"");
    return std::regex_search(body, m, re) ? std::string(m[1]) : "";
  }

  std::string Log() {
    std::lock_guard<std::mutex> hold(log_mutex_);
    return log_;
  }
  std::string StoredPassword(const std::string& id) const {
    return designer::GetDefinitionValue(
        designer::DecodeDefinition(designer::ReportsFile(ReportsPath()).GetReportArgs(id)), "rpwd");
  }

  std::mutex log_mutex_;
  std::string log_;
};

TEST_F(ReportDisplayHttpTest, StoredReportOpensWithItsHiddenFilter) {
  auto page = Get("/reports.asp?rid=r-orders");
  ASSERT_TRUE(page);
  EXPECT_EQ(page->status, 200);
  const std::string& body = page->body;
  EXPECT_LACKS(body, "not built yet");
  EXPECT_HAS_ALL(body, {"<title>Orders &lt;b&gt;list&lt;/b&gt;</title>", "Customer name", "Alpha"});
  EXPECT_LACKS(body, "Hidden Corp") << "owner 2's row is filtered out";
  EXPECT_HAS(body, "<form name=FNKQuillon method=post action=\"/reports.asp\">");
  // The page carries sealed values, never SQL or the definition.
  EXPECT_LACKS(body, "SELECT");
  EXPECT_FALSE(Hidden(body, "__SQL").empty());
  EXPECT_FALSE(Hidden(body, "__ARGS").empty());
  // The Build button carries a sealed token, not the definition.
  std::smatch build;
  const std::regex build_link("___doPostBack\\('([A-Za-z0-9_-]+)'\\)");
  ASSERT_TRUE(std::regex_search(body, build, build_link));
  EXPECT_LACKS(std::string(build[1]), "O3RhYmxlc");
  EXPECT_EQ(Get("/reports.asp?rid=nope")->status, 404);

  // Opened in a popup window: a Close button instead of Build and Home.
  auto popup = Get("/reports.asp?rid=R-ORDERS&closewin=true");
  EXPECT_HAS(popup->body,
             "<input type=hidden name=__cls value=1><a class=link_button "
             "href=\"javascript:window.close()\"");
  EXPECT_LACKS(popup->body, "___doPostBack('");
}

TEST_F(ReportDisplayHttpTest, TamperedOrForeignStatementIsRefused) {
  auto page = Get("/reports.asp?rid=R-ORDERS");
  const std::string sql = Hidden(page->body, "__SQL");
  const std::string args = Hidden(page->body, "__ARGS");
  ASSERT_FALSE(sql.empty());

  // Intact: the post shows the report again (sorted by its first column).
  auto intact = Post("/reports.asp", {{"__SQL", sql}, {"__ARGS", args}, {"__FARGS", ""}});
  ASSERT_TRUE(intact);
  EXPECT_EQ(intact->status, 200);
  EXPECT_HAS(intact->body, "Alpha");

  std::string flipped = sql;
  flipped[flipped.size() / 2] = flipped[flipped.size() / 2] == 'A' ? 'B' : 'A';
  auto tampered = Post("/reports.asp", {{"__SQL", flipped}, {"__ARGS", args}});
  EXPECT_EQ(tampered->status, 400);
  EXPECT_LACKS(tampered->body, "Alpha");

  auto plain_sql = Post("/reports.asp", {{"__SQL", "SELECT * FROM Secrets"}, {"__ARGS", args}});
  EXPECT_EQ(plain_sql->status, 400);
  EXPECT_LACKS(plain_sql->body, "top-secret");

  // A statement sealed for another report does not go with this one.
  auto other = Get("/reports.asp?rid=R-OR");
  auto mixed = Post("/reports.asp", {{"__SQL", Hidden(other->body, "__SQL")}, {"__ARGS", args}});
  EXPECT_EQ(mixed->status, 400);

  // Another session cannot replay the page's seals.
  auto foreign = server_->Client().Post("/reports.asp", httplib::Headers{},
                                        httplib::Params{{"__SQL", sql}, {"__ARGS", args}});
  EXPECT_EQ(foreign->status, 400);

  // A page kept open past its seals' expiry: the same seals, expired.
  auto s = OpenSealedParts(SealPurpose::kReportStatement, sql, 4);
  auto r = OpenSealedParts(SealPurpose::kReportReference, args, 3);
  ASSERT_TRUE(s && r);
  auto stale = Post("/reports.asp",
                    {{"__SQL", SealParts(SealPurpose::kReportStatement, {(*s)[0], (*s)[1], "1", (*s)[3]})},
                     {"__ARGS", SealParts(SealPurpose::kReportReference, {(*r)[0], (*r)[1], "1"})}});
  EXPECT_EQ(stale->status, 400);
}

TEST_F(ReportDisplayHttpTest, ExportsKeepHiddenFieldsAndHiddenFilters) {
  // A table view shows every column but the hidden one; its CSV download
  // leaves that column out as well, and owner 2's row too.
  const std::string orders = "/reports.asp?t=" + Server::URLEncode(designer::ObjectLinkValue(
                                                   "Orders", CatalogObjectType::kTable));
  const std::string csv = Export(orders, "csv");
  EXPECT_HAS(csv, "Alpha");
  EXPECT_LACKS(csv, "OwnerId");
  EXPECT_LACKS(csv, "Hidden Corp");
  EXPECT_LACKS(csv, "<form") << "the download only";

  // The print page of the first-generation exporter.
  const std::string print = Export(orders, "print");
  EXPECT_HAS(print, "Beta");
  EXPECT_LACKS(print, "Hidden Corp");
}

// A report over two tables shows and exports its values as formatted:
// summary box, footer and cells find their columns by qualified names, a
// summary of a hidden field is refused, an [sql] column is no unknown
// format, and exports go to the exporter the page chose with its settings.
TEST_F(ReportDisplayHttpTest, ReportsShowAndExportTheirFormats) {
  auto page = Get("/reports.asp?rid=R-LINES");
  ASSERT_EQ(page->status, 200) << page->body;
  const std::string& body = page->body;
  EXPECT_HAS_ALL(
      body, {"<span class=summary_name><b>Total</b></span> <i><span "
             "class=summary_value>$1,252.75</span></i><br>",
             "<font color=red>No summary of <b>Orders.OwnerId</b>: the report does not "
             "show it</font>",
             "<td class=col_footer>$1,252.75</td>", ">$1,234.50</td><td class=\"number\">20</td>"});
  EXPECT_LACKS(body, "Invalid field format");

  const std::string excel = Export("/reports.asp?rid=R-LINES", "excel");
  EXPECT_HAS(excel, ">$1,234.50<");
  EXPECT_LACKS(excel, "Hidden Corp");
  const std::string fast = Export("/options.asp?fast=1&rid=R-LINES", "excel");
  EXPECT_HAS(fast, ">1234.5<");
  // Money without a format in the euro form; XML declared in the encoding.
  const std::string lines = "/options.asp?t=" + Server::URLEncode(designer::ObjectLinkValue(
                                                    "Lines", CatalogObjectType::kTable));
  EXPECT_HAS(Export(lines, "excel"), ">1.234,50<");
  EXPECT_EQ(Export(lines, "xml").rfind("<?xml version=\"1.0\" encoding=\"UTF-8\" ?>", 0), 0u);
}

// A reports file that lists nothing is empty, not damaged.
TEST_F(ReportDisplayHttpTest, AnEmptyReportsFileHasNoReports) {
  for (const char* text : {"<quillon version=\"2\"/>", "<quillon version=\"2\"><groups/></quillon>",
                           "<quillon version=\"2\"><groups/><reports/></quillon>"}) {
    std::ofstream(Data() / "empty.xml") << text;
    auto page = Get("/options.asp?f=empty");
    EXPECT_HAS(page->body, "No reports have been created at this time") << text << page->body;
    EXPECT_LACKS(page->body, "Create a new Reports file") << text;
  }
  std::ofstream(Data() / "broken.xml") << "<quillon version=\"2\">";
  EXPECT_HAS(Get("/options.asp?f=broken")->body, "Create a new Reports file");
}
TEST_F(ReportDisplayHttpTest, PasswordIsCheckedOnTheServer) {
  auto prompt = Get("/reports.asp?rid=r-secret");
  EXPECT_HAS(prompt->body, "This report requires a password");
  EXPECT_HAS(prompt->body, "name=\"rid\" value=\"R-SECRET\"");
  EXPECT_LACKS(prompt->body, "Alpha");

  // Any non-empty erid used to skip the prompt; a forged one does not.
  auto forged = Get("/reports.asp?rid=r-secret&erid=xxxxxUi1TRUNSRVQ=");
  EXPECT_HAS(forged->body, "This report requires a password");
  EXPECT_LACKS(forged->body, "Alpha");

  auto wrong =
      Post("/reports.asp",
           {{"a", "q"}, {"rid", "R-SECRET"}, {"pwd", "S3CRET"}, {"rurl2", "javascript:alert(1)"}});
  EXPECT_EQ(wrong->status, 403);
  EXPECT_HAS(wrong->body, "Your password was not correct. Please check your CAPS");
  EXPECT_HAS(wrong->body, "<a href=\"/reports.asp\">Try Again</a>");
  EXPECT_LACKS(wrong->body, "javascript:alert");
  auto elsewhere = Post("/reports.asp", {{"a", "q"},
                                         {"rid", "R-SECRET"},
                                         {"pwd", ""},
                                         {"rurl2", "https://evil.example/reports.asp"}});
  EXPECT_LACKS(elsewhere->body, "evil.example");

  auto right = Post("/reports.asp", {{"a", "q"}, {"rid", "R-SECRET"}, {"pwd", "s3cret"}});
  ASSERT_EQ(right->status, 302) << right->body;
  const std::string location = right->get_header_value("Location");
  ASSERT_EQ(location.rfind("/reports.asp?erid=", 0), 0u) << location;
  auto shown = Get(location);
  EXPECT_HAS(shown->body, "Alpha");

  // The proof is for this report and this session only.
  const std::string proof =
      location.substr(location.find("erid=") + 5, location.find('&') - location.find("erid=") - 5);
  EXPECT_LACKS(Get(location, "")->body, "Alpha");
  auto moved = Get("/reports.asp?rid=R-PARAM&erid=" + proof + "&n_Name=Alpha");
  EXPECT_HAS(moved->body, "Alpha") << "R-PARAM needs no password";

  // A proof past its expiry is refused like a forged one; the same proof
  // made with a later expiry still opens (both sealed with the server's key).
  const std::string session = cookie_.substr(cookie_.find('=') + 1);
  for (auto [expiry, opens] : {std::pair{"4102444800", true}, std::pair{"1", false}}) {
    const std::string made = SealParts(SealPurpose::kReportPassword, {"R-SECRET", session, expiry});
    auto page = Get("/reports.asp?erid=" + Server::URLEncode(made) + "&rid=R-SECRET");
    EXPECT_EQ(page->body.find("Alpha") != std::string::npos, opens) << expiry << page->body;
  }
}

TEST_F(ReportDisplayHttpTest, ParametersAreLiteralsAndHiddenFiltersHold) {
  auto form = Get("/reports.asp?rid=R-PARAM");
  EXPECT_HAS(form->body, "<input type=text name=\"n_Name\"");
  EXPECT_LACKS(form->body, "Alpha");

  auto named = Get("/reports.asp?rid=R-PARAM&n_Name=O%27Brien");
  EXPECT_HAS(named->body, ">O'Brien</td>");
  EXPECT_LACKS(named->body, "Alpha");
  EXPECT_HAS(named->body,
             "<div class='params'><div class='param'><span class='name'>Name"
             "</span> = <span class='value'>O'Brien</span></div></div>");

  // A quote in the value cannot end the literal and widen the filter.
  auto marked = Get("/reports.asp?rid=R-PARAM&n_Name=%3Cb%3Ex");
  EXPECT_HAS(marked->body, "<span class='value'>&lt;b&gt;x</span>");
  EXPECT_LACKS(marked->body, "<b>x");
  auto hostile = Get("/reports.asp?rid=R-PARAM&n_Name=x%27%20OR%20%271%27%3D%271");
  EXPECT_EQ(hostile->status, 200);
  EXPECT_LACKS(hostile->body, "Alpha");
  EXPECT_LACKS(hostile->body, "Hidden Corp");

  // An OR in the report's relations stays inside its parentheses.
  auto with_or = Get("/reports.asp?rid=R-OR");
  EXPECT_HAS(with_or->body, "Beta");
  EXPECT_LACKS(with_or->body, "Hidden Corp");
}

TEST_F(ReportDisplayHttpTest, RowLevelFilterFollowsTheSessionUser) {
  auto two = Get("/owner.asp?as=2&rid=R-ORDERS");
  EXPECT_HAS(two->body, "Hidden Corp");
  EXPECT_LACKS(two->body, "Alpha");
  // Same session, no "as": the session still says 2. A fresh session has
  // no user: nothing runs, and no form asks the browser for the id.
  auto fresh = Get("/owner.asp?rid=R-ORDERS", "");
  EXPECT_LACKS_ALL(fresh->body, {"Alpha", "Hidden Corp", "n_USERID"});
  auto typed = Get("/owner.asp?rid=R-ORDERS&n_USERID=1", "");
  EXPECT_LACKS(typed->body, "Alpha");
}

TEST_F(ReportDisplayHttpTest, OnlyOfferedObjectsOpenByName) {
  auto encoded = [](const std::string& name) {
    return designer::ObjectLinkValue(name, CatalogObjectType::kTable);
  };
  auto orders = Get("/reports.asp?t=" + Server::URLEncode(encoded("Orders")));
  ASSERT_TRUE(orders);
  EXPECT_EQ(orders->status, 200) << orders->body;
  EXPECT_HAS(orders->body, "Alpha");
  EXPECT_LACKS(orders->body, "Hidden Corp") << "the hidden filter holds";
  EXPECT_LACKS(orders->body, "OwnerId") << "a hidden field";

  auto secrets = Get("/reports.asp?t=" + Server::URLEncode(encoded("Secrets")));
  EXPECT_EQ(secrets->status, 403);
  EXPECT_LACKS(secrets->body, "top-secret");
  auto injected = Get("/reports.asp?t=" +
                      Server::URLEncode(encoded("Orders UNION SELECT Code,1,1 FROM Secrets")));
  EXPECT_EQ(injected->status, 403);
  EXPECT_LACKS(injected->body, "top-secret");
}

// Every stored definition is checked again before it runs; a refused one
// runs nothing and its page names the entry.
TEST_F(ReportDisplayHttpTest, StoredDefinitionsAreCheckedWhenShown) {
  const std::pair<const char*, const char*> refused[] = {
      {"R-ESCAPE", "Relations: this does not belong here"},
      {"R-SQLFMT", "The format of Customer: a subquery is not allowed"},
      {"R-HIDDEN", "The format of Customer: the field OwnerId does not exist"},
      {"R-TABLE", "The table Secrets is not offered"}};
  for (const auto& [id, why] : refused) {
    auto page = Get(std::string("/reports.asp?rid=") + id);
    EXPECT_EQ(page->status, 403) << id;
    EXPECT_HAS(page->body, std::string("This report cannot run on this page: ") + why);
    auto text = Get(std::string("/get.asp?id=") + id)->body;
    EXPECT_HAS(text, "[A][B]<div><font color=red face=arial>This report cannot run");
    for (const std::string& body : {page->body, text}) {
      for (const char* leak : {"top-secret", "Hidden Corp", "Alpha"}) {
        EXPECT_LACKS(body, leak) << id << " " << leak;
      }
    }
  }
  // A page posted back after its report was changed in the file checks the
  // definition again.
  auto page = Get("/reports.asp?rid=R-ORDERS");
  SaveReport(designer::ReportsFile(ReportsPath()), "R-ORDERS",
       ";tables:Orders;fields:OrderId, Customer;relations:1=1) OR (1=1;");
  auto post = Post("/reports.asp", {{"__SQL", Hidden(page->body, "__SQL")},
                                    {"__ARGS", Hidden(page->body, "__ARGS")}});
  EXPECT_EQ(post->status, 403);
  EXPECT_LACKS(post->body, "Alpha");
}

// An upload is data: plain reports pass the same check before they are
// stored, refused ones are listed with the reason, and a DTD changes nothing.
TEST_F(ReportDisplayHttpTest, ImportedReportsAreCheckedBeforeTheyAreStored) {
  std::smatch m;
  const std::string form = Get("/reports.asp?a=b")->body;
  ASSERT_TRUE(std::regex_search(form, m, std::regex("name=tk value=\"([A-Za-z0-9_-]+)\"")));
  const std::string token = m[1];
  auto upload = [&](const std::string& reports, const std::string& doctype = "") {
    return server_->Client().Post(
        "/reports.asp?a=b", httplib::Headers{{"Cookie", cookie_}},
        httplib::MultipartFormDataItems{{"tk", token, "", ""},
                                        {"path",
                                         doctype + "<quillon version=\"2\"><groups/><reports>" +
                                             reports + "</reports></quillon>",
                                         "r.xml", "text/xml"}});
  };
  auto report = [](const std::string& id, const std::string& body) {
    return "<report args=\"" + Definition(body) + "\" id=\"" + id + "\" title=\"x\"/>";
  };
  // Passwords are imported in the form they come in, and work in it.
  const std::string hash = designer::StoredPasswordForm("h1");
  auto res = upload(report("I-OK", ";tables:Orders;fields:customer;") +
                    report("I-PLAIN", ";tables:Orders;fields:Customer;rpwd:p1;") +
                    report("I-HASH", ";tables:Orders;fields:Customer;rpwd:" + hash + ";") +
                    report("I-ESCAPE", ";tables:Orders;fields:Customer;relations:1=1) OR (1=1;") +
                    report("I-TABLE", ";tables:Secrets;fields:Code;"));
  ASSERT_EQ(res->status, 200) << res->body;
  EXPECT_HAS_ALL(res->body, {"Reports added: I-OK, I-PLAIN, I-HASH<br>",
                             "<br>Report refused: I-ESCAPE: Relations: this does not belong",
                             "<br>Report refused: I-TABLE: The table Secrets is not offered"});
  designer::ReportDefinition stored;
  const auto path = ReportsPath();
  designer::ReadDefinition(
      designer::DecodeDefinition(designer::ReportsFile(path).GetReportArgs("I-OK")), stored);
  EXPECT_EQ(stored.fields, "Customer") << "stored as checked";
  EXPECT_TRUE(designer::ReportsFile(path).GetReportArgs("I-ESCAPE").empty());
  EXPECT_HAS(Get("/reports.asp?rid=I-OK")->body, "Alpha");
  EXPECT_EQ(StoredPassword("I-PLAIN"), "p1");
  EXPECT_EQ(StoredPassword("I-HASH"), hash);
  EXPECT_EQ(Post("/reports.asp", {{"a", "q"}, {"rid", "I-HASH"}, {"pwd", "h1"}})->status, 302);

  // An entity used to be stored without its DTD, and no later load worked.
  auto dtd = upload("<report args=\"\" id=\"E\" title=\"t &e; t\"/>",
                    "<!DOCTYPE quillon [<!ENTITY e \"x\">]>");
  EXPECT_EQ(dtd->status, 422);
  EXPECT_HAS(dtd->body, "no document type declaration");
  EXPECT_TRUE(designer::ReportsFile(path).Read().ok());
  EXPECT_TRUE(designer::ReportsFile(path).GetReportArgs("E").empty());
}

// Five wrong passwords are free; then the report and address wait, and
// every try in the meantime is answered at once, the right one too.
TEST_F(ReportDisplayHttpTest, WrongPasswordsAreThrottled) {
  auto post = [&](const char* pwd) {
    return Post("/reports.asp", {{"a", "q"}, {"rid", "R-LOCK"}, {"pwd", pwd}});
  };
  for (int i = 0; i < 5; ++i) EXPECT_EQ(post("guess")->status, 403) << i;
  for (const char* pwd : {"guess", "open"}) {
    auto waiting = post(pwd);
    EXPECT_EQ(waiting->status, 429) << pwd;
    EXPECT_EQ(waiting->get_header_value("Retry-After"), "1");
    EXPECT_HAS(waiting->body, "Please wait 1 seconds");
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(1100));
  EXPECT_EQ(post("open")->status, 302);
  EXPECT_EQ(post("guess")->status, 403) << "the right password cleared the count";
}

// A password stored as before is accepted and, at its first right entry,
// replaced by its salted hash (nothing else of the definition changes); the
// hash is then checked as such. Neither form reaches a page or the log.
TEST_F(ReportDisplayHttpTest, StoredPasswordsBecomeHashesAndNeverShow) {
  std::string seen;
  auto post = [&](const char* pwd) {
    auto res = Post("/reports.asp", {{"a", "q"}, {"rid", "R-SECRET"}, {"pwd", pwd}});
    seen += res->body + res->get_header_value("Location");
    if (res->status == 302) seen += Get(res->get_header_value("Location"))->body;
    return res->status;
  };
  const auto path = ReportsPath();
  const std::string before =
      designer::DecodeDefinition(designer::ReportsFile(path).GetReportArgs("R-SECRET"));
  EXPECT_EQ(post("S3CRET"), 403);
  EXPECT_EQ(StoredPassword("R-SECRET"), "s3cret");
  EXPECT_EQ(post("s3cret"), 302);
  const std::string hash = StoredPassword("R-SECRET");
  ASSERT_EQ(hash.rfind("{pwhash}$argon2id$", 0), 0u) << hash;
  std::string expected = before;
  expected.replace(expected.find("s3cret"), 6, hash);
  EXPECT_EQ(designer::DecodeDefinition(designer::ReportsFile(path).GetReportArgs("R-SECRET")),
            expected);
  EXPECT_EQ(post("s3cret"), 302);
  EXPECT_EQ(StoredPassword("R-SECRET"), hash) << "a current hash is kept";
  EXPECT_EQ(post("S3CRET"), 403);
  EXPECT_HAS(seen, "Alpha") << "the report was shown";
  for (const std::string& text : {seen, Log()}) {
    EXPECT_LACKS_ALL(text, {"s3cret", hash.substr(hash.rfind('$')), "pwhash"});
  }
}

// Init runs an export button's post itself, from the page's sealed
// statement: a page that writes after Init, and shows its report by a link
// the post no longer carries, still sends just the download. CsvSafe
// reaches report exports, ExportXlsx and ExportPdf their buttons (absent
// by default); a forged statement runs nothing.
TEST_F(ReportDisplayHttpTest, InitRunsTheExportsOfReportPages) {
  auto right = Post("/reports.asp", {{"a", "q"}, {"rid", "R-SECRET"}, {"pwd", "s3cret"}});
  std::string location = right->get_header_value("Location");
  ASSERT_EQ(location.rfind("/reports.asp?", 0), 0u) << location;
  auto page = Get("/init.asp" + location.substr(location.find('?')));
  ASSERT_HAS(page->body, "Alpha");
  const std::pair<const char*, const char*> exports[] = {{"btnExpcsv", "\"5\",\"'=1+1\"\r\n"},
                                                         {"btnExptext", "5\t'=1+1\r\n"}};
  for (const auto& [button, row] : exports) {
    auto download = Post("/init.asp", {{"__SQL", Hidden(page->body, "__SQL")},
                                       {"__ARGS", Hidden(page->body, "__ARGS")},
                                       {"__FARGS", Hidden(page->body, button)}});
    EXPECT_EQ(download->status, 200) << download->body;
    EXPECT_HAS(download->body, row);
    EXPECT_LACKS(download->body, "[after Init]");
    EXPECT_LACKS(download->body, "Hidden Corp");
  }
  EXPECT_LACKS(page->body, "btnExpxlsx");
  auto office = Get("/init.asp" + location.substr(location.find('?')) + "&office=1");
  const std::pair<const char*, const char*> documents[] = {{"btnExpxlsx", "PK"},
                                                           {"btnExppdf", "%PDF"}};
  for (const auto& [button, magic] : documents) {
    ASSERT_HAS(office->body, button);
    auto download = Post("/init.asp?office=1", {{"__SQL", Hidden(office->body, "__SQL")},
                                                {"__ARGS", Hidden(office->body, "__ARGS")},
                                                {"__FARGS", Hidden(office->body, button)}});
    EXPECT_EQ(download->status, 200) << download->body;
    EXPECT_EQ(download->body.rfind(magic, 0), 0u) << button;
  }
  // A report's footers follow its rows in the workbook.
  auto totals = Get("/init.asp?rid=R-TOTALS&office=1");
  auto book = Post("/init.asp?rid=R-TOTALS&office=1",
                   {{"__SQL", Hidden(totals->body, "__SQL")},
                    {"__ARGS", Hidden(totals->body, "__ARGS")},
                    {"__FARGS", Hidden(totals->body, "btnExpxlsx")}});
  ASSERT_EQ(book->status, 200) << book->body;
  testing::WriteBytes(server_->site().root() / "totals.xlsx", book->body);
  std::vector<testing::Sheet> sheets = testing::ReadSheets(server_->site().root() / "totals.xlsx");
  ASSERT_EQ(sheets.size(), 1u);
  auto& cells = sheets[0].cells;
  EXPECT_EQ(cells["B1"].value + " " + cells["B5"].value, "Number 5");
  EXPECT_EQ(cells["A7"].value + " " + cells["B7"].value, "Average 3");
  EXPECT_EQ(cells["A8"].value + " " + cells["B8"].value, "Total 12");
  auto forged = Post("/init.asp", {{"__SQL", "SELECT Code AS Customer FROM Secrets"},
                                   {"__ARGS", Hidden(page->body, "__ARGS")},
                                   {"__FARGS", Hidden(page->body, "btnExpcsv")}});
  EXPECT_EQ(forged->status, 400);
  EXPECT_LACKS(forged->body, "top-secret");
}

// Characters XML cannot hold, in values and in a report's title and
// description: the reports file still reads, and the catalogue, the print
// page and every XML-based export of both exporters answer with U+FFFD in
// their place.
TEST_F(ReportDisplayHttpTest, CharactersXmlCannotHoldBecomeReplacements) {
  const std::string rep = "\xEF\xBF\xBD";
  {
    Connection db;
    db.Open("Provider=SQLite;Data Source=" + (server_->site().root() / "data/shop.db").string());
    db.Execute("INSERT INTO Orders VALUES (6, CAST(X'610162' AS TEXT), 1), "
               "(7, CAST(X'61FF62' AS TEXT), 1), (8, CAST(X'61EFBFBF62' AS TEXT), 1), "
               "(9, CAST(X'610062' AS TEXT), 1)");
  }
  designer::ReportsFile file(ReportsPath());
  designer::ReportSave save;
  save.id = "R-ODD";
  save.args = Definition(
      ";tables:Orders;fields:OrderId, Customer;schema:,Customer~cWho\x01~f~t200~;"
      "rtitle:Odd\x0B\xFFtitle;pagesize:50;");
  save.title = "Odd\x0Blist";
  save.description = std::string("Nul\0here", 8);
  std::string error;
  ASSERT_TRUE(file.SaveReport(save, &error)) << error;
  EXPECT_FALSE(file.GetReportArgs("R-ODD").empty()) << "the file reads back";

  auto catalogue = Get("/reports.asp");
  ASSERT_EQ(catalogue->status, 200);
  EXPECT_HAS(catalogue->body, "Odd" + rep + "list");
  EXPECT_HAS(catalogue->body, "Nul" + rep + "here");

  for (const std::string page : {"/reports.asp?rid=R-ODD", "/options.asp?fast=1&rid=R-ODD"}) {
    for (const std::string format : {"excel", "doc", "xml", "print"}) {
      SCOPED_TRACE(page + " " + format);
      const std::string body = Export(page, format);
      EXPECT_TRUE(IsXmlSafeText(body)) << body.substr(0, 600);
      if (format == "xml") {
        XmlParseResult parsed = XmlDocument::Parse(body);
        ASSERT_TRUE(parsed.ok()) << parsed.error << body.substr(0, 600);
        std::string text = parsed.document.Root().Text();
        for (XmlNode node : parsed.document.Select("//@*")) text += "|" + node.Text();
        for (const std::string& v : {"a" + rep + "b", "Who" + rep})
          EXPECT_HAS(text, v) << v << text;
        continue;
      }
      // The print page is ISO-8859-1: U+FFFD as a reference. It is
      // captioned with the field names.
      std::string text = body;
      ReplaceAll(text, "&#65533;", rep);
      EXPECT_HAS(text, "a" + rep + "b");
      EXPECT_HAS(text, "Odd" + rep + rep + "title") << "title";
      if (format != "print") {
        EXPECT_HAS(text, "Who" + rep) << "caption";
      }
    }
  }
}

TEST_F(ReportDisplayHttpTest, GetReportReturnsTheReportAndWritesNothing) {
  auto page = Get("/get.asp?id=r-orders");
  ASSERT_TRUE(page);
  ASSERT_EQ(page->status, 200) << page->body;
  const size_t a = page->body.find("[A]");
  ASSERT_NE(a, std::string::npos) << page->body;
  EXPECT_EQ(page->body.substr(a, 6), "[A][B]") << page->body;
  EXPECT_NE(page->body.find("Alpha", a), std::string::npos) << page->body;
  EXPECT_LACKS(page->body, "Hidden Corp");
  EXPECT_LACKS(page->body, "<form") << "the page holds the form";

  // Parameters come as a query text; a quote stays inside its literal.
  auto named = Get("/get.asp?id=R-PARAM&p=" + Server::URLEncode("Name=O'Brien"));
  EXPECT_HAS(named->body, ">O'Brien</td>");
  EXPECT_LACKS(named->body, "Alpha");
  auto hostile = Get("/get.asp?id=R-PARAM&p=" + Server::URLEncode("Name=x' OR '1'='1"));
  EXPECT_LACKS(hostile->body, "Alpha");
  auto missing = Get("/get.asp?id=R-PARAM");
  EXPECT_HAS(missing->body,
             "[A][B]<div><font color=red face=arial>Required parameter(s) "
             "missing: Name</font></div>");
  // The stored statement is not run: the report's own is built.
  auto stored = Get("/get.asp?id=R-STORED");
  EXPECT_HAS(stored->body, ">Beta<");
  EXPECT_LACKS(stored->body, "top-secret");
  auto unknown = Get("/get.asp?id=<b>x");
  EXPECT_HAS(unknown->body, "<b>Report ID: </b>&lt;B&gt;X</font>");

  // Its export buttons post back to the page, whose GetReport exports the
  // report named by the button (another report's button exports nothing).
  const std::string csv = Hidden(Get("/get.asp?id=R-LINES")->body, "btnExpcsv");
  auto exported = Post("/get.asp?id=R-LINES", {{"__FARGS", csv}});
  EXPECT_LACKS(exported->body, "[A]");
  EXPECT_HAS(exported->body, "\"Beta\",\"0.25\"");
  auto other = Post("/get.asp?id=R-ORDERS", {{"__FARGS", csv}});
  EXPECT_HAS(other->body, "[A][B]");
}

// Procedure reports on PostgreSQL, whose functions are its procedures: a
// typed value reaches the function as one parameter, and a function the
// page offers opens by its "t" link.
class ProcedureReportHttpTest : public test_support::DesignerSiteTest {
 protected:
  void SetUp() override {
    connection_string_ = testing::PostgresConnectionString();
    ASSERT_FALSE(connection_string_.empty())
        << "No PostgreSQL test server: run scripts/services/postgres-start.sh";
    suffix_ = std::to_string(::getpid());
    Connection db;
    db.Open(connection_string_);
    db.Execute("CREATE TABLE fnk_people_" + suffix_ + " (name VARCHAR(40), area VARCHAR(20))");
    db.Execute("INSERT INTO fnk_people_" + suffix_ +
               " VALUES ('Ann', 'West'), ('Bob', 'East'), ('O''Neil', 'O''Hara')");
    db.Execute("CREATE FUNCTION fnk_people_in_" + suffix_ +
               "(wanted VARCHAR) RETURNS TABLE(name VARCHAR, area VARCHAR) AS $$ SELECT p.name, "
               "p.area FROM fnk_people_" +
               suffix_ + " p WHERE p.area = wanted $$ LANGUAGE sql");
    db.Execute("CREATE FUNCTION fnk_everyone_" + suffix_ +
               "() RETURNS TABLE(name VARCHAR) AS $$ SELECT name FROM fnk_people_" + suffix_ +
               " $$ LANGUAGE sql");
    db.Close();

    MakeSite("procedure report tests");
    server_->site().Write("pg.asp",
                          "<% var q = Server.CreateObject('Fennick.Quillon2');\n"
                          "q.ReportsFile = 'data/reports.xml';\n"
                          "q.Init('" + connection_string_ + "');\n"
                          "q.DisplayReports(); %>");
    designer::ReportsFile file(ReportsPath());
    ASSERT_TRUE(file.Create().ok());
    SaveReport(file, "P-AREA",
               ";tables:fnk_people_in_" + suffix_ +
                   ";fields:name;isproc:1;params:wanted|?Area|200;rtitle:People;pagesize:10;");
    Start("/pg.asp?rid=P-AREA");
  }

  void TearDown() override {
    if (connection_string_.empty()) return;
    Connection db;
    db.Open(connection_string_);
    db.Execute("DROP FUNCTION IF EXISTS fnk_people_in_" + suffix_ + "(VARCHAR)");
    db.Execute("DROP FUNCTION IF EXISTS fnk_everyone_" + suffix_ + "()");
    db.Execute("DROP TABLE IF EXISTS fnk_people_" + suffix_);
  }

  std::string connection_string_, suffix_;
};

TEST_F(ProcedureReportHttpTest, TypedValuesAreParametersAndOnlySelectedFieldsShow) {
  auto form = Get("/pg.asp?rid=P-AREA");
  EXPECT_HAS(form->body, "name=\"n_Area\"");
  auto west = Get("/pg.asp?rid=P-AREA&n_Area=West");
  EXPECT_HAS(west->body, ">Ann<");
  EXPECT_LACKS(west->body, ">Bob<");
  // The report selected "name" only: the function's other column is not
  // shown.
  EXPECT_LACKS(west->body, ">West<");
  auto quoted = Get("/pg.asp?rid=P-AREA&n_Area=" + Server::URLEncode("O'Hara"));
  EXPECT_HAS(quoted->body, ">O'Neil<");
  auto hostile = Get("/pg.asp?rid=P-AREA&n_Area=" + Server::URLEncode("x' OR 'a'='a"));
  EXPECT_LACKS(hostile->body, ">Ann<");

  auto everyone =
      Get("/pg.asp?t=" + Server::URLEncode(designer::ObjectLinkValue(
                             "fnk_everyone_" + suffix_, CatalogObjectType::kProcedure)));
  EXPECT_EQ(everyone->status, 200) << everyone->body;
  EXPECT_HAS(everyone->body, ">Bob<");
}

}  // namespace
}  // namespace fennick
