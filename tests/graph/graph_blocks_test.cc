// The graph's building blocks and text routines: grid-line blocks, scale
// numbers, bars with their titles, markup removal and numbers as text.
#include "graph/graph_blocks.h"

#include <gtest/gtest.h>

#include <string>

#include "fennick/string_buffer.h"

namespace fennick::graph {
namespace {

class BlocksTest : public ::testing::Test {
 protected:
  // What `write` appends, alone.
  template <class Write>
  std::string Written(Write write) {
    StringBuffer buffer;
    GraphOutput out(buffer);
    write(out);
    return buffer.ToString();
  }
  std::string Lines(double height, std::string_view color, double step, bool at_top) {
    return Written([&](GraphOutput& out) { DrawHLines(out, state_, height, color, step, at_top); });
  }
  std::string Labels(double height, double step, bool negative) {
    return Written([&](GraphOutput& out) { DrawScaleLabels(out, state_, height, step, negative); });
  }
  GraphState state_;
};

int Count(const std::string& text, const std::string& part) {
  int n = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

TEST_F(BlocksTest, GridLinesCoverOnlyWholeSteps) {
  // 130 pixels in 50-pixel steps: two line cells, titled with the height
  // less the partial step; the table keeps the full height.
  EXPECT_EQ(Lines(130, "gray", 50, true),
            "<table height='130' cellspacing=0 cellpadding=0 border='0' width='100%' >"
            "<tr><td title='80' width='100%' height='50' "
            "style='font-size:1px;border-top:1px dotted gray;'>&nbsp;</td></tr>"
            "<tr><td title='80' width='100%' height='50' "
            "style='font-size:1px;border-top:1px dotted gray;'>&nbsp;</td></tr></table>");
  // Any colour but the grid-line colour draws solid; bottom borders below
  // the axis.
  std::string below = Lines(100, "black", 50, false);
  EXPECT_EQ(Count(below, "border-bottom:1px solid black;"), 2);
  EXPECT_EQ(Count(below, "title='100'"), 2);
  // Fractional steps are written as they are.
  std::string fractional = Lines(100, "gray", 100.0 / 3, true);
  EXPECT_EQ(Count(fractional, "height='33.3333333333333'"), 3);
}

TEST_F(BlocksTest, ShallowAndOversizedGridBlocks) {
  EXPECT_EQ(Lines(2, "gray", 50, true),
            "<div style='font-size:1px;border-top:1px dotted gray;'>&nbsp;</div>");
  EXPECT_EQ(Lines(1, "gray", 50, false), "<div style='font-size:1px;'>&nbsp;</div>");
  EXPECT_EQ(Lines(0, "gray", 50, true), "");
  EXPECT_EQ(Lines(-10, "gray", 50, true), "");
  EXPECT_EQ(Lines(100, "gray", 0, true), "");
  // More than 100 cells is not drawn at all; exactly 100 is.
  EXPECT_EQ(Lines(101, "gray", 1, true), "");
  EXPECT_EQ(Count(Lines(100, "gray", 1, true), "<tr>"), 100);
}

TEST_F(BlocksTest, ScaleNumbersCountDownAboveAndOutBelowTheAxis) {
  state_.scale_size = 10;
  const std::string cell =
      "<tr><td align=right valign=bottom width='100%' height='50'>"
      "<font face='arial,helvetica' size='-3' color='black'><i>";
  EXPECT_EQ(Labels(150, 50, true),
            "<table height='150' cellspacing=0 cellpadding=0 border=0 width='100%' >" + cell +
                "-10</i></font></td></tr>" + cell + "-20</i></font></td></tr>" + cell +
                "-30</i></font></td></tr></table>");
  // A height that is no multiple of the step: the first number comes from
  // the rounded ratio (130 ÷ 50 × 10 = 26, less one step), and the partial
  // step gets no number.
  std::string partial = Labels(130, 50, false);
  EXPECT_EQ(Count(partial, "<tr>"), 2);
  EXPECT_NE(partial.find("<i>16</i>"), std::string::npos);
  EXPECT_NE(partial.find("<i>6</i>"), std::string::npos);

  state_.relative = true;
  state_.scale_size = 25;
  std::string relative = Labels(200, 25, false);
  EXPECT_NE(relative.find("<i>175%</i>"), std::string::npos);
  EXPECT_NE(relative.find("<i>0%</i>"), std::string::npos);

  EXPECT_EQ(Labels(0, 50, false), "");
  EXPECT_EQ(Labels(200, 0, false), "");
  EXPECT_EQ(Labels(202, 2, false), "");  // 101 cells
}

TEST_F(BlocksTest, BarTitlesCarryLegendValueAndColumnLabel) {
  GraphCell cell{12, "12"};
  std::string legend = "Sales";
  std::string jan = "<b>Jan</b>";
  BarTitle title{&cell, false, &legend, &jan};
  EXPECT_EQ(Written([&](GraphOutput& out) { DrawBar(out, 60, "red", title); }),
            "<table height='60' cellspacing=0 cellpadding=0 border=0 width='100%' >"
            "<tr><td width='100%' bgcolor='red' style='background-color:red;border:1px solid "
            "red;' title=\"Sales: 12, Jan\"><font style='font-size:1px;'>&nbsp;</font></div>"
            "</td></tr></table>");

  // Percentages; a computed value has no text of its own.
  GraphCell percent{34, {}};
  BarTitle relative{&percent, true, nullptr, nullptr};
  EXPECT_NE(Written([&](GraphOutput& out) { DrawBar(out, 5, "red", relative); })
                .find("title=\"34%\""),
            std::string::npos);

  // A double quote cannot end the attribute.
  std::string quoted = "Say \"hi\"";
  std::string label = "a\"b";
  BarTitle hostile{&cell, false, &quoted, &label};
  EXPECT_NE(Written([&](GraphOutput& out) { DrawBar(out, 5, "red", hostile); })
                .find("title=\"Say &quot;hi&quot;: 12, a&quot;b\""),
            std::string::npos);

  EXPECT_EQ(Written([&](GraphOutput& out) { DrawBar(out, 0, "red", title); }), "");
  EXPECT_EQ(Written([&](GraphOutput& out) { DrawBar(out, -3, "red", title); }), "");
}

TEST(GraphTextTest, StripTagsDropsMarkupAndLoneBrackets) {
  EXPECT_EQ(StripTags("<b>Jan</b>"), "Jan");
  EXPECT_EQ(StripTags("a>b"), "ab");
  EXPECT_EQ(StripTags("a<b c>d<e"), "ad");
  EXPECT_EQ(StripTags(""), "");
  StringBuffer buffer;
  GraphOutput out(buffer);
  for (std::string_view text : {"<b>Jan</b>", "a>b", "a<b c>d<e", "x"}) {
    out.AppendStripped(text);
    out << "|";
  }
  EXPECT_EQ(buffer.ToString(), "Jan|ab|ad|x|");
}

TEST(GraphTextTest, NumbersUseAPointAndAtMostFifteenDigits) {
  EXPECT_EQ(NumberText(40), "40");
  EXPECT_EQ(NumberText(-0.0), "0");
  EXPECT_EQ(NumberText(12.5), "12.5");
  EXPECT_EQ(NumberText(-1000), "-1000");
  EXPECT_EQ(NumberText(200.0 / 7), "28.5714285714286");
  EXPECT_EQ(NumberText(0.1 + 0.2), "0.3");
  EXPECT_EQ(NumberText(1e20), "1E+20");
}

}  // namespace
}  // namespace fennick::graph
