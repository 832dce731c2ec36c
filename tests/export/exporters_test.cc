// Tests of both exporters over an in-memory SQLite table on a fake page:
// every output is opened (libxml2 for XML, the lenient HTML reader for the
// Office documents) and compared with the data; headers of downloads,
// documents opened in place, file mode and redirects; templates inline, as
// files, broken and hostile; CSV quoting and the export file cleanup.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <type_traits>

#include "export/column_format_xml.h"
#include "export/dataset_exporter.h"
#include "export/dataset_exporter2.h"
#include "export/export_files.h"
#include "export/export_functions.h"
#include "export/export_stylesheets.h"
#include "export/cell_text.h"
#include "export/office_reader.h"
#include "export/pdf_exporter.h"
#include "export/xlsx_exporter.h"
#include "export/recordset_xml.h"
#include "fennick/data.h"
#include "fennick/page.h"
#include "frame/host.h"
#include "platform/xml/xml_document.h"
#include "platform/xml/xslt.h"
#include "support/fold-designer_files.h"
#include "support/fold-designer_text.h"

namespace fennick {
namespace {

namespace fs = std::filesystem;
using Strings = std::vector<std::string>;

class ExporterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    site_ = fs::temp_directory_path() /
            ("fennick_export_" + std::to_string(reinterpret_cast<uintptr_t>(this)));
    fs::create_directories(site_ / "exports");
    connection_ = std::make_shared<Connection>();
    connection_->Open("Provider=SQLite;Data Source=:memory:");
    connection_->Execute("CREATE TABLE T (Id INTEGER, City VARCHAR(20), Note VARCHAR(40))");
    connection_->Execute("INSERT INTO T VALUES (1, 'Z\xC3\xBCrich', 'a \"quoted\" <b>&amp;</b>')");
    connection_->Execute("INSERT INTO T VALUES (2, NULL, '=SUM(A1)')");
    connection_->Execute("INSERT INTO T VALUES (3, 'x__COL__ROW__NULL', '')");
    NewPage();
  }
  // A fresh page (and response) for the next export.
  void NewPage() {
    binding_.reset();
    page_ = std::make_unique<PageContext>(Request(), Session(MakeMemorySessionStore(), "s"), app_,
                                          Server(site_, "/report.asp", nullptr, "en_US"));
    binding_ = std::make_unique<PageBinding>(*page_);
    host_ = BindHostContext("DataSetExporter2");
  }
  void TearDown() override {
    binding_.reset();
    page_.reset();
    fs::remove_all(site_);
  }

  template <typename Exporter>
  std::unique_ptr<Exporter> Make(const std::string& command = "SELECT * FROM T ORDER BY Id") {
    auto exporter = std::make_unique<Exporter>(host_);
    exporter->Connection(connection_);
    exporter->Command(command);
    return exporter;
  }

  // Runs one export call, which must end the page.
  template <typename Call>
  const Response& Run(Call call) {
    EXPECT_THROW(call(), PageEnd);
    return page_->response();
  }

  // Gives `exporter` the first `count` rows of `query`; it reads the rest.
  template <typename Exporter>
  void FirstRowsThenRest(Exporter& exporter, const std::string& query, size_t count) {
    auto rest = std::make_shared<Cursor>(connection_->OpenCursor(query));
    exporter.Recordset(std::make_shared<Recordset>(rest->Next(count)));
    exporter.RemainingRows(rest);
  }

  std::string Header(const std::string& name) const {
    for (const auto& [key, value] : page_->response().Headers()) {
      if (key == name) return value;
    }
    return "<none>";
  }

  static Strings Texts(const XmlDocument& doc, const std::string& xpath) {
    Strings texts;
    for (XmlNode node : doc.Select(xpath)) texts.push_back(node.Text());
    return texts;
  }

  fs::path site_;
  Application app_;
  std::shared_ptr<Connection> connection_;
  std::unique_ptr<PageContext> page_;
  std::unique_ptr<PageBinding> binding_;
  HostContext host_;
};

TEST_F(ExporterTest, ExcelDocumentHoldsEveryRowAsText) {
  auto exporter = Make<DataSetExporter2>();
  exporter->Headers({"No.", "City <i>&"});
  page_->response().Write("page output before the export");
  const Response& response = Run([&] { exporter->ExportToExcel("Sheet \"1\" <x>"); });
  EXPECT_EQ(response.FullContentType(), "Application/vnd.excel; charset=utf-8");
  EXPECT_EQ(Header("Content-Disposition"), "attachment; filename=\"Fennick_Report.xls\"");
  const std::string& body = response.Body();
  EXPECT_LACKS(body, "page output");
  EXPECT_HAS(body, "<x:Name>Sheet &quot;1&quot; &lt;x&gt;</x:Name>");
  EXPECT_HAS(body, "charset=utf-8");
  XmlDocument html = XmlDocument::ParseHtml(body);
  EXPECT_EQ(Texts(html, "//thead/tr/th"), (Strings{"No.", "City <i>&", "Note"}));
  EXPECT_EQ(html.SelectFirst("//thead/tr").Attribute("style"), "background-color:#cccccc;");
  EXPECT_EQ(Texts(html, "//tbody/tr[1]/td"),
            (Strings{"1", "Z\xC3\xBCrich", "a \"quoted\" <b>&amp;</b>"}));
  // The null City leaves its own cell empty: Note stays third.
  EXPECT_EQ(Texts(html, "//tbody/tr[2]/td"), (Strings{"2", "", "=SUM(A1)"}));
  EXPECT_EQ(Texts(html, "//tbody/tr[3]/td"), (Strings{"3", "x__COL__ROW__NULL", ""}));
}

TEST_F(ExporterTest, WordDocumentUsesTheExportersTitle) {
  auto exporter = Make<DataSetExporter2>();
  exporter->Title("Orders & more");
  exporter->OpenFile(true);
  const Response& response = Run([&] { exporter->ExportToWord("ignored"); });
  EXPECT_EQ(response.FullContentType(), "application/msword; charset=utf-8");
  EXPECT_EQ(Header("Content-Disposition"), "<none>");
  EXPECT_HAS(response.Body(), "<title>Orders &amp; more</title>");
  EXPECT_HAS(response.Body(), "<o:Author>Orrin Vale</o:Author>");
  XmlDocument html = XmlDocument::ParseHtml(response.Body());
  EXPECT_EQ(html.SelectFirst("//table").Attribute("bordercolor"), "black");
  EXPECT_EQ(html.Select("//tbody/tr").size(), 3u);
}

TEST_F(ExporterTest, XmlExportDeclaresAndUsesItsEncoding) {
  auto latin = Make<DataSetExporter2>();
  const Response& response = Run([&] { latin->ExportToXml(); });
  EXPECT_EQ(response.FullContentType(), "text/xml");
  EXPECT_EQ(Header("Content-Disposition"), "attachment; filename=\"Fennick_Report.xml\"");
  const std::string& body = response.Body();
  ASSERT_EQ(body.rfind("<?xml version=\"1.0\" encoding=\"ISO-8859-1\" ?>", 0), 0u) << body;
  EXPECT_HAS(body, "Z\xFCrich");
  XmlParseResult doc = XmlDocument::Parse(body);
  ASSERT_TRUE(doc.ok()) << doc.error;
  EXPECT_EQ(Texts(doc.document, "//datarow[1]/datacolumn[@name='City']"), (Strings{"Z\xC3\xBCrich"}));
  EXPECT_EQ(Texts(doc.document, "//datarow[1]/datacolumn[@name='Note']"),
            (Strings{"a \"quoted\" <b>&amp;</b>"}));

  // Without an encoding there is no declaration at all.
  NewPage();
  auto plain = Make<DataSetExporter2>();
  plain->Encoding("");
  const std::string& text = Run([&] { plain->ExportToXml(); }).Body();
  EXPECT_EQ(text.rfind("<dataset>", 0), 0u) << text;
  EXPECT_TRUE(XmlDocument::Parse(text).ok());

  auto hostile = Make<DataSetExporter2>();
  hostile->Encoding("x\"?><evil/>");
  EXPECT_THROW(hostile->ExportToXml(), Error);
}

TEST_F(ExporterTest, CustomTemplatesInlineAsFilesBrokenAndHostile) {
  const std::string sheet =
      "<xsl:stylesheet version='1.0' xmlns:xsl='http://www.w3.org/1999/XSL/Transform'>"
      "<xsl:output method='xml' omit-xml-declaration='yes'/>"
      "<xsl:template match='/'><n><xsl:value-of select='count(//tbody/tr)'/></n></xsl:template>"
      "</xsl:stylesheet>";
  auto inline_template = Make<DataSetExporter2>();
  inline_template->Encoding("");
  inline_template->XslExportTemplate(sheet);
  EXPECT_EQ(Run([&] { inline_template->ExportToXml(); }).Body(), "<n>3</n>\n");

  { std::ofstream(site_ / "exports" / "count.xsl") << sheet; }
  NewPage();
  auto file_template = Make<DataSetExporter2>();
  file_template->Encoding("");
  file_template->XslExportTemplate("exports\\count.xsl");  // "\" read as "/"
  EXPECT_EQ(Run([&] { file_template->ExportToXml(); }).Body(), "<n>3</n>\n");

  auto outside = Make<DataSetExporter2>();
  EXPECT_THROW(outside->XslExportTemplate("../../etc/passwd"), Error);
  EXPECT_THROW(outside->XslExportTemplate("exports/../../x.xsl"), Error);

  auto broken = Make<DataSetExporter2>();
  broken->XslExportTemplate("<xsl:stylesheet");
  try {
    broken->ExportToXml();
    FAIL() << "a broken template exported";
  } catch (const Error& e) {
    EXPECT_EQ(e.description().rfind("XML Error: the export template could not be read: ", 0), 0u)
        << e.description();
  }

  fs::path secret = site_.string() + "_secret.xml";
  { std::ofstream(secret) << "<s>TOPSECRET</s>"; }
  auto reader = Make<DataSetExporter2>();
  reader->XslExportTemplate(
      "<xsl:stylesheet version='1.0' xmlns:xsl='http://www.w3.org/1999/XSL/Transform'>"
      "<xsl:template match='/'><xsl:value-of select=\"document('" + secret.string() +
      "')\"/></xsl:template></xsl:stylesheet>");
  EXPECT_THROW(reader->ExportToXml(), Error);
  EXPECT_LACKS(page_->response().Body(), "TOPSECRET");
  fs::remove(secret);

  auto writer = Make<DataSetExporter2>();
  writer->XslExportTemplate(
      "<xsl:stylesheet version='1.0' xmlns:xsl='http://www.w3.org/1999/XSL/Transform' "
      "xmlns:exsl='http://exslt.org/common' extension-element-prefixes='exsl'>"
      "<xsl:template match='/'><exsl:document href='" + (site_ / "owned.txt").string() +
      "' method='text'>x</exsl:document></xsl:template></xsl:stylesheet>");
  EXPECT_THROW(writer->ExportToXml(), Error);
  EXPECT_FALSE(fs::exists(site_ / "owned.txt"));
}

// CSV: every value quoted, quotes doubled, a null an empty field (an
// empty text is ""); text keeps its blank for a null.
TEST_F(ExporterTest, CsvQuotesEveryValueAndDoublesQuotes) {
  auto csv = Make<DataSetExporter2>();
  const Response& response = Run([&] { csv->ExportToCSV(); });
  EXPECT_EQ(response.FullContentType(), "text/csv; charset=utf-8");
  EXPECT_EQ(Header("Content-Disposition"), "attachment; filename=\"Fennick_Report.csv\"");
  EXPECT_EQ(response.Body(),
            "\"Id\",\"City\",\"Note\"\r\n"
            "\"1\",\"Z\xC3\xBCrich\",\"a \"\"quoted\"\" <b>&amp;</b>\"\r\n"
            "\"2\",,\"=SUM(A1)\"\r\n"
            "\"3\",\"x__COL__ROW__NULL\",\"\"\r\n");

  // CsvSafe: every formula start in text and field names, never in
  // numbers; in text, tabs and line breaks inside values become spaces.
  const std::string hostile =
      "SELECT '=1' AS \"=h\" UNION ALL SELECT '+1' UNION ALL SELECT '-1' UNION ALL SELECT '@1' "
      "UNION ALL SELECT char(9) || '=1' UNION ALL SELECT char(13) || '=1' "
      "UNION ALL SELECT 'a' || char(9) || '=1' || char(10) || '@2' UNION ALL SELECT 'a=1'";
  NewPage();
  auto safe = Make<DataSetExporter>(hostile);
  safe->CsvSafe(true);
  safe->CsvByteOrderMark(true);
  EXPECT_EQ(Run([&] { safe->ExportToCSV(); }).Body(),
            "\xEF\xBB\xBF\"'=h\"\r\n\"'=1\"\r\n\"'+1\"\r\n\"'-1\"\r\n\"'@1\"\r\n"
            "\"'\t=1\"\r\n\"'\r=1\"\r\n\"a\t=1\n@2\"\r\n\"a=1\"\r\n");
  EXPECT_EQ(Header("Content-Disposition"), "attachment; filename=\"Report.csv\"");
  NewPage();
  auto safe_text = Make<DataSetExporter2>(hostile);
  safe_text->CsvSafe(true);
  EXPECT_EQ(Run([&] { safe_text->ExportToText(); }).Body(),
            "'=h\r\n'=1\r\n'+1\r\n'-1\r\n'@1\r\n' =1\r\n' =1\r\na =1 @2\r\na=1\r\n");
  NewPage();
  auto number = Make<DataSetExporter2>("SELECT -1 AS n, '-1' AS t");
  number->CsvSafe(true);
  EXPECT_EQ(Run([&] { number->ExportToCSV(); }).Body(), "\"n\",\"t\"\r\n\"-1\",\"'-1\"\r\n");

  NewPage();
  auto text = Make<DataSetExporter2>("SELECT Id, City FROM T ORDER BY Id");
  const Response& txt = Run([&] { text->ExportToText(); });
  EXPECT_EQ(txt.FullContentType(), "text/txt; charset=utf-8");
  EXPECT_EQ(txt.Body(), "Id\tCity\r\n1\tZ\xC3\xBCrich\r\n2\t \r\n3\tx__COL__ROW__NULL\r\n");
}

// Rows after a first batch: a download keeps only the first batch in the
// page and streams the rest through its producer; a file holds them all.
TEST_F(ExporterTest, RemainingRowsStreamInADownloadAndFillAFile) {
  const std::string expected =
      "Id\tCity\r\n1\tZ\xC3\xBCrich\r\n2\t \r\n3\tx__COL__ROW__NULL\r\n";
  auto start = [this](DataSetExporter2& exporter) {
    FirstRowsThenRest(exporter, "SELECT Id, City FROM T ORDER BY Id", 1);
  };
  auto download = std::make_unique<DataSetExporter2>(host_);
  start(*download);
  const Response& response = Run([&] { download->ExportToText(); });
  download.reset();
  EXPECT_EQ(response.Body(), "Id\tCity\r\n1\tZ\xC3\xBCrich\r\n");
  EXPECT_EQ(Header("Content-Disposition"), "attachment; filename=\"Fennick_Report.txt\"");
  Response::BodyProducer producer = page_->response().TakeStreamedBody();
  ASSERT_TRUE(producer);
  std::string streamed = response.Body();
  producer([&](std::string_view piece) {
    streamed.append(piece);
    return true;
  });
  EXPECT_EQ(streamed, expected);

  NewPage();
  auto file = std::make_unique<DataSetExporter2>(host_);
  start(*file);
  const std::string base = "exports/" + NewExportFileBase();
  file->TempFileUrl(base);
  EXPECT_EQ(Run([&] { file->ExportToText(); }).StatusCode(), 302);
  EXPECT_FALSE(page_->response().StreamedBody());
  EXPECT_EQ(test_support::ReadText(site_ / (base + ".txt")), expected + "\r\n");
}

TEST_F(ExporterTest, ADatabaseErrorMidResultSendsNoDownload) {
  // The third row overflows while the engine computes it.
  auto failing = Make<DataSetExporter2>(
      "SELECT Id, CASE WHEN Id = 3 THEN abs(-9223372036854775807 - 1) ELSE Id END AS X "
      "FROM T ORDER BY Id");
  page_->response().Write("before");
  EXPECT_THROW(failing->ExportToCSV(), Error);
  EXPECT_EQ(Header("Content-Disposition"), "<none>");
  EXPECT_LACKS(page_->response().Body(), "\"1\"");
  EXPECT_LACKS(page_->response().ContentType(), "csv");
}

// A file of remaining rows is written a batch at a time; a row failing
// after the first batch leaves no file behind.
TEST_F(ExporterTest, RemainingRowsFailingInFileModeLeaveNoFile) {
  auto exporter = std::make_unique<DataSetExporter2>(host_);
  FirstRowsThenRest(*exporter,
                    "SELECT Id, CASE WHEN Id = 3 THEN abs(-9223372036854775807 - 1) ELSE Id END "
                    "AS X FROM T",  // no sort, so the third row fails when it is read
                    1);
  const std::string base = "exports/" + NewExportFileBase();
  exporter->TempFileUrl(base);
  EXPECT_THROW(exporter->ExportToCSV(), Error);
  EXPECT_FALSE(fs::exists(site_ / (base + ".csv")));
  EXPECT_EQ(Header("Location"), "<none>");

  // Outside the site: refused before anything is written.
  NewPage();
  auto escaping = std::make_unique<DataSetExporter2>(host_);
  FirstRowsThenRest(*escaping, "SELECT Id FROM T", 1);
  escaping->TempFileUrl("..\\..\\outside");
  EXPECT_THROW(escaping->ExportToCSV(), Error);
  EXPECT_FALSE(fs::exists(site_.parent_path().parent_path() / "outside.csv"));
}

// The Excel and Word documents of both exporters over rows that come in
// batches: the file and the streamed download hold exactly the bytes of
// the document built from the whole result at once, over enough rows for
// three batches, with nulls, markup, marker words, formats and headers.
class BatchedDocumentTest : public ExporterTest {
 protected:
  void SetUp() override {
    ExporterTest::SetUp();
    connection_->Execute(
        "CREATE TABLE B (Id INTEGER, Name VARCHAR(40), Price REAL, Added DATETIME, Cost MONEY, "
        "Note VARCHAR(40))");
    connection_->Execute(
        "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 2500) "
        "INSERT INTO B SELECT i, CASE WHEN i % 7 = 0 THEN NULL "
        "ELSE 'n<b>' || i || '</b> & \"q\" __ROW' END, i * 0.25, "
        "CASE WHEN i % 11 = 0 THEN NULL "
        "ELSE printf('2024-03-%02d %02d:15:00', 1 + i % 28, i % 10) END, (i - 1200) * 1.5, "
        "CASE i % 5 WHEN 0 THEN 'Z\xC3\xBCrich \xC4\xB1 \xE2\x9C\x93' "
        "WHEN 1 THEN 'a' || char(13) || char(10) || 'b ]]>' WHEN 2 THEN 'tab' || char(9) || '>' "
        "WHEN 3 THEN '' END FROM n");
  }

  // A format names its column exactly, bare or after a table: "prices"
  // is not Price's.
  static constexpr char kNumberFormats[] = "b.id|=|12|||prices|=|13|||price|=|12|||";

  enum class Mode { kWhole, kFile, kDownload };
  static constexpr char kQuery[] = "SELECT * FROM B ORDER BY Id";

  template <typename Exporter>
  void Configure(Exporter& exporter, Mode mode, const std::string& base) {
    exporter.Connection(connection_);
    exporter.Command(kQuery);
    exporter.Headers({"No.", "Name <i>&"});
    exporter.Title("Batches");
    if constexpr (std::is_same_v<Exporter, DataSetExporter2>) {
      exporter.ColFormatXml(BuildColumnFormatXml("added|=|%D.%m.%Y %h:%N %P|||", kNumberFormats));
    }
    if (mode != Mode::kWhole) {
      // A first batch of 7 rows, as a grid would read more; the exporter
      // reads the rest 1,000 at a time.
      FirstRowsThenRest(exporter, kQuery, 7);
    }
    if (mode == Mode::kFile) exporter.TempFileUrl(base);
  }

  // The document of one export in `mode`: the page's body (with what the
  // producer streams) or the file it redirected to.
  template <typename Exporter, typename Call>
  std::string Export(Mode mode, Call call) {
    NewPage();
    const std::string base = "exports/" + NewExportFileBase();
    std::string extension;
    {
      Exporter exporter(host_);
      Configure(exporter, mode, base);
      EXPECT_THROW(call(exporter), PageEnd);
    }
    Response& response = page_->response();
    if (mode == Mode::kFile) {
      EXPECT_EQ(response.StatusCode(), 302);
      EXPECT_FALSE(response.StreamedBody());
      std::string location = Header("Location");
      EXPECT_EQ(location.rfind(base + ".", 0), 0u) << location;
      return test_support::ReadText(site_ / location);
    }
    std::string body = response.Body();
    Response::BodyProducer producer = response.TakeStreamedBody();
    EXPECT_EQ(bool(producer), mode == Mode::kDownload);
    if (producer) {
      // Only the first batch was in the page.
      EXPECT_LACKS(body, ">8</td>");
      producer([&](std::string_view piece) {
        body.append(piece);
        return true;
      });
    }
    return body;
  }

  // Word documents carry the time they were made; it is blanked.
  static std::string WithoutTime(std::string doc) {
    size_t from = doc.find("<o:Created>");
    size_t to = doc.find("</o:LastSaved>");
    if (from != std::string::npos && to != std::string::npos) doc.erase(from, to - from);
    return doc;
  }

  template <typename Exporter, typename Call>
  void ExpectSameBytes(Call call, const std::string& what) {
    SCOPED_TRACE(what);
    std::string whole = WithoutTime(Export<Exporter>(Mode::kWhole, call));
    XmlDocument html = XmlDocument::ParseHtml(whole);
    ASSERT_EQ(html.Select("//tbody/tr").size(), 2500u);
    EXPECT_EQ(Texts(html, "//tbody/tr[2500]/td[2]"), (Strings{"n<b>2500</b> & \"q\" __ROW"}));
    EXPECT_EQ(WithoutTime(Export<Exporter>(Mode::kDownload, call)), whole);
    EXPECT_EQ(WithoutTime(Export<Exporter>(Mode::kFile, call)), whole + "\r\n");
  }
};

TEST_F(BatchedDocumentTest, FilesAndDownloadsEqualTheWholeDocument) {
  auto excel = [](auto& exporter) { exporter.ExportToExcel(""); };
  auto word = [](auto& exporter) { exporter.ExportToWord(""); };
  ExpectSameBytes<DataSetExporter2>(excel, "Excel");
  ExpectSameBytes<DataSetExporter2>(word, "Word");
  ExpectSameBytes<DataSetExporter>(excel, "first-generation Excel");
  ExpectSameBytes<DataSetExporter>(word, "first-generation Word");

  // The formats reach the rows of every batch, not only the first.
  XmlDocument html = XmlDocument::ParseHtml(Export<DataSetExporter2>(Mode::kFile, excel));
  EXPECT_EQ(Texts(html, "//tbody/tr[2498]/td"),
            (Strings{"2,498.00", "n<b>2498</b> & \"q\" __ROW", "624.50", "07.3.2024 8:15 AM",
                     "1,947.00", ""}));
  EXPECT_EQ(Texts(html, "//tbody/tr[2464]/td[4]"), (Strings{""}));
  EXPECT_EQ(Texts(html, "//thead/tr/th"),
            (Strings{"No.", "Name <i>&", "Price", "Added", "Cost", "Note"}));
}

// The tables written from the rows are the stylesheets' own, byte for byte
// (Office cells' value and format attributes aside): the rowset-to-table
// stylesheet for Excel and Word, and the dataset stylesheets (run by a
// template file) for the streamed XML of both exporters and encodings.
TEST_F(BatchedDocumentTest, DirectTablesAreTheStylesheetsByteForByte) {
  auto table_of = [](std::string doc) {
    doc = doc.substr(doc.find("<table"), doc.rfind("</table>") + 8 - doc.find("<table"));
    return std::regex_replace(doc, std::regex("<td [^>]*?(/?)>"), "<td$1>");
  };
  auto stylesheet_table = [&](const std::string& style) {
    RegisterExportFunctions();
    Recordset rs = connection_->Execute(kQuery);
    XmlDocument data = SaveRecordsetXml(rs);
    XmlNode root = data.Root(), schema = root.FirstElement();
    for (const std::string& part :
         {"<style>" + style + "</style>",
          BuildColumnFormatXml("added|=|%D.%m.%Y %h:%N %P|||", kNumberFormats),
          std::string("<headers><header caption='No.'/><header caption='Name &lt;i&gt;&amp;'/>"
                      "</headers>")}) {
      root.AppendCopy(XmlDocument::Parse(part).document.Root()).MoveBefore(schema);
    }
    return XsltCache::Shared().FromText(RowsetToTableStylesheet()).stylesheet->Transform(data).text;
  };
  EXPECT_EQ(table_of(Export<DataSetExporter2>(Mode::kWhole, [](auto& e) { e.ExportToExcel(""); })),
            stylesheet_table("<thead style='background-color:#cccccc;'/>"));
  EXPECT_EQ(table_of(Export<DataSetExporter2>(Mode::kWhole, [](auto& e) { e.ExportToWord(""); })),
            stylesheet_table("<table border='1' cellspacing='0' cellpadding='2' bgcolor='white' "
                             "bordercolor='black'/><thead style='background-color:#cccccc;'/>"));

  {
    std::ofstream(site_ / "exports" / "second.xsl") << TableToDatasetStylesheet();
    std::ofstream(site_ / "exports" / "first.xsl") << FirstGenerationDatasetStylesheet();
  }
  for (const char* encoding : {"", "ISO-8859-1", "UTF-8"}) {
    SCOPED_TRACE(encoding);
    auto xml = [encoding](const char* file) {
      return [encoding, file](DataSetExporter2& e) {
        e.Encoding(encoding);
        if (*file) e.XslExportTemplate(file);
        e.ExportToXml();
      };
    };
    const std::string streamed = Export<DataSetExporter2>(Mode::kDownload, xml(""));
    EXPECT_EQ(streamed, Export<DataSetExporter2>(Mode::kWhole, xml("exports/second.xsl")));
    EXPECT_EQ(streamed, Export<DataSetExporter2>(Mode::kWhole, xml("")));
  }
  auto first = [](const char* file) {
    return [file](DataSetExporter& e) {
      if (*file) e.XslExportTemplate(file);
      e.ExportToXml();
    };
  };
  EXPECT_EQ(Export<DataSetExporter>(Mode::kDownload, first("")),
            Export<DataSetExporter>(Mode::kWhole, first("exports/first.xsl")));
}

// A row failing after the first batch (the 1,500th overflows): the file
// is removed and the error reaches the page; a download stops before the
// document's closing tags.
TEST_F(BatchedDocumentTest, ALateFailureLeavesNoFileAndNoClosedDocument) {
  const std::string failing =
      "SELECT Id, CASE WHEN Id = 1500 THEN abs(-9223372036854775807 - 1) ELSE Name END AS N "
      "FROM B";  // no sort, so row 1,500 fails when it is read
  auto run = [&](auto& exporter, bool file, bool word) {
    FirstRowsThenRest(exporter, failing, 10);
    const std::string base = "exports/" + NewExportFileBase();
    if (file) exporter.TempFileUrl(base);
    auto call = [&] { word ? exporter.ExportToWord("") : exporter.ExportToExcel(""); };
    if (file) {
      EXPECT_THROW(call(), Error);
      EXPECT_FALSE(fs::exists(site_ / (base + (word ? ".doc" : ".xls"))));
      EXPECT_EQ(Header("Location"), "<none>");
      return;
    }
    EXPECT_THROW(call(), PageEnd);
    std::string body = page_->response().Body();
    Response::BodyProducer producer = page_->response().TakeStreamedBody();
    ASSERT_TRUE(producer);
    EXPECT_THROW(producer([&](std::string_view piece) {
                   body.append(piece);
                   return true;
                 }),
                 Error);
    EXPECT_HAS(body, ">999</td>");
    EXPECT_LACKS(body, "</table>");
    EXPECT_LACKS(body, "</html>");
  };
  for (bool file : {true, false}) {
    for (bool word : {false, true}) {
      SCOPED_TRACE(std::string(file ? "file" : "download") + (word ? " Word" : " Excel"));
      NewPage();
      DataSetExporter2 second(host_);
      second.Connection(connection_);
      run(second, file, word);
      NewPage();
      DataSetExporter first(host_);
      first.Connection(connection_);
      run(first, file, word);
    }
  }
}

TEST_F(ExporterTest, FileModeWritesInsideTheSiteAndRedirects) {
  auto exporter = Make<DataSetExporter2>();
  const std::string base = "exports/" + NewExportFileBase();
  exporter->TempFileUrl(base);
  const Response& response = Run([&] { exporter->ExportToCSV(); });
  EXPECT_EQ(response.StatusCode(), 302);
  EXPECT_EQ(Header("Location"), base + ".csv");
  EXPECT_EQ(Header("Content-Disposition"), "<none>");
  EXPECT_EQ(test_support::ReadText(site_ / (base + ".csv"))
                .rfind("\"Id\",\"City\",\"Note\"\r\n\"1\",", 0),
            0u);

  auto escaping = Make<DataSetExporter2>();
  escaping->TempFileUrl("..\\..\\outside");
  EXPECT_THROW(escaping->ExportToCSV(), Error);
}

TEST_F(ExporterTest, DownloadNamesCannotBreakTheHeader) {
  EXPECT_EQ(DownloadDisposition("a\r\nSet-Cookie: x=\"1\"", "csv", true),
            "attachment; filename=\"aSet-Cookie: x=1.csv\"");
  EXPECT_EQ(DownloadDisposition("Z\xC3\xBCrich", "xls", true),
            "attachment; filename=\"Z__rich.xls\"; filename*=UTF-8''Z%C3%BCrich.xls");
}

TEST_F(ExporterTest, FirstGenerationTablesComeFromTheRecordset) {
  auto excel = Make<DataSetExporter>();
  excel->Headers({"No.", "<b>City</b>", "Note"});
  const Response& response = Run([&] { excel->ExportToExcel(""); });
  EXPECT_EQ(Header("Content-Disposition"), "attachment; filename=\"Report.xls\"");
  XmlDocument html = XmlDocument::ParseHtml(response.Body());
  EXPECT_EQ(Texts(html, "//thead/tr/th"), (Strings{"No.", "<b>City</b>", "Note"}));
  EXPECT_EQ(html.SelectFirst("//thead/tr/th[1]").Attribute("type"), "3");
  // Marker words and markup in the data stay inside their cells.
  EXPECT_EQ(Texts(html, "//tbody/tr[3]/td"), (Strings{"3", "x__COL__ROW__NULL", ""}));
  EXPECT_EQ(Texts(html, "//tbody/tr[1]/td[3]"), (Strings{"a \"quoted\" <b>&amp;</b>"}));
  EXPECT_EQ(Texts(html, "//tbody/tr[2]/td[2]"), (Strings{"\xC2\xA0"}));

  // A one-column row holding "" is kept.
  NewPage();
  auto single = Make<DataSetExporter>("SELECT Note FROM T ORDER BY Id");
  XmlDocument one = XmlDocument::ParseHtml(Run([&] { single->ExportToWord(""); }).Body());
  EXPECT_EQ(one.Select("//tbody/tr").size(), 3u);
}

TEST_F(ExporterTest, FirstGenerationXmlAndPrint) {
  auto xml = Make<DataSetExporter>();
  const Response& response = Run([&] { xml->ExportToXml(); });
  EXPECT_EQ(response.Body().rfind("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>", 0), 0u)
      << response.Body();
  XmlParseResult doc = XmlDocument::Parse(response.Body());
  ASSERT_TRUE(doc.ok()) << doc.error;
  XmlNode column = doc.document.SelectFirst("/dataset/datacolumns/datacolumn[2]");
  EXPECT_EQ(column.Attribute("name"), "City");
  EXPECT_EQ(column.Attribute("type"), "200");
  EXPECT_EQ(Texts(doc.document, "//datarow[1]/datacolumn[@name='City']"), (Strings{"Z\xC3\xBCrich"}));

  // One row per page prints every row; the page opens in place.
  NewPage();
  auto print = Make<DataSetExporter>();
  print->ShowRowNumbers(true);
  const Response& printed = Run([&] { print->ExportToHtmlForPrint(1, "Orders"); });
  EXPECT_EQ(printed.FullContentType(), "text/html");
  EXPECT_EQ(Header("Content-Disposition"), "<none>");
  XmlDocument html = XmlDocument::ParseHtml(printed.Body());
  EXPECT_EQ(html.Select("//table").size(), 3u);
  EXPECT_EQ(Texts(html, "//table[3]/tr[2]/td"), (Strings{"3", "3", "x__COL__ROW__NULL", ""}));
  EXPECT_EQ(Texts(html, "//h2"), (Strings{"Orders"}));

  // OpenFile set false on purpose: an attachment named after "Report".
  NewPage();
  auto attached = Make<DataSetExporter>();
  attached->OpenFile(false);
  Run([&] { attached->ExportToHtmlForPrint(10, ""); });
  EXPECT_EQ(Header("Content-Disposition"), "attachment; filename=\"Report.html\"");
}

TEST(ExportFilesTest, CleanupRemovesOnlyOldExportFiles) {
  fs::path folder = fs::temp_directory_path() / "fennick_export_files_test";
  fs::remove_all(folder);
  fs::create_directories(folder);
  std::string mine = NewExportFileBase();
  EXPECT_EQ(mine.size(), std::string(kExportFilePrefix).size() + 32);
  EXPECT_NE(mine, NewExportFileBase());
  const Strings names = {mine + ".xls", mine + ".csv", "report.xls", mine + ".asp",
                         mine.substr(0, mine.size() - 1) + ".xls", mine + "0.xls"};
  for (const std::string& name : names) {
    std::ofstream(folder / name) << "x";
    fs::last_write_time(folder / name, fs::last_write_time(folder / name) - std::chrono::hours(2));
  }
  std::string fresh = NewExportFileBase() + ".doc";
  std::ofstream(folder / fresh) << "x";
  EXPECT_EQ(RemoveOldExportFiles(folder, std::chrono::hours(1)), 2);
  EXPECT_FALSE(fs::exists(folder / (mine + ".xls")));
  EXPECT_FALSE(fs::exists(folder / (mine + ".csv")));
  for (size_t i = 2; i < names.size(); ++i) EXPECT_TRUE(fs::exists(folder / names[i])) << names[i];
  EXPECT_TRUE(fs::exists(folder / fresh));
  EXPECT_EQ(RemoveOldExportFiles(folder / "missing", std::chrono::hours(1)), 0);
  fs::remove_all(folder);
}

// A download's bytes: the body, then what its producer streams.
std::string Downloaded(PageContext& page) {
  std::string bytes = page.response().Body();
  if (Response::BodyProducer producer = page.response().TakeStreamedBody()) {
    producer([&](std::string_view piece) {
      bytes.append(piece);
      return true;
    });
  }
  return bytes;
}

// Rows of every kind a workbook and a PDF must survive: formulas, markup,
// control characters, right-to-left and combining text, a null row, and a
// text longer than a workbook cell holds.
void MakeHostileTable(Connection& db) {
  db.Execute("CREATE TABLE W (Id INTEGER, Name VARCHAR(60), Born DATE, Price REAL, Share REAL)");
  db.Execute(
      "INSERT INTO W VALUES (1, '=1+2', '2004-03-05', 1234.5, 0.25), (2, NULL, NULL, NULL, NULL), "
      "(3, '\xD7\xA9\xD7\x9C\xD7\x95\xD7\x9D <b>&amp;</b>' || char(1) || 'Zu' || char(776) || "
      "'rich', '1999-12-31', -5, 1), (4, replace(hex(zeroblob(20000)), '0', 'x'), '2025-12-30', "
      "0, 0.5), (5, '@SUM(A1)', '2000-01-01', 7.25, 0.75)");
}

void AddPlainRows(Connection& db, int first, int last) {
  db.Execute("WITH RECURSIVE n(i) AS (SELECT " + std::to_string(first) +
             " UNION ALL SELECT i + 1 FROM n WHERE i < " + std::to_string(last) +
             ") INSERT INTO W SELECT i, 'row ' || printf('%04d', i), '2001-02-03', i - 5, 0.5 "
             "FROM n");
}

TEST(WorksheetNameTest, KeepsWhatASheetNameMayHold) {
  const std::pair<std::string, std::string> cases[] = {
      {"Q1: [Sales]/2024*?\\", "Q1 Sales2024"},
      {"'quoted' ", "quoted"},
      {"", "Sheet1"},
      {"[]:*?", "Sheet1"},
      {"Z\xC3\xBCrich sales and returns by month", "Z\xC3\xBCrich sales and returns by mon"},
      {"tab\there\x01", "tab here"},
  };
  for (const auto& [title, name] : cases) EXPECT_EQ(WorksheetName(title), name) << title;
}

// Typed cells with the column formats, text that never runs, the long
// text cut with its note, the captions bold, frozen and filtered on every
// sheet, rows past a sheet's limit on the next one, footers last.
TEST_F(ExporterTest, WorkbookTypesCellsKeepsTextAndContinuesOnAnotherSheet) {
  MakeHostileTable(*connection_);
  AddPlainRows(*connection_, 6, 8);
  auto exporter = Make<XlsxExporter>("SELECT Id, Name, Born, Price, Share FROM W ORDER BY Id");
  exporter->ColFormatXml(BuildColumnFormatXml("born|=|d mmm yyyy|||", "price|=|32|||share|=|20|||"));
  ExportFooterSettings footers;
  footers.averages = footers.totals = true;
  footers.average_columns = {false, false, false, false, true};
  footers.total_columns = {false, false, false, true, false};
  exporter->Footers(footers);
  exporter->SheetRowLimit(7);
  const std::string title = "Sales: [2024] \xD7\xA9\xD7\x9C\xD7\x95\xD7\x9D and the rest of it";
  Run([&] { exporter->ExportToXlsx(title); });
  EXPECT_EQ(page_->response().ContentType(),
            "application/vnd.openxmlformats-officedocument.spreadsheetml.sheet");
  EXPECT_EQ(Header("Content-Disposition"), "attachment; filename=\"Fennick_Report.xlsx\"");
  testing::WriteBytes(site_ / "w.xlsx", Downloaded(*page_));
  std::vector<testing::Sheet> sheets = testing::ReadSheets(site_ / "w.xlsx");
  ASSERT_EQ(sheets.size(), 2u);
  auto& one = sheets[0].cells;
  auto& two = sheets[1].cells;
  EXPECT_EQ(sheets[0].name, WorksheetName(title));
  EXPECT_EQ(sheets[1].name, "Sales 2024 \xD7\xA9\xD7\x9C\xD7\x95\xD7\x9D and the res (2)");
  EXPECT_EQ(sheets[0].frozen_rows + " " + sheets[0].filter, "1 A1:E7");
  EXPECT_EQ(sheets[1].frozen_rows + " " + sheets[1].filter, "2 A2:E4");
  for (const auto& sheet : sheets) {
    for (const auto& [ref, cell] : sheet.cells) EXPECT_FALSE(cell.formula) << ref;
  }
  EXPECT_TRUE(one["A1"].bold);
  EXPECT_EQ(one["E1"].value, "Share");
  EXPECT_EQ(one["B2"].kind + " " + one["B2"].value, "inlineStr =1+2");
  EXPECT_EQ(one["C2"].kind + " " + one["C2"].value + " " + one["C2"].code, "n 38051 d mmm yyyy");
  EXPECT_EQ(one["D2"].value, "1234.5");
  EXPECT_HAS(one["D2"].code, "#,##0.00");
  EXPECT_EQ(one["E2"].value + " " + one["E2"].code, "0.25 #,##0%");
  EXPECT_EQ(one["A3"].value, "2");
  EXPECT_EQ(one.count("B3") + one.count("C3") + one.count("E3"), 0u) << "nulls are empty";
  EXPECT_EQ(one["B4"].value,
            "\xD7\xA9\xD7\x9C\xD7\x95\xD7\x9D <b>&amp;</b>Zu\xCC\x88rich");
  EXPECT_EQ(one["B5"].value.size(), kMaxWorkbookCellChars);
  EXPECT_EQ(one["B5"].value.substr(32700), std::string(39, 'x') + " ... [cut: 40000 characters]");
  EXPECT_EQ(one["B6"].kind + " " + one["B6"].value, "inlineStr @SUM(A1)");
  EXPECT_EQ(two["A1"].value, "Continued from sheet 1: rows 7 onwards (a sheet holds 7 rows)");
  EXPECT_EQ(two["B2"].value, "Name");
  EXPECT_EQ(two["A3"].value + " " + two["A4"].value, "7 8");
  EXPECT_EQ(two["A6"].value + " " + two["E6"].value + " " + two["E6"].code, "Average 0.57 #,##0%");
  EXPECT_EQ(two["A7"].value + " " + two["D7"].value, "Total 1242.75");

  // File mode: the workbook where TempFileUrl says, and a redirect.
  NewPage();
  auto file = Make<XlsxExporter>("SELECT Id FROM W");
  const std::string base = "exports/" + NewExportFileBase();
  file->TempFileUrl(base);
  EXPECT_EQ(Run([&] { file->ExportToXlsx(""); }).StatusCode(), 302);
  EXPECT_EQ(Header("Location"), base + ".xlsx");
  EXPECT_TRUE(IsExportFileName(fs::path(base).filename().string() + ".xlsx"));
  ASSERT_EQ(testing::ReadSheets(site_ / (base + ".xlsx")).size(), 1u);
  EXPECT_EQ(testing::ReadSheets(site_ / (base + ".xlsx"))[0].cells["A9"].value, "8");
}

// Pages with the captions and page numbers on each, every row, the title
// and filter on the first, text cut with an ellipsis, the footers, and the
// paper turned when the columns need it.
TEST_F(ExporterTest, PdfRepeatsCaptionsNumbersPagesAndHoldsEveryRow) {
  MakeHostileTable(*connection_);
  AddPlainRows(*connection_, 6, 150);
  auto exporter = Make<PdfExporter>("SELECT Id, Name, Born, Price, Share FROM W ORDER BY Id");
  exporter->ColFormatXml(BuildColumnFormatXml("born|=|d mmm yyyy|||", "price|=|32|||"));
  exporter->FilterText("Filter: Price > 0");
  ExportFooterSettings footers;
  footers.totals = true;
  footers.total_columns = {false, false, false, true, false};
  exporter->Footers(footers);
  Run([&] { exporter->ExportToPdf("Orders \xD7\xA9\xD7\x9C\xD7\x95\xD7\x9D"); });
  EXPECT_EQ(page_->response().ContentType(), "application/pdf");
  testing::WriteBytes(site_ / "r.pdf", Downloaded(*page_));
  testing::PdfText pdf = testing::ReadPdf(site_ / "r.pdf");
  ASSERT_GE(pdf.pages, 3);
  EXPECT_HAS(pdf.size, "(A4)");
  ASSERT_EQ(pdf.page_texts.size(), static_cast<size_t>(pdf.pages));
  std::string all;
  for (int i = 0; i < pdf.pages; ++i) {
    const std::string& text = pdf.page_texts[i];
    EXPECT_HAS(text, "Name") << i;
    EXPECT_HAS(text, "Share") << i;
    EXPECT_HAS(text, "Page " + std::to_string(i + 1));
    all += text;
  }
  EXPECT_HAS(pdf.page_texts[0], "Filter: Price > 0");
  EXPECT_HAS(pdf.page_texts[0], "Orders");
  EXPECT_HAS_ALL(all, {"=1+2", "5 Mar 2004", "\xD7\xA9\xD7\x9C\xD7\x95\xD7\x9D"});
  for (int i = 6; i <= 150; ++i) {
    char row[16];
    std::snprintf(row, sizeof row, "row %04d", i);
    EXPECT_HAS(all, row) << row;
  }
  EXPECT_HAS(all, "$1,234.50");
  // The footer in the column's format, under it.
  const size_t total = all.find("Total");
  ASSERT_NE(total, std::string::npos);
  EXPECT_NE(all.find("$11,821.75", total), std::string::npos) << all.substr(total);
  EXPECT_EQ(std::system(("pdftoppm -png -r 40 -f 1 -l 1 '" + (site_ / "r.pdf").string() + "' '" +
                         (site_ / "page").string() + "'")
                            .c_str()),
            0);
  EXPECT_TRUE(fs::exists(site_ / "page-1.png") || fs::exists(site_ / "page-01.png") ||
              fs::exists(site_ / "page-001.png"));

  // Wide columns on Letter: landscape.
  NewPage();
  auto wide = Make<PdfExporter>(
      "SELECT Name AS A, Name AS B, Name AS C, Name AS D, Name AS E, Born FROM W");
  wide->PaperSize("Letter");
  Run([&] { wide->ExportToPdf("Wide"); });
  testing::WriteBytes(site_ / "wide.pdf", Downloaded(*page_));
  const testing::PdfText landscape = testing::ReadPdf(site_ / "wide.pdf");
  EXPECT_EQ(landscape.size.substr(0, 9), "792 x 612");
  // A date column without a format prints its dates as the grid shows them.
  EXPECT_HAS(landscape.page_texts[0], "3/5/2004");
  EXPECT_LACKS(landscape.page_texts[0], "2004-03-05");

  // No rows: the captions alone, in both documents.
  NewPage();
  auto none = Make<PdfExporter>("SELECT Id, Name FROM W WHERE 0");
  Run([&] { none->ExportToPdf("Empty"); });
  testing::WriteBytes(site_ / "none.pdf", Downloaded(*page_));
  testing::PdfText empty = testing::ReadPdf(site_ / "none.pdf");
  ASSERT_EQ(empty.pages, 1);
  EXPECT_HAS(empty.page_texts[0], "Name");
  NewPage();
  auto no_rows = Make<XlsxExporter>("SELECT Id, Name FROM W WHERE 0");
  Run([&] { no_rows->ExportToXlsx("Empty"); });
  testing::WriteBytes(site_ / "none.xlsx", Downloaded(*page_));
  std::vector<testing::Sheet> sheets = testing::ReadSheets(site_ / "none.xlsx");
  ASSERT_EQ(sheets.size(), 1u);
  EXPECT_EQ(sheets[0].filter + " " + sheets[0].cells["B1"].value, "A1:B1 Name");
  EXPECT_EQ(sheets[0].cells.size(), 2u);
}

}  // namespace
}  // namespace fennick
