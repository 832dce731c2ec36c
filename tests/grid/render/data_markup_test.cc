// Database values placed into page-written markup: where a value lands
// (text, quoted or bare attribute, link start, script) and how it is
// written there; and whole grids fed hostile values through every format
// that builds markup, in the tabular and columnar layouts and the print
// view.
#include "grid/render/data_markup.h"

#include <gtest/gtest.h>

#include <string>

#include "grid/render_fixture.h"

namespace fennick {
namespace {

std::string Place(std::string markup, std::string_view value, bool plus_as_url = false) {
  AppendDataInMarkup(value, markup, plus_as_url);
  return markup;
}

TEST(DataMarkupTest, TextAndQuotedValuesAreEncoded) {
  EXPECT_EQ(Place("<b>", "<script>alert(1)</script>"), "<b>&lt;script&gt;alert(1)&lt;/script&gt;");
  EXPECT_EQ(Place("<a title=\"", "\" onclick=\"x"), "<a title=\"&quot; onclick=&quot;x");
  EXPECT_EQ(Place("<a title='", "' onclick='x"), "<a title='&#39; onclick=&#39;x");
  EXPECT_EQ(Place("<a href=\"show.asp?n=", "a+b&c"), "<a href=\"show.asp?n=a+b&amp;c");
  EXPECT_EQ(Place("<a href=\"show.asp?n=", "a+b", true), "<a href=\"show.asp?n=a%2Bb");
  // A tag closed by ">" inside a quoted value is still open.
  EXPECT_EQ(Place("<a title=\"x>y\" href=\"", "javascript:1"), "<a title=\"x>y\" href=\"#");
  EXPECT_EQ(Place("<!-- <a href=\"", "<x>"), "<!-- <a href=\"&lt;x&gt;");
}

TEST(DataMarkupTest, BareValuesAndTagsCannotAddAttributes) {
  EXPECT_EQ(Place("<td class=", "x onmouseover=alert(1)"),
            "<td class=x&#32;onmouseover&#61;alert(1)");
  EXPECT_EQ(Place("<td ", "onmouseover=alert(1)"), "<td onmouseover&#61;alert(1)");
  EXPECT_EQ(Place("<img src=", "pic.png onerror=alert(1)"),
            "<img src=pic.png&#32;onerror&#61;alert(1)");
  EXPECT_EQ(Place("<img src=", "javascript:alert(1)"), "<img src=#");
}

TEST(DataMarkupTest, ScriptGetsNumbersOnly) {
  EXPECT_EQ(Place("<script>document.write(eval(", "1));alert(1);(("),
            "<script>document.write(eval(0");
  EXPECT_EQ(Place("[eval]", "12.5"), "[eval]12.5");
  EXPECT_EQ(Place("[eval]x[/eval] ", "<i>"), "[eval]x[/eval] &lt;i&gt;");
  EXPECT_EQ(Place("<script type=x>var a = ", " -3e2 "), "<script type=x>var a = -3e2");
  EXPECT_EQ(Place("<script>a</SCRIPT>", "<"), "<script>a</SCRIPT>&lt;");
  EXPECT_EQ(Place("<a onclick=\"show('", "');alert(1);('"), "<a onclick=\"show('0");
  EXPECT_EQ(Place("<a ONMOUSEOVER=", "1"), "<a ONMOUSEOVER=1");

  std::string out;
  for (const char* v : {"7", "+7", "-0.5", ".5", "1e5", "1e", "0x10", "1,5", "", "Infinity"}) {
    AppendScriptNumber(v, out);
    out.push_back('|');
  }
  EXPECT_EQ(out, "7|7|-0.5|.5|1e5|0|0|0|0|0|");
}

TEST(DataMarkupTest, LinkAddressesKeepOnlyWebAndMailSchemes) {
  for (const char* ok : {"http://example.com/a", "HTTPS://x", "mailto:a@b.c", "page.asp?id=1",
                         "/abs/path", "../up", "#frag", "?q=a:b"}) {
    EXPECT_TRUE(IsSafeLinkAddress(ok)) << ok;
  }
  for (const char* bad :
       {"javascript:alert(1)", " JavaScript:alert(1)", "\x01javascript:x", "jav\tascript:x",
        "java\nscript:x", "java&#115;cript:x", "java&#x73;cript:x", "&#106avascript:x",
        "javascript&colon;x", "data:text/html,<script>", "vbscript:x", "file:///etc/passwd"}) {
    EXPECT_FALSE(IsSafeLinkAddress(bad)) << bad;
  }
  // The value is encoded before it is judged: its own "&#115;" stays text.
  EXPECT_EQ(Place("<a href=\"", "java&#115;cript:alert(1)"),
            "<a href=\"java&amp;#115;cript:alert(1)");
  EXPECT_EQ(Place("<a href=\"", "jav\tascript:alert(1)"), "<a href=\"#");
  EXPECT_EQ(Place("<a href=\"  ", " javascript:alert(1)"), "<a href=\"  #");
  EXPECT_EQ(Place("<A HREF='", "JAVASCRIPT:alert(1)"), "<A HREF='#");
  // The value completing a scheme the template began is judged whole.
  EXPECT_EQ(Place("<a href=\"java", "script:alert(1)"), "<a href=\"java#");
  // Once the address has its scheme or a path, the value cannot change it.
  EXPECT_EQ(Place("<a href=\"http://x/?go=", "javascript:1"),
            "<a href=\"http://x/?go=javascript:1");
  EXPECT_EQ(Place("<a href=\"", "http://x/y"), "<a href=\"http://x/y");
  EXPECT_EQ(Place("<a title=\"", "javascript:1"), "<a title=\"javascript:1");
}

// Whole grids over a table of hostile values.
class HostileDataTest : public RenderTest {
 protected:
  void SetUp() override {
    RenderTest::SetUp();
    connection_->Execute("CREATE TABLE Hostile (Id INTEGER, V VARCHAR(60))");
    connection_->Execute(
        "INSERT INTO Hostile VALUES (1, '<script>alert(1)</script>'), "
        "(2, 'javascript:alert(1)'), (3, '1));alert(1);(('), (4, ' JaVa\tScRiPt:alert(2)'), "
        "(5, 'http://example.com/?a=1&b=2'), (6, '12.5')");
  }

  // A grid whose every column is V under another name, one per format.
  DataGrid& FormattedGrid(const Fields& form) {
    DataGrid& grid = Grid(form,
                          "SELECT Id, V AS Bold, V AS Link, V AS Pic, V AS Ev, V AS Sq, V AS Rx "
                          "FROM Hostile ORDER BY Id");
    grid.ReplaceColumn("Bold", "[b]#TEMP#[/b]");
    grid.LinkColumn("Link", "#TEMP#", "#TEMP#", "");
    grid.ReplaceColumn("Pic", "<img src='#TEMP#'>");
    grid.ReplaceColumn("Ev", "[eval]#TEMP#*2[/eval]");
    grid.ReplaceColumn("Sq", "[sql] #TEMP#");
    grid.RegExColumn("Rx", "(script|http)", "<i>$1</i>");
    return grid;
  }

  // What must hold for every layout: each format's hostile row as data.
  static void ExpectEncoded(const std::string& html) {
    EXPECT_THAT(html, Not(HasSubstr("<script>alert")));
    EXPECT_THAT(html, Not(HasSubstr("eval(1))")));
    EXPECT_THAT(html, Not(HasSubstr("href=\"javascript:alert")));
    EXPECT_THAT(html, Not(HasSubstr("src='javascript:alert")));
    EXPECT_THAT(html, Not(HasSubstr("href=\" JaVa")));
    const std::string tag = "&lt;script&gt;alert(1)&lt;/script&gt;";
    EXPECT_THAT(html, HasSubstr("<b>" + tag + "</b>"));
    EXPECT_THAT(html, HasSubstr("<a href=\"" + tag + "\" >" + tag + "</a>"));
    EXPECT_THAT(html, HasSubstr("<img src='" + tag + "'>"));
    EXPECT_THAT(html, HasSubstr(tag + "</td>"));  // [sql]: the plain value
    EXPECT_THAT(html, HasSubstr("&lt;<i>script</i>&gt;alert(1)&lt;/script&gt;"));
    // javascript: addresses become "#", the text stays readable.
    EXPECT_THAT(html, HasSubstr("<a href=\"#\" >javascript:alert(1)</a>"));
    EXPECT_THAT(html, HasSubstr("<img src='#'>"));
    EXPECT_THAT(html, HasSubstr("<a href=\"#\" > JaVa\tScRiPt:alert(2)</a>"));
    EXPECT_THAT(html, HasSubstr("<a href=\"http://example.com/?a=1&amp;b=2\" >"));
    EXPECT_THAT(html, HasSubstr("<i>http</i>://example.com/?a=1&amp;b=2"));
    // Script gets numbers: the injection becomes 0, a number stays.
    EXPECT_THAT(html, HasSubstr("<script>document.write(eval(0*2));</script>"));
    EXPECT_THAT(html, HasSubstr("<script>document.write(eval(12.5*2));</script>"));
  }
};

TEST_F(HostileDataTest, TemplatesSqlEvalLinksAndRegexInTheTabularLayout) {
  FormattedGrid({});
  ExpectEncoded(Show());
}

TEST_F(HostileDataTest, TheSameInTheColumnarLayout) {
  FormattedGrid({}).IsColumnar(true);
  ExpectEncoded(Show());
}

TEST_F(HostileDataTest, TheSameInThePrintView) {
  FormattedGrid(Click("5")).PageSize(2);
  const std::string html = Show();
  EXPECT_EQ(Count(html, "page-break-after"), 2u);  // three printed pages
  ExpectEncoded(html);
}

TEST_F(HostileDataTest, AllowHtmlInDataLetsTheValuesThrough) {
  FormattedGrid({}).AllowHtmlInData(true);
  const std::string html = Show();
  EXPECT_THAT(html, HasSubstr("<b><script>alert(1)</script></b>"));
  EXPECT_THAT(html, HasSubstr("<a href=\"javascript:alert(1)\" >"));
  EXPECT_THAT(html, HasSubstr("eval(1));alert(1);((*2)"));
  EXPECT_THAT(html, HasSubstr("<<i>script</i>>alert(1)</script>"));
}

TEST_F(HostileDataTest, PlaceholdersInScriptTakeNumbersOnly) {
  DataGrid& grid = Grid({}, "SELECT Id, V FROM Hostile WHERE Id IN (3, 6) ORDER BY Id");
  grid.ReplaceColumn("Id", "[eval]{{V}}+1[/eval] <a href=\"x.asp?v={{V}}\">v</a>");
  const std::string html = Show();
  EXPECT_THAT(html, HasSubstr("<script>document.write(eval(0+1));</script> "
                              "<a href=\"x.asp?v=1))%3Balert(1)%3B((\">v</a>"));
  EXPECT_THAT(html, HasSubstr("<script>document.write(eval(12.5+1));</script>"));
}

TEST_F(HostileDataTest, GraphLegendNamesAreText) {
  connection_->Execute("CREATE TABLE Scores (Name VARCHAR(40), Points DOUBLE PRECISION)");
  connection_->Execute(
      "INSERT INTO Scores VALUES ('<script>alert(1)</script>', 3), ('\"><img src=x>', 4)");
  for (const Fields& form : {Fields{}, Click("5")}) {
    DataGrid& grid = Grid(form, "SELECT Name, Points FROM Scores");
    grid.GraphType(1);
    grid.GraphLegendColumn("Name");
    grid.IsColumnar(!form.empty());
    const std::string html = Show();
    EXPECT_THAT(html, Not(HasSubstr("<script>alert")));
    EXPECT_THAT(html, Not(HasSubstr("<img src=x>")));
    EXPECT_THAT(html, HasSubstr("&lt;script&gt;alert(1)&lt;/script&gt;"));
    EXPECT_THAT(html, HasSubstr("&quot;&gt;&lt;img src=x&gt;"));
  }
  DataGrid& trusted = Grid({}, "SELECT Name, Points FROM Scores");
  trusted.GraphType(1);
  trusted.GraphLegendColumn("Name");
  trusted.AllowHtmlInData(true);
  EXPECT_THAT(Show(), HasSubstr("<script>alert(1)</script>"));
}

}  // namespace
}  // namespace fennick
