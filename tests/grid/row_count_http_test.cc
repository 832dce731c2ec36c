// The row count a grid's form carries, over real HTTP: reused while nothing
// it depends on changed, taken again when something did, corrected in the
// same request when the page contradicts it, and refused like any sealed
// value when moved to another grid, database or session.
#include <gtest/gtest.h>

#include <memory>
#include <regex>
#include <string>
#include <vector>

#include "grid/export_page.h"
#include "platform/crypto/seal.h"

namespace fennick::testing {
namespace {

class RowCountHttpTest : public ExportPageTest {
 protected:
  void SetUp() override {
    ExportPageTest::SetUp();
    for (const char* db : {"items.db", "copy.db"}) {
      Connection c;
      c.Open(Cs(db) + ";Mode=ReadWriteCreate");
      c.Execute("CREATE TABLE Items (Id INTEGER PRIMARY KEY, Name VARCHAR(20))");
      c.Execute(
          "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 25) "
          "INSERT INTO Items SELECT i, 'item ' || i FROM n");
    }
    // Grids of ten rows a page. a: the grid; b: another command; c: another
    // database; s: a page that keeps a session before its grid; life:
    // RowCountLifetime 0; switch: a command chosen by the query string.
    const std::string items = "SELECT Id, Name FROM Items", ten = "g.PageSize = 10;\n";
    WriteGridPage("a.asp", Cs("items.db"), items, ten);
    WriteGridPage("b.asp", Cs("items.db"), items + " WHERE Id > 0", ten);
    WriteGridPage("c.asp", Cs("copy.db"), items, ten);
    WriteGridPage("s.asp", Cs("items.db"), items, ten + "Session('user') = 'u';");
    WriteGridPage("life.asp", Cs("items.db"), items,
                  ten + "g.RowCountLifetime = 0; g.DefaultSortOrder = 'Name';");
    WriteGridPage("switch.asp", Cs("items.db"), items,
                  ten + "if (Request.QueryString('w') == '1') g.Command = 'SELECT Id, Name FROM "
                        "Items WHERE Id > 5';");
  }

  std::string Cs(const std::string& db) {
    return "Provider=SQLite;Data Source=" + (server_->site().root() / db).string();
  }

  void Sql(const std::string& sql) {
    Connection c;
    c.Open(Cs("items.db"));
    c.Execute(sql);
  }

  // The hidden fields of a page, as its form posts them.
  static httplib::Params Form(const std::string& html) {
    static const std::regex kHidden("<input type=hidden name=([^ >]+) value=\"([^\"]*)\">");
    httplib::Params form;
    for (std::sregex_iterator it(html.begin(), html.end(), kHidden), end; it != end; ++it) {
      form.emplace((*it)[1], (*it)[2]);
    }
    return form;
  }

  static std::string Field(const httplib::Params& form, const std::string& name) {
    auto it = form.find(name);
    return it == form.end() ? std::string() : it->second;
  }

  static httplib::Params With(httplib::Params form, const std::string& name,
                              const std::string& value) {
    form.erase(name);
    form.emplace(name, value);
    return form;
  }

  // Posts `form` to `page` with the postback `argument` and the session
  // `cookie` ("" for none); the body, or "HTTP <status>" when not 200.
  std::string Post(const std::string& page, const httplib::Params& form,
                   const std::string& argument, const std::string& cookie = "") {
    httplib::Headers headers;
    if (!cookie.empty()) headers.emplace("Cookie", cookie);
    auto res = Client().Post("/" + page, headers,
                                      With(form, "__FARGS", EncodeArgument(argument)));
    if (!res) return "no answer";
    return res->status == 200 ? res->body : "HTTP " + std::to_string(res->status) + " " + res->body;
  }

  // The page's first request; `cookie` gets the session cookie it set.
  std::string Get(const std::string& page, std::string* cookie = nullptr) {
    auto res = Client().Get("/" + page);
    if (!res || res->status != 200) return "failed";
    const std::string set = res->get_header_value("Set-Cookie");
    if (cookie) *cookie = set.substr(0, set.find(';'));
    return res->body;
  }

  // The page counter: "Page 2 of 3 (25 recs)".
  static std::string Counter(const std::string& html) {
    static const std::regex kCounter("Page \\d+ of \\d+ \\(\\d+ recs\\)");
    std::smatch m;
    return std::regex_search(html, m, kCounter) ? m.str() : html.substr(0, 200);
  }

  static std::string WithoutCount(const std::string& html) {
    static const std::regex kField("<input type=hidden name=rowcount value=\"[^\"]*\">");
    return std::regex_replace(html, kField, "");
  }

};

// One user's clicks after rows changed under the grid: a page click and a
// sort reuse the count (the rows shown are read afresh); Reload, another
// filter, and a page whose RowCountLifetime is 0 count again.
TEST_F(RowCountHttpTest, TheCarriedCountStandsUntilItCanHaveChanged) {
  const std::string first = Get("a.asp");
  ASSERT_EQ(Counter(first), "Page 1 of 3 (25 recs)");
  const httplib::Params form = Form(first);
  ASSERT_FALSE(Field(form, "rowcount").empty());
  Sql("DELETE FROM Items WHERE Id <= 3");

  const std::string second = Post("a.asp", form, "2start:11;");
  EXPECT_EQ(Counter(second), "Page 2 of 3 (25 recs)");  // reused
  EXPECT_THAT(second, HasSubstr("item 14"));  // the rows as they are now
  EXPECT_EQ(Counter(Post("a.asp", form, "1sort:2;lastsort:;")), "Page 1 of 3 (25 recs)");

  const httplib::Params after = Form(second);
  EXPECT_EQ(Counter(Post("a.asp", after, "2start:" + Field(after, "start") + ";")),
            "Page 2 of 3 (22 recs)");  // Reload
  // The popup filter window writes the filter field itself.
  EXPECT_EQ(Counter(Post("a.asp", With(after, "rsfilter", "[Id] > 20"), "2start:1;")),
            "Page 1 of 1 (5 recs)");
  EXPECT_EQ(Counter(Post("life.asp", Form(Get("life.asp")), "2start:11;")),
            "Page 2 of 3 (22 recs)");
}

// A count older than RowCountLifetime (30 s by default) is taken again; a
// younger one is shown as it was sealed.
TEST_F(RowCountHttpTest, AnOldCountCountsAgain) {
  const httplib::Params form = Form(Get("a.asp"));
  // The page's own token, sealed again with another count and time.
  std::vector<std::string> parts =
      OpenSealedParts(SealPurpose::kRowCount, Field(form, "rowcount"), 7).value();
  const int64_t counted_at = std::stoll(parts[1]);
  auto sealed_at = [&](int64_t at) {
    const std::string time = std::to_string(at);
    return With(form, "rowcount",
                SealParts(SealPurpose::kRowCount,
                          {"999", time, parts[2], parts[3], parts[4], parts[5], parts[6]}));
  };
  EXPECT_EQ(Counter(Post("a.asp", sealed_at(counted_at - 5), "2start:11;")),
            "Page 2 of 100 (999 recs)");
  EXPECT_EQ(Counter(Post("a.asp", sealed_at(counted_at - 31), "2start:11;")),
            "Page 2 of 3 (25 recs)");
}

// Rows deleted or added between two clicks: the last page of the carried
// count contradicts it, and the same request counts again and shows what a
// fresh count shows.
TEST_F(RowCountHttpTest, APageThatContradictsTheCountCorrectsItAtOnce) {
  const httplib::Params form = Form(Get("a.asp"));
  Sql("DELETE FROM Items WHERE Id > 15");
  const std::string shown = Post("a.asp", form, "2start:21;");
  EXPECT_EQ(Counter(shown), "Page 2 of 2 (15 recs)");
  EXPECT_FALSE(Field(Form(shown), "rowcount").empty());  // still read as one page
  EXPECT_EQ(WithoutCount(shown), WithoutCount(Post("a.asp", With(form, "rowcount", ""), "2start:21;")));

  const httplib::Params now = Form(Get("a.asp"));
  Sql("INSERT INTO Items VALUES (30, 'item 30'), (31, 'item 31'), (32, 'item 32')");
  const std::string grown = Post("a.asp", now, "2start:11;");
  EXPECT_EQ(Counter(grown), "Page 2 of 2 (18 recs)");
  EXPECT_THAT(grown, HasSubstr("item 32"));
  EXPECT_FALSE(Field(Form(grown), "rowcount").empty());
}

// A count moved to another page or session is refused like any sealed
// field that does not open as its own; on its own page, a count made for
// another command is taken again.
TEST_F(RowCountHttpTest, AMovedCountIsRefused) {
  const httplib::Params a = Form(Get("a.asp"));
  std::string cookie, other_cookie;
  const httplib::Params s = Form(Get("s.asp", &cookie));
  Get("s.asp", &other_cookie);
  ASSERT_FALSE(cookie.empty());
  ASSERT_NE(cookie, other_cookie);
  std::string forged = Field(a, "rowcount");
  forged[forged.size() / 2] = forged[forged.size() / 2] == 'A' ? 'B' : 'A';
  const std::string refused = "HTTP 400 The form is not valid.";
  struct Case {
    const char* what;
    std::string page;
    httplib::Params form;
    std::string cookie;
  } cases[] = {
      {"another page and command", "b.asp", a, ""},
      {"another page and database", "c.asp", a, ""},
      {"another session", "s.asp", s, other_cookie},
      {"no session", "s.asp", s, ""},
      {"forged", "a.asp", With(a, "rowcount", forged), ""},
      {"another field's token", "a.asp", With(a, "rowcount", Field(Form(Get("life.asp")), "sortdef")), ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Post(c.page, c.form, "2start:11;", c.cookie).substr(0, refused.size()), refused)
        << c.what;
  }
  EXPECT_EQ(Counter(Post("switch.asp?w=1", Form(Get("switch.asp")), "2start:11;")),
            "Page 2 of 2 (20 recs)");
  // In their own places they are good; a count made outside any session
  // serves every session of its grid.
  EXPECT_EQ(Counter(Post("s.asp", s, "2start:11;", cookie)), "Page 2 of 3 (25 recs)");
  EXPECT_EQ(Counter(Post("a.asp", a, "2start:11;", other_cookie)), "Page 2 of 3 (25 recs)");
}

}  // namespace
}  // namespace fennick::testing
