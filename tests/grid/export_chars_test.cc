// Characters XML cannot hold, over real HTTP: in a value, a column caption
// and the grid's title, each one makes every XML-based export (both
// exporters' Excel, Word and XML documents and a page's template) answer
// 200 with a document that parses and U+FFFD in its place, while CSV and
// text keep the bytes as they are and the HTML page holds them whole.
#include <gtest/gtest.h>

#include "grid/export_page.h"
#include "platform/xml/xml_chars.h"
#include "platform/xml/xml_document.h"

namespace fennick {
namespace {

// A character XML cannot hold, as SQLite hex and as bytes, and how many
// U+FFFD stand for it (one per ill-formed piece of UTF-8).
struct OddChar {
  const char* name;
  const char* hex;
  std::string bytes;
  int replacements;
};

constexpr char kOddCommand[] = "SELECT Id, Val FROM Odd ORDER BY Id";

const OddChar kOddChars[] = {
    {"U+0000", "00", std::string(1, '\0'), 1},
    {"U+0001", "01", "\x01", 1},
    {"U+0008", "08", "\x08", 1},
    {"U+000B", "0B", "\x0B", 1},
    {"U+000C", "0C", "\x0C", 1},
    {"U+000E", "0E", "\x0E", 1},
    {"U+001F", "1F", "\x1F", 1},
    {"U+FFFE", "EFBFBE", "\xEF\xBF\xBE", 1},
    {"U+FFFF", "EFBFBF", "\xEF\xBF\xBF", 1},
    {"lone surrogate", "EDA080", "\xED\xA0\x80", 3},
    {"stray byte", "FF", "\xFF", 1},
    {"cut sequence", "E282", "\xE2\x82", 1},
};

std::string Replaced(const OddChar& c, const std::string& before, const std::string& after) {
  std::string text = before;
  for (int i = 0; i < c.replacements; ++i) text += kReplacementChar;
  return text + after;
}

class ExportCharsTest : public testing::ExportPageTest {
 protected:
  void SetUp() override {
    ExportPageTest::SetUp();
    Connection db;
    db.Open(sqlite_);
    db.Execute("CREATE TABLE Odd (Id INTEGER, Val VARCHAR(20))");
    int id = 0;
    for (const OddChar& c : kOddChars) {
      db.Execute("INSERT INTO Odd VALUES (" + std::to_string(++id) + ", CAST(X'61" + c.hex +
                 "62' AS TEXT))");
    }
  }

  // Posts the export of `format` with the caption list and title `c` is
  // put into ("c<X>d" for Val, "t<X>u"), as an export button would.
  httplib::Result ExportWith(const std::string& page, const std::string& format,
                             const OddChar& c) {
    return Client().Post(
        "/" + page, httplib::Params{{"__FARGS", EncodeArgument("4fmt:" + format + ";hdr:Id,c" +
                                                               c.bytes + "d;ttl:t" + c.bytes +
                                                               "u;")}});
  }

  // Every text and attribute value of a parsed document, run together.
  static std::string AllText(const XmlDocument& doc) {
    std::string text = doc.Root().Text();
    for (XmlNode node : doc.Select("//@*")) text += "|" + node.Text();
    return text;
  }
};

TEST_F(ExportCharsTest, XmlDocumentsHoldTheReplacementAndOtherFormatsTheBytes) {
  const std::string kCopy =
      "<xsl:stylesheet version='1.0' xmlns:xsl='http://www.w3.org/1999/XSL/Transform'>"
      "<xsl:output method='xml'/><xsl:template match='/'><copy><xsl:copy-of select='.'/>"
      "</copy></xsl:template></xsl:stylesheet>";
  struct Page {
    const char* name;
    std::string settings;
  };
  const Page pages[] = {{"second.asp", ""},
                        {"first.asp", "g.UseFastExport = true;"},
                        {"template.asp", "g.XslExportTemplate = \"" + kCopy + "\";"},
                        {"fasttemplate.asp", "g.UseFastExport = true; g.XslExportTemplate = \"" +
                                                 kCopy + "\";"}};
  for (const Page& page : pages) WriteGridPage(page.name, sqlite_, kOddCommand, page.settings);

  for (const OddChar& c : kOddChars) {
    for (const Page& page : pages) {
      const bool templated = std::string(page.name).find("template") != std::string::npos;
      for (const std::string format : {"excel", "doc", "xml", "csv", "text"}) {
        if (templated && format != "xml") continue;
        SCOPED_TRACE(std::string(c.name) + " " + page.name + " " + format);
        auto res = ExportWith(page.name, format, c);
        ASSERT_TRUE(res);
        ASSERT_EQ(res->status, 200) << res->body.substr(0, 400);
        const std::string& body = res->body;
        if (format == "csv" || format == "text") {
          // Byte formats: every value as the database holds it.
          for (const OddChar& v : kOddChars) {
            EXPECT_THAT(body, HasSubstr("a" + v.bytes + "b")) << v.name;
          }
          continue;
        }
        // Not one character XML cannot hold, anywhere in the document.
        EXPECT_TRUE(IsXmlSafeText(body)) << body.substr(0, 400);
        std::string text;
        if (format == "xml") {
          XmlParseResult parsed = XmlDocument::Parse(body);
          ASSERT_TRUE(parsed.ok()) << parsed.error << "\n" << body.substr(0, 400);
          text = AllText(parsed.document);
        } else {
          text = body;  // UTF-8 HTML; its title sits in an XML island
          EXPECT_THAT(text, HasSubstr(Replaced(c, "t", "u"))) << "title";
        }
        EXPECT_THAT(text, HasSubstr(Replaced(c, "c", "d"))) << "caption " << text;
        for (const OddChar& v : kOddChars) {
          EXPECT_THAT(text, HasSubstr(Replaced(v, "a", "b"))) << v.name;
        }
      }
    }
  }
}

// The HTML page (and its print view) keeps the characters: HTML holds them,
// and a NUL ends neither a value nor the page.
TEST_F(ExportCharsTest, TheHtmlPageHoldsEveryValueWhole) {
  WriteGridPage("odd.asp", sqlite_, kOddCommand, "g.PageSize = 50;");
  for (const std::string argument : {"", "5"}) {
    SCOPED_TRACE(argument);
    auto res = argument.empty() ? Client().Get("/odd.asp")
                                : Client().Post(
                                      "/odd.asp", httplib::Params{{"__FARGS", EncodeArgument(
                                                                                  argument)}});
    ASSERT_TRUE(res);
    ASSERT_EQ(res->status, 200);
    for (const OddChar& v : kOddChars) {
      EXPECT_THAT(res->body, HasSubstr(">a" + v.bytes + "b<")) << v.name;
    }
    EXPECT_EQ(res->body.substr(res->body.size() - 7), "</form>") << res->body;
  }
}

}  // namespace
}  // namespace fennick
