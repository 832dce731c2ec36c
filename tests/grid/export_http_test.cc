// The grid's exports over real HTTP, each case as the page that broke it:
// formats shown as on the screen (and as values in Excel), formula-like
// text kept as text, hidden columns left out, properties set after
// CreateConnection honoured (and a page without Display exporting at its
// end), XML streamed or bounded, file failures that leave no file and say
// why, and CSV nulls and byte order marks; on SQLite and PostgreSQL.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <filesystem>

#include "base/ascii.h"
#include "grid/export_page.h"
#include "platform/xml/xml_document.h"

namespace fennick {
namespace {

using Strings = std::vector<std::string>;

class ExportHttpTest : public testing::ExportPageTest,
                       public ::testing::WithParamInterface<std::string> {
 protected:
  static Strings Texts(const XmlDocument& doc, const std::string& xpath) {
    Strings texts;
    for (XmlNode node : doc.Select(xpath)) texts.push_back(node.Text());
    return texts;
  }
};

TEST_P(ExportHttpTest, DocumentsShowWhatTheScreenShows) {
  WritePage("people.asp", GetParam());
  for (const std::string fast : {"", "fast"}) {
    if (!fast.empty()) WritePage("people.asp", GetParam(), "g.UseFastExport = true;");
    for (const std::string format : {"excel", "doc", "xml", "csv", "text"}) {
      SCOPED_TRACE(fast + format);
      auto res = Export("people.asp", format);
      ASSERT_TRUE(res);
      ASSERT_EQ(res->status, 200) << res->body.substr(0, 300);
      // The name and the command were set after CreateConnection.
      EXPECT_EQ(res->get_header_value("Content-Disposition").find("filename=\"people."), 12u);
      // The hidden column, its caption and its values (TOPSECRET) are left out.
      const std::string lower = AsciiLower(res->body);
      EXPECT_THAT(lower, Not(HasSubstr("secret")));
      if (format == "csv") {
        EXPECT_EQ(lower.rfind("\xEF\xBB\xBF\"id\",\"name\",\"born\",\"stamp\",\"price\",\"share\","
                              "\"note\"\r\n",
                              0),
                  0u);
        EXPECT_THAT(res->body, HasSubstr("\r\n\"2\",,,,,,\"+1+2\"\r\n"));
      }
      if (format == "csv" || format == "text") continue;
      if (format == "xml") {
        XmlParseResult xml = XmlDocument::Parse(res->body);
        ASSERT_TRUE(xml.ok()) << xml.error;
        if (fast.empty()) {
          EXPECT_EQ(Texts(xml.document, "//datarow[1]/datacolumn"),
                    (Strings{"1", "Z\xC3\xBCrich <b>&amp;</b> \"q\"", "5 Mar 2004",
                             "5/3/2004 14:07", "$1,234.50", "25%", "=1+2"}));
        }
        continue;
      }
      XmlDocument html = XmlDocument::ParseHtml(res->body);
      // Formula-like text is marked as text in both documents of both
      // exporters; numbers stay numbers.
      for (int row = 1; row <= 6; ++row) {
        XmlNode note = html.SelectFirst("//tbody/tr[" + std::to_string(row) + "]/td[7]");
        EXPECT_EQ(note.Attribute("style"), "mso-number-format:\"\\@\"") << row;
        EXPECT_EQ(note.Attribute("sdnum"), "1033;0;@") << row;
      }
      EXPECT_EQ(html.SelectFirst("//tbody/tr[1]/td[1]").Attribute("style"), std::nullopt);
      // Dates are values in Excel only.
      const bool excel = format == "excel";
      XmlNode born = html.SelectFirst("//tbody/tr[1]/td[3]");
      EXPECT_EQ(born.Attribute("x:num"),
                excel ? std::optional<std::string>("38051") : std::nullopt);
      if (!fast.empty()) continue;
      EXPECT_EQ(Texts(html, "//tbody/tr[1]/td"),
                (Strings{"1", "Z\xC3\xBCrich <b>&amp;</b> \"q\"", "5 Mar 2004", "5/3/2004 14:07",
                         "$1,234.50", "25%", "=1+2"}));
      EXPECT_EQ(Texts(html, "//tbody/tr[3]/td[5]"), (Strings{"-$5.00"}));
      if (!excel) continue;
      EXPECT_EQ(born.Attribute("style"), "mso-number-format:\"d mmm yyyy\"");
      EXPECT_EQ(html.SelectFirst("//tbody/tr[1]/td[5]").Attribute("sdval"), "1234.5");
      EXPECT_EQ(html.SelectFirst("//tbody/tr[1]/td[6]").Attribute("style"),
                "mso-number-format:\"#,##0%\"");
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Engines, ExportHttpTest, ::testing::Values("SQLite", "PostgreSQL"));

class ExportBoundsTest : public testing::ExportPageTest {};

// A page that never calls Display exports when it has run through; one
// that ends itself or fails first never hands the data out.
TEST_F(ExportBoundsTest, APageWithoutDisplayExportsAtItsEnd) {
  WritePage("quiet.asp", "SQLite", "Response.Write('before');", false);
  WritePage("ended.asp", "SQLite", "Response.Redirect('login.asp');", false);
  WritePage("failed.asp", "SQLite", "throw new Error('not allowed');", false);
  auto res = Export("quiet.asp", "csv");
  ASSERT_TRUE(res);
  EXPECT_EQ(res->body.rfind("\xEF\xBB\xBF\"Id\",", 0), 0u) << res->status << res->body;
  for (const char* page : {"ended.asp", "failed.asp"}) {
    res = Export(page, "csv");
    ASSERT_TRUE(res);
    EXPECT_THAT(res->body, Not(HasSubstr("Z\xC3\xBCrich"))) << page;
    EXPECT_EQ(res->get_header_value("Content-Disposition"), "") << page;
  }
}

// The built-in XML streams in chunks; a page's template is refused past
// its row limit and stopped at the page's time limit.
TEST_F(ExportBoundsTest, XmlStreamsAndTemplatesAreBounded) {
  Connection db;
  db.Open(sqlite_);
  db.Execute(
      "INSERT INTO People SELECT Id + 6 * x, Name, Born, Stamp, Price, Share, Note, "
      "Secret FROM People, (WITH RECURSIVE n(x) AS (SELECT 1 UNION ALL SELECT x + 1 "
      "FROM n WHERE x < 500) SELECT x FROM n)");
  WritePage("big.asp", "SQLite");
  auto res = Export("big.asp", "xml");
  ASSERT_TRUE(res);
  EXPECT_EQ(res->get_header_value("Transfer-Encoding"), "chunked");
  XmlParseResult xml = XmlDocument::Parse(res->body);
  ASSERT_TRUE(xml.ok()) << xml.error;
  EXPECT_EQ(xml.document.Select("//datarow").size(), 3006u);

  const std::string count =
      "<xsl:stylesheet version='1.0' xmlns:xsl='http://www.w3.org/1999/XSL/Transform'>"
      "<xsl:template match='/'><n><xsl:value-of select='count(//tbody/tr)'/></n></xsl:template>"
      "</xsl:stylesheet>";
  WritePage("limited.asp", "SQLite",
            "g.XslExportTemplate = \"" + count + "\"; g.XslExportRowLimit = 2500;");
  res = Export("limited.asp", "xml");
  ASSERT_TRUE(res);
  EXPECT_THAT(res->body, HasSubstr("more than 2500 rows")) << res->body.substr(0, 500);
  // Every row against every row: far past the page's three seconds.
  const std::string slow =
      "<xsl:stylesheet version='1.0' xmlns:xsl='http://www.w3.org/1999/XSL/Transform'>"
      "<xsl:template match='/'><n><xsl:for-each select='//tr'><xsl:value-of "
      "select='count(//td[. = current()/td[1]])'/></xsl:for-each></n></xsl:template>"
      "</xsl:stylesheet>";
  WritePage("slow.asp", "SQLite", "g.XslExportTemplate = \"" + slow + "\";");
  const auto start = std::chrono::steady_clock::now();
  res = Export("slow.asp", "xml");
  ASSERT_TRUE(res);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
  EXPECT_THAT(res->body, HasSubstr("time limit")) << res->body.substr(0, 500);
}

// A file that cannot be written (here: larger than the process may write)
// is removed, and the page says why without naming the server's folders.
TEST_F(ExportBoundsTest, AFailedFileLeavesNothingAndSaysWhy) {
  WritePage("file.asp", "SQLite", "g.CreateExportFile = true; g.TempFolderUrl = 'exports';");
  WritePage("fastfile.asp", "SQLite",
            "g.CreateExportFile = true; g.TempFolderUrl = 'exports'; g.UseFastExport = true;");
  std::signal(SIGXFSZ, SIG_IGN);
  rlimit saved{};
  getrlimit(RLIMIT_FSIZE, &saved);
  rlimit small = saved;
  small.rlim_cur = 100;
  setrlimit(RLIMIT_FSIZE, &small);
  for (const char* page : {"file.asp", "fastfile.asp"}) {
    for (const std::string format : {"excel", "doc", "xml", "csv", "text"}) {
      SCOPED_TRACE(page + (" " + format));
      auto res = Export(page, format);
      ASSERT_TRUE(res);
      EXPECT_NE(res->status, 302);
      EXPECT_THAT(res->body, HasSubstr("could not be written: File too large"))
          << res->body.substr(0, 600);
      EXPECT_THAT(res->body, Not(HasSubstr(server_->site().root().string())));
      EXPECT_TRUE(std::filesystem::is_empty(server_->site().root() / "exports"));
    }
  }
  setrlimit(RLIMIT_FSIZE, &saved);
}

}  // namespace
}  // namespace fennick
