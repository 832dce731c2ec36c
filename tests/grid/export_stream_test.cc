// Tests of the streamed CSV and text downloads over real HTTP: every row of
// a large filtered result arrives in chunks with the bytes the buffered
// writer gives, a database failure at a late row aborts the download
// without its final chunk, and a statement the database refuses still
// gives the grid's normal error page. PostgreSQL results stream the same way.
// Excel and Word documents of both exporters stream too, in downloads and
// in files.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "export/dataset_exporter.h"
#include "export/dataset_exporter2.h"
#include "export/exporter_base.h"
#include "fennick/data.h"
#include "fennick/data_grid.h"
#include "frame/argument_codec.h"
#include "frame/host.h"
#include "grid/grid_object.h"
#include "grid/test_page.h"
#include "platform/crypto/seal.h"
#include "platform/data/test_databases.h"
#include "platform/web/http_text.h"
#include "platform/web/test_server.h"

namespace fennick {
namespace {

constexpr int kRows = 5000;
constexpr char kNumbers[] =
    "WITH RECURSIVE n(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM n WHERE x < 5000) ";

class ExportStreamTest : public ::testing::Test {
 protected:
  void SetUp() override {
    InstallSealer(Sealer::KeyFromSecret("export stream tests"));
    cs_ = "Provider=SQLite;Data Source=" + (t_.site().root() / "big.db").string() + ";";
    Connection setup;
    setup.Open(cs_ + "Mode=ReadWriteCreate");
    // Quotes, commas and a formula-like value test the CSV rule on the
    // streamed rows too.
    setup.Execute("CREATE TABLE Big AS " + std::string(kNumbers) +
                  "SELECT x AS Id, 'N \"' || x || '\", x' AS Name, "
                  "CASE WHEN x % 2 = 1 THEN 'East' ELSE '=West' END AS Region, "
                  "CASE WHEN x % 7 = 0 THEN NULL ELSE x * 0.5 END AS Half FROM n");
    setup.Close();
    const std::string cs = cs_;
    const std::string pg = testing::PostgresConnectionString();
    const std::string my = testing::MysqlConnectionString();
    // The grid of the page: the command and filter come from the query
    // string, as a page would set them.
    t_.server().RegisterPage("/export.asp", [cs, pg, my](PageContext& page) {
      DataGrid grid;
      std::string which = page.request().QueryString("q");
      if (which.rfind("file", 0) == 0) {
        grid.CreateExportFile(true);
        which = which.substr(4);
      }
      if (which.rfind("fast", 0) == 0) {
        grid.UseFastExport(true);
        which = which.substr(4);
      }
      if (which == "whole") {
        // The same rows read whole by the first-generation exporter.
        auto db = std::make_shared<Connection>();
        db->Open(cs);
        auto run = [&](auto& exporter) {
          exporter.Connection(db);
          exporter.Command(
              "SELECT Id, Name, Region, Half FROM Big WHERE Region = 'East' ORDER BY Id");
          if (page.request().QueryString("f") == "doc") exporter.ExportToWord("");
          exporter.ExportToExcel("");
        };
        if (page.request().QueryString("g") == "2") {
          DataSetExporter2 exporter(BindHostContext("DataSetExporter2"));
          run(exporter);
        }
        DataSetExporter exporter(BindHostContext("DataSetExporter"));
        run(exporter);
      }
      if (which == "big") {
        grid.Command("SELECT Id, Name, Region, Half FROM Big");
        GridInternals(grid).req.filter_expression = "Region = 'East'";
        grid.DefaultSortOrder("Id");
      } else if (which == "pg") {
        grid.Command("SELECT g AS id FROM generate_series(1, 2500) g");
      } else if (which == "pglate") {
        grid.Command(
            "SELECT CASE WHEN g = 2000 THEN 1 / (g - g) ELSE g END AS id "
            "FROM generate_series(1, 2500) g");
      } else if (which == "my") {
        grid.Command("SELECT seq AS id FROM seq_1_to_2500");
      } else if (which == "mylate") {
        // More than one row from the subquery at row 2000 only.
        grid.Command(
            "SELECT seq AS id, (SELECT 1 UNION SELECT 2 FROM DUAL WHERE seq = 2000) AS bad "
            "FROM seq_1_to_2500");
      } else if (which == "late") {
        grid.Command(std::string(kNumbers) +
                     "SELECT CASE WHEN x = 4000 THEN abs(-9223372036854775807 - 1) "
                     "ELSE x END AS v FROM n");
      } else {
        grid.Command("SELECT nope FROM nowhere");
      }
      grid.CreateConnection(which.rfind("pg", 0) == 0 ? pg : which.rfind("my", 0) == 0 ? my : cs);
      grid.Display();
    });
    t_.Start();
  }

  std::string ExportRequest(const std::string& which, const std::string& format) {
    std::string body =
        "__FARGS=" + UrlEncodeAsp(EncodeArgument("4fmt:" + format + ";hdr:;ttl:x;"));
    return "POST /export.asp?q=" + which +
           " HTTP/1.1\r\nHost: x\r\nConnection: close\r\n"
           "Content-Type: application/x-www-form-urlencoded\r\nContent-Length: " +
           std::to_string(body.size()) + "\r\n\r\n" + body;
  }

  httplib::Result Post(const std::string& which, const std::string& format) {
    auto c = t_.Client();
    return c.Post("/export.asp?q=" + which,
                  httplib::Params{{"__FARGS", EncodeArgument("4fmt:" + format + ";hdr:;ttl:x;")}});
  }

  // Posts the export of `which` on a raw connection, whose failure at a late
  // row must leave out the final chunk: `seen` went out, `unseen` did not.
  void ExpectAborted(const std::string& which, const std::string& format,
                     const std::string& seen, std::initializer_list<std::string> unseen) {
    const std::string raw = testing::RawRequest(t_.port(), ExportRequest(which, format));
    ASSERT_THAT(raw, HasSubstr("Transfer-Encoding: chunked")) << raw.substr(0, 400);
    EXPECT_THAT(raw, HasSubstr(seen));
    for (const std::string& part : unseen) EXPECT_THAT(raw, Not(HasSubstr(part))) << part;
    ASSERT_GE(raw.size(), 5u);
    EXPECT_NE(raw.substr(raw.size() - 5), "0\r\n\r\n");
  }
  bool EndsWithFinalChunk(const std::string& which, const std::string& format) {
    const std::string raw = testing::RawRequest(t_.port(), ExportRequest(which, format));
    return raw.size() >= 5 && raw.substr(raw.size() - 5) == "0\r\n\r\n";
  }

  // The export file a redirect names, and how many files its folder holds.
  std::filesystem::path FileOf(const httplib::Result& res) {
    const std::string location = res->get_header_value("Location");
    return t_.site().root() / location.substr(location.find_first_not_of('/'));
  }
  static std::string Read(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  }
  static int Files(const std::filesystem::path& folder) {
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
      files += entry.is_regular_file();
    }
    return files;
  }

  // What the buffered writer makes of the same rows.
  std::string Buffered(const DelimitedTextOptions& options) {
    Connection db;
    db.Open(cs_);
    Recordset rs =
        db.Execute("SELECT Id, Name, Region, Half FROM Big WHERE Region = 'East' ORDER BY Id");
    std::string text;
    AppendDelimitedText(rs, options, text);
    return text;
  }

  testing::TestServer t_;
  std::string cs_;
};

TEST_F(ExportStreamTest, FilteredCsvAndTextStreamEveryRowWithTheBufferedBytes) {
  DelimitedTextOptions csv;
  csv.csv = true;
  csv.column_separator = ",";
  const std::string expected_csv = Buffered(csv);
  ASSERT_EQ(expected_csv.rfind("\"Id\",\"Name\",\"Region\",\"Half\"\r\n"
                               "\"1\",\"N \"\"1\"\", x\",\"East\",\"0.5\"\r\n",
                               0),
            0u);
  // Every second row, far more than one batch.
  ASSERT_GT(kRows / 2, static_cast<int>(3 * kStreamBatchRows / 2));

  auto res = Post("big", "csv");
  ASSERT_TRUE(res);
  EXPECT_EQ(res->status, 200);
  EXPECT_EQ(res->get_header_value("Transfer-Encoding"), "chunked");
  EXPECT_EQ(res->get_header_value("Content-Type"), "text/csv; charset=utf-8");
  EXPECT_EQ(res->get_header_value("Content-Disposition"),
            "attachment; filename=\"Fennick_Report.csv\"");
  EXPECT_EQ(res->body.size(), expected_csv.size());
  EXPECT_TRUE(res->body == expected_csv);
  EXPECT_THAT(res->body, HasSubstr("\"4999\",\"N \"\"4999\"\", x\",\"East\",\"2499.5\"\r\n"));

  DelimitedTextOptions text;
  res = Post("big", "text");
  ASSERT_TRUE(res);
  EXPECT_EQ(res->get_header_value("Transfer-Encoding"), "chunked");
  EXPECT_EQ(res->get_header_value("Content-Type"), "text/txt; charset=utf-8");
  EXPECT_TRUE(res->body == Buffered(text));

  // The whole download ends with the final chunk.
  EXPECT_TRUE(EndsWithFinalChunk("big", "csv"));
}

TEST_F(ExportStreamTest, ALateFailureAbortsAndARefusedStatementShowsTheErrorPage) {
  // Row 4000 overflows: the first rows went out, the final chunk never
  // does, and the connection closes.
  ExpectAborted("late", "csv", "\"2999\"\r\n", {"\"4001\"\r\n"});
  // The client sees a failed download, not a short file.
  auto res = Post("late", "csv");
  EXPECT_FALSE(res);

  // Refused before any row: the page goes on and shows the database's
  // error, with no download headers.
  res = Post("refused", "csv");
  ASSERT_TRUE(res);
  EXPECT_EQ(res->status, 200);
  EXPECT_EQ(res->get_header_value("Content-Disposition"), "");
  EXPECT_THAT(res->body, HasSubstr("no such table: nowhere"));
  EXPECT_EQ(res->get_header_value("Transfer-Encoding"), "");
}

TEST_F(ExportStreamTest, CsvFilesHoldEveryRowAndALateFailureLeavesNone) {
  DelimitedTextOptions csv;
  csv.csv = true;
  csv.column_separator = ",";
  auto res = Post("filebig", "csv");
  ASSERT_TRUE(res);
  ASSERT_EQ(res->status, 302);
  const std::filesystem::path file = FileOf(res);
  ASSERT_EQ(file.extension(), ".csv");
  const std::string written = Read(file);
  EXPECT_EQ(written.size(), Buffered(csv).size() + 2);
  EXPECT_TRUE(written == Buffered(csv) + "\r\n");

  // Row 4000 fails after the first batches were written: the page shows
  // the database's error, sends no redirect and leaves no second file.
  res = Post("filelate", "csv");
  ASSERT_TRUE(res);
  EXPECT_NE(res->status, 302);
  EXPECT_EQ(res->get_header_value("Location"), "");
  EXPECT_THAT(res->body, HasSubstr("integer overflow")) << res->body.substr(0, 300);
  EXPECT_EQ(Files(file.parent_path()), 1);
}

// Server databases stream the same way; a row failing in the second batch,
// after the page ended, aborts, and the pooled link serves the next page.
TEST_F(ExportStreamTest, ServerDatabasesStreamCsvAndALateFailureAborts) {
  std::string expected = "\"id\"\r\n";
  for (int i = 1; i <= 2500; ++i) expected += "\"" + std::to_string(i) + "\"\r\n";
  struct Engine {
    std::string which, connection_string, seen, unseen;
  };
  const Engine engines[] = {
      {"pg", testing::PostgresConnectionString(), "\"999\"\r\n", "\"2001\"\r\n"},
      {"my", testing::MysqlConnectionString(), "\"999\",", "\"2001\","},
  };
  for (const Engine& e : engines) {
    SCOPED_TRACE(e.which);
    ASSERT_FALSE(e.connection_string.empty()) << "No test server: scripts/services/";
    auto res = Post(e.which, "csv");
    ASSERT_TRUE(res);
    EXPECT_EQ(res->get_header_value("Transfer-Encoding"), "chunked");
    EXPECT_TRUE(res->body == expected) << res->body.substr(0, 300);
    ExpectAborted(e.which + "late", "csv", e.seen, {e.unseen});
    res = Post(e.which, "csv");
    ASSERT_TRUE(res);
    EXPECT_TRUE(res->body == expected);
  }
}

// The document from its <body> on: the heads differ in title and time.
std::string FromBody(const std::string& document) {
  size_t at = document.find("<body>");
  return at == std::string::npos ? "<no body>" : document.substr(at);
}

// Both exporters (the first-generation one with UseFastExport): a download
// streams, a file is written a batch at a time, and both hold the bytes of
// the document made from the whole result at once.
TEST_F(ExportStreamTest, ExcelAndWordStreamTheRowsOfTheWholeDocument) {
  for (const std::string exporter : {"fast", ""}) {
    for (const std::string format : {"excel", "doc"}) {
      SCOPED_TRACE(exporter + format);
      auto whole =
          t_.Client().Get("/export.asp?q=whole&f=" + format + (exporter.empty() ? "&g=2" : ""));
      ASSERT_TRUE(whole);
      ASSERT_EQ(whole->get_header_value("Transfer-Encoding"), "");
      const std::string expected = FromBody(whole->body);
      // The stylesheet writes quotes in text as they are.
      const std::string quote = exporter.empty() ? "\"" : "&quot;";
      ASSERT_THAT(expected, HasSubstr("<tr><td>4999</td><td>N " + quote + "4999" + quote +
                                      ", x</td><td>East</td><td>2499.5</td></tr></tbody></table>"
                                      "</body></html>"))
          << expected.substr(expected.size() - 400);

      auto res = Post(exporter + "big", format);
      ASSERT_TRUE(res);
      EXPECT_EQ(res->status, 200);
      EXPECT_EQ(res->get_header_value("Transfer-Encoding"), "chunked");
      EXPECT_EQ(res->get_header_value("Content-Type"),
                format == "doc" ? "application/msword; charset=utf-8"
                                : "Application/vnd.excel; charset=utf-8");
      EXPECT_EQ(res->body.rfind("<html", 0), 0u);
      EXPECT_EQ(FromBody(res->body).size(), expected.size());
      EXPECT_TRUE(FromBody(res->body) == expected);
      EXPECT_TRUE(EndsWithFinalChunk(exporter + "big", format));

      // Row 4000 fails: neither the closing tags nor the final chunk go out.
      ExpectAborted(exporter + "late", format, "<tr><td>2999</td></tr>",
                    {"<tr><td>4001</td></tr>", "</table>"});
      EXPECT_FALSE(Post(exporter + "late", format));

      // Refused before any row: the grid's error page.
      res = Post(exporter + "refused", format);
      ASSERT_TRUE(res);
      EXPECT_EQ(res->get_header_value("Content-Disposition"), "");
      EXPECT_THAT(res->body, HasSubstr("no such table: nowhere"));

      // A file: the same document and a line break, then the redirect.
      res = Post("file" + exporter + "big", format);
      ASSERT_TRUE(res);
      ASSERT_EQ(res->status, 302);
      const std::filesystem::path file = FileOf(res);
      ASSERT_EQ(file.extension(), format == "doc" ? ".doc" : ".xls");
      const std::string written = Read(file);
      EXPECT_EQ(written.rfind("<html", 0), 0u);
      EXPECT_TRUE(FromBody(written) == expected + "\r\n");

      // Row 4000 fails while the file is written: the page shows the
      // error, and the partial file is gone.
      const int before = Files(file.parent_path());
      res = Post("file" + exporter + "late", format);
      ASSERT_TRUE(res);
      EXPECT_NE(res->status, 302);
      EXPECT_THAT(res->body, HasSubstr("integer overflow")) << res->body.substr(0, 300);
      EXPECT_EQ(Files(file.parent_path()), before);
    }
  }
}

}  // namespace
}  // namespace fennick
