// Quillon2 over real HTTP: the catalogue, the group actions with their
// permission and token refusals, hostile titles and languages, import.
#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <sstream>

#include "designer/reports_file.h"
#include "fennick/registry.h"
#include "fennick/script_pages.h"
#include "support/fold-designer_site.h"
#include "support/fold-designer_text.h"

namespace fennick {
namespace {

const char kAdminPage[] =
    "<% var q = Server.CreateObject('Fennick.Quillon2');\n"
    "q.ReportsFile = 'data\\\\reports.xml';\n"
    "q.LocaleFolder = 'data';\n"
    "q.Init('Provider=SQLite;Data Source=x.db');\n"
    "q.DisplayReports(); %>";

// No administration at all: every action must be refused on the server.
const char kReaderPage[] =
    "<% var q = Server.CreateObject('Fennick.Quillon2');\n"
    "q.ReportsFile = 'data/reports.xml';\n"
    "q.IsAdmin = false;\n"
    "q.Init('');\n"
    "q.DisplayReports(); %>";

// May add and rename groups, but not delete anything.
const char kEditorPage[] =
    "<% var q = Server.CreateObject('Fennick.Quillon2');\n"
    "q.ReportsFile = 'data/reports.xml';\n"
    "q.CanDelete = false;\n"
    "q.Init('');\n"
    "q.DisplayReports(); %>";

class Quillon2HttpTest : public test_support::DesignerSiteTest {
 protected:
  void SetUp() override {
    MakeSite("designer http tests");
    server_->site().Write("admin.asp", kAdminPage);
    server_->site().Write("reader.asp", kReaderPage);
    server_->site().Write("editor.asp", kEditorPage);
    Start("/admin.asp");  // one browser session for the whole test
  }

  std::vector<designer::GroupEntry> Groups() const {
    return designer::ReportsFile(ReportsPath()).Groups();
  }

  // The token of the group entry form of the admin page ("g"), and the one
  // its delete button sets ("d2") for an existing group.
  std::string FormToken() {
    auto res = Get("/admin.asp?a=n");
    std::smatch m;
    std::regex re("name=tk value=\"([A-Za-z0-9_-]+)\"");
    if (!res || !std::regex_search(res->body, m, re)) return "";
    return m[1];
  }
  std::string DeleteGroupToken(const std::string& id) {
    auto res = Get("/admin.asp?a=n&gi=" + id + "&gn=x");
    std::smatch m;
    std::regex re("this\\.form\\.tk\\.value='([A-Za-z0-9_-]+)'");
    if (!res || !std::regex_search(res->body, m, re)) return "";
    return m[1];
  }

};

TEST_F(Quillon2HttpTest, GroupsAreAddedRenamedAndDeleted) {
  auto catalogue = Get("/admin.asp");
  ASSERT_TRUE(catalogue);
  EXPECT_HAS_ALL(catalogue->body,
                 {"General Reports", "<title>Quillon</title>",
                  "href=\"/admin.asp?a=n\" title=\"Add a new group\">New Group</a>"});

  const std::string token = FormToken();
  ASSERT_FALSE(token.empty());
  auto added = Get("/admin.asp?a=g&gi=hr&gn=People&tk=" + token);
  ASSERT_TRUE(added);
  EXPECT_EQ(added->status, 302);
  EXPECT_EQ(added->get_header_value("Location"), "/admin.asp");
  ASSERT_EQ(Groups().size(), 2u);
  EXPECT_EQ(Groups()[1].id, "HR");

  auto renamed = Get("/admin.asp?a=g&gi=HR&gn=Human%20resources&tk=" + token);
  EXPECT_EQ(renamed->status, 302);
  EXPECT_EQ(Groups()[1].title, "Human resources");
  catalogue = Get("/admin.asp");
  EXPECT_HAS(catalogue->body, ">Human resources</a>");

  const std::string d2 = DeleteGroupToken("HR");
  ASSERT_FALSE(d2.empty());
  auto deleted = Get("/admin.asp?a=d2&gi=hr&tk=" + d2);
  EXPECT_EQ(deleted->status, 302);
  EXPECT_EQ(Groups().size(), 1u);
  auto again = Get("/admin.asp?a=d2&gi=hr&tk=" + d2);
  EXPECT_HAS(again->body, "Group Not Found");
}

TEST_F(Quillon2HttpTest, ActionsWithoutPermissionOrTokenChangeNothing) {
  const std::string g = FormToken();
  ASSERT_EQ(Get("/admin.asp?a=g&gi=HR&gn=People&tk=" + g)->status, 302);
  const std::string d2 = DeleteGroupToken("HR");
  const std::string before = FileText();

  // Without a token, with a token of another action, of another session,
  // or a tampered one.
  const std::string other_cookie = NewSession("/admin.asp");
  std::string tampered = d2;
  tampered[5] = tampered[5] == 'A' ? 'B' : 'A';
  struct Attempt {
    std::string url;
    std::string cookie;
  } attempts[] = {
      {"/admin.asp?a=d2&gi=HR", cookie_},
      {"/admin.asp?a=d2&gi=HR&tk=" + g, cookie_},
      {"/admin.asp?a=d2&gi=HR&tk=" + d2, other_cookie},
      {"/admin.asp?a=d2&gi=HR&tk=" + tampered, cookie_},
      {"/admin.asp?a=g&gi=HR&gn=Hacked", cookie_},
      {"/admin.asp?a=g&gi=NEW&gn=x&tk=" + d2, cookie_},
      {"/admin.asp?a=c", cookie_},
      {"/admin.asp?a=d&id=R1", cookie_},
  };
  for (const Attempt& attempt : attempts) {
    auto res = Get(attempt.url, attempt.cookie);
    ASSERT_TRUE(res) << attempt.url;
    EXPECT_EQ(res->status, 403) << attempt.url;
    EXPECT_HAS(res->body, "Access Denied") << attempt.url;
  }
  EXPECT_EQ(FileText(), before);

  // Valid tokens of this session, on pages that do not grant the action.
  for (const std::string& url :
       {"/reader.asp?a=d2&gi=HR&tk=" + d2, "/editor.asp?a=d2&gi=HR&tk=" + d2,
        "/reader.asp?a=g&gi=HR&gn=Hacked&tk=" + g, "/reader.asp?a=g&gi=NEW&gn=x&tk=" + g,
        "/reader.asp?a=c&tk=" + g, "/reader.asp?a=d&id=R1&tk=" + g}) {
    auto res = Get(url);
    ASSERT_TRUE(res) << url;
    EXPECT_EQ(res->status, 403) << url;
  }
  EXPECT_EQ(FileText(), before);

  // The editor sees no delete links and no delete button.
  auto catalogue = Get("/editor.asp");
  EXPECT_LACKS(catalogue->body, "a=d");
  auto entry = Get("/editor.asp?a=n&gi=HR&gn=People");
  EXPECT_LACKS(entry->body, "Delete Group");
  EXPECT_HAS(entry->body, "name=gn");
  // The reader cannot even edit: the entry page shows boxes.
  entry = Get("/reader.asp?a=n&gi=HR&gn=People");
  EXPECT_LACKS(entry->body, "name=gn");
  EXPECT_HAS(entry->body, "value=\"Return\"");
}

TEST_F(Quillon2HttpTest, HostileTitlesIdsAndLanguagesAreEncoded) {
  const std::string g = FormToken();
  // A title with markup and quotes is stored as text and shown encoded.
  auto res = Get("/admin.asp?a=g&gi=X1&gn=%3Cscript%3Ealert(1)%3C%2Fscript%3E%22%27&tk=" + g);
  EXPECT_EQ(res->status, 302);
  auto catalogue = Get("/admin.asp");
  EXPECT_LACKS(catalogue->body, "<script>alert(1)");
  EXPECT_HAS(catalogue->body, "&lt;script&gt;alert(1)&lt;/script&gt;");
  // A new group id with markup is refused.
  res = Get("/admin.asp?a=g&gi=%3Cb%3E&gn=x&tk=" + g);
  EXPECT_HAS(res->body, "A group id may hold only letters");
  EXPECT_LACKS(res->body, "<b>&");
  EXPECT_EQ(Groups().size(), 2u);

  // A stored report with a hostile id and title: links encode the id,
  // titles are text, the definition (and its password) is not on the page.
  designer::ReportSave report;
  report.id = "A&B\"<x>";
  report.title = "<img src=x onerror=alert(1)>";
  report.args = "O3JwZDpzM2NyM3Q7";  // ";rpwd:s3cr3t;"
  report.description = "desc";
  std::string error;
  ASSERT_TRUE(designer::ReportsFile(ReportsPath()).SaveReport(report, &error)) << error;
  catalogue = Get("/admin.asp");
  EXPECT_HAS(catalogue->body, "?rid=A%26B%22%3CX%3E");
  EXPECT_LACKS_ALL(catalogue->body, {"<img", "O3JwZDpzM2NyM3Q7", "s3cr3t"});

  // Hostile languages: the page is served, no file is created from them.
  const std::vector<std::string> languages = {"../../etc/passwd", "fr/../../x", "<script>",
                                              "xx-YY", std::string(5000, 'a')};
  for (const std::string& language : languages) {
    httplib::Headers headers = {{"Cookie", cookie_}, {"Accept-Language", language}};
    auto page = server_->Client().Get("/admin.asp", headers);
    ASSERT_TRUE(page);
    EXPECT_EQ(page->status, 200);
  }
  for (const auto& entry : std::filesystem::directory_iterator(server_->site().root() / "data")) {
    const std::string name = entry.path().filename().string();
    EXPECT_TRUE(name == "reports.xml" || name == "reports.xml.lock" || name == "locale.xml" ||
                name == "locale.xml.lock" || name == "fennick.key")
        << name;
  }
}

TEST_F(Quillon2HttpTest, LocaleFileNamesTheCatalogueTexts) {
  server_->site().Write("data/locale_fr.xml",
                        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!-- français -->\n"
                        "<Locale version=\"1.0\"><NewGroupText>Nouveau groupe</NewGroupText>"
                        "<NewGroupTitle>Ajouter un groupe</NewGroupTitle></Locale>");
  httplib::Headers french = {{"Cookie", cookie_}, {"Accept-Language", "fr-CA,fr;q=0.8"}};
  auto page = server_->Client().Get("/admin.asp", french);
  ASSERT_TRUE(page);
  EXPECT_HAS(page->body, "title=\"Ajouter un groupe\">Nouveau groupe</a>");
  auto english = Get("/admin.asp");
  EXPECT_HAS(english->body, ">New Group</a>");
  // The files are not served.
  EXPECT_EQ(Get("/data/locale_fr.xml")->status, 404);
}

TEST_F(Quillon2HttpTest, ImportMergesAndListsSkippedIds) {
  // The form carries the token; the upload needs it.
  auto form = Get("/admin.asp?a=b");
  ASSERT_TRUE(form);
  std::smatch m;
  ASSERT_TRUE(std::regex_search(form->body, m, std::regex("name=tk value=\"([A-Za-z0-9_-]+)\"")));
  const std::string token = m[1];
  // (Reports and their checks: report_display_http_test.cc.)
  const std::string upload =
      "<quillon version=\"2\"><groups><group id=\"\" title=\"General Reports\"/>"
      "<group id=\"FIN\" title=\"Finance\"/></groups><reports/></quillon>";
  httplib::Headers headers = {{"Cookie", cookie_}};
  httplib::MultipartFormDataItems without = {{"path", upload, "r.xml", "text/xml"}};
  auto refused = server_->Client().Post("/admin.asp?a=b", headers, without);
  EXPECT_EQ(refused->status, 403);
  EXPECT_EQ(Groups().size(), 1u);

  httplib::MultipartFormDataItems items = {{"tk", token, "", ""},
                                           {"path", upload, "r.xml", "text/xml"}};
  auto res = server_->Client().Post("/admin.asp?a=b", headers, items);
  ASSERT_TRUE(res);
  EXPECT_HAS(res->body,
             "Reports added: none<br>Groups added: FIN<br>Reports skipped (their "
             "ids exist): none<br>Groups skipped (their ids exist): (default group)");
  EXPECT_EQ(Groups().size(), 2u);
  // The reader page may not import, token or not.
  EXPECT_EQ(server_->Client().Post("/reader.asp?a=b", headers, items)->status, 403);
}

TEST_F(Quillon2HttpTest, CatalogueListsFollowTheirSubstringTests) {
  const char kListsPage[] =
      "<% var q = Server.CreateObject('Fennick.Quillon2');\n"
      "q.ReportsFile = 'data/reports.xml';\n"
      "q.StyleSheet = '';\n"  // the built-in sheet names the classes looked for
      "if (Request.QueryString('use') != '') q.UseReports = String(Request.QueryString('use'));\n"
      "if (Request.QueryString('hide') != '') q.HiddenReports = String(Request.QueryString('hide'));\n"
      "if (Request.QueryString('useid') != '') q.UseReportsWithIDs = String(Request.QueryString('useid'));\n"
      "if (Request.QueryString('nodel') != '') q.CanDeleteReport = false;\n"
      "q.Init('');\n"
      "q.DisplayReports(); %>";
  server_->site().Write("lists.asp", kListsPage);
  // Only the default group: its heading and no report rows.
  auto empty = Get("/lists.asp");
  EXPECT_HAS(empty->body, "General Reports");
  EXPECT_LACKS(empty->body, "report_title");

  designer::ReportsFile file(ReportsPath());
  for (const char* group : {"H", "HR", "MKTG", "FIN"}) {
    ASSERT_TRUE(file.SaveGroup(group, std::string("Group ") + group, true, true).ok());
  }
  std::string error;
  designer::ReportSave report;
  report.group = "HR";
  report.id = "R10";
  report.title = "Head  count";
  report.description = "People per office";
  ASSERT_TRUE(file.SaveReport(report, &error)) << error;
  report.id = "R20";
  report.title = "Attrition";
  report.description = "";
  ASSERT_TRUE(file.SaveReport(report, &error)) << error;

  auto has = [](const std::string& body, const std::string& text) {
    return body.find(text) != std::string::npos;
  };
  // "HR" also lists "H" (a substring test), and always the default group.
  auto use = Get("/lists.asp?use=HR")->body;
  EXPECT_TRUE(has(use, ">Group HR<") && has(use, ">Group H<") && has(use, ">General Reports<"));
  EXPECT_FALSE(has(use, ">Group MKTG<") || has(use, ">Group FIN<"));
  // hr, mktg hides exactly those two.
  auto hide = Get("/lists.asp?hide=hr,%20mktg")->body;
  EXPECT_FALSE(has(hide, ">Group HR<") || has(hide, ">Group MKTG<"));
  EXPECT_TRUE(has(hide, ">Group H<") && has(hide, ">Group FIN<"));
  // Reports in order of title, numbered, spaces normalised; with delete
  // links the description is the tooltip only, without them a row.
  auto all = Get("/lists.asp")->body;
  const size_t attrition = all.find(">Attrition</a>");
  const size_t head = all.find(">Head count</a>");
  ASSERT_NE(attrition, std::string::npos);
  ASSERT_NE(head, std::string::npos);
  EXPECT_LT(attrition, head);
  EXPECT_TRUE(has(all, "title=\"People per office\""));
  EXPECT_FALSE(has(all, "<td class=\"report_desc\">People per office</td>"));
  EXPECT_TRUE(has(all, "title=\"delete this report\""));
  auto nodel = Get("/lists.asp?nodel=1")->body;
  EXPECT_TRUE(has(nodel, "<td class=\"report_desc\">People per office</td>"));
  EXPECT_FALSE(has(nodel, "a=d&amp;"));
  // Only the reports whose id the list contains, as a substring: R100
  // lists R10.
  auto useid = Get("/lists.asp?useid=R100")->body;
  EXPECT_TRUE(has(useid, ">Head count</a>"));
  EXPECT_FALSE(has(useid, ">Attrition</a>"));

  // The list is drawn once and kept, but each session's delete links carry
  // its own token: each deletes for its session.
  const std::string other = Get("/lists.asp", "")->get_header_value("Set-Cookie");
  for (const auto& [id, cookie] : {std::pair<std::string, std::string>{"R10", cookie_},
                                   {"R20", other.substr(0, other.find(';'))}}) {
    std::smatch m;
    const std::string page = Get("/lists.asp", cookie)->body;
    ASSERT_TRUE(std::regex_search(
        page, m,
        std::regex("href=\"(/lists\\.asp\\?a=d&amp;id=" + id + "&amp;tk=[A-Za-z0-9_-]+)\"")));
    const std::string link = std::regex_replace(m[1].str(), std::regex("&amp;"), "&");
    EXPECT_EQ(Get(link, cookie)->status, 302) << link;
  }
  EXPECT_FALSE(has(Get("/lists.asp")->body, "report_title"));
}

TEST_F(Quillon2HttpTest, DamagedFileIsReportedAndOnlyRecreatedOnRequest) {
  const std::string damaged = "<quillon version=\"2\"><groups>";
  server_->site().Write("data/reports.xml", damaged);
  auto page = Get("/admin.asp");
  EXPECT_HAS(page->body, "<b>Reports file not found!</b>");
  EXPECT_EQ(FileText(), damaged);
  std::smatch m;
  ASSERT_TRUE(std::regex_search(page->body, m, std::regex("href=\"(/admin\\.asp\\?a=c&amp;tk=[A-Za-z0-9_-]+)\"")));
  std::string link = m[1];
  link.replace(link.find("&amp;"), 5, "&");
  auto reader = Get("/reader.asp");
  EXPECT_HAS(reader->body, "Please contact your administrator");
  auto created = Get(link);
  EXPECT_EQ(created->status, 302);
  EXPECT_TRUE(designer::ReportsFile(ReportsPath()).Read().ok());
  EXPECT_EQ(Groups().size(), 1u);
}

// A page without a style sheet of its own carries the built-in one, once;
// a sheet the site has, or one elsewhere, is linked; "" writes neither.
TEST_F(Quillon2HttpTest, PagesWithoutAStyleSheetCarryTheBuiltInOne) {
  const std::string builtin = "<style>\n:where(body)";
  const struct {
    const char* setting;
    bool site_has_it;
    std::string expected;
  } cases[] = {
      {"", false, builtin},
      {"", true, "<link type=\"text/css\" rel=\"stylesheet\" href=\"styles.css\">"},
      {"q.StyleSheet = '/css/gone.css';", false, builtin},
      {"q.StyleSheet = 'https://cdn.example/q.css?v=1';", false,
       "href=\"https://cdn.example/q.css?v=1\">"},
      {"q.StyleSheet = '';", false, ""},
  };
  int n = 0;
  for (const auto& c : cases) {
    const std::string page = "styled" + std::to_string(n++) + ".asp";
    server_->site().Write(page,
                          "<% var q = Server.CreateObject('Fennick.Quillon2');\n"
                          "q.ReportsFile = 'data/reports.xml';\n" +
                              std::string(c.setting) + "q.Init('');\nq.DisplayReports(); %>");
    if (c.site_has_it) server_->site().Write("styles.css", "body{color:navy}");
    const std::string body = Get("/" + page)->body;
    std::filesystem::remove(server_->site().root() / "styles.css");
    const size_t style = body.find("<style>");
    EXPECT_EQ(style != std::string::npos, c.expected == builtin) << page;
    EXPECT_EQ(body.find("<style>", style + 1), std::string::npos) << page;
    EXPECT_EQ(body.find("<link") != std::string::npos,
              !c.expected.empty() && c.expected != builtin);
    if (!c.expected.empty()) {
      EXPECT_HAS(body, c.expected);
    }
  }
}

}  // namespace
}  // namespace fennick
