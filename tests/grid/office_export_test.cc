// The tool bar's .xlsx and PDF buttons on a real page: absent unless the
// page switches them on (the default page is unchanged), in their place
// after the other five when it does, and their exports through the same
// post as the others, hidden columns staying hidden.
#include <gtest/gtest.h>

#include "export/office_reader.h"
#include "grid/export_page.h"
#include "grid/test_page.h"

namespace fennick {
namespace {

class OfficeExportTest : public testing::ExportPageTest {};

using testing::HiddenValue;

TEST_F(OfficeExportTest, ButtonsOnlyWhenSwitchedOnAndTheirExports) {
  WritePage("plain.asp", "SQLite");
  WritePage("office.asp", "SQLite",
            "g.ExportXlsx = true; g.ExportPdf = true; g.PdfPaperSize = 'letter';");
  // Not offered, not exported: an empty response.
  auto refused = Export("plain.asp", "xlsx");
  ASSERT_TRUE(refused);
  EXPECT_EQ(refused->body, "");
  const std::string plain = server_->Client().Get("/plain.asp")->body;
  ASSERT_THAT(plain, HasSubstr("btnExptext"));
  for (const char* absent : {"btnExpxlsx", "btnExppdf", ".xlsx", "'_pdf'"}) {
    EXPECT_THAT(plain, Not(HasSubstr(absent))) << absent;
  }
  const std::string page = server_->Client().Get("/office.asp")->body;
  const size_t text = page.find("btnExptext"), xlsx = page.find("btnExpxlsx"),
               pdf = page.find("btnExppdf");
  ASSERT_NE(pdf, std::string::npos) << page;
  EXPECT_LT(text, xlsx);
  EXPECT_LT(xlsx, pdf);
  EXPECT_THAT(page, HasSubstr("href=\"javascript:__doPostBack('_xlsx')\" title=\"Excel (.xlsx)\">"
                              "Excel (.xlsx)</a>"))
      << page.substr(xlsx, 600);
  EXPECT_THAT(page, HasSubstr("javascript:__doPostBack('_pdf')\">PDF</a>"));
  EXPECT_EQ(DecodeArgument(HiddenValue(page, "btnExpxlsx")).substr(0, 14), "4fmt:xlsx;hdr:");
  EXPECT_EQ(DecodeArgument(HiddenValue(page, "btnExppdf")).substr(0, 13), "4fmt:pdf;hdr:");

  auto book = Export("office.asp", "xlsx");
  ASSERT_EQ(book->status, 200);
  EXPECT_EQ(book->get_header_value("Content-Disposition"), "attachment; filename=\"people.xlsx\"");
  const auto folder = server_->site().root();
  testing::WriteBytes(folder / "people.xlsx", book->body);
  std::vector<testing::Sheet> sheets = testing::ReadSheets(folder / "people.xlsx");
  ASSERT_EQ(sheets.size(), 1u);
  EXPECT_EQ(sheets[0].name, "People");
  auto& cells = sheets[0].cells;
  EXPECT_EQ(cells.count("H1") + cells.count("H2"), 0u) << "the hidden column stays hidden";
  for (const auto& [ref, cell] : cells) {
    EXPECT_THAT(cell.value, Not(HasSubstr("TOPSECRET"))) << ref;
    EXPECT_FALSE(cell.formula) << ref;
  }
  EXPECT_EQ(cells["B2"].value, "Z\xC3\xBCrich <b>&amp;</b> \"q\"");
  EXPECT_EQ(cells["C2"].kind + " " + cells["C2"].value + " " + cells["C2"].code,
            "n 38051 d mmm yyyy");
  EXPECT_EQ(cells["G2"].kind + " " + cells["G2"].value, "inlineStr =1+2");
  EXPECT_EQ(cells["A7"].value, "6");

  auto report = Export("office.asp", "pdf");
  ASSERT_EQ(report->status, 200);
  EXPECT_EQ(report->get_header_value("Content-Type"), "application/pdf");
  testing::WriteBytes(folder / "people.pdf", report->body);
  testing::PdfText pdf_text = testing::ReadPdf(folder / "people.pdf");
  ASSERT_EQ(pdf_text.pages, 1);
  EXPECT_THAT(pdf_text.size, HasSubstr("612")) << "Letter: " << pdf_text.size;
  EXPECT_THAT(pdf_text.page_texts[0], HasSubstr("Z\xC3\xBC" "rich"));
  EXPECT_THAT(pdf_text.page_texts[0], HasSubstr("Page 1"));
  EXPECT_THAT(pdf_text.page_texts[0], Not(HasSubstr("TOPSECRET")));
}

}  // namespace
}  // namespace fennick
