// The Excel and Word exports of both exporters opened by a real client:
// LibreOffice (headless, with a profile of its own) converts them in one
// call to workbooks, and the workbooks are read back (a small stdlib-only
// Python script lists their cells): every row is there, numbers are
// numbers, dates are dates, text is intact and nothing is a formula. The
// .xlsx workbook is converted to CSV by LibreOffice and read back. The slow
// export tests (CTest label "slow").
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>

#include "base/ascii.h"
#include "grid/export_page.h"
#include "support/fold-designer_text.h"

namespace fennick {
namespace {

constexpr char kReadWorkbooks[] = R"PY(
import sys, zipfile, xml.etree.ElementTree as ET
M = '{http://schemas.openxmlformats.org/spreadsheetml/2006/main}'
for path in sys.argv[1:]:
    book = zipfile.ZipFile(path)
    strings = []
    if 'xl/sharedStrings.xml' in book.namelist():
        for si in ET.fromstring(book.read('xl/sharedStrings.xml')).iter(M + 'si'):
            strings.append(''.join(t.text or '' for t in si.iter(M + 't')))
    styles = ET.fromstring(book.read('xl/styles.xml'))
    codes = {f.get('numFmtId'): f.get('formatCode') for f in styles.iter(M + 'numFmt')}
    xfs = [x.get('numFmtId') for x in styles.find(M + 'cellXfs').iter(M + 'xf')]
    for c in ET.fromstring(book.read('xl/worksheets/sheet1.xml')).iter(M + 'c'):
        v = c.find(M + 'v')
        value = v.text if v is not None and v.text else ''
        kind = c.get('t', 'n')
        if kind == 's':
            value = strings[int(value)]
        fid = xfs[int(c.get('s', '0'))]
        print('\t'.join([path.rsplit('/', 1)[-1], c.get('r'), kind,
                         value.replace('\t', ' ').replace('\n', ' ').replace('\r', ' '),
                         codes.get(fid, 'builtin' + fid), str(int(c.find(M + 'f') is not None))]))
)PY";

struct Cell {
  std::string kind, value, code;
  bool formula = false;
};

class LibreOfficeTest : public testing::ExportPageTest {};

TEST_F(LibreOfficeTest, ExportsOpenAsTheScreenShowsThem) {
  ASSERT_EQ(std::system("command -v soffice > /dev/null"), 0)
      << "LibreOffice is missing: scripts/install-deps.sh installs it";
  WritePage("second.asp", "SQLite");
  WritePage("first.asp", "SQLite", "g.UseFastExport = true;");
  const std::filesystem::path folder = server_->site().root() / "office";
  std::filesystem::create_directories(folder / "out");
  std::string files;
  for (const std::string page : {"second", "first"}) {
    for (const std::string format : {"excel", "doc"}) {
      auto res = Export(page + ".asp", format);
      ASSERT_TRUE(res);
      ASSERT_EQ(res->status, 200);
      const std::string name = page + (format == "doc" ? "-word.doc" : "-excel.xls");
      std::ofstream(folder / name, std::ios::binary) << res->body;
      files += " '" + (folder / name).string() + "'";
    }
  }
  // Calc opens all four, the Word documents too: what a spreadsheet makes
  // of them is what can go wrong.
  const std::string convert = "cd '" + folder.string() +
                              "' && soffice -env:UserInstallation=file://" +
                              (folder / "profile").string() +
                              " --headless --infilter='HTML (StarCalc)' --convert-to xlsx "
                              "--outdir out" +
                              files + " > convert.log 2>&1";
  ASSERT_EQ(std::system(convert.c_str()), 0);
  std::ofstream(folder / "read.py") << kReadWorkbooks;
  const std::string read = "cd '" + folder.string() + "' && python3 read.py out/*.xlsx > cells.txt";
  ASSERT_EQ(std::system(read.c_str()), 0);

  std::map<std::string, std::map<std::string, Cell>> books;
  std::ifstream cells(folder / "cells.txt");
  std::string line;
  while (std::getline(cells, line)) {
    std::vector<std::string> f;
    std::stringstream split(line);
    for (std::string part; std::getline(split, part, '\t');) f.push_back(part);
    if (f.size() == 6) books[f[0]][f[1]] = {f[2], f[3], f[4], f[5] == "1"};
  }
  ASSERT_EQ(books.size(), 4u) << "see " << (folder / "convert.log");
  for (auto& [book, sheet] : books) {
    SCOPED_TRACE(book);
    for (const auto& [ref, cell] : sheet) {
      EXPECT_FALSE(cell.formula) << ref << " " << cell.value;
      EXPECT_LACKS(cell.value, "TOPSECRET") << ref;
    }
    // Every row, text intact, formula-like text as text.
    for (int row = 2; row <= 7; ++row) {
      EXPECT_EQ(sheet["A" + std::to_string(row)].value, std::to_string(row - 1));
    }
    EXPECT_EQ(sheet["B2"].value, "Z\xC3\xBCrich <b>&amp;</b> \"q\"");
    EXPECT_EQ(sheet["B4"].value, "\xC3\x9Cn\xC3\xAF\xE2\x9C\x93 \xC4\xB1");
    EXPECT_EQ(sheet["H2"].value, "");  // the hidden column is not there
    const char* notes[] = {"=1+2", "+1+2", "-1+2", "@SUM(A1)", "=1+2", "=1+2"};
    for (int row = 2; row <= 7; ++row) {
      const Cell& note = sheet["G" + std::to_string(row)];
      EXPECT_EQ(note.kind, "s") << row;
      EXPECT_EQ(TrimBlanks(note.value), notes[row - 2]) << row;
    }
    if (book.find("excel") == std::string::npos) continue;
    // Numbers, money, percentages and dates are values.
    for (const char* ref : {"C2", "D2", "E2", "F2", "E4", "C5", "D7"}) {
      EXPECT_EQ(sheet[ref].kind, "n") << ref << " " << sheet[ref].value;
    }
    EXPECT_EQ(sheet["E2"].value, "1234.5");
    EXPECT_EQ(sheet["F2"].value, "0.25");
    EXPECT_EQ(sheet["C2"].value, "38051");  // 5 March 2004
    for (const char* ref : {"C2", "D2", "C5"}) {
      EXPECT_NE(sheet[ref].code.find_first_of("YyDd"), std::string::npos)
          << ref << " " << sheet[ref].code;
    }
    if (book.find("second") != std::string::npos) {
      EXPECT_HAS(sheet["E2"].code, "0.00");
      EXPECT_NE(sheet["F2"].code.find('%'), std::string::npos) << sheet["F2"].code;
      EXPECT_EQ(sheet["C3"].value, "");  // a null
    }
  }
}

TEST_F(LibreOfficeTest, WorkbookReadsBackAsTheScreenShowsIt) {
  ASSERT_EQ(std::system("command -v soffice > /dev/null"), 0);
  WritePage("book.asp", "SQLite", "g.ExportXlsx = true;");
  auto res = Export("book.asp", "xlsx");
  ASSERT_TRUE(res);
  ASSERT_EQ(res->status, 200);
  const std::filesystem::path folder = server_->site().root() / "book";
  std::filesystem::create_directories(folder);
  std::ofstream(folder / "people.xlsx", std::ios::binary) << res->body;
  const std::string convert = "cd '" + folder.string() +
                              "' && soffice -env:UserInstallation=file://" +
                              (folder / "profile").string() +
                              " --headless --convert-to csv:'Text - txt - csv (StarCalc)':44,34,76 "
                              "people.xlsx > convert.log 2>&1";
  ASSERT_EQ(std::system(convert.c_str()), 0);
  std::ifstream in(folder / "people.csv");
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  ASSERT_EQ(lines.size(), 7u) << "the captions and every row";
  EXPECT_LACKS(lines[0], "Secret");
  EXPECT_EQ(lines[1].rfind("1,\"Z\xC3\xBCrich <b>&amp;</b> \"\"q\"\"\",5 Mar 2004,", 0), 0u)
      << lines[1];
  EXPECT_HAS(lines[3], "\xC3\x9Cn\xC3\xAF\xE2\x9C\x93 \xC4\xB1");
  EXPECT_HAS(lines[3], "31 Dec 1999");
  EXPECT_HAS(lines[1], "=1+2") << "text, not a formula's result";
}

}  // namespace
}  // namespace fennick
