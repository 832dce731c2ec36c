// SimpleGraph as a page uses it: the whole HTML of a small graph, the
// property setter rules, what rendering writes back, the output buffer that
// keeps every graph, and the errors of GetGraph and Draw.
#include "fennick/simple_graph.h"

#include <gtest/gtest.h>

#include <string>

#include "fennick/error.h"
#include "fennick/page.h"

namespace fennick {
namespace {

// The graph of one row 10, 20, 30 with every property at its default,
// written out by hand:
//
// - one row, three columns, no legend (no names), no x-scale labels;
// - automatic bar width: 15 × round(30 ÷ (1 × 3)) = 150, capped at 20;
//   one row per column, so each column (group) is 20 pixels wide;
// - maximum 30 (two digits, so the leading power is 10):
//   scale top = 30 + 10 − (30 mod 10) = 40; minimum 10, so no part below
//   the axis, and tick cells under the columns instead;
// - automatic step: round(10 ÷ 2) = 5; 40 ÷ 5 = 8 is not below 4; 40 mod 3
//   is 1; 8 > 7 doubles it to 10;
// - 200 ÷ 40 = 5 pixels per unit, a step of 10 × 5 = 50 pixels;
// - bar heights round(10 × 5 + 0.3) = 50, 100 and 150;
// - the scale column: first label round(200 ÷ 50 × 10) − 10 = 30, then 20,
//   10, 0 in four 50-pixel cells; the header row shows the top, 40;
// - the axis column: four 50-pixel cells with solid black top borders
//   (black is not the grid-line colour);
// - above each bar, dotted gray lines: the gap from the bar's top to the
//   next line is 50 − (height mod 50) = 50 pixels in all three columns;
//   the block above the gap is 200 − (height + 50) = 100, 50 and 0 pixels
//   (0 writes nothing);
// - the first column's left border is the black y axis, the others gray
//   vertical lines; colours go by row, so all three bars are the first
//   colour, red; titles are the value texts.
std::string Lines(int height, int cells) {
  std::string html = "<table height='" + std::to_string(height) +
                     "' cellspacing=0 cellpadding=0 border='0' width='100%' >";
  for (int i = 0; i < cells; ++i) {
    html += "<tr><td title='" + std::to_string(height) +
            "' width='100%' height='50' style='font-size:1px;border-top:1px dotted gray;'>"
            "&nbsp;</td></tr>";
  }
  return html + "</table>";
}

std::string Bar(int height, const std::string& color, const std::string& title) {
  return "<table height='" + std::to_string(height) +
         "' cellspacing=0 cellpadding=0 border=0 width='100%' >"
         "<tr><td width='100%' bgcolor='" + color + "' style='background-color:" + color +
         ";border:1px solid " + color + ";' title=\"" + title +
         "\"><font style='font-size:1px;'>&nbsp;</font></div></td></tr></table>";
}

std::string Column(const std::string& left, const std::string& lines_and_bar) {
  return "<td valign=bottom nowrap width='20' height='200' style='border-left:1px solid " +
         left + ";border-bottom:1px solid black;'>"
         "<table border=0 cellSpacing=0 cellPadding=0 width='20'><tr>"
         "<td nowrap width='20' valign=bottom>" + lines_and_bar + "</td></tr></table></td>";
}

std::string ScaleLabel(int value) {
  return "<tr><td align=right valign=bottom width='100%' height='50'>"
         "<font face='arial,helvetica' size='-3' color='black'><i>" +
         std::to_string(value) + "</i></font></td></tr>";
}

std::string AxisCell() {
  return "<tr><td title='200' width='100%' height='50' "
         "style='font-size:1px;border-top:1px solid black;'>&nbsp;</td></tr>";
}

const char kTick[] =
    "<td nowrap width=20 valign=top height=1><table cellSpacing=0 cellPadding=0 border=0 "
    "width=20><tr><td width=\"100%\" style='border-left:1px solid black;'>"
    "<font style='font-size:7px;'>&nbsp;</font></td></tr></table></td>";

std::string WorkedExample() {
  return std::string("<table cellSpacing=0 cellPadding=4 border=0 >") +
         "<tr>" +
         "<td valign=top><table cellSpacing=0 cellPadding=0 border=0>" +
         // Scale header: the top value (font and italics left open).
         "<tr><td align=right valign=bottom><font face='arial,helvetica' size='-3' "
         "color='black'><i>40</td><td style='font-size:1px;'>&nbsp;</td>"
         "<th colspan=3>&nbsp;</th></tr>" +
         // Bar row: scale numbers, axis ticks, three columns.
         "<tr><td nowrap valign=bottom >"
         "<table height='200' cellspacing=0 cellpadding=0 border=0 width='100%' >" +
         ScaleLabel(30) + ScaleLabel(20) + ScaleLabel(10) + ScaleLabel(0) + "</table></td>" +
         "<td nowrap valign=bottom style='border-bottom:1px solid black;' width=5>"
         "<table height='200' cellspacing=0 cellpadding=0 border='0' width='100%' >" +
         AxisCell() + AxisCell() + AxisCell() + AxisCell() + "</table></td>" +
         Column("black", Lines(100, 2) + Lines(50, 1) + Bar(50, "red", "10")) +
         Column("gray", Lines(50, 1) + Lines(50, 1) + Bar(100, "red", "20")) +
         Column("gray", Lines(50, 1) + Bar(150, "red", "30")) + "</tr>" +
         // Below the axis: empty scale cells and a tick per column.
         "<tr><td nowrap valign=top><font style='font-size:1px;'>&nbsp;</font></td>"
         "<td nowrap valign=top><font style='font-size:1px;'>&nbsp;</font></td>" +
         kTick + kTick + kTick + "</tr>" +
         "</table></td>" +
         "</tr>" +
         "</table>";
}

TEST(SimpleGraphTest, OneRowWithDefaultsIsTheHandDerivedGraph) {
  SimpleGraph graph;
  graph.AddRow("10,20,30");
  EXPECT_EQ(graph.GetGraph(), WorkedExample());
  // The automatic choices are written back into the properties.
  EXPECT_EQ(graph.BarWidth(), 20);
  EXPECT_EQ(graph.ScaleSize(), 10);
  EXPECT_TRUE(graph.ShowHLines());
}

TEST(SimpleGraphTest, ValuesGivenAsNumbersDrawTheSameGraph) {
  SimpleGraph from_list;
  from_list.AddRow({10, 20.0, Variant("30")});
  EXPECT_EQ(from_list.GetGraph(), WorkedExample());
  SimpleGraph from_doubles;
  const double values[] = {10, 20, 30};
  from_doubles.AddRow(values);
  EXPECT_EQ(from_doubles.GetGraph(), WorkedExample());
}

TEST(SimpleGraphTest, EachGetGraphReturnsEveryGraphSoFar) {
  SimpleGraph graph;
  graph.AddRow("10,20,30");
  std::string first = graph.GetGraph();
  EXPECT_EQ(graph.GetGraph(), first + first);
}

TEST(SimpleGraphTest, SettersApplyTheirRules) {
  SimpleGraph graph;
  graph.Spacing(-3);
  EXPECT_EQ(graph.Spacing(), 1);
  graph.MaxBarHeight(-1);
  EXPECT_EQ(graph.MaxBarHeight(), 200);
  graph.MaxBarHeight(0);
  EXPECT_EQ(graph.MaxBarHeight(), 0);

  graph.TitleClassName("head");
  EXPECT_EQ(graph.TitleClassName(), " class=\"head\"");
  graph.TitleClassName("");
  EXPECT_EQ(graph.TitleClassName(), "");
  graph.BgColor("#eee");
  EXPECT_EQ(graph.BgColor(), " bgcolor=\"#eee\"");

  graph.XScaleValues("Jan,Feb,");
  EXPECT_EQ(*graph.XScaleValues(), (std::vector<std::string>{"Jan", "Feb", ""}));
  graph.Legend("");
  ASSERT_TRUE(graph.Legend().has_value());  // set, with no entries
  EXPECT_TRUE(graph.Legend()->empty());
}

TEST(SimpleGraphTest, BarWidthOfOneIsAutomaticAndAChosenWidthStays) {
  SimpleGraph automatic;
  automatic.BarWidth(1);
  automatic.AddRow("10,20,30");
  automatic.GetGraph();
  EXPECT_EQ(automatic.BarWidth(), 20);

  SimpleGraph chosen;
  chosen.BarWidth(7);
  chosen.AddRow("10,20,30");
  std::string html = chosen.GetGraph();
  EXPECT_EQ(chosen.BarWidth(), 7);
  EXPECT_NE(html.find("<td nowrap width='7' valign=bottom>"), std::string::npos);
}

TEST(SimpleGraphTest, RelativeRenderingLeavesTheGraphStacked) {
  SimpleGraph graph;
  graph.Relative(true);
  graph.AddRow("1,2");
  graph.GetGraph();
  EXPECT_TRUE(graph.Stacked());
  EXPECT_EQ(graph.ScaleSize(), 25);
}

TEST(SimpleGraphTest, GetGraphRaisesForMissingRowsAndKeepsEarlierOutput) {
  SimpleGraph empty;
  try {
    empty.GetGraph();
    FAIL() << "a graph without rows was drawn";
  } catch (const Error& e) {
    EXPECT_EQ(e.number(), kErrInvalidCall);
    EXPECT_NE(e.description().find("no rows"), std::string::npos) << e.description();
  }

  // A first row without any value leaves the graph without columns.
  SimpleGraph no_columns;
  no_columns.AddRow("");
  no_columns.AddRow("1,2");
  try {
    no_columns.GetGraph();
    FAIL() << "a graph without columns was drawn";
  } catch (const Error& e) {
    EXPECT_EQ(e.number(), 9);
    EXPECT_NE(e.description().find("first row"), std::string::npos) << e.description();
  }

  // A value beyond the 32-bit range fails before anything is appended.
  SimpleGraph graph;
  graph.AddRow("10,20,30");
  std::string first = graph.GetGraph();
  graph.AddRow("3000000000");
  try {
    graph.GetGraph();
    FAIL() << "an out-of-range value was drawn";
  } catch (const Error& e) {
    EXPECT_EQ(e.number(), kErrOverflow);
  }
  SimpleGraph stacked;
  stacked.Stacked(true);
  stacked.AddRow("2000000000");
  stacked.AddRow("2000000000");
  EXPECT_THROW(stacked.GetGraph(), Error);
}

class DrawTest : public ::testing::Test {
 protected:
  Application app_;
  PageContext page_{Request(), Session(MakeMemorySessionStore(), "id"), app_,
                    Server("/site", "/graph.asp", nullptr, "en_US")};
};

void ExpectDrawError(SimpleGraph& graph) {
  try {
    graph.Draw();
    FAIL() << "Draw did not raise";
  } catch (const Error& e) {
    EXPECT_EQ(e.number(), 2);
    EXPECT_EQ(e.source(), "Draw Graph");
    EXPECT_EQ(e.description(), "Response object reference not set. Use 'GetGraph'.");
  }
}

TEST_F(DrawTest, WritesTheGraphToTheRunningPage) {
  SimpleGraph graph;
  graph.AddRow("10,20,30");
  {
    PageBinding bound(page_);
    graph.Draw();
  }
  EXPECT_EQ(page_.response().Body(), WorkedExample());
}

TEST_F(DrawTest, AnyFailureIsErrorTwo) {
  SimpleGraph outside_a_page;
  outside_a_page.AddRow("10,20,30");
  ExpectDrawError(outside_a_page);
  // Nothing was rendered: the next graph is the first in the buffer.
  EXPECT_EQ(outside_a_page.GetGraph(), WorkedExample());

  PageBinding bound(page_);
  SimpleGraph no_rows;
  ExpectDrawError(no_rows);
  EXPECT_EQ(page_.response().Body(), "");
}

}  // namespace
}  // namespace fennick
