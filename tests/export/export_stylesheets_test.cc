// Tests of the persisted rowset and the export stylesheets: the rowset's
// shape, the rowset-to-table stylesheet (captions, nulls, escaping, date,
// number and money formats), the dataset stylesheets and print paging.
#include "export/export_stylesheets.h"

#include <gtest/gtest.h>

#include "export/column_format_xml.h"
#include "export/export_functions.h"
#include "export/office_formats.h"
#include "export/recordset_xml.h"
#include "fennick/data.h"
#include "platform/xml/xslt.h"

namespace fennick {
namespace {

class ExportStylesheetTest : public ::testing::Test {
 protected:
  void SetUp() override {
    RegisterExportFunctions();
    connection_.Open("Provider=SQLite;Data Source=:memory:");
    connection_.Execute(
        "CREATE TABLE T (Id INTEGER, Name VARCHAR(20), \"Unit Price\" MONEY, "
        "Born DATETIME, Note VARCHAR(20))");
    connection_.Execute(
        "INSERT INTO T VALUES (1, 'A<b>&amp;', 1234.5, '2004-03-05 00:00:00', 'first')");
    connection_.Execute("INSERT INTO T VALUES (2, NULL, NULL, '2004-03-05 14:07:09', 'second')");
  }

  XmlDocument Rowset() {
    Recordset rs = connection_.Execute("SELECT * FROM T ORDER BY Id");
    return SaveRecordsetXml(rs);
  }

  // The rowset with extra elements put first, transformed to a table.
  XmlDocument Table(const std::string& extra = "",
                    const std::vector<std::pair<std::string, std::string>>& params = {}) {
    XmlDocument data = Rowset();
    if (!extra.empty()) {
      XmlParseResult parts = XmlDocument::Parse("<x>" + extra + "</x>");
      EXPECT_TRUE(parts.ok()) << parts.error;
      XmlNode schema = data.Root().FirstElement();
      for (XmlNode part : parts.document.Root().Elements()) {
        data.Root().AppendCopy(part).MoveBefore(schema);
      }
    }
    XsltCompileResult sheet = XsltCache::Shared().FromText(RowsetToTableStylesheet());
    EXPECT_TRUE(sheet.ok()) << sheet.error;
    XsltResult result = sheet.stylesheet->Transform(data, params);
    EXPECT_TRUE(result.ok()) << result.error;
    table_text_ = result.text;
    XmlParseResult table = XmlDocument::Parse(result.text);
    EXPECT_TRUE(table.ok()) << table.error << "\n" << result.text;
    return std::move(table.document);
  }

  static std::vector<std::string> Texts(const XmlDocument& doc, const std::string& xpath) {
    std::vector<std::string> texts;
    for (XmlNode node : doc.Select(xpath)) texts.push_back(node.Text());
    return texts;
  }

  Connection connection_;
  std::string table_text_;
};

using Strings = std::vector<std::string>;

TEST_F(ExportStylesheetTest, RowsetHasTheSavedShape) {
  XmlDocument doc = Rowset();
  std::vector<XmlNode> columns = doc.Select("/xml/s:Schema/s:ElementType/s:AttributeType");
  ASSERT_EQ(columns.size(), 5u);
  EXPECT_EQ(columns[0].Attribute("name"), "Id");
  EXPECT_EQ(columns[0].Attribute("name", kRowsetNs), std::nullopt);
  // "Unit Price" is not an XML name: made-up name, own name in rs:name.
  EXPECT_EQ(columns[2].Attribute("name"), "c3");
  EXPECT_EQ(columns[2].Attribute("name", kRowsetNs), "Unit Price");
  EXPECT_EQ(columns[2].SelectFirst("s:datatype").Attribute("type", kRowsetDataTypeNs), "number");
  EXPECT_EQ(columns[2].SelectFirst("s:datatype").Attribute("dbtype", kRowsetNs), "currency");
  EXPECT_EQ(columns[0].SelectFirst("s:datatype").Attribute("type", kRowsetDataTypeNs), "int");
  EXPECT_EQ(columns[3].SelectFirst("s:datatype").Attribute("type", kRowsetDataTypeNs), "dateTime");

  std::vector<XmlNode> rows = doc.Select("/xml/rs:data/z:row");
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0].Attribute("Name"), "A<b>&amp;");
  EXPECT_EQ(rows[0].Attribute("c3"), "1234.5");
  EXPECT_EQ(rows[0].Attribute("Born"), "2004-03-05T00:00:00");
  EXPECT_EQ(rows[1].Attribute("Born"), "2004-03-05T14:07:09");
  // Nulls are missing attributes.
  EXPECT_EQ(rows[1].Attribute("Name"), std::nullopt);
  EXPECT_EQ(rows[1].Attributes().size(), 3u);
  EXPECT_TRUE(IsXmlName("a_b-1.c"));
  EXPECT_FALSE(IsXmlName("1a"));
  EXPECT_FALSE(IsXmlName("a:b"));
  EXPECT_FALSE(IsXmlName("xmlName"));
}

TEST_F(ExportStylesheetTest, TableMatchesCellsToColumnsAndEscapesData) {
  XmlDocument table = Table("<headers><header caption=\"No.\"/><header caption=\"Who &amp; why\"/></headers>");
  // Captions: the given ones first, then rs:name, then the name.
  EXPECT_EQ(Texts(table, "/table/thead/tr/th"),
            (Strings{"No.", "Who & why", "Unit Price", "Born", "Note"}));
  // The null Name and Unit Price of row 2 leave their cells empty; Born
  // and Note stay in their own columns.
  EXPECT_EQ(Texts(table, "/table/tbody/tr[2]/td"),
            (Strings{"2", "", "", "2004-03-05 14:07:09", "second"}));
  // Markup in data stays text; money without a format uses the pattern;
  // a midnight date shows the date alone.
  EXPECT_EQ(Texts(table, "/table/tbody/tr[1]/td"),
            (Strings{"1", "A<b>&amp;", "1,234.50", "2004-03-05", "first"}));
  EXPECT_NE(table_text_.find("<td>A&lt;b&gt;&amp;amp;</td>"), std::string::npos) << table_text_;
}

TEST_F(ExportStylesheetTest, StyleAndEuroMoneyAreApplied) {
  XmlDocument table = Table(
      "<style><table border='1' bgcolor='white'/><thead style='background-color:#cccccc;'/></style>",
      {{"decimal_format_name", "euro"}, {"decimal_format_pattern", kEuroDecimalPattern}});
  EXPECT_EQ(table.Root().Attribute("border"), "1");
  EXPECT_EQ(table.Root().Attribute("bgcolor"), "white");
  EXPECT_EQ(table.SelectFirst("/table/thead/tr").Attribute("style"), "background-color:#cccccc;");
  EXPECT_EQ(Texts(table, "/table/tbody/tr[1]/td[3]"), (Strings{"1.234,50"}));
}

TEST_F(ExportStylesheetTest, FormatsOfDatesAndNumbers) {
  XmlDocument table = Table(
      "<format><datetime name=\"born\" value=\"%D/%m/%Y %H:%N %P\"/>"
      "<numeric name=\"t.id\" value=\"12\"/><numeric name=\"unit prices\" value=\"13\"/>"
      "<numeric name=\"unit price\" value=\"35\"/></format>");
  // A format applies to its own column only, named bare or after a table.
  // The time of day is kept, so a time pattern does not show midnight.
  EXPECT_EQ(Texts(table, "/table/tbody/tr/td[4]"),
            (Strings{"05/3/2004 0:00 AM", "05/3/2004 14:07 PM"}));
  EXPECT_EQ(Texts(table, "/table/tbody/tr/td[1]"), (Strings{"1.00", "2.00"}));
  EXPECT_EQ(Texts(table, "/table/tbody/tr[1]/td[3]"), (Strings{"$1,234.50000"}));

  EXPECT_EQ(FormatExportNumber("0.256", "21"), "25.6%");
  EXPECT_EQ(FormatExportNumber("5", "9"), "9");
  EXPECT_EQ(FormatExportNumber("5", "1x"), "1x");
  EXPECT_EQ(FormatExportNumber("5", "1%s%s%n"), "1%s%s%n");
  EXPECT_EQ(FormatExportNumber("NaN", "12"), "NaN");
  EXPECT_EQ(FormatExportDate("2004-03-05T14:07:09", "2"), "3/5/2004");
  EXPECT_EQ(FormatExportDate("2004-03-05T14:07:09", "%h%n %P"), "2:07 PM");
  EXPECT_EQ(FormatExportDate("not a date", "%Y"), "not a date");
}

TEST_F(ExportStylesheetTest, DatasetStylesheetsNameCellsByHeader) {
  XsltCompileResult second = XsltStylesheet::Compile(TableToDatasetStylesheet());
  ASSERT_TRUE(second.ok()) << second.error;
  XmlDocument table = Table();
  XsltResult dataset = second.stylesheet->Transform(table);
  ASSERT_TRUE(dataset.ok()) << dataset.error;
  XmlParseResult parsed = XmlDocument::Parse(dataset.text);
  ASSERT_TRUE(parsed.ok()) << parsed.error;
  EXPECT_EQ(dataset.text.rfind("<dataset>", 0), 0u) << dataset.text;
  EXPECT_EQ(Texts(parsed.document, "/dataset/datacolumns/datacolumn/@name"),
            (Strings{"Id", "Name", "Unit Price", "Born", "Note"}));
  EXPECT_EQ(parsed.document.SelectFirst("/dataset/datarows/datarow[1]/datacolumn[2]").Attribute("name"),
            "Name");
  EXPECT_EQ(Texts(parsed.document, "/dataset/datarows/datarow[1]/datacolumn[2]"),
            (Strings{"A<b>&amp;"}));

  XsltCompileResult first = XsltStylesheet::Compile(FirstGenerationDatasetStylesheet());
  ASSERT_TRUE(first.ok()) << first.error;
  XmlParseResult old_table = XmlDocument::Parse(
      "<table><theader><tr><th size=\"4\" type=\"3\">Id</th></tr></theader>"
      "<tbody><tr><td>7</td></tr></tbody></table>");
  XmlParseResult old_dataset =
      XmlDocument::Parse(first.stylesheet->Transform(old_table.document).text);
  ASSERT_TRUE(old_dataset.ok());
  XmlNode column = old_dataset.document.SelectFirst("/dataset/datacolumns/datacolumn");
  EXPECT_EQ(column.Attribute("type"), "3");
  EXPECT_EQ(column.Attribute("size"), "4");
  EXPECT_EQ(Texts(old_dataset.document, "//datarow/datacolumn[@name='Id']"), (Strings{"7"}));
}

TEST_F(ExportStylesheetTest, PrintPagesEveryRow) {
  XmlParseResult table = XmlDocument::Parse(
      "<table><theader><tr><th>N</th></tr></theader><tbody>"
      "<tr><td>a</td></tr><tr><td>b</td></tr><tr><td> c  d </td></tr></tbody></table>");
  auto pages = [&](int rows, std::string_view numbers) {
    XsltCompileResult sheet = XsltStylesheet::Compile(
        BuildPrintStylesheet(rows, numbers, "T<i>", "Head & more"));
    EXPECT_TRUE(sheet.ok()) << sheet.error;
    XsltResult out = sheet.stylesheet->Transform(table.document);
    EXPECT_TRUE(out.ok()) << out.error;
    return XmlDocument::ParseHtml(out.text);
  };
  // One row per page prints every row, each on its own page.
  XmlDocument one = pages(1, "");
  EXPECT_EQ(one.Select("//table").size(), 3u);
  EXPECT_EQ(Texts(one, "//table/tr/td"), (Strings{"a", "b", "c d"}));
  EXPECT_EQ(Texts(one, "//title"), (Strings{"T<i>"}));
  EXPECT_EQ(Texts(one, "//h2"), (Strings{"Head & more"}));

  XmlDocument two = pages(2, "1");
  ASSERT_EQ(two.Select("//table").size(), 2u);
  EXPECT_EQ(Texts(two, "//table[1]/tr[1]/th"), (Strings{"#", "N"}));
  EXPECT_EQ(Texts(two, "//table[2]/tr/td"), (Strings{"3", "c d"}));
  EXPECT_EQ(two.Select("//br[@style='page-break-after:always']").size(), 2u);
  EXPECT_EQ(pages(0, "").Select("//table").size(), 1u);
}

}  // namespace
}  // namespace fennick

namespace fennick {
namespace {

TEST(ColumnFormatXmlTest, PostedListsStayAttributeValues) {
  EXPECT_EQ(BuildColumnFormatXml("", "|||"), "");
  EXPECT_EQ(BuildColumnFormatXml("|||BORN|=|%Y|||", "PRICE|=|32|||junk|||"),
            "<format><datetime name=\"born\" value=\"%Y\"/>"
            "<numeric name=\"price\" value=\"32\"/></format>");
  // A posted list that tries to close the element and add its own.
  std::string hostile = BuildColumnFormatXml(
      "A\"/><numeric name=\"x\" value=\"9|=|'><x/>&amp;|||", "");
  XmlParseResult parsed = XmlDocument::Parse(hostile);
  ASSERT_TRUE(parsed.ok()) << hostile;
  std::vector<XmlNode> entries = parsed.document.Root().Elements();
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].Attribute("name"), "a\"/><numeric name=\"x\" value=\"9");
  EXPECT_EQ(entries[0].Attribute("value"), "'><x/>&amp;");
}

}  // namespace
}  // namespace fennick

namespace fennick {
namespace {

// Column date formats in spreadsheet codes; none for a part no spreadsheet
// shows (the cell then gets an ISO date format).
TEST(OfficeFormatsTest, FormatsBecomeSpreadsheetCodes) {
  const std::pair<const char*, const char*> cases[] = {
      {"d mmm yyyy", "d mmm yyyy"},
      {"dd/mm/yyyy hh:nn", "dd/mm/yyyy hh:mm"},
      {"%d/%m/%Y %H:%N", "d/m/yyyy h:mm"},
      {"%h:%N %P", "h:mm AM/PM"},
      {"h:mm am/pm", "h:mm am/pm"},
      {"yyyy\"\xE5\xB9\xB4\"m", "yyyy\"\xE5\xB9\xB4\"m"},
      {"%d%O", ""},
      {"%j", ""},
      {"ww yyyy", ""},
      {"%H:%N %P", ""},
      {"nn", ""},
      {"2", ""}};
  for (auto [format, code] : cases) EXPECT_EQ(ExcelDateCode(format), code) << format;
  EXPECT_EQ(OfficeDateFormat("%j", true).attributes, OfficeIsoDateFormat(true).attributes);
  EXPECT_EQ(OfficeNumberFormat('3', 2).attributes,
            " style='mso-number-format:\"\\0022$\\0022#,##0.00\"' "
            "sdnum=\"1033;0;[$$-409]#,##0.00;-[$$-409]#,##0.00\"");
  EXPECT_EQ(OfficeNumberFormat('2', 1).attributes, " style='mso-number-format:\"#,##0.0%\"'");
}

}  // namespace
}  // namespace fennick
