// Page templates, run as pages: literal text, blocks, directives, includes,
// and error lines that point into the .asp files.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "page_harness.h"
#include "platform/script/page_template.h"

namespace fennick {
namespace {

using testing::PageHarness;
using testing::TempSite;

bool Has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

TEST(PageTemplateTest, LiteralTextIsWrittenUnchanged) {
  PageHarness h;
  const std::string text =
      "<!DOCTYPE html>\r\n<p class=\"x\">it's \\ a \"test\"</p>\n\t<!-- a comment -->\n"
      "50% off, 3 < 4 > 2, %> stray, <% not-a-block-at-end?";
  // The last "<%" opens a block that is never closed: that is an error, so
  // the text-only page ends before it.
  const std::string page = text.substr(0, text.find("<% not"));
  h.Write("plain.asp", page + "caf\xC3\xA9 \xE2\x80\xA8 line sep \x01 end\n");
  auto r = h.Get("/plain.asp");
  EXPECT_EQ(r.status, 200);
  EXPECT_EQ(r.body, page + "caf\xC3\xA9 \xE2\x80\xA8 line sep \x01 end\n");

  h.Write("empty.asp", "");
  EXPECT_EQ(h.Get("/empty.asp").body, "");
}

TEST(PageTemplateTest, BlocksExpressionsAndStringLiterals) {
  PageHarness h;
  h.Write("blocks.asp",
          "<% var s = \"it's %> \\\"quoted\\\"\"; var t = 'say \"%>\"'; %>[<%= s %>][<%= t %>]\n"
          "<%= \"a%>b\" %>|<%= 'c' + \"%\" + '>' %>\n"
          "<% /* a comment with %> inside */ var n = 2; %><%= n %>\n"
          "<% var m = 3 // a line comment ends at %>[<%= m %>]\n"
          "<% if (n == 2) { %>yes<% } else { %>no<% } %>\n"
          "<% for (var i = 0; i < 3; i++) { %><%= i %>,<% } %>\n"
          "line end <%= n %>\n"
          "<%=\n  n +\n  1\n%>|<%= n // trailing note\n%>|\n");
  auto r = h.Get("/blocks.asp");
  EXPECT_EQ(r.status, 200) << r.body;
  EXPECT_EQ(r.body,
            "[it's %> \"quoted\"][say \"%>\"]\n"
            "a%>b|c%>\n"
            "2\n"
            "[3]\n"
            "yes\n"
            "0,1,2,\n"
            "line end 2\n"
            "3|2|\n");
}

TEST(PageTemplateTest, DirectivesChooseJScriptAndRefuseVBScript) {
  PageHarness h;
  h.Write("js.asp", "<%@ Language=\"JScript\" CodePage=65001 LCID=1031 %>"
                    "<%= Response.CodePage %>/<%= Response.LCID %>");
  h.Write("javascript.asp", "<%@ language=javascript EnableSessionState=False %>ok");
  h.Write("vb.asp", "<html>\n\n<%@ Language=\"VBScript\" %>\n<% Response.Write \"x\" %>");
  h.Write("odd.asp", "<%@ Language=\"JScript\" Colour=\"blue\" %>");
  h.Write("perl.asp", "<%@ Language=PerlScript %>");

  EXPECT_EQ(h.Get("/js.asp").body, "65001/1031");
  EXPECT_EQ(h.Get("/javascript.asp").body, "ok");

  auto vb = h.Get("/vb.asp");
  EXPECT_EQ(vb.status, 500);
  EXPECT_TRUE(Has(vb.body, "in /vb.asp, line 3")) << vb.body;
  EXPECT_TRUE(Has(vb.body, "This page asks for VBScript")) << vb.body;
  EXPECT_FALSE(Has(vb.body, "<html>"));

  auto odd = h.Get("/odd.asp");
  EXPECT_EQ(odd.status, 500);
  EXPECT_TRUE(Has(odd.body, "Unknown page directive 'Colour'")) << odd.body;
  EXPECT_TRUE(Has(h.Get("/perl.asp").body, "Unknown script language 'PerlScript'"));
}

TEST(PageTemplateTest, IncludesByFileAndVirtualPath) {
  PageHarness h;
  h.Write("reports/list.asp",
          "<% var who = 'list'; %>[<!-- #include file=\"parts/head.inc\" -->]"
          "[<!--#INCLUDE VIRTUAL=\"/shared/foot.inc\"-->]"
          "[<!-- #include virtual='shared/foot.inc' -->]");
  h.Write("reports/parts/head.inc", "head of <%= who %><!-- #include file=\"../../shared/mark.inc\" -->");
  h.Write("shared/mark.inc", "*");
  h.Write("shared/foot.inc", "foot");
  auto r = h.Get("/reports/list.asp");
  EXPECT_EQ(r.status, 200) << r.body;
  EXPECT_EQ(r.body, "[head of list*][foot][foot]");

  // A comment that merely mentions includes is text.
  h.Write("text.asp", "<!-- #include nothing --><!-- #include file=\"x\" ");
  EXPECT_EQ(h.Get("/text.asp").body, "<!-- #include nothing --><!-- #include file=\"x\" ");
}

TEST(PageTemplateTest, IncludesStayInsideTheSiteAndCyclesAreRefused) {
  PageHarness h;
  TempSite outside;
  outside.Write("secret.inc", "SECRET");
  std::filesystem::create_symlink(outside.root() / "secret.inc", h.root() / "link.inc");
  h.Write("data/keys.inc", "KEY");
  h.Write("a.inc", "a<!-- #include file=\"b.inc\" -->");
  h.Write("b.inc", "b\n\n<!-- #include virtual=\"/a.inc\" -->");

  struct Case {
    const char* page;
    const char* message;
  } cases[] = {
      {"text\n<!-- #include file=\"../x.inc\" -->", "leaves the site folder"},
      {"text\n<!-- #include virtual=\"/../../etc/passwd\" -->", "leaves the site folder"},
      {"text\n<!-- #include file=\"/etc/passwd\" -->", "leaves the site folder"},
      {"text\n<!-- #include file=\"link.inc\" -->", "leaves the site folder"},
      {"text\n<!-- #include virtual=\"/DATA/keys.inc\" -->", "data folder"},
      {"text\n<!-- #include file=\"missing.inc\" -->", "'/missing.inc' cannot be read"},
  };
  for (const Case& c : cases) {
    h.Write("escape.asp", c.page);
    auto r = h.Get("/escape.asp");
    EXPECT_EQ(r.status, 500) << c.page;
    EXPECT_TRUE(Has(r.body, c.message)) << c.page << "\n" << r.body;
    EXPECT_TRUE(Has(r.body, "in /escape.asp, line 2")) << r.body;
    EXPECT_FALSE(Has(r.body, "SECRET") || Has(r.body, "KEY") || Has(r.body, "root:")) << r.body;
  }

  h.Write("cycle.asp", "<!-- #include file=\"a.inc\" -->");
  auto r = h.Get("/cycle.asp");
  EXPECT_EQ(r.status, 500);
  EXPECT_TRUE(Has(r.body, "Include cycle: /cycle.asp -&gt; /a.inc -&gt; /b.inc -&gt; /a.inc"))
      << r.body;
  EXPECT_TRUE(Has(r.body, "in /b.inc, line 3")) << r.body;

  // The same file twice is no cycle.
  h.Write("twice.asp", "<!-- #include file=\"shared.inc\" --><!-- #include file=\"shared.inc\" -->");
  h.Write("shared.inc", "s");
  EXPECT_EQ(h.Get("/twice.asp").body, "ss");
}

TEST(PageTemplateTest, ErrorsNameTheLineOfThePageOrInclude) {
  PageHarness h;
  h.Write("inc/five.inc", "1\n2\n<% var five = 5;\n%>4\n5");
  h.Write("inc/bad.inc", "one\ntwo\n<% var y = undefinedThing.x; %>\n");
  h.Write("inc/syntax.inc", "one\n<%\n  var = ;\n%>\n");
  // A runtime error after an include, in the page itself.
  h.Write("after.asp",
          "line 1\n<!-- #include file=\"inc/five.inc\" -->\nline 3\n<%= five %>\n"
          "<%\n\n  missing();\n%>");
  auto r = h.Get("/after.asp");
  EXPECT_EQ(r.status, 500);
  EXPECT_TRUE(Has(r.body, "<b>Script error</b> in /after.asp, line 7<br>")) << r.body;
  EXPECT_TRUE(Has(r.body, "ReferenceError")) << r.body;

  // A runtime error inside an include.
  h.Write("inside.asp", "<p>\n<!-- #include file=\"inc/five.inc\" -->\n<!-- #include file=\"inc/bad.inc\" -->");
  r = h.Get("/inside.asp");
  EXPECT_TRUE(Has(r.body, "in /inc/bad.inc, line 3<br>")) << r.body;

  // A syntax error inside an include: the page never runs.
  h.Write("syntax.asp", "text\n\n<!-- #include file=\"inc/syntax.inc\" -->\nmore");
  r = h.Get("/syntax.asp");
  EXPECT_EQ(r.status, 500);
  EXPECT_TRUE(Has(r.body, "in /inc/syntax.inc, line 3<br>SyntaxError")) << r.body;
  EXPECT_FALSE(Has(r.body, "text"));

  // A syntax error after multi-line literal text and an expression.
  h.Write("late.asp", "a\nb\n<%= 1 %>\nc\n<% if ( %>");
  r = h.Get("/late.asp");
  EXPECT_TRUE(Has(r.body, "in /late.asp, line 5<br>SyntaxError")) << r.body;

  // A block that is never closed is named by where it opens.
  h.Write("open.asp", "x\n<% var a = 1;\ny\n");
  r = h.Get("/open.asp");
  EXPECT_TRUE(Has(r.body, "in /open.asp, line 2<br>The script block opened here is not closed"))
      << r.body;
}

TEST(PageTemplateTest, GeneratedLinesMapBackAcrossIncludes) {
  TempSite site;
  auto root = std::filesystem::canonical(site.root());
  site.Write("p.asp", "A\r\nB\n<!-- #include file=\"i.inc\" -->\nC<% x();\ny(); %>D");
  site.Write("i.inc", "I1\nI2");
  TranslateResult t = TranslatePage(root, root / "p.asp");
  ASSERT_TRUE(t.ok()) << t.error.message;
  const PageSource& p = *t.page;
  ASSERT_EQ(p.files.size(), 2u);
  EXPECT_EQ(p.files[1].virtual_path, "/i.inc");
  // Every script line that holds a call maps to the line the call came from.
  auto line_of = [&](const std::string& needle) {
    size_t at = p.script.find(needle);
    EXPECT_NE(at, std::string::npos) << needle;
    int64_t line = 1 + std::count(p.script.begin(), p.script.begin() + at, '\n');
    SourcePos pos = p.Map(line);
    return p.files[pos.file].virtual_path + ":" + std::to_string(pos.line);
  };
  EXPECT_EQ(line_of("x();"), "/p.asp:4");
  EXPECT_EQ(line_of("y();"), "/p.asp:5");
  EXPECT_EQ(line_of("I2"), "/i.inc:2");
  EXPECT_EQ(line_of("B\\n\\"), "/p.asp:2");
  EXPECT_EQ(line_of("D\""), "/p.asp:5");
}

}  // namespace
}  // namespace fennick
