// Reading the workbooks and PDFs of the exports back, as their readers
// would: a workbook's sheets through Python's zipfile and XML parser
// (cells with their types, number formats, formulas, frozen rows and
// autofilters), a PDF through poppler's pdfinfo and pdftotext.
#ifndef FENNICK_TESTS_EXPORT_OFFICE_READER_H_
#define FENNICK_TESTS_EXPORT_OFFICE_READER_H_

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace fennick::testing {

// The output of a shell command.
inline std::string CommandOutput(const std::string& command) {
  std::string out;
  if (FILE* pipe = popen(command.c_str(), "r")) {
    char buffer[4096];
    for (size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.append(buffer, n);
    pclose(pipe);
  }
  return out;
}

inline void WriteBytes(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

struct SheetCell {
  std::string kind, value, code;  // t ("n", "s", "inlineStr"), text, format
  bool formula = false, bold = false;
};
struct Sheet {
  std::string name, frozen_rows, filter;
  std::map<std::string, SheetCell> cells;  // by reference ("B2")
};

inline constexpr char kReadSheets[] = R"PY(
import sys, zipfile, xml.etree.ElementTree as ET
M = '{http://schemas.openxmlformats.org/spreadsheetml/2006/main}'
def esc(s): return s.replace('\\', '\\\\').replace('\t', '\\t').replace('\n', '\\n').replace('\r', '\\r')
book = zipfile.ZipFile(sys.argv[1])
strings = []
if 'xl/sharedStrings.xml' in book.namelist():
    for si in ET.fromstring(book.read('xl/sharedStrings.xml')).iter(M + 'si'):
        strings.append(''.join(t.text or '' for t in si.iter(M + 't')))
styles = ET.fromstring(book.read('xl/styles.xml'))
codes = {f.get('numFmtId'): f.get('formatCode') for f in styles.iter(M + 'numFmt')}
fonts = [f.find(M + 'b') is not None for f in styles.find(M + 'fonts').iter(M + 'font')]
xfs = [(x.get('numFmtId'), fonts[int(x.get('fontId', '0'))])
       for x in styles.find(M + 'cellXfs').iter(M + 'xf')]
for i, sheet in enumerate(ET.fromstring(book.read('xl/workbook.xml')).iter(M + 'sheet'), 1):
    root = ET.fromstring(book.read('xl/worksheets/sheet%d.xml' % i))
    pane = root.find('.//' + M + 'pane')
    auto = root.find(M + 'autoFilter')
    print('\t'.join(['sheet', esc(sheet.get('name')), pane.get('ySplit', '') if pane is not None else '',
                     auto.get('ref') if auto is not None else '']))
    for c in root.iter(M + 'c'):
        kind = c.get('t', 'n')
        v = c.find(M + 'v')
        value = v.text if v is not None and v.text else ''
        if kind == 's': value = strings[int(value)]
        if kind == 'inlineStr': value = ''.join(t.text or '' for t in c.iter(M + 't'))
        fid, bold = xfs[int(c.get('s', '0'))]
        print('\t'.join(['cell', c.get('r'), kind, esc(value), codes.get(fid, 'builtin' + fid),
                         str(int(c.find(M + 'f') is not None)), str(int(bold))]))
)PY";

// The sheets of the workbook at `path` (none when it does not open); tabs
// and line breaks in values read as "\t", "\n", "\r".
inline std::vector<Sheet> ReadSheets(const std::filesystem::path& path) {
  const std::filesystem::path script = path.string() + ".py";
  std::ofstream(script) << kReadSheets;
  std::stringstream lines(CommandOutput("python3 '" + script.string() + "' '" + path.string() +
                                        "' 2>&1"));
  std::vector<Sheet> sheets;
  for (std::string line; std::getline(lines, line);) {
    std::vector<std::string> f;
    std::stringstream split(line);
    for (std::string part; std::getline(split, part, '\t');) f.push_back(part);
    if (f.size() == 4 && f[0] == "sheet") sheets.push_back({f[1], f[2], f[3], {}});
    if (f.size() == 7 && f[0] == "cell" && !sheets.empty()) {
      sheets.back().cells[f[1]] = {f[2], f[3], f[4], f[5] == "1", f[6] == "1"};
    }
  }
  return sheets;
}

// The PDF at `path`: its page count and each page's text (pdftotext,
// layout kept).
struct PdfText {
  int pages = 0;
  std::string size;  // "595.276 x 841.89 pts (A4)"
  std::vector<std::string> page_texts;
};
inline PdfText ReadPdf(const std::filesystem::path& path) {
  PdfText pdf;
  std::stringstream info(CommandOutput("pdfinfo '" + path.string() + "' 2>&1"));
  for (std::string line; std::getline(info, line);) {
    if (line.rfind("Pages:", 0) == 0) pdf.pages = std::atoi(line.c_str() + 6);
    if (line.rfind("Page size:", 0) == 0) pdf.size = line.substr(line.find_first_not_of(' ', 10));
  }
  const std::string text = CommandOutput("pdftotext -layout '" + path.string() + "' - 2>&1");
  size_t start = 0;
  for (size_t end; (end = text.find('\f', start)) != std::string::npos; start = end + 1) {
    pdf.page_texts.push_back(text.substr(start, end - start));
  }
  return pdf;
}

}  // namespace fennick::testing

#endif  // FENNICK_TESTS_EXPORT_OFFICE_READER_H_
