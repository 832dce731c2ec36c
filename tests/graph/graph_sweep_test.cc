// A sweep over random graphs: every mode with random rows and properties
// must render without raising, and its markup must parse as HTML with
// balanced tables.
#include <gtest/gtest.h>
#include <libxml/HTMLparser.h>
#include <libxml/xmlerror.h>

#include <memory>
#include <random>
#include <string>
#include <vector>

#include "fennick/simple_graph.h"

namespace fennick {
namespace {

int Count(const std::string& text, const std::string& part) {
  int n = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

int CountTables(xmlNode* node) {
  int n = 0;
  for (; node; node = node->next) {
    if (node->type == XML_ELEMENT_NODE && xmlStrcasecmp(node->name, BAD_CAST "table") == 0) ++n;
    n += CountTables(node->children);
  }
  return n;
}

struct ParseResult {
  std::vector<std::string> errors;
  int tables = 0;
};

void CollectError(void* errors, xmlErrorPtr error) {
  static_cast<std::vector<std::string>*>(errors)->push_back(error->message ? error->message : "");
}

ParseResult ParseHtml(const std::string& html) {
  ParseResult result;
  xmlSetStructuredErrorFunc(&result.errors, CollectError);
  std::unique_ptr<xmlDoc, decltype(&xmlFreeDoc)> doc(
      htmlReadMemory(html.data(), static_cast<int>(html.size()), nullptr, "UTF-8",
                     HTML_PARSE_NONET),
      &xmlFreeDoc);
  xmlSetStructuredErrorFunc(nullptr, nullptr);
  if (doc) result.tables = CountTables(xmlDocGetRootElement(doc.get()));
  return result;
}

// Every table opened is closed, and the parser found the same tables
// without having to repair anything but what the graph always carries:
// the closing div of each bar, and the font and italics the scale header
// leaves open.
void ExpectBalanced(const std::string& html, const std::string& what) {
  SCOPED_TRACE(what);
  int opened = Count(html, "<table");
  EXPECT_GT(opened, 0);
  EXPECT_EQ(opened, Count(html, "</table>"));
  ParseResult parsed = ParseHtml(html);
  EXPECT_EQ(parsed.tables, opened);
  int header_repairs = 0;
  for (const std::string& error : parsed.errors) {
    if (error.find("Unexpected end tag : div") != std::string::npos) continue;
    if (error.find("Opening and ending tag mismatch: td and i") != std::string::npos ||
        error.find("Opening and ending tag mismatch: td and font") != std::string::npos) {
      ++header_repairs;
      continue;
    }
    ADD_FAILURE() << error;
  }
  EXPECT_LE(header_repairs, 2);
}

class Sweep {
 public:
  explicit Sweep(unsigned seed) : random_(seed) {}

  int Between(int low, int high) { return std::uniform_int_distribution<int>(low, high)(random_); }
  bool Coin() { return Between(0, 1) == 1; }

  std::string Value() {
    switch (Between(0, 19)) {
      case 0: return "abc";
      case 1: return "";
      case 2: return std::to_string(Between(-1000, 1000)) + ".5";
      default: return std::to_string(Between(-1000, 100000));
    }
  }

  std::string Row(int columns) {
    std::string row;
    for (int c = 0; c < columns; ++c) {
      if (c > 0) row += ",";
      row += Value();
    }
    return row;
  }

  std::string List(int entries, const char* prefix) {
    std::string list;
    for (int i = 0; i < entries; ++i) {
      if (i > 0) list += ",";
      list += prefix + std::to_string(i);
    }
    return list;
  }

  void Configure(SimpleGraph& graph, int mode, int rows, int columns) {
    graph.Stacked(mode == 1);
    graph.Relative(mode == 2);
    graph.Spacing(Between(-2, 6));
    graph.BarWidth(Between(0, 3) == 0 ? Between(0, 25) : 0);
    graph.ScaleSize(Between(0, 3) == 0 ? Between(0, 30000) : 0);
    graph.MaxBarHeight(Between(0, 4) == 0 ? Between(-1, 400) : 200);
    graph.ShowHLines(Between(0, 4) != 0);
    graph.ShowVLines(Coin());
    graph.AddScale(Between(0, 4) != 0);
    if (Coin()) graph.Legend(List(Between(0, rows + 2), "<b>Row</b> "));
    if (Coin()) graph.XScaleValues(List(Between(0, columns + 2), "Col "));
    if (Coin()) graph.Title("Title");
    if (Coin()) graph.xLabel("x label");
    if (Coin()) graph.yLabel("y");
    if (Between(0, 9) == 0) graph.Colors(Between(0, 1) ? "" : "navy,#abc");
  }

 private:
  std::mt19937 random_;
};

TEST(GraphSweepTest, RandomGraphsRenderBalancedTablesInEveryMode) {
  Sweep sweep(20240611);
  const char* const kModes[] = {"plain", "stacked", "relative"};
  for (int i = 0; i < 240; ++i) {
    const int mode = i % 3;
    const int rows = sweep.Between(1, 30);
    const int columns = sweep.Between(1, 12);
    SimpleGraph graph;
    sweep.Configure(graph, mode, rows, columns);
    graph.AddRow(sweep.Row(columns));
    for (int r = 1; r < rows; ++r) {
      // Later rows may be short or long; AddRowData names some of them.
      std::string row = sweep.Row(sweep.Between(0, 3) == 0 ? sweep.Between(0, columns + 2)
                                                           : columns);
      if (sweep.Coin()) {
        graph.AddRowData("Name " + std::to_string(r), row);
      } else {
        graph.AddRow(row);
      }
    }
    const std::string what = std::string(kModes[mode]) + " graph " + std::to_string(i) + ", " +
                             std::to_string(rows) + " x " + std::to_string(columns);
    std::string first, both;
    ASSERT_NO_THROW(first = graph.GetGraph()) << what;
    ExpectBalanced(first, what);
    // A second rendering starts from the values the first wrote back.
    ASSERT_NO_THROW(both = graph.GetGraph()) << what;
    ExpectBalanced(both.substr(first.size()), what + ", second rendering");
    if (HasFailure()) break;
  }
}

}  // namespace
}  // namespace fennick
