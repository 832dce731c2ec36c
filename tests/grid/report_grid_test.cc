// The report grid: its HTML comes back as a string and never reaches the
// page, and its format lists, captions and page size are its own, apart
// from the page's DataGrids and from other report grids.
#include "grid/report_grid.h"

#include <gtest/gtest.h>

#include "fennick/data.h"
#include "fennick/data_grid.h"
#include "fennick/page.h"
#include "grid/grid_object.h"
#include "grid/test_page.h"
#include "platform/crypto/seal.h"

namespace fennick {
namespace {

class ReportGridTest : public ::testing::Test {
 protected:
  void SetUp() override { Page({}); }

  void Page(const testing::Fields& form) {
    InstallSealer(Sealer::KeyFromSecret("report grid tests"));
    page_.Open(form);
    connection_ = std::make_shared<Connection>();
    connection_->Open("Provider=SQLite;Data Source=:memory:");
    connection_->Execute("CREATE TABLE Items (Name VARCHAR(20), Price DOUBLE)");
    connection_->Execute("INSERT INTO Items VALUES ('Tea', 1.5), ('Coffee', 2.25)");
  }

  void Configure(DataGrid& grid) {
    grid.Connection(connection_);
    grid.Command("SELECT Name, Price FROM Items");
  }

  testing::TestPage page_{"/reports.asp"};
  std::shared_ptr<Connection> connection_;
};

TEST_F(ReportGridTest, ReturnsTheGridAndWritesNothingToThePage) {
  page_->response().Write("<p>page</p>");
  ReportGrid report;
  Configure(report.grid());
  report.WriteLine("<h2>Before</h2>");
  const std::string html = report.GetGridHtml();
  EXPECT_EQ(page_->response().Body(), "<p>page</p>");
  EXPECT_EQ(html.rfind("<h2>Before</h2>", 0), 0u) << html;
  EXPECT_THAT(html, HasSubstr(">Coffee<"));
  // The designer's page holds the form: the grid writes none of its own.
  EXPECT_THAT(html, Not(HasSubstr("<form")));
  EXPECT_THAT(html, Not(HasSubstr("</form>")));
  // The buffer is kept: a second call returns both renderings.
  ReportGrid again;
  Configure(again.grid());
  const std::string first = again.GetGridHtml();
  Configure(again.grid());
  const std::string both = again.GetGridHtml();
  EXPECT_EQ(both.substr(0, first.size()), first);
  EXPECT_GT(both.size(), first.size());
  EXPECT_EQ(page_->response().Body(), "<p>page</p>");
}

TEST_F(ReportGridTest, PrintedMasterDetailsAsksTheBrowserToPrint) {
  Page({{"__FARGS", "NSAg"}, {"pagesize", "10"}});
  ReportGrid report;
  Configure(report.grid());
  report.grid().MasterTable("Items");
  const std::string html = report.GetGridHtml();
  EXPECT_THAT(html, HasSubstr("Coffee"));
  EXPECT_EQ(html.substr(html.size() - 32), "<script>window.print();</script>");

  ReportGrid plain;
  Configure(plain.grid());
  EXPECT_THAT(plain.GetGridHtml(), Not(HasSubstr("window.print")));
}

TEST_F(ReportGridTest, FormatListsStayWithTheirGrid) {
  DataGrid plain;
  plain.NumberColumn("Price", 0);
  plain.ColumnCaption("Name", "Plain name");
  ReportGrid first;
  first.grid().NumberColumn("Price", 3);
  first.grid().ColumnCaption("Name", "First name");
  first.grid().PageSize(1);
  ReportGrid second;
  Configure(first.grid());
  Configure(second.grid());

  const std::string first_html = first.GetGridHtml();
  const std::string second_html = second.GetGridHtml();
  EXPECT_THAT(first_html, HasSubstr("First name"));
  EXPECT_THAT(first_html, HasSubstr("1.500"));
  EXPECT_THAT(first_html, Not(HasSubstr("Plain name")));
  EXPECT_THAT(first_html, Not(HasSubstr("Coffee"))) << "page size 1 shows the first row";
  EXPECT_THAT(second_html, Not(HasSubstr("First name")));
  EXPECT_THAT(second_html, Not(HasSubstr("Plain name")));
  EXPECT_THAT(second_html, Not(HasSubstr("1.500")));
  EXPECT_THAT(second_html, HasSubstr("Coffee"));

  // The page's DataGrid keeps exactly its own entries.
  const GridPageState& page_state = *GridInternals(plain).page;
  EXPECT_THAT(page_state.number_list, Not(HasSubstr("|3")));
  EXPECT_THAT(page_state.caption_list, Not(HasSubstr("First name")));
  EXPECT_THAT(page_state.caption_list, HasSubstr("Plain name"));
  EXPECT_EQ(page_state.page_size, 10);
  Configure(plain);
  page_->response().MutableBody().clear();
  plain.Display();
  const std::string& plain_html = page_->response().Body();
  EXPECT_THAT(plain_html, HasSubstr("Plain name"));
  EXPECT_THAT(plain_html, Not(HasSubstr("First name")));
  EXPECT_THAT(plain_html, Not(HasSubstr("1.500")));
}

}  // namespace
}  // namespace fennick
