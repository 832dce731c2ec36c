// Whole graphs and the fragments that carry their quantities: titles, the
// legend, x-scale labels, negative values, stacked and relative bars,
// spacing, axis labels, and graphs drawn from degenerate input.
#include <gtest/gtest.h>

#include <string>

#include "fennick/simple_graph.h"

namespace fennick {
namespace {

int Count(const std::string& text, const std::string& part) {
  int n = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

bool Has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// The text between the first `from` and the next `to` after it.
std::string Between(const std::string& text, const std::string& from, const std::string& to) {
  size_t start = text.find(from);
  if (start == std::string::npos) return "";
  start += from.size();
  size_t end = text.find(to, start);
  return text.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

const char kLegendCell[] = "<td rowspan=3 valign=top>";

TEST(GraphRenderTest, BarTitlesNameTheLegendEntryAndTheColumn) {
  SimpleGraph graph;
  graph.XScaleValues("Jan,Feb");
  graph.Legend("Sales");
  graph.AddRow("12,15,18");
  std::string html = graph.GetGraph();
  EXPECT_TRUE(Has(html, "title=\"Sales: 12, Jan\""));
  EXPECT_TRUE(Has(html, "title=\"Sales: 15, Feb\""));
  EXPECT_TRUE(Has(html, "title=\"Sales: 18\""));  // no third label
  // The x-scale row labels the first two columns only.
  EXPECT_EQ(Count(html, "<td valign=top height=1>"), 2);
  EXPECT_TRUE(Has(html, "<tr><td><font face='arial,helvetica' size='-3'>&nbsp;</font></td>"
                        "<td style='font-size:1px;'>&nbsp;</td><td valign=top height=1><table cellSpacing=0 cellPadding=0 border=0 "
                         "width=20><tr><td width=\"100%\" align='' valign=top >"
                         "<font face='arial,helvetica' size='-3' color='black'>Jan</font>"
                         "</td></tr></table></td>"));
}

TEST(GraphRenderTest, LegendComesFromLongEnoughRowNames) {
  SimpleGraph short_name;
  short_name.AddRowData("abc", "1,2");
  EXPECT_FALSE(Has(short_name.GetGraph(), kLegendCell));
  EXPECT_FALSE(short_name.Legend().has_value());

  SimpleGraph long_name;
  long_name.AddRowData("abcd", "1,2");
  std::string html = long_name.GetGraph();
  EXPECT_TRUE(Has(html, "<td rowspan=3 valign=top>&nbsp;<table cellpadding=1 border=0  "
                        "style='border: 1px solid gray' >"));
  EXPECT_TRUE(Has(html,
                  "<tr><td>&nbsp;</td><td><span style='font-size:8pt;background-color:red;"
                  "border:1px solid black;'><span style='font-size:8pt;border:1px solid red;"
                  "height:99%;'>&nbsp;&nbsp;&nbsp;&nbsp;</span></span></td><td><font "
                  "face='arial,helvetica' size='-3' color='black'>abcd</font></td></tr>"));
  ASSERT_TRUE(long_name.Legend().has_value());

  // AddRow rows have no name, so names shift onto earlier rows.
  SimpleGraph mixed;
  mixed.AddRow("1");
  mixed.AddRowData("Second", "2");
  std::string mixed_html = mixed.GetGraph();
  EXPECT_TRUE(Has(mixed_html, "title=\"Second: 1\""));
}

TEST(GraphRenderTest, OneColumnLegendShowsValuesAndShares) {
  SimpleGraph graph;
  graph.Legend("North,South,abc row");
  graph.AddRow("25");
  graph.AddRow("175");
  graph.AddRow("abc");
  std::string html = graph.GetGraph();
  EXPECT_TRUE(Has(html, ">North <i>(25 - 12.5%)</i></font>"));
  EXPECT_TRUE(Has(html, ">South <i>(175 - 87.5%)</i></font>"));
  EXPECT_TRUE(Has(html, ">abc row <i>(0 - 0%)</i></font>"));

  // Shares are rounded to two decimals: 1 of 3 is 33.33%.
  SimpleGraph thirds;
  thirds.Legend("a,b");
  thirds.AddRow("1");
  thirds.AddRow("2");
  std::string thirds_html = thirds.GetGraph();
  EXPECT_TRUE(Has(thirds_html, ">a <i>(1 - 33.33%)</i>"));
  EXPECT_TRUE(Has(thirds_html, ">b <i>(2 - 66.67%)</i>"));

  // A relative graph shows the percentage itself.
  SimpleGraph relative;
  relative.Relative(true);
  relative.Legend("a,b");
  relative.AddRow("1");
  relative.AddRow("3");
  std::string relative_html = relative.GetGraph();
  EXPECT_TRUE(Has(relative_html, ">a <i>(25%)</i></font>"));
  EXPECT_TRUE(Has(relative_html, ">b <i>(75%)</i></font>"));

  // With more than one column only the texts are shown.
  SimpleGraph two_columns;
  two_columns.Legend("North");
  two_columns.AddRow("25,30");
  EXPECT_TRUE(Has(two_columns.GetGraph(), "color='black'>North</font></td></tr>"));
}

TEST(GraphRenderTest, OneColumnLegendWithoutAShareToShow) {
  // A column totalling 0 has no shares: values alone.
  SimpleGraph zero;
  zero.Legend("Up,Down");
  zero.AddRow("5");
  zero.AddRow("-5");
  std::string html = zero.GetGraph();
  EXPECT_TRUE(Has(html, ">Up <i>(5)</i></font>"));
  EXPECT_TRUE(Has(html, ">Down <i>(-5)</i></font>"));

  // Legend entries beyond the last row have no value.
  SimpleGraph extra;
  extra.Legend("One,Two,Three");
  extra.AddRow("4");
  std::string extra_html = extra.GetGraph();
  EXPECT_TRUE(Has(extra_html, ">One <i>(4 - 100%)</i></font>"));
  EXPECT_TRUE(Has(extra_html, ">Two</font>"));
  EXPECT_TRUE(Has(extra_html, ">Three</font>"));
  EXPECT_EQ(Count(extra_html, "<span style='font-size:8pt;background-color:"), 3);
}

TEST(GraphRenderTest, RelativeBarsArePercentages) {
  SimpleGraph graph;
  graph.Relative(true);
  graph.Legend("a,b,c");
  graph.AddRow("1,0");
  graph.AddRow("1,0");
  graph.AddRow("1,0");
  std::string html = graph.GetGraph();
  // The scale runs from 0 to 100% in steps of 25%: 2 pixels per percent.
  EXPECT_TRUE(Has(html, "color='black'><i>100%</td>"));
  EXPECT_TRUE(Has(html, "<i>75%</i>"));
  EXPECT_FALSE(Has(html, "<i>100%</i>"));  // the top sits in the header only
  EXPECT_EQ(graph.ScaleSize(), 25);
  // 33% is round(66 + 0.3) = 66 pixels, 34% is 68.
  EXPECT_TRUE(Has(html, "<table height='66' cellspacing=0 cellpadding=0 border=0 width='100%' >"
                        "<tr><td width='100%' bgcolor='red' style='background-color:red;"
                        "border:1px solid red;' title=\"a: 33%\">"));
  EXPECT_TRUE(Has(html, "<table height='68' cellspacing=0 cellpadding=0 border=0 width='100%' >"
                        "<tr><td width='100%' bgcolor='green' style='background-color:green;"
                        "border:1px solid green;' title=\"c: 34%\">"));
  // The all-zero column shows its last row at 100%, the full height.
  EXPECT_TRUE(Has(html, "<table height='200' cellspacing=0 cellpadding=0 border=0 width='100%' >"
                        "<tr><td width='100%' bgcolor='green' style='background-color:green;"
                        "border:1px solid green;' title=\"c: 100%\">"));
  EXPECT_FALSE(Has(html, "title=\"a: 0%\""));  // 0-pixel segments are not drawn
  // Stacked bars: one row per segment, first row on top.
  EXPECT_LT(html.find("title=\"a: 33%\""), html.find("title=\"b: 33%\""));
  EXPECT_LT(html.find("title=\"b: 33%\""), html.find("title=\"c: 34%\""));
  // No grid lines inside relative columns.
  EXPECT_FALSE(Has(html, "dotted"));
}

TEST(GraphRenderTest, StackedBarsHaveGridLinesAboveThem) {
  SimpleGraph graph;
  graph.Stacked(true);
  graph.AddRow("10,20");
  graph.AddRow("5,5");
  std::string html = graph.GetGraph();
  // Totals 15 and 25: top 30, step 5, 200 ÷ 30 pixels per unit, step
  // round(33.3) = 33 pixels; bar width 150 for two rows.
  EXPECT_EQ(graph.BarWidth(), 150);
  EXPECT_EQ(graph.ScaleSize(), 5);
  // Column 1: the gap to the next line is a whole step (5 units, 33 px);
  // the space above it is round((30 - 15 - 5) × 6.67) = 67 pixels.
  EXPECT_TRUE(Has(html, "<tr><td height='67' width='150' nowrap><table height='67' "));
  EXPECT_TRUE(Has(html, "<tr><td title='33' height='33' width='150' nowrap><table height='33' "));
  // Column 2: total 25, space round((30 - 25 - 5) × 6.67) = 0 is left out.
  EXPECT_EQ(Count(html, "width='150' nowrap>"), 3);
  // Segments: red (first row) above blue, 67 and 33 pixels high.
  std::string first_column = Between(html, "<td valign=bottom nowrap width='150'",
                                     "<td valign=bottom nowrap width='150'");
  EXPECT_LT(first_column.find("bgcolor='red'"), first_column.find("bgcolor='blue'"));
  EXPECT_TRUE(Has(html, "<table height='67' cellspacing=0 cellpadding=0 border=0 width='100%' >"
                        "<tr><td width='100%' bgcolor='red'"));
  // Stacked bars are one per column, so the column is one bar wide.
  EXPECT_TRUE(Has(html, "<td valign=bottom nowrap width='150' height='200' "));
}

TEST(GraphRenderTest, NegativeValuesHangBelowTheAxis) {
  SimpleGraph graph;
  graph.AddRow("-5,30");
  std::string html = graph.GetGraph();
  // Top 40, 5 pixels per unit, 50-pixel steps; -5 makes the part below the
  // axis 100 units (500 px) deep, its cells 500 - 50 = 450 px high.
  EXPECT_TRUE(Has(html, "<td nowrap width=20 valign=top height='450' "
                        "style='border-left:1px solid black;'><table cellSpacing=0 "
                        "cellPadding=0 border=0 width=20><tr><td width='20' valign=top>"
                        "<table height='25' cellspacing=0 cellpadding=0 border=0 width='100%' >"
                        "<tr><td width='100%' bgcolor='red' style='background-color:red;"
                        "border:1px solid red;' title=\"-5\">"));
  // Below the bar: the 25-pixel gap to the next line, then whole steps to
  // the bottom: 500 - (25 + 25) - 50 = 400 px.
  EXPECT_TRUE(Has(html, "<table height='25' cellspacing=0 cellpadding=0 border='0' width='100%' >"
                        "<tr><td title='25' width='100%' height='25' style='font-size:1px;"
                        "border-bottom:1px dotted gray;'>"));
  EXPECT_TRUE(Has(html, "<table height='400' cellspacing=0 cellpadding=0 border='0' "));
  // The second column has no negative value: lines fill its cell.
  EXPECT_TRUE(Has(html, "<td nowrap width=20 valign=top height='450' "
                        "style='border-left:1px solid gray;'><table cellSpacing=0 cellPadding=0 "
                        "border=0 width=20><tr><td width='20' valign=top><table height='450' "));
  // Scale numbers below the axis: -10 to -90, nine cells.
  EXPECT_TRUE(Has(html, "<i>-10</i>"));
  EXPECT_TRUE(Has(html, "<i>-90</i>"));
  EXPECT_FALSE(Has(html, "<i>-100</i>"));
  // No tick cells when the graph goes below 0.
  EXPECT_FALSE(Has(html, "font-size:7px"));

  // Without grid lines the positive column's cell holds a blank.
  SimpleGraph no_lines;
  no_lines.ShowHLines(false);
  no_lines.AddRow("-5,30");
  EXPECT_TRUE(Has(no_lines.GetGraph(), "<td width='20' valign=top>&nbsp;</td>"));
}

TEST(GraphRenderTest, StackedNegativeFirstValueDrawsNegativeCellsWithoutScale) {
  SimpleGraph graph;
  graph.Stacked(true);
  graph.AddRow("-20,10");
  graph.AddRow("30,10");
  std::string html = graph.GetGraph();
  EXPECT_TRUE(Has(html, "title=\"-20\""));
  EXPECT_FALSE(Has(html, "<i>-"));  // no scale numbers below a stacked axis
  EXPECT_TRUE(Has(html, "<tr><td nowrap valign=top><font style='font-size:1px;'>&nbsp;</font>"
                        "</td><td nowrap valign=top><font style='font-size:1px;'>&nbsp;</font>"
                        "</td><td nowrap width=150 valign=top height='"));
}

TEST(GraphRenderTest, SixtyBarsAreTwoPixelsWideWithoutGridLines) {
  SimpleGraph graph;
  for (int row = 0; row < 6; ++row) graph.AddRow("1,2,3,4,5,6,7,8,9,10");
  std::string html = graph.GetGraph();
  EXPECT_EQ(graph.BarWidth(), 2);
  EXPECT_FALSE(graph.ShowHLines());
  EXPECT_FALSE(Has(html, "dotted"));
  EXPECT_TRUE(Has(html, "<td nowrap width='2' valign=bottom>"));
  EXPECT_EQ(Count(html, "<td valign=bottom nowrap width='12' height='200' "), 10);

  // The choice stays with the graph: fewer bars later still draw no lines.
  SimpleGraph fewer;
  fewer.AddRow("1,2,3,4,5,6,7,8,9,10");
  fewer.ShowHLines(true);
  fewer.GetGraph();
  EXPECT_TRUE(fewer.ShowHLines());
}

TEST(GraphRenderTest, SpacingAddsAnEmptyCellAfterEachColumn) {
  SimpleGraph graph;
  graph.Spacing(4);
  graph.XScaleValues("a,b");
  graph.AddRow("10,25");
  std::string html = graph.GetGraph();
  // Top 30: 200 ÷ 30 pixels per unit, step 5 units; the spacer's lines use
  // the unrounded 5 × 6.67 pixels.
  EXPECT_TRUE(Has(html, "<th colspan=4>&nbsp;</th>"));
  EXPECT_EQ(Count(html, "<td valign=bottom style='border-bottom:1px solid black;' width='4'>"
                        "<table height='200' "),
            2);
  EXPECT_TRUE(Has(html, "height='33.3333333333333' style='font-size:1px;border-top:1px dotted"));
  // Tick row and x-scale row get their spacers too.
  EXPECT_EQ(Count(html, "<td width='4'><font style='font-size:1px;'>&nbsp;</font></td>"), 4);

  SimpleGraph plain_spacer;
  plain_spacer.Spacing(4);
  plain_spacer.ShowHLines(false);
  plain_spacer.AddScale(false);
  plain_spacer.AddRow("10,25");
  EXPECT_EQ(Count(plain_spacer.GetGraph(),
                  "<td valign=bottom  width='4'><font style='font-size:3px;'>&nbsp;</font></td>"),
            2);
}

TEST(GraphRenderTest, TitleAndAxisLabels) {
  SimpleGraph graph;
  graph.Title("Sales");
  graph.TitleClassName("t");
  graph.yLabel("€ k");
  graph.xLabel("Month");
  graph.xLabelClassName("x");
  graph.BgColor("#fafafa");
  graph.AddRow("1");
  std::string html = graph.GetGraph();
  EXPECT_EQ(html.rfind("<table cellSpacing=0 cellPadding=4 border=0  bgcolor=\"#fafafa\">"
                       "<tr><td>&nbsp;</td><th  class=\"t\"><font  class=\"t\" color='black'>"
                       "Sales</font></th><td>&nbsp;</td></tr><tr><th valign=top >&nbsp;<br>"
                       "<font  color='black'>€<br> <br>k<br></font></th><td valign=top>",
                       0),
            0u);
  EXPECT_TRUE(Has(html, "</tr><tr><td height=1 >&nbsp;</td><th height=1 valign=top  "
                        "class=\"x\"><font  class=\"x\" color='black'>Month</font></th></tr>"
                        "</table>"));

  // Without the scale the x-label row does not pad for the y label.
  graph.AddScale(false);
  std::string unscaled = graph.GetGraph().substr(html.size());
  EXPECT_TRUE(Has(unscaled, "</tr><tr><th height=1 valign=top  class=\"x\">"));
}

TEST(GraphRenderTest, WithoutScaleThereAreNoAxesTicksOrLabels) {
  SimpleGraph graph;
  graph.AddScale(false);
  graph.XScaleValues("a,b");
  graph.Legend("L");
  graph.AddRow("10,20");
  std::string html = graph.GetGraph();
  EXPECT_FALSE(Has(html, "<th colspan="));
  EXPECT_FALSE(Has(html, "font-size:7px"));
  EXPECT_FALSE(Has(html, ">a</font>"));
  EXPECT_FALSE(Has(html, "border-left"));
  EXPECT_TRUE(Has(html, "<td valign=bottom nowrap width='20' height='200' >"));
  EXPECT_TRUE(Has(html, "<table cellpadding=1 border=0 >"));
  EXPECT_TRUE(Has(html, "</table></td></tr><tr></tr></table></td>"));  // empty below-axis row
}

TEST(GraphRenderTest, ColoursAndLinesFollowTheProperties) {
  SimpleGraph graph;
  graph.Colors("navy");
  graph.ShowVLines(false);
  graph.hLineColor("silver");
  graph.ScaleColor("teal");
  graph.AddRow("10,20");
  graph.AddRow("10,20");
  std::string html = graph.GetGraph();
  EXPECT_EQ(Count(html, "bgcolor='navy'"), 4);
  EXPECT_TRUE(Has(html, "border-top:1px dotted silver;"));
  EXPECT_TRUE(Has(html, "border-top:1px solid teal;"));  // the axis ticks
  // Only the first column has a left line: the axis.
  EXPECT_EQ(Count(html, "<td valign=bottom nowrap width='40' height='200' style="), 1);

  // An empty colour list draws with the default colours.
  SimpleGraph cleared;
  cleared.Colors("");
  cleared.AddRow("10");
  cleared.AddRow("10");
  std::string cleared_html = cleared.GetGraph();
  EXPECT_TRUE(Has(cleared_html, "bgcolor='red'"));
  EXPECT_TRUE(Has(cleared_html, "bgcolor='blue'"));
  cleared.Colors(std::vector<std::string>{});
  EXPECT_NO_THROW(cleared.GetGraph());
}

TEST(GraphRenderTest, TinyHeightsDrawWithoutGridLinesInsteadOfFailing) {
  // A 1-pixel graph has a pixel step of 0: there are no lines to align bars
  // or negative values to.
  SimpleGraph graph;
  graph.MaxBarHeight(1);
  graph.AddRow("-1000,900,1000");
  std::string html;
  ASSERT_NO_THROW(html = graph.GetGraph());
  EXPECT_FALSE(Has(html, "dotted"));
  // Top 2000: round(1000 ÷ 2000 + 0.3) = 1 pixel above and below the axis.
  EXPECT_TRUE(Has(html, "title=\"-1000\""));
  EXPECT_TRUE(Has(html, "title=\"1000\""));

  SimpleGraph flat;
  flat.MaxBarHeight(0);
  flat.AddRow("5,-5");
  EXPECT_NO_THROW(flat.GetGraph());
}

}  // namespace
}  // namespace fennick
