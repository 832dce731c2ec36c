// The report builder over real HTTP: a report built through every page
// with hostile values, each refusal of a hostile post, and two users
// finishing at the same time.
#include <gtest/gtest.h>

#include <cerrno>
#include <fstream>
#include <regex>
#include <sstream>
#include <thread>

#include "designer/file_lock.h"
#include "designer/report_definition.h"
#include "designer/report_password.h"
#include "designer/reports_file.h"
#include "fennick/data.h"
#include "fennick/page.h"
#include "fennick/registry.h"
#include "fennick/script_pages.h"
#include "platform/data/test_databases.h"
#include "support/fold-designer_site.h"
#include "support/fold-designer_text.h"

namespace fennick {
namespace {

using Fields = std::vector<std::pair<std::string, std::string>>;

std::string PageScript(const std::string& settings) {
  return "<% var q = Server.CreateObject('Fennick.Quillon2');\n"
         "q.ReportsFile = 'data/reports.xml';\n" +
         settings +
         "q.Init('Provider=SQLite;Data Source=' + Server.MapPath('data/shop.db'));\n"
         "q.DisplayReports(); %>";
}

// Everything that breaks naive pages: quotes, the "_Q_" stand-in, commas,
// the definition's ";" and markup.
const char kHostile[] = "O'Hara \"x\" _Q_ a,b; c <script>alert(1)</script>";

std::string Unescape(std::string text) {
  const std::pair<const char*, const char*> entities[] = {
      {"&lt;", "<"}, {"&gt;", ">"}, {"&quot;", "\""}, {"&#39;", "'"}, {"&amp;", "&"}};
  for (const auto& [from, to] : entities) {
    size_t at = 0;
    while ((at = text.find(from, at)) != std::string::npos) {
      text.replace(at, std::strlen(from), to);
      at += std::strlen(to);
    }
  }
  return text;
}

// The hidden fields of a builder page, decoded.
Fields HiddenFields(const std::string& body) {
  Fields out;
  std::regex re("<input type=hidden name=\"?([^\" >]+)\"? value=\"?([^\">]*)\"?>");
  for (auto it = std::sregex_iterator(body.begin(), body.end(), re); it != std::sregex_iterator();
       ++it) {
    out.emplace_back((*it)[1], Unescape((*it)[2]));
  }
  return out;
}

std::string Value(const Fields& fields, const std::string& name) {
  for (const auto& [n, v] : fields) {
    if (n == name) return v;
  }
  return "<missing>";
}

// Replaces every field of that name, in any letter case (the builder reads
// names ignoring case, so two spellings would be one field of two values).
void Set(Fields& fields, const std::string& name, const std::string& value) {
  auto lower = [](std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
  };
  for (auto it = fields.begin(); it != fields.end();) {
    it = lower(it->first) == lower(name) ? fields.erase(it) : it + 1;
  }
  fields.emplace_back(name, value);
}

std::string Encoded(const Fields& fields) {
  std::string out;
  for (const auto& [n, v] : fields) {
    if (!out.empty()) out.push_back('&');
    out += Server::URLEncode(n) + "=" + Server::URLEncode(v);
  }
  return out;
}

class ReportBuilderHttpTest : public test_support::DesignerSiteTest {
 protected:
  void SetUp() override {
    MakeSite("builder http tests");
    server_->site().Write("admin.asp", PageScript(""));
    server_->site().Write("reader.asp", PageScript("q.CanAddReport = false;\n"
                                                   "q.CanEditReport = false;\n"));
    server_->site().Write("narrow.asp", PageScript("q.UseFields = 'Orders.Amount, name';\n"));
    server_->site().Write("french.asp", PageScript("q.LCID = 1036;\n"));
    server_->site().Write("fixed.asp", PageScript("q.CanEditReportId = false;\n"
                                                  "q.CanChangeReportGroup = false;\n"));
    server_->site().Write("filtered.asp",
                          PageScript("q.AddHiddenSqlFilter('Customers', \"City = 'Oslo'\");\n"));
    Connection db;
    db.Open("Provider=SQLite;Mode=ReadWriteCreate;Data Source=" + (Data() / "shop.db").string());
    db.Execute("CREATE TABLE Customers (CustomerID INTEGER, Name VARCHAR(40), City VARCHAR(20))");
    db.Execute(
        "CREATE TABLE Orders (OrderID INTEGER, CustomerID INTEGER, Amount NUMERIC(10,2), "
        "Note VARCHAR(40))");
    db.Execute("INSERT INTO Customers VALUES (1, 'Ann', 'Oslo'), (2, 'Bob', 'Rome')");
    db.Execute("INSERT INTO Orders VALUES (10, 1, 5.5, 'a'), (11, 2, 7, 'b')");
    ASSERT_TRUE(designer::ReportsFile(ReportsPath()).SaveGroup("HR", "People", true, true).ok());
    Start("/admin.asp");
  }

  httplib::Result Post(const std::string& page, const Fields& fields, const std::string& cookie) {
    httplib::Headers headers;
    if (!cookie.empty()) headers.emplace("Cookie", cookie);
    return server_->Client().Post(page, headers, Encoded(fields),
                                  "application/x-www-form-urlencoded");
  }
  // Posts the state of `page` with `changes`, going to page `index`.
  httplib::Result Step(const std::string& body, const Fields& changes, int index,
                       const std::string& page = "/admin.asp") {
    Fields fields = HiddenFields(body);
    for (const auto& [n, v] : changes) Set(fields, n, v);
    Set(fields, "index", std::to_string(index));
    return Post(page, fields, cookie_);
  }

  designer::ReportDefinition Stored(const std::string& id) const {
    designer::ReportDefinition d;
    designer::ReadDefinition(
        designer::DecodeDefinition(designer::ReportsFile(ReportsPath()).GetReportArgs(id)), d);
    return d;
  }
  static std::string SavedId(const std::string& body) {
    std::smatch m;
    std::regex re("\\?rid=([A-Z0-9_-]+)");
    return std::regex_search(body, m, re) ? std::string(m[1]) : "";
  }

  // Opens the builder on both tables and posts page 1 with three fields.
  std::string FieldsPosted(const std::string& page = "/admin.asp") {
    auto first = Get(page + "?a=p&t=,Orders,Customers", cookie_);
    EXPECT_EQ(first->status, 200) << first->body;
    // The other two boxes: checked boxes post one value each.
    Fields fields = HiddenFields(first->body);
    fields.emplace_back("fields", "Orders.OrderID");
    fields.emplace_back("fields", "Orders.Amount");
    fields.emplace_back("fields", "Customers.Name");
    Set(fields, "relations", "orders.customerid = customers.customerid");
    Set(fields, "index", "2");
    auto res = Post(page, fields, cookie_);
    EXPECT_EQ(res->status, 200);
    return res->body;
  }
};

TEST_F(ReportBuilderHttpTest, HostileValuesRoundTripThroughEveryPage) {
  std::string page2 = FieldsPosted();
  ASSERT_HAS(page2, "Add captions (aliases) to field names");
  EXPECT_EQ(Value(HiddenFields(page2), "relations"),
            "[Orders].[CustomerID] = [Customers].[CustomerID]");
  EXPECT_EQ(Value(HiddenFields(page2), "fields"), "Orders.OrderID, Orders.Amount, Customers.Name");
  // Formats are listed by name and sample, in the page's regional format;
  // the codes are the values.
  EXPECT_HAS(page2, "<option value=\"N2\">Currency: $1,000.00</option>");
  EXPECT_HAS(page2, "<option value=\"S1\">Phone: (800) 555-9000</option>");
  EXPECT_LACKS(page2, ">N2Currency");
  const std::string french = FieldsPosted("/french.asp");
  EXPECT_TRUE(std::regex_search(french, std::regex("<option value=\"N1\">Decimal: 1.{1,3}000,00<")))
      << french;

  // Captions each from their own value: the comma in the first shifts none.
  Fields captions = HiddenFields(page2);
  captions.emplace_back("captions", kHostile);
  captions.emplace_back("captions", "Amount, in euro");
  captions.emplace_back("captions", "Customer");
  captions.emplace_back("formats", "N4");
  captions.emplace_back("formats", "[sql]round(#TEMP#, 1)[/sql]");
  captions.emplace_back("formats", "");
  Set(captions, "index", "3");
  auto page3 = Post("/admin.asp", captions, cookie_);
  ASSERT_HAS(page3->body, "Add filters to your report");
  const std::string schema = Value(HiddenFields(page3->body), "schema");
  // A ";" would end the schema's value in the definition: it is ",".
  EXPECT_EQ(designer::SchemaValue(schema, "Orders.OrderID", "c", ""),
            "O'Hara \"x\" _Q_ a,b, c <script>alert(1)</script>");
  EXPECT_EQ(designer::SchemaValue(schema, "Orders.Amount", "c", ""), "Amount, in euro");
  EXPECT_EQ(designer::SchemaValue(schema, "Orders.Amount", "f", ""), "[sql]ROUND(#TEMP#, 1)[/sql]");
  EXPECT_EQ(designer::SchemaValue(schema, "Customers.Name", "c", ""), "Customer");

  // A filter whose value holds the hostile text; "," and ";" become "|".
  auto again3 = Step(
      page3->body,
      {{"search_field", "Customers.Name"}, {"search_condition", "1"}, {"search_text", "O'Hara; x"}},
      3);
  EXPECT_EQ(Value(HiddenFields(again3->body), "tk"), Value(HiddenFields(page3->body), "tk"));
  ASSERT_HAS(again3->body, "name=filters value=\"Customers.Name__1__O'Hara| x\" checked");
  auto page4 = Step(again3->body, {{"filters", "Customers.Name__1__O'Hara| x"}}, 4);
  ASSERT_HAS(page4->body, "Add a title and description");
  EXPECT_EQ(Value(HiddenFields(page4->body), "filters"), "Customers.Name__1__O'Hara| x");

  auto page5 = Step(page4->body,
                    {{"rtitle", kHostile},
                     {"rdesc", kHostile},
                     {"pagesize", "15"},
                     {"rfmt", "1"},
                     {"newpwd", "pa55"}},
                    5);
  ASSERT_HAS(page5->body, "Add summaries to your report");
  const Fields state5 = HiddenFields(page5->body);
  EXPECT_EQ(Value(state5, "rtitle"), kHostile);
  EXPECT_EQ(Value(state5, "rdesc"), kHostile);
  // The password rides sealed, never as typed.
  EXPECT_LACKS(page5->body, "pa55");
  EXPECT_NE(Value(state5, "rpwd"), "");

  auto summary = Step(page5->body,
                      {{"summary_field", "Orders.Amount"},
                       {"summary_type", "SUM"},
                       {"summary_text", "Total, all"},
                       {"chart", "1"},
                       {"sonly", "1"}},
                      5);
  ASSERT_HAS(summary->body,
             "name=summary value=\"Orders.Amount__SUM__Total  all\" checked> "
             "Total  all: SUM of Orders.Amount</label>");
  auto graph_fields =
      Step(summary->body, {{"summary", "Orders.Amount__SUM__Total  all"}, {"chart", "1"}}, 51);
  ASSERT_HAS(graph_fields->body, "Select the fields to display on chart");
  auto chart = Step(graph_fields->body, {{"gflds", "Orders.Amount"}}, 52);
  ASSERT_HAS(chart->body, "Chart Options");
  auto order = Step(chart->body,
                    {{"graph", "2"},
                     {"conly", "1"},
                     {"legend", "Customers.Name"},
                     {"gtitle", kHostile},
                     {"xlabel", "x"},
                     {"ylabel", "y"}},
                    6);
  ASSERT_HAS(order->body, "Re-Order your table fields");
  EXPECT_EQ(Value(HiddenFields(order->body), "gtitle"), kHostile);

  // No page on the way wrote the markup as markup.
  for (const std::string* body :
       {&page2, &page3->body, &again3->body, &page4->body, &page5->body, &summary->body,
        &graph_fields->body, &chart->body, &order->body}) {
    EXPECT_LACKS(*body, "<script>alert");
  }

  Fields finish = HiddenFields(order->body);
  finish.emplace_back("order", "Customers.Name");
  finish.emplace_back("order", "Orders.OrderID");
  finish.emplace_back("order", "Orders.Amount");
  Set(finish, "rownum", "1");
  Set(finish, "index", "0");
  auto done = Post("/admin.asp", finish, cookie_);
  const std::string id = SavedId(done->body);
  ASSERT_FALSE(id.empty()) << done->body;
  EXPECT_LACKS(done->body, "<script>alert");

  designer::ReportDefinition saved = Stored(id);
  EXPECT_EQ(saved.rid, id);
  EXPECT_EQ(saved.fields, "Customers.Name, Orders.OrderID, Orders.Amount");
  EXPECT_EQ(saved.relations, "[Orders].[CustomerID] = [Customers].[CustomerID]");
  // ";" may not stand in a stored value: it would end it.
  EXPECT_EQ(saved.rtitle, "O'Hara \"x\" _Q_ a,b, c <script>alert(1)</script>");
  EXPECT_EQ(designer::SchemaValue(saved.schema, "Orders.OrderID", "c", ""),
            "O'Hara \"x\" _Q_ a,b, c <script>alert(1)</script>");
  EXPECT_EQ(saved.filters, "Customers.Name__1__O'Hara| x");
  EXPECT_EQ(saved.summary, "Orders.Amount__SUM__Total  all");
  // The password is stored as its salted hash, never as typed.
  EXPECT_EQ(saved.rpwd.rfind("{pwhash}$argon2id$", 0), 0u) << saved.rpwd;
  EXPECT_TRUE(designer::MatchPassword(saved.rpwd, "pa55").right);
  EXPECT_LACKS(FileText(), "pa55");
  EXPECT_EQ(saved.pagesize, 15);
  EXPECT_EQ(saved.chart, 1);
  EXPECT_EQ(saved.graph, 2);
  EXPECT_EQ(saved.gflds, "Orders.Amount");
  EXPECT_EQ(saved.legend, "Customers.Name");
  EXPECT_HAS(FileText(), ">O'Hara \"x\" \" a,b; c &lt;script&gt;alert(1)&lt;/script&gt;</report>");

  // Editing keeps the id, captions, the field order (the boxes post in the
  // tables' order) and the password nobody retyped.
  auto edit =
      Get("/admin.asp?a=p&erid=" + Server::URLEncode(designer::EncodeDefinition(id)), cookie_);
  ASSERT_EQ(edit->status, 200) << edit->body;
  EXPECT_LACKS(edit->body, "pa55");
  EXPECT_EQ(Value(HiddenFields(edit->body), "rpwd"), "");
  Fields boxes = HiddenFields(edit->body);
  for (const char* field : {"Orders.OrderID", "Orders.Amount", "Customers.Name"}) {
    boxes.emplace_back("fields", field);
  }
  Set(boxes, "relations", saved.relations);
  Set(boxes, "index", "4");
  auto edit2 = Post("/admin.asp", boxes, cookie_);
  auto renamed = Step(edit2->body, {{"rtitle", "Renamed"}, {"rid", id}}, 0);
  EXPECT_EQ(SavedId(renamed->body), id) << renamed->body;
  EXPECT_EQ(Stored(id).rtitle, "Renamed");
  EXPECT_EQ(Stored(id).rpwd, saved.rpwd);
  EXPECT_EQ(Stored(id).fields, "Customers.Name, Orders.OrderID, Orders.Amount");
}

TEST_F(ReportBuilderHttpTest, HostilePostsAreRefusedWithTheReason) {
  auto first = Get("/admin.asp?a=p&t=Orders,Customers", cookie_);
  ASSERT_EQ(first->status, 200);
  auto step1 = [&](const std::string& field, const std::string& relations) {
    Fields fields = HiddenFields(first->body);
    fields.emplace_back("fields", field);
    Set(fields, "relations", relations);
    Set(fields, "index", "2");
    return Post("/admin.asp", fields, cookie_)->body;
  };
  EXPECT_HAS(step1("Orders.Secret", ""),
             "Fields: the field Orders.Secret does not exist in the report's tables");
  EXPECT_HAS(step1("Orders.Amount", "Orders.CustomerID IN (SELECT CustomerID FROM Payroll)"),
             "Relations: a subquery is not allowed");
  const std::string second =
      step1("Orders.Amount", "Orders.CustomerID = Customers.CustomerID; DROP TABLE Orders");
  EXPECT_HAS(second, "Relations: a second statement is not allowed");
  // The refused page is page 1 again, with the text as typed, encoded.
  EXPECT_HAS(second, "Select the fields you wish to display");
  EXPECT_HAS(step1("Orders.Amount", "1=1 -- x"), "Relations: comments and escapes");

  // A table or procedure that is not offered.
  auto missing = Get("/admin.asp?a=p&t=Payroll", cookie_);
  EXPECT_HAS(missing->body, "The table Payroll is not offered");
  auto procedure = Get(
      "/admin.asp?a=p&sp=" + Server::URLEncode(designer::EncodeDefinition("xp_cmdshell=cmd||200")),
      cookie_);
  EXPECT_HAS(procedure->body, "The procedure xp_cmdshell is not offered");
  auto forged_finish = Step(
      first->body, {{"isproc", "1"}, {"tables", "xp_cmdshell"}, {"fields", "x"}, {"src", "-6"}}, 0);
  EXPECT_HAS(forged_finish->body, "The procedure xp_cmdshell is not offered");

  // A hidden table swapped for one not offered is refused at Finish.
  const std::string swapped_body =
      Step(FieldsPosted(), {{"tables", "Orders,sqlite_master"}}, 0)->body;
  EXPECT_HAS(swapped_body, "The table sqlite_master is not offered");
  EXPECT_LACKS(FileText(), "<report ");

  // No token, a token of another session, and a forged one.
  Fields no_token = HiddenFields(first->body);
  Set(no_token, "tk", "");
  auto refused = Post("/admin.asp", no_token, cookie_);
  EXPECT_EQ(refused->status, 403);
  EXPECT_HAS(refused->body, "This builder window has expired");
  EXPECT_EQ(Post("/admin.asp", HiddenFields(first->body), NewSession("/admin.asp"))->status, 403);
  Set(no_token, "tk", "AAAA");
  EXPECT_EQ(Post("/admin.asp", no_token, cookie_)->status, 403);

  // A user without the permission, at the first call and at every post.
  auto reader = Get("/reader.asp?a=p&t=Orders", cookie_);
  EXPECT_EQ(reader->status, 403);
  EXPECT_HAS(reader->body, "You are not allowed to add reports.");
  EXPECT_EQ(Step(first->body, {}, 0, "/reader.asp")->status, 403);
  EXPECT_LACKS(FileText(), "<report ");
}

TEST_F(ReportBuilderHttpTest, IdsAndGroupsInHiddenFieldsOverwriteNothing) {
  // Report SALES in group HR, saved through the builder.
  auto sales_saved =
      Step(FieldsPosted(), {{"rid", "SALES"}, {"rgroup", "HR"}, {"rtitle", "Sales"}}, 0);
  ASSERT_EQ(SavedId(sales_saved->body), "SALES");
  const std::string sales = FileText();

  // A new report posting the existing id.
  EXPECT_HAS(Step(FieldsPosted(), {{"rid", "sales"}}, 0)->body,
             "Could not save report: A report with the id SALES exists already");
  // Without CanEditReportId the posted id is not used at all.
  const std::string fresh =
      SavedId(Step(FieldsPosted("/fixed.asp"), {{"rid", "SALES"}}, 0, "/fixed.asp")->body);
  EXPECT_FALSE(fresh.empty());
  EXPECT_NE(fresh, "SALES");
  EXPECT_EQ(Stored("SALES").rtitle, "Sales");

  // Editing the fresh report: its id or group cannot be changed there.
  auto edit =
      Get("/fixed.asp?a=p&erid=" + Server::URLEncode(designer::EncodeDefinition(fresh)), cookie_);
  ASSERT_EQ(edit->status, 200) << edit->body;
  Fields moved = HiddenFields(edit->body);
  moved.emplace_back("fields", "Orders.Amount");  // page 1 posts its boxes
  Set(moved, "rid", "SALES");
  Set(moved, "index", "0");
  const std::string moved_body = Post("/fixed.asp", moved, cookie_)->body;
  EXPECT_HAS(moved_body, "The report id cannot be changed");
  Set(moved, "rid", fresh);
  Set(moved, "rgroup", "HR");
  EXPECT_HAS(Post("/fixed.asp", moved, cookie_)->body, "The report group cannot be changed");
  // The ticket of one report does not edit another.
  auto edit_sales =
      Get("/admin.asp?a=p&erid=" + Server::URLEncode(designer::EncodeDefinition("SALES")), cookie_);
  Fields swapped = HiddenFields(edit_sales->body);
  swapped.emplace_back("fields", "Orders.Amount");
  Set(swapped, "tk", Value(HiddenFields(edit->body), "tk"));
  Set(swapped, "index", "0");
  // Its group (HR) differs from the ticket's first, then its id.
  EXPECT_HAS(Post("/fixed.asp", swapped, cookie_)->body, "The report group cannot be changed");
  Set(swapped, "rgroup", "");
  EXPECT_HAS(Post("/fixed.asp", swapped, cookie_)->body, "The report id cannot be changed");
  EXPECT_EQ(Stored("SALES").rtitle, "Sales");
  EXPECT_EQ(Stored("SALES").rgroup, "HR");
}

TEST_F(ReportBuilderHttpTest, TwoUsersFinishingAtOnceBothFindTheirReports) {
  std::string other_cookie = NewSession("/admin.asp");
  Fields mine = HiddenFields(FieldsPosted());
  Set(mine, "rtitle", "Mine");
  Set(mine, "index", "0");
  std::swap(cookie_, other_cookie);
  Fields theirs = HiddenFields(FieldsPosted());
  Set(theirs, "rtitle", "Theirs");
  Set(theirs, "index", "0");
  std::swap(cookie_, other_cookie);
  std::string mine_id, theirs_id;
  for (int round = 0; round < 3; ++round) {
    std::thread a([&] { mine_id = SavedId(Post("/admin.asp", mine, cookie_)->body); });
    std::thread b([&] { theirs_id = SavedId(Post("/admin.asp", theirs, other_cookie)->body); });
    a.join();
    b.join();
    ASSERT_FALSE(mine_id.empty());
    ASSERT_FALSE(theirs_id.empty());
    EXPECT_NE(mine_id, theirs_id);
    EXPECT_EQ(Stored(mine_id).rtitle, "Mine");
    EXPECT_EQ(Stored(theirs_id).rtitle, "Theirs");
  }
}

// A report over a PostgreSQL function with a parameter: the parameter is
// asked for by the function's own name for it, its value is bound when
// the builder reads the function's columns, and a function the page does
// not offer is refused.
class ReportBuilderPostgresTest : public ReportBuilderHttpTest {};

TEST_F(ReportBuilderPostgresTest, AReportOverAFunctionWithAParameter) {
  const std::string cs = testing::PostgresConnectionString();
  ASSERT_FALSE(cs.empty()) << "No PostgreSQL test server: run the tests with `make test`, which "
                              "starts one (scripts/services/postgres-start.sh)";
  const std::string fn = "fnk_builder_orders_" + std::to_string(::getpid());
  Connection pg;
  pg.Open(cs);
  pg.Execute("CREATE OR REPLACE FUNCTION " + fn +
             "(city_name text) RETURNS TABLE(order_id int, city text, amount numeric) AS $$ "
             "SELECT * FROM (VALUES (1, 'Oslo', 5.5), (2, 'Rome', 7.0)) v(order_id, city, amount) "
             "WHERE v.city = city_name $$ LANGUAGE sql");
  server_->site().Write("pg.asp",
                        "<% var q = Server.CreateObject('Fennick.Quillon2');\n"
                        "q.ReportsFile = 'data/reports.xml';\n"
                        "q.Init('" +
                            cs + "');\n%>");
  auto open = Get(
      "/pg.asp?a=p&sp=" + Server::URLEncode(designer::EncodeDefinition(fn + "|+|Orders by city")),
      cookie_);
  ASSERT_EQ(open->status, 200) << open->body;
  ASSERT_HAS(open->body, "</b> - enter the parameter values");
  EXPECT_EQ(Value(HiddenFields(open->body), "p_name1"), "city_name");

  // A value that would break the stored parameter list, then one that
  // would be SQL if it were pasted: bound, it is only a city nobody has.
  auto refused = Step(open->body, {{"p_value1", "Oslo,Rome"}}, -8, "/pg.asp");
  EXPECT_HAS(refused->body, "The value of city_name may not hold");
  auto fields = Step(open->body, {{"p_value1", "x' OR '1'='1"}}, -8, "/pg.asp");
  ASSERT_HAS(fields->body, "Select the fields you want to display");
  EXPECT_HAS(fields->body, "name=fields value=\"amount\"");
  EXPECT_EQ(Value(HiddenFields(fields->body), "params"), "city_name|x' OR '1'='1|200");
  // A parameter the function does not have.
  auto unknown = Step(open->body, {{"p_name1", "other"}, {"p_value1", "Oslo"}}, -8, "/pg.asp");
  EXPECT_HAS(unknown->body, "The procedure has no parameter other");

  auto oslo = Step(open->body, {{"p_value1", "Oslo"}}, -8, "/pg.asp");
  Fields chosen = HiddenFields(oslo->body);
  chosen.emplace_back("fields", "order_id");
  chosen.emplace_back("fields", "amount");
  Set(chosen, "index", "-7");
  auto captions = Post("/pg.asp", chosen, cookie_);
  ASSERT_HAS(captions->body, "Add captions (aliases) to field names");
  // A procedure report has no computed columns.
  EXPECT_LACKS(captions->body, ">SQL expression</option>");
  Fields named = HiddenFields(captions->body);
  named.emplace_back("captions", kHostile);
  named.emplace_back("captions", "Amount");
  named.emplace_back("formats", "");
  named.emplace_back("formats", "N2");
  Set(named, "index", "-6");
  auto details = Post("/pg.asp", named, cookie_);
  ASSERT_HAS(details->body, "Add a title and description");
  EXPECT_LACKS(details->body, "<script>alert");
  EXPECT_LACKS(details->body, "Summary report");
  auto done =
      Step(details->body, {{"rtitle", "Orders by city"}, {"rdesc", kHostile}}, 0, "/pg.asp");
  const std::string id = SavedId(done->body);
  ASSERT_FALSE(id.empty()) << done->body;
  designer::ReportDefinition saved = Stored(id);
  EXPECT_EQ(saved.isproc, 1);
  EXPECT_EQ(saved.tables, fn);
  EXPECT_EQ(saved.params, "city_name|Oslo|200");
  EXPECT_EQ(saved.fields, "order_id, amount");
  EXPECT_EQ(saved.rtitle, "Orders by city");
  EXPECT_EQ(designer::SchemaValue(saved.schema, "order_id", "c", ""),
            "O'Hara \"x\" _Q_ a,b, c <script>alert(1)</script>");
  EXPECT_EQ(designer::SchemaValue(saved.schema, "amount", "f", ""), "N2");

  // A database function the page does not offer.
  auto system =
      Get("/pg.asp?a=p&sp=" + Server::URLEncode(designer::EncodeDefinition("pg_sleep")), cookie_);
  EXPECT_HAS(system->body, "The procedure pg_sleep is not offered");
  pg.Execute("DROP FUNCTION " + fn + "(text)");
}

// A summary report through its own pages (summary types, aggregate
// captions) with hostile captions, posted under names in other letter
// cases: "agCaps" and "AGCAPS" are one field.
TEST_F(ReportBuilderHttpTest, SummaryReportCaptionsAndNamesInAnyCase) {
  auto page5 = Step(FieldsPosted(), {{"src", "4"}, {"RTITLE", "Totals"}, {"GrpBy", "1"}}, 5);
  ASSERT_HAS(page5->body, "Select summary types");
  // Text fields are offered no aggregate; Orders.Amount is.
  EXPECT_HAS(page5->body, "name=sum value=\"Orders.Amount\"");
  EXPECT_LACKS(page5->body, "name=sum value=\"Customers.Name\"");
  Fields summary = HiddenFields(page5->body);
  summary.emplace_back("SUM", "Orders.Amount");
  summary.emplace_back("sum", "Customers.Name");  // a text field is dropped
  Set(summary, "Count", "1");
  Set(summary, "index", "13");
  auto page13 = Post("/admin.asp", summary, cookie_);
  ASSERT_HAS(page13->body, "Select the fields to add footers");
  EXPECT_EQ(Value(HiddenFields(page13->body), "sum"), "Orders.Amount");
  EXPECT_HAS(page13->body, "name=\"txtAgCapsSUM_1\" value=\"Amount\"");
  auto page6 = Step(page13->body,
                    {{"TXTAGCAPSSUM_1", kHostile},
                     {"txtagcapsCOUNT_1", "Orders & more = 1"},
                     {"chkNfTotal", "SUM_1"}},
                    6);
  ASSERT_HAS(page6->body, "Re-Order your table fields");
  // "&" and "=" delimit the captions, so they are not kept as such.
  EXPECT_EQ(Value(HiddenFields(page6->body), "agcaps"),
            std::string("&COUNT_1=Orders + more - 1&SUM_1=") + kHostile);
  EXPECT_LACKS(page6->body, "<script>alert");
  const std::string id =
      SavedId(Step(page6->body, {{"AgCaps", Value(HiddenFields(page6->body), "agcaps")}}, 0)->body);
  ASSERT_FALSE(id.empty());
  designer::ReportDefinition saved = Stored(id);
  EXPECT_EQ(saved.grpby, 1);
  EXPECT_EQ(saved.count, 1);
  EXPECT_EQ(saved.sum, "Orders.Amount");
  EXPECT_EQ(saved.nftotal, "SUM_1");
  EXPECT_EQ(saved.agcaps,
            "&COUNT_1=Orders + more - 1&SUM_1=O'Hara \"x\" _Q_ a,b, c <script>alert(1)</script>");
}

// A stored report holding entries the builder refuses (written by hand or
// by an old import) is checked again at Finish: an edit keeps nothing
// unchecked, and the file keeps the report as it was.
TEST_F(ReportBuilderHttpTest, StoredEntriesAreCheckedAgainAtFinish) {
  designer::ReportDefinition stored;
  stored.tables = "Orders,Customers";
  stored.fields = "Orders.Amount";
  stored.filters = "Payroll.Salary__2__1";
  stored.rid = stored.rtitle = "STORED";
  designer::ReportSave save;
  save.id = save.title = "STORED";
  save.args = designer::EncodeDefinition(designer::WriteDefinition(stored));
  std::string error;
  ASSERT_TRUE(designer::ReportsFile(ReportsPath()).SaveReport(save, &error)) << error;

  auto edit = Get("/admin.asp?a=p&erid=" + Server::URLEncode(designer::EncodeDefinition("STORED")),
                  cookie_);
  ASSERT_EQ(edit->status, 200) << edit->body;
  Fields state = HiddenFields(edit->body);
  state.emplace_back("fields", "Orders.Amount");
  Set(state, "rtitle", "Edited");
  Set(state, "index", "0");
  auto finish = Post("/admin.asp", state, cookie_);
  EXPECT_EQ(finish->status, 422);
  EXPECT_HAS(finish->body,
             "Could not save report: The filter Payroll.Salary__2__1: the field "
             "Payroll.Salary does not exist");
  EXPECT_EQ(Stored("STORED").rtitle, "STORED");
}

// The filter step's list of a field's values: only the report's own
// fields, read through the table's hidden filters.
TEST_F(ReportBuilderHttpTest, DistinctValuesKeepHiddenFiltersAndOwnFields) {
  auto first = Get("/filtered.asp?a=p&t=Customers", cookie_);
  Fields fields = HiddenFields(first->body);
  fields.emplace_back("fields", "Name");
  Set(fields, "index", "2");
  const std::string page3 =
      Step(Post("/filtered.asp", fields, cookie_)->body, {}, 3, "/filtered.asp")->body;
  auto list = Step(page3, {{"distsrchtxt", "1"}, {"no_add_search", "1"}, {"search_field", "Name"}},
                   3, "/filtered.asp");
  EXPECT_HAS(list->body, "<option value=\"Ann\">");
  EXPECT_LACKS(list->body, "Bob") << "outside the hidden filter";
  auto other =
      Step(page3, {{"distsrchtxt", "1"}, {"no_add_search", "1"}, {"search_field", "Orders.Note"}},
           3, "/filtered.asp");
  EXPECT_HAS(other->body, "The field Orders.Note is not one of the report");
  EXPECT_LACKS(other->body, "<option value=\"a\">");
}

// A save the disk refuses answers 507 and names no server path.
TEST_F(ReportBuilderHttpTest, FailedSaveShowsNoServerPath) {
  Fields state = HiddenFields(FieldsPosted());
  Set(state, "index", "0");
  designer::FailWritesForTesting(ENOSPC);
  auto full = Post("/admin.asp", state, cookie_);
  designer::FailWritesForTesting(0);
  EXPECT_EQ(full->status, 507);
  EXPECT_HAS(full->body, "Could not save report: Cannot write the file: No space left on device");
  EXPECT_LACKS(full->body, server_->site().root().string());
  EXPECT_LACKS(full->body, ".reports.xml.");
  EXPECT_EQ(SavedId(Post("/admin.asp", state, cookie_)->body).empty(), false);
}

// UseFields: the builder offers and accepts only those fields.
TEST_F(ReportBuilderHttpTest, UseFieldsLimitsTheFieldsOffered) {
  auto first = Get("/narrow.asp?a=p&t=Orders,Customers", cookie_);
  ASSERT_EQ(first->status, 200) << first->body;
  EXPECT_HAS(first->body, "name=fields value=\"Orders.Amount\"");
  EXPECT_HAS(first->body, "name=fields value=\"Customers.Name\"");
  EXPECT_LACKS(first->body, "name=fields value=\"Orders.Note\"");
  Fields fields = HiddenFields(first->body);
  fields.emplace_back("fields", "Orders.Note");
  Set(fields, "index", "0");
  EXPECT_HAS(Post("/narrow.asp", fields, cookie_)->body,
             "Fields: the field Orders.Note does not exist in the report's tables");
}

}  // namespace
}  // namespace fennick
