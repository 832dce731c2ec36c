// The designer's schedules page over a real server and script page.
#include <gtest/gtest.h>

#include <regex>

#include "delivery/schedules_file.h"
#include "designer/report_definition.h"
#include "designer/reports_file.h"
#include "fennick/data.h"
#include "fennick/registry.h"
#include "fennick/script_pages.h"
#include "support/fold-designer_site.h"
#include "support/fold-designer_text.h"

namespace fennick::delivery {
namespace {

const char kDesignerPage[] =
    "<% if (Request.QueryString('as') != '') Session.Set('UserId', Request.QueryString('as'));\n"
    "var q = Server.CreateObject('Fennick.Quillon2');\n"
    "q.ReportsFile = 'data/reports.xml';\n"
    "q.HiddenSqlFilter = \"OwnerId='@USERID'\";\n"
    "if (Request.QueryString('off') == '') q.CanScheduleReports = true;\n"
    "q.Init('Provider=SQLite;Data Source=' + Server.MapPath('data/shop.db'));\n"
    "q.DisplayReports(); %>";

class SchedulePageTest : public test_support::DesignerSiteTest {
 protected:
  void SetUp() override {
    MakeSite("schedule page tests");
    server_->site().Write("q.asp", kDesignerPage);
    Connection db;
    db.Open("Provider=SQLite;Mode=ReadWriteCreate;Data Source=" + (Data() / "shop.db").string());
    db.Execute("CREATE TABLE Orders (OrderId INTEGER, Customer VARCHAR(40), OwnerId INTEGER)");
    db.Close();
    designer::ReportsFile file(ReportsPath());
    ASSERT_TRUE(file.Create().ok());
    designer::ReportSave save;
    save.id = "R-PARAM";
    save.title = "One customer";
    save.args = designer::EncodeDefinition(
        ";tables:Orders;fields:OrderId, Customer;filters:Customer__2__?Name;"
        "rtitle:One customer;pagesize:10;");
    std::string error;
    ASSERT_TRUE(file.SaveReport(save, &error)) << error;
    Start("/q.asp?as=7");
  }

  httplib::Result Post(const httplib::Params& params) {
    return DesignerSiteTest::Post("/q.asp?a=s&rid=R-PARAM", params);
  }
  std::string Token() {
    std::smatch m;
    const std::string body = Get("/q.asp?a=s&rid=R-PARAM")->body;
    return std::regex_search(body, m, std::regex("name=\"tk\" value=\"([^\"]+)\"")) ? m.str(1)
                                                                                    : "";
  }
  std::vector<Schedule> Stored() {
    return SchedulesFile(ReportsPath()).Read().schedules;
  }
};

TEST_F(SchedulePageTest, FormSavesListsPausesAndDeletesUnderTheToken) {
  auto page = Get("/q.asp?a=s&rid=R-PARAM");
  ASSERT_EQ(page->status, 200) << page->body;
  EXPECT_HAS(page->body, "<h2>Schedules of One customer</h2>");
  EXPECT_HAS(page->body, "name=\"p_Name\"");
  const std::string token = Token();
  ASSERT_FALSE(token.empty());

  httplib::Params form = {{"tk", token},        {"op", "save"},     {"sid", ""},
                          {"to", "a@example.com; b@example.com"},   {"kind", "weekly"},
                          {"d1", "on"},         {"d5", "on"},       {"time", "07:30"},
                          {"zone", "Europe/Paris"}, {"format", "csv"}, {"p_Name", "Alpha"},
                          {"rows", "on"},       {"subject", "Alpha's orders"},
                          {"message", "Hello"}};
  auto saved = Post(form);
  ASSERT_EQ(saved->status, 302) << saved->body;
  ASSERT_EQ(Stored().size(), 1u);
  Schedule s = Stored()[0];
  EXPECT_EQ(s.recipients, (std::vector<std::string>{"a@example.com", "b@example.com"}));
  EXPECT_EQ(TimingText(s.timing) + " " + s.timing.time_zone, "weekly mon,fri 07:30 Europe/Paris");
  EXPECT_EQ(s.parameters, (NamedValues{{"Name", "Alpha"}}));
  // The hidden filter's token is recorded with this session's value.
  EXPECT_EQ(s.session_values, (NamedValues{{"UserId", "7"}}));
  EXPECT_EQ(s.context.hidden_sql_filter, "OwnerId='@USERID'");
  EXPECT_HAS(s.context.connection_string, "shop.db");
  EXPECT_TRUE(s.only_with_rows);
  EXPECT_HAS(Get("/q.asp?a=s&rid=R-PARAM")->body, "weekly mon,fri 07:30 Europe/Paris");

  // Refused: a header injection (shown, nothing saved), a forged token.
  form.erase("to");
  form.emplace("to", "c@example.com\r\nBcc: x@evil.example");
  auto refused = Post(form);
  EXPECT_EQ(refused->status, 400);
  EXPECT_HAS(refused->body, "Not a mail address");
  EXPECT_EQ(Stored().size(), 1u);
  EXPECT_EQ(Post({{"tk", "forged"}, {"op", "delete"}, {"sid", s.id}})->status, 403);
  EXPECT_EQ(Stored().size(), 1u);

  ASSERT_EQ(Post({{"tk", token}, {"op", "pause"}, {"sid", s.id}})->status, 302);
  EXPECT_TRUE(Stored()[0].paused);
  ASSERT_EQ(Post({{"tk", token}, {"op", "delete"}, {"sid", s.id}})->status, 302);
  EXPECT_TRUE(Stored().empty());
}

TEST_F(SchedulePageTest, OnlyWithCanScheduleReports) {
  const std::string link = "?a=s&amp;rid=R-PARAM";
  EXPECT_HAS(Get("/q.asp?rid=R-PARAM&n_Name=Alpha")->body, link);
  EXPECT_LACKS(Get("/q.asp?rid=R-PARAM&n_Name=Alpha&off=1")->body, link);
  EXPECT_EQ(Get("/q.asp?a=s&rid=R-PARAM&off=1")->status, 403);
}

}  // namespace
}  // namespace fennick::delivery
