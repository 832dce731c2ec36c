// A script page's totals over real HTTP: the summary box, row cells and
// footer rows it switches on (footers over the page shown or over the whole
// filtered result, on page 2), the errors of names it gets wrong, the
// footers its exports carry, and an empty result that keeps the bars and
// its Reset link; on SQLite and PostgreSQL.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <set>

#include "export/office_reader.h"
#include "grid/export_page.h"
#include "platform/xml/xml_document.h"

namespace fennick {
namespace {

// People's Price by Id: 1234.5, null, -5, 0, 7.25, 8. Filtered to Id > 2
// that is -5, 0, 7.25, 8 (10.25 in all); page 2 of two rows holds 7.25 and
// 8 (15.25).
class TotalsHttpTest : public testing::ExportPageTest,
                       public ::testing::WithParamInterface<std::string> {
 protected:
  // Posts `page` with the filter Id > 2 and the postback `argument`.
  httplib::Result Post(const std::string& page, const std::string& argument,
                       const std::string& filter = "Id > 2") {
    return Client().Post(
        "/" + page, httplib::Params{{"__FARGS", EncodeArgument(argument)}, {"rsfilter", filter}});
  }
};

TEST_P(TotalsHttpTest, PageScriptSwitchesTotalsOnOverPageOrResult) {
  struct Case {
    const char* name;
    const char* settings;
    std::vector<std::string> present;
    std::vector<std::string> absent;
  };
  const std::string total = "class=col_footerLabel>Total</td>";
  const std::string average = "class=col_footerLabel>Average</td>";
  const std::vector<Case> cases = {
      {"off", "", {"<td class=\"number\">$7.25</td>"},
       {"col_footer", "row_footer", "class=summary"}},
      {"page totals",
       "g.FooterTotals = 'price'; g.FooterAverages = ' PRICE ';",
       {average + "<td class=col_footer></td><td class=col_footer></td><td class=col_footer>"
                  "</td><td class=col_footer>$7.62</td><td class=col_footer></td>",
        total + "<td class=col_footer></td><td class=col_footer></td><td class=col_footer>"
                "</td><td class=col_footer>$15.25</td><td class=col_footer></td>"},
       {"$10.25"}},
      {"result totals",
       "g.FooterTotals = 'Price'; g.FooterAverages = '*'; g.FooterScope = 'result';",
       {"<td class=col_footer>$2.56</td><td class=col_footer>56%</td>",
        "<td class=col_footer>$10.25</td><td class=col_footer></td>"},
       {"$15.25"}},
      {"every column over the page", "g.FooterTotals = '*'; g.FooterScope = 'Page';",
       {"<td class=col_footer>$15.25</td><td class=col_footer>125%</td>"},
       {average}},
      {"row cells", "g.RowTotals = true; g.RowAverages = true; g.FooterTotals = '*';",
       {">Average</span></th><th><span>Total</span></th>",
        // Id 5: Price 7.25 and Share 0.5, in the last column's format.
        "<td class=row_footer>3.88</td><td class=row_footer>7.75</td>",
        "<td class=col_footer>&nbsp;</td><td class=col_footer>16.5</td></tr>"},
       {}},
      {"summary box",
       "g.AddSummary('sum', 'price', 'Sum, <i>all</i> rows'); g.AddSummary('COUNT', 'Id');"
       "g.AddSummary('max', 'Born');",
       {"<span class=summary_name>Sum&#44; <i>all</i> rows</span> <i><span "
        "class=summary_value>$10.25</span></i>",
        "<span class=summary_name>COUNT Id</span> <i><span class=summary_value>4</span></i>",
        "<span class=summary_value>12/30/2025</span>"},
       {"col_footer"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    WritePage("totals.asp", GetParam(), std::string("g.PageSize = 2;\n") + c.settings);
    auto res = Post("totals.asp", "2start:3;");
    ASSERT_TRUE(res);
    ASSERT_EQ(res->status, 200) << res->body.substr(0, 400);
    // Page 2 of the filtered rows either way.
    EXPECT_THAT(res->body, HasSubstr("<td class=\"number\">$8.00</td>"));
    EXPECT_THAT(res->body, Not(HasSubstr("<td class=\"number\">-$5.00</td>")));
    for (const std::string& part : c.present) {
      EXPECT_THAT(res->body, HasSubstr(part)) << part << "\n" << res->body;
    }
    for (const std::string& part : c.absent) {
      EXPECT_THAT(res->body, Not(HasSubstr(part))) << part;
    }
  }
}

TEST_P(TotalsHttpTest, WrongNamesAreErrorsNamingThem) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"g.AddSummary('MEDIAN', 'Price');",
       "AddSummary: unknown function 'MEDIAN' (use SUM, AVG, MIN, MAX, COUNT, STDEV or VAR)"},
      {"g.AddSummary('SUM', 'Pryce');", "AddSummary: no column 'Pryce' in the result"},
      {"g.FooterTotals = 'Price, Qty';", "FooterTotals: no column 'Qty' in the result"},
      {"g.FooterAverages = 'Name';", "FooterAverages: column 'Name' holds no numbers to add"},
      {"g.FooterScope = 'All';", "FooterScope: 'All' is neither Page nor Result"},
  };
  for (const auto& [settings, message] : cases) {
    SCOPED_TRACE(settings);
    WritePage("wrong.asp", GetParam(), settings);
    auto res = Post("wrong.asp", "2start:1;");
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 500);
    EXPECT_THAT(res->body, HasSubstr(message)) << res->body.substr(0, 600);
    // Nothing of the grid went out before the error.
    EXPECT_THAT(res->body, Not(HasSubstr("FNKQuillon")));
  }
}

TEST_P(TotalsHttpTest, ExportsCarryTheFootersOfTheWholeFilteredResult) {
  WritePage("export.asp", GetParam(),
            "g.PageSize = 2; g.FooterAverages = 'Price'; g.FooterTotals = 'Price,Share';");
  const std::string fmt = "4fmt:";
  auto csv = Post("export.asp", fmt + "csv;hdr:;ttl:People;");
  ASSERT_TRUE(csv);
  ASSERT_EQ(csv->status, 200);
  // Share 1 + 0.005 + 0.5 + 0.75.
  const std::string tail = std::string("\"6\",\"cr\",\"1/2/2000\",\"1/2/2000 9:30:00 AM\",\"8\",") +
                           "\"0.75\",\"\r=1+2\"\r\n\"Average\",,,,\"2.56\",,\r\n" +
                           "\"Total\",,,,\"10.25\",\"2.255\",\r\n";
  ASSERT_GT(csv->body.size(), tail.size());
  EXPECT_EQ(csv->body.substr(csv->body.size() - tail.size()), tail) << csv->body;

  // Excel from both exporters: the footers' text in the column's format,
  // their value for a spreadsheet.
  for (const std::string fast : {"", "g.UseFastExport = true;"}) {
    SCOPED_TRACE(fast);
    WritePage("export.asp", GetParam(),
              "g.PageSize = 2; g.FooterAverages = 'Price'; g.FooterTotals = 'Price,Share';" +
                  fast);
    auto excel = Post("export.asp", fmt + "excel;hdr:;ttl:People;");
    ASSERT_TRUE(excel);
    ASSERT_EQ(excel->status, 200);
    XmlDocument html = XmlDocument::ParseHtml(excel->body);
    std::vector<std::string> cells;
    for (XmlNode td : html.Select("//tbody/tr[last()]/td")) cells.push_back(td.Text());
    EXPECT_EQ(cells, (std::vector<std::string>{"Total", "", "", "", "$10.25", "226%", ""}));
    EXPECT_EQ(html.SelectFirst("//tbody/tr[last()]/td[5]").Attribute("x:num"), "10.25");
    EXPECT_EQ(html.Select("//tbody/tr").size(), 6u);  // four rows and two footers
  }

  // The workbook and the PDF total the same columns.
  WritePage("export.asp", GetParam(),
            "g.PageSize = 2; g.FooterTotals = 'Price'; g.ExportXlsx = true; g.ExportPdf = true;");
  const std::filesystem::path file =
      std::filesystem::temp_directory_path() / ("totals-" + std::to_string(::getpid()));
  auto xlsx = Post("export.asp", fmt + "xlsx;hdr:;ttl:People;");
  ASSERT_TRUE(xlsx);
  testing::WriteBytes(file, xlsx->body);
  const std::vector<testing::Sheet> sheets = testing::ReadSheets(file);
  ASSERT_EQ(sheets.size(), 1u) << xlsx->body.substr(0, 200);
  std::set<std::string> values;
  for (const auto& [ref, cell] : sheets[0].cells) values.insert(cell.kind + ":" + cell.value);
  EXPECT_TRUE(values.count("inlineStr:Total") && values.count("n:10.25")) << ::testing::PrintToString(values);
  auto pdf = Post("export.asp", fmt + "pdf;hdr:;ttl:People;");
  ASSERT_TRUE(pdf);
  testing::WriteBytes(file, pdf->body);
  const testing::PdfText text = testing::ReadPdf(file);
  ASSERT_EQ(text.pages, 1);
  EXPECT_THAT(text.page_texts[0], HasSubstr("Total"));
  EXPECT_THAT(text.page_texts[0], HasSubstr("$10.25"));
  std::filesystem::remove(file);

  // Without footers the export ends with its last row, as before.
  WritePage("export.asp", GetParam(), "g.PageSize = 2;");
  csv = Post("export.asp", fmt + "csv;hdr:;ttl:People;");
  ASSERT_TRUE(csv);
  EXPECT_EQ(csv->body.substr(csv->body.size() - 20), "\"8\",\"0.75\",\"\r=1+2\"\r\n");
}

TEST_P(TotalsHttpTest, EmptyResultKeepsTheBarsAndResetBringsRowsBack) {
  const std::string reset = EncodeArgument("3start:1;");
  for (const bool keep : {false, true}) {
    SCOPED_TRACE(keep);
    WritePage("empty.asp", GetParam(), keep ? "g.KeepBarsWhenEmpty = true;" : "");
    auto res = Post("empty.asp", "2start:1;", "Id > 100");
    ASSERT_TRUE(res);
    ASSERT_EQ(res->status, 200);
    const std::string& body = res->body;
    const size_t text = body.find("No records returned!");
    ASSERT_NE(text, std::string::npos);
    const size_t bar = body.find("name=search_field");
    const size_t link = body.find(reset);
    const size_t summary = body.find("Id &gt; 100");
    if (!keep) {
      EXPECT_EQ(bar, std::string::npos);
      EXPECT_EQ(link, std::string::npos);
      continue;
    }
    // The text first, then the bar, the Reset link and the filter summary,
    // inside the one form with the state a post carries.
    EXPECT_LT(text, bar);
    EXPECT_LT(bar, link);
    EXPECT_LT(link, summary);
    EXPECT_THAT(body, HasSubstr("<input type=hidden name=rsfilter value=\"Id &gt; 100\">"));
    EXPECT_THAT(body, HasSubstr("</form>"));
    // Reset drops the filter: the rows are back.
    auto back = Post("empty.asp", "3start:1;", "Id > 100");
    ASSERT_TRUE(back);
    EXPECT_THAT(back->body, Not(HasSubstr("No records returned!")));
    EXPECT_THAT(back->body, HasSubstr("<td class=\"number\">$1,234.50</td>"));
  }
}

INSTANTIATE_TEST_SUITE_P(Engines, TotalsHttpTest, ::testing::Values("SQLite", "PostgreSQL"));

}  // namespace
}  // namespace fennick
