// Tests of the grid's export dispatch: the buttons and their hidden
// arguments, the trigger armed by CreateConnection and run by Display, the
// whole filtered and sorted result in the document, file mode in the
// temporary folder, and the percent-encoding of the argument's values.
#include "grid/export_dispatch.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "export/export_files.h"
#include "fennick/data.h"
#include "fennick/data_grid.h"
#include "fennick/page.h"
#include "frame/argument_codec.h"
#include "grid/grid_object.h"
#include "grid/state/export_argument.h"
#include "grid/test_page.h"
#include "platform/crypto/seal.h"
#include "platform/xml/xml_document.h"

namespace fennick {
namespace {

namespace fs = std::filesystem;
using Strings = std::vector<std::string>;
using testing::Fields;

class ExportDispatchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    InstallSealer(Sealer::KeyFromSecret("export dispatch tests"));
    fs::create_directories(site_ / "data");
    Connection setup;
    setup.Open(ConnectionString() + ";Mode=ReadWriteCreate");
    setup.Execute("CREATE TABLE Orders (Id INTEGER, Name VARCHAR(40), Region VARCHAR(10))");
    setup.Execute("BEGIN");
    for (int i = 1; i <= 25; ++i) {
      setup.Execute("INSERT INTO Orders VALUES (" + std::to_string(i) + ", 'N" +
                    std::to_string(i) + "', '" + (i % 2 ? "East" : "West") + "')");
    }
    setup.Execute("COMMIT");
    setup.Close();
  }
  void TearDown() override {
    grid_.reset();
    page_.Close();
    fs::remove_all(site_);
  }

  std::string ConnectionString() const {
    return "Provider=SQLite;Data Source=" + (site_ / "data" / "t.db").string();
  }

  DataGrid& Grid(const Fields& form) {
    grid_.reset();
    page_.Open(form);
    grid_ = std::make_unique<DataGrid>();
    grid_->Command("SELECT Id, Name, Region FROM Orders WHERE Region = 'East'");
    grid_->PageSize(5);
    return *grid_;
  }

  // Shows the grid, then posts the button of `format`, opens the
  // connection and displays as a page does; returns the response.
  const Response& Export(const std::string& format,
                         const std::function<void(DataGrid&)>& setup = nullptr) {
    DataGrid& shown = Grid({});
    if (setup) setup(shown);
    shown.CreateConnection(ConnectionString());
    shown.Display();
    std::string value = testing::HiddenValue(page_->response().Body(), "btnExp" + format);
    EXPECT_FALSE(value.empty());
    DataGrid& posted = Grid({{"__FARGS", value}});
    if (setup) setup(posted);
    posted.CreateConnection(ConnectionString());
    EXPECT_THROW(posted.Display(), PageEnd);
    return page_->response();
  }

  std::string Header(const std::string& name) const {
    for (const auto& [key, value] : page_->response().Headers()) {
      if (key == name) return value;
    }
    return "<none>";
  }

  fs::path site_ = fs::temp_directory_path() /
                   ("fennick_dispatch_" + std::to_string(reinterpret_cast<uintptr_t>(this)));
  testing::TestPage page_{"/orders.asp", site_.string()};
  std::unique_ptr<DataGrid> grid_;
};

TEST_F(ExportDispatchTest, ExportsReadEveryRowWhileTheGridPagesInTheDatabase) {
  // The grid shows 5 of the 13 East rows, read as one page; its export
  // holds all 13.
  const Response& csv = Export("csv", [](DataGrid& g) {
    g.DefaultSortOrder("Id desc");
    g.UseFastExport(true);
  });
  EXPECT_FALSE(GridInternals(*grid_).result.paged);
  EXPECT_EQ(GridInternals(*grid_).result.all_rows_reason, AllRowsReason::kAllRowsReader);
  const std::string& body = csv.Body();
  size_t lines = 0;
  for (size_t at = body.find("\r\n"); at != std::string::npos; at = body.find("\r\n", at + 1)) {
    ++lines;
  }
  EXPECT_EQ(lines, 14u) << body;  // the header and 13 rows
  EXPECT_EQ(body.rfind("\"Id\",\"Name\",\"Region\"\r\n\"25\",\"N25\",\"East\"\r\n", 0), 0u) << body;
}

TEST_F(ExportDispatchTest, ButtonsCarryTheExportRequest) {
  DataGrid& grid = Grid({});
  grid.Title("Orders; 2004, all");
  grid.ColumnCaption("Name", "<b>Name, first; 100%</b>");
  grid.DateColumn("Born", "%Y");
  grid.CreateConnection(ConnectionString());
  grid.Display();
  const std::string html = page_->response().Body();
  size_t doc = html.find("name=btnExpdoc"), excel = html.find("name=btnExpexcel"),
         csv = html.find("name=btnExpcsv"), xml = html.find("name=btnExpxml"),
         text = html.find("name=btnExptext");
  ASSERT_NE(text, std::string::npos);
  EXPECT_TRUE(doc < excel && excel < csv && csv < xml && xml < text);
  EXPECT_THAT(html, HasSubstr("javascript:__doPostBack('_excel')"));
  // Blank padding of the Base64 form trails the text.
  EXPECT_EQ(DecodeArgument(testing::HiddenValue(html, "btnExpexcel")),
            "4fmt:excel;hdr:Id,Name%2C first%3B 100%25,Region;ttl:Orders%3B 2004%2C all;;"
            "dat:|||BORN|=|%25Y|||;num:;  ");
}

TEST_F(ExportDispatchTest, ExcelHoldsTheWholeFilteredSortedResult) {
  const Response& response = Export("excel", [](DataGrid& g) {
    g.ColumnCaption("Name", "<i>Name, first</i>");
    g.DefaultSortOrder("Id desc");
  });
  EXPECT_EQ(Header("Content-Disposition"), "attachment; filename=\"Fennick_Report.xls\"");
  XmlDocument html = XmlDocument::ParseHtml(response.Body());
  Strings captions;
  for (XmlNode th : html.Select("//thead/tr/th")) captions.push_back(th.Text());
  EXPECT_EQ(captions, (Strings{"Id", "Name, first", "Region"}));
  std::vector<XmlNode> rows = html.Select("//tbody/tr");
  ASSERT_EQ(rows.size(), 13u);  // every East row, not the page of five
  EXPECT_EQ(rows[0].FirstElement().Text(), "25");
  EXPECT_EQ(rows[12].FirstElement().Text(), "1");
  EXPECT_THAT(response.Body(), Not(HasSubstr("West")));
}

TEST_F(ExportDispatchTest, FastExportCsvAndUnknownFormats) {
  const Response& csv = Export("csv", [](DataGrid& g) {
    g.UseFastExport(true);
    g.ExportFileName("orders\r\nX: y");
  });
  EXPECT_EQ(Header("Content-Disposition"), "attachment; filename=\"ordersX: y.csv\"");
  EXPECT_EQ(csv.Body().rfind("\"Id\",\"Name\",\"Region\"\r\n\"1\",\"N1\",\"East\"\r\n", 0), 0u)
      << csv.Body();

  // A format no button has: an empty response.
  DataGrid& grid = Grid({{"__FARGS", EncodeArgument("4fmt:pdf;hdr:;ttl:x;")}});
  grid.Title("x");
  grid.CreateConnection(ConnectionString());
  EXPECT_THROW(grid.Display(), PageEnd);
  EXPECT_EQ(page_->response().Body(), "");
}

TEST_F(ExportDispatchTest, ConnectionByPropertyNeverExports) {
  DataGrid& grid = Grid({{"__FARGS", EncodeArgument("4fmt:csv;hdr:;ttl:x;")}});
  auto connection = std::make_shared<Connection>();
  connection->Open(ConnectionString());
  grid.Connection(connection);
  grid.Display();
  EXPECT_THAT(page_->response().Body(), HasSubstr("<table"));
  EXPECT_THAT(page_->response().Body(), Not(HasSubstr("\"Id\",\"Name\"")));
}

TEST_F(ExportDispatchTest, FileModeWritesAUniqueFileAndCleansOldOnes) {
  fs::create_directories(site_ / "exports");
  const std::string old_name = NewExportFileBase() + ".xls";
  std::ofstream(site_ / "exports" / old_name) << "old";
  std::ofstream(site_ / "exports" / "keep.xls") << "not ours";
  for (const char* name : {old_name.c_str(), "keep.xls"}) {
    fs::last_write_time(site_ / "exports" / name,
                        fs::last_write_time(site_ / "exports" / name) - std::chrono::hours(3));
  }
  const std::string recent_name = NewExportFileBase() + ".csv";
  std::ofstream(site_ / "exports" / recent_name) << "recent";
  fs::last_write_time(site_ / "exports" / recent_name,
                      fs::last_write_time(site_ / "exports" / recent_name) - std::chrono::minutes(100));
  const Response& response = Export("excel", [](DataGrid& g) {
    g.CreateExportFile(true);
    g.TempFolderUrl("exports");
    g.ExportFileLifetime(120);
  });
  EXPECT_EQ(response.StatusCode(), 302);
  const std::string location = Header("Location");
  ASSERT_EQ(location.rfind("exports/", 0), 0u) << location;
  EXPECT_TRUE(IsExportFileName(location.substr(8))) << location;
  EXPECT_TRUE(fs::exists(site_ / location));
  EXPECT_FALSE(fs::exists(site_ / "exports" / old_name));
  EXPECT_TRUE(fs::exists(site_ / "exports" / "keep.xls"));
  EXPECT_TRUE(fs::exists(site_ / "exports" / recent_name));  // 100 minutes < 120
}

TEST(ExportArgumentTest, OnlyTheThreeCodesAreDecoded) {
  EXPECT_EQ(EncodeExportValue("a,b;c%d"), "a%2Cb%3Bc%25d");
  EXPECT_EQ(DecodeExportValue("a%2Cb%3bc%25d%41%2%"), "a,b;c%d%41%2%");
  EXPECT_EQ(DecodeExportValue(EncodeExportValue("100%2C")), "100%2C");
  EXPECT_EQ(DecodeCaptionList("A%2C B,C,"), (Strings{"A, B", "C", ""}));
  EXPECT_TRUE(DecodeCaptionList("").empty());
}

}  // namespace
}  // namespace fennick
