// What the documentation tests read from Markdown files: fenced code
// blocks with the site page each one is taken from, and tables as rows of
// cells. Header-only; shared by tests/component and tests/apps.
#ifndef FENNICK_TESTS_SUPPORT_MARKDOWN_H_
#define FENNICK_TESTS_SUPPORT_MARKDOWN_H_

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace fennick::test_support {

inline const std::filesystem::path kSourceDir = FENNICK_SOURCE_DIR;

inline std::string ReadText(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

inline std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::string line;
  std::istringstream in(text);
  while (std::getline(in, line)) {
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

// A fenced block. A block copied from a page of the site names that page
// after its language: "```js site/examples/report.asp".
struct CodeBlock {
  std::string language;
  std::string page;     // "" when the block names none
  std::string section;  // the "## " heading the block stands under
  int line = 0;         // 1-based line of the opening fence
  std::vector<std::string> lines;
};

inline std::vector<CodeBlock> CodeBlocks(const std::string& markdown) {
  std::vector<CodeBlock> blocks;
  std::string section;
  const std::vector<std::string> lines = Lines(markdown);
  for (size_t i = 0; i < lines.size(); ++i) {
    const std::string& line = lines[i];
    if (line.rfind("## ", 0) == 0) section = line.substr(3);
    if (line.rfind("```", 0) != 0) continue;
    CodeBlock block;
    block.section = section;
    block.line = static_cast<int>(i) + 1;
    std::istringstream info(line.substr(3));
    info >> block.language >> block.page;
    for (++i; i < lines.size() && lines[i].rfind("```", 0) != 0; ++i) {
      block.lines.push_back(lines[i]);
    }
    blocks.push_back(std::move(block));
  }
  return blocks;
}

// Whether `part` occurs in `whole` as consecutive lines.
inline bool ContainsLines(const std::vector<std::string>& whole,
                          const std::vector<std::string>& part) {
  if (part.empty() || part.size() > whole.size()) return false;
  for (size_t at = 0; at + part.size() <= whole.size(); ++at) {
    size_t k = 0;
    while (k < part.size() && whole[at + k] == part[k]) ++k;
    if (k == part.size()) return true;
  }
  return false;
}

// A table: its header cells and its rows (separator line left out).
struct Table {
  std::vector<std::string> header;
  std::vector<std::vector<std::string>> rows;
};

// The cells of a table line, trimmed; "\|" stands for a "|" inside a cell.
inline std::vector<std::string> Cells(const std::string& line) {
  std::vector<std::string> cells;
  std::string cell;
  for (size_t i = 1; i < line.size(); ++i) {
    if (line[i] == '\\' && i + 1 < line.size() && line[i + 1] == '|') {
      cell.push_back('|');
      ++i;
    } else if (line[i] == '|') {
      size_t b = cell.find_first_not_of(' ');
      size_t e = cell.find_last_not_of(' ');
      cells.push_back(b == std::string::npos ? "" : cell.substr(b, e - b + 1));
      cell.clear();
    } else {
      cell.push_back(line[i]);
    }
  }
  return cells;
}

// The tables of a Markdown text outside code blocks.
inline std::vector<Table> Tables(const std::string& markdown) {
  std::vector<Table> tables;
  bool in_code = false;
  bool in_table = false;
  for (const std::string& line : Lines(markdown)) {
    if (line.rfind("```", 0) == 0) in_code = !in_code;
    if (in_code || line.rfind("|", 0) != 0) {
      in_table = false;
      continue;
    }
    if (!in_table) {
      tables.push_back(Table{Cells(line), {}});
      in_table = true;
    } else if (line.rfind("|---", 0) != 0 && line.rfind("| ---", 0) != 0) {
      tables.back().rows.push_back(Cells(line));
    }
  }
  return tables;
}

}  // namespace fennick::test_support

#endif  // FENNICK_TESTS_SUPPORT_MARKDOWN_H_
