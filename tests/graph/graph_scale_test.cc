// The numbers a graph is drawn with: the table of values, relative
// percentages, extremes, bar width, scale top and step, pixel quantities,
// and what preparing them writes back into the graph's properties.
#include "graph/graph_scale.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fennick/error.h"
#include "graph/graph_data.h"

namespace fennick::graph {
namespace {

// A state with rows given one string per row.
void AddRows(GraphState& state, const std::vector<std::string>& rows) {
  for (const std::string& row : rows) state.rows_text += row + "|||";
}

// The step chosen automatically for a graph whose only value is `max`,
// and the scale top it was chosen for.
std::pair<double, int32_t> AutomaticStep(int max) {
  GraphState state;
  AddRows(state, {std::to_string(max)});
  GraphData data = PrepareData(state);
  GraphScale scale = PrepareScale(state, data);
  return {scale.top, state.scale_size};
}

TEST(GraphDataTest, RowsBecomeATableOfNumbersShapedByTheFirstRow) {
  GraphState state;
  AddRows(state, {"1, 12 ,abc", "4", "7,8,9,10", ""});
  GraphData data = PrepareData(state);
  ASSERT_EQ(data.rows, 4u);
  ASSERT_EQ(data.columns, 3u);
  EXPECT_EQ(data.At(0, 1).value, 12);
  EXPECT_EQ(data.At(0, 1).text, " 12 ");  // titles show the text as given
  // Non-numeric and missing items are 0 and written as the number 0.
  EXPECT_EQ(data.At(0, 2).value, 0);
  EXPECT_TRUE(data.At(0, 2).text.empty());
  EXPECT_EQ(data.At(1, 0).value, 4);
  EXPECT_EQ(data.At(1, 1).value, 0);
  EXPECT_EQ(data.At(2, 2).value, 9);  // the surplus 10 is dropped
  EXPECT_EQ(data.At(3, 0).value, 0);
  EXPECT_TRUE(data.At(3, 0).text.empty());
}

TEST(GraphDataTest, NonFiniteTextsAreNotNumbers) {
  GraphState state;
  AddRows(state, {"inf,nan,1e2"});
  GraphData data = PrepareData(state);
  EXPECT_EQ(data.At(0, 0).value, 0);
  EXPECT_EQ(data.At(0, 1).value, 0);
  EXPECT_EQ(data.At(0, 2).value, 100);
}

TEST(GraphDataTest, RowNamesBecomeTheLegendOnlyWhenLongerThanThreeCharacters) {
  GraphState short_name;
  short_name.row_names = "abc";
  AddRows(short_name, {"1"});
  PrepareData(short_name);
  EXPECT_FALSE(short_name.legend.has_value());

  GraphState long_name;
  long_name.row_names = "abcd";
  AddRows(long_name, {"1"});
  PrepareData(long_name);
  ASSERT_TRUE(long_name.legend.has_value());
  EXPECT_EQ(*long_name.legend, std::vector<std::string>{"abcd"});

  GraphState two_names;
  two_names.row_names = "ab|||c";
  AddRows(two_names, {"1", "2"});
  PrepareData(two_names);
  EXPECT_EQ(*two_names.legend, (std::vector<std::string>{"ab", "c"}));

  // Characters, not bytes: four two-byte letters make a legend, three do not.
  GraphState three_letters;
  three_letters.row_names = "äöü";
  AddRows(three_letters, {"1"});
  PrepareData(three_letters);
  EXPECT_FALSE(three_letters.legend.has_value());

  // A legend the page set is not replaced.
  GraphState set_legend;
  set_legend.legend = std::vector<std::string>{"Mine"};
  set_legend.row_names = "Sales";
  AddRows(set_legend, {"1"});
  PrepareData(set_legend);
  EXPECT_EQ(*set_legend.legend, std::vector<std::string>{"Mine"});
}

TEST(GraphDataTest, RelativeColumnsAddUpToExactlyOneHundred) {
  GraphState state;
  state.relative = true;
  // Column 0: 1, 1, 1. Column 1: all 0. Column 2: a negative value counts 0.
  AddRows(state, {"1,0,-5", "1,0,30", "1,abc,10"});
  GraphData data = PrepareData(state);
  EXPECT_TRUE(state.stacked);
  // 1 of 3 is 33 each; the sum 99 is made 100 by the last row.
  EXPECT_EQ(data.At(0, 0).value, 33);
  EXPECT_EQ(data.At(1, 0).value, 33);
  EXPECT_EQ(data.At(2, 0).value, 34);
  // All zeros: the last row takes the whole 100.
  EXPECT_EQ(data.At(0, 1).value, 0);
  EXPECT_EQ(data.At(1, 1).value, 0);
  EXPECT_EQ(data.At(2, 1).value, 100);
  // -5 counts as 0; 30 of 40 is 75, 10 of 40 is 25.
  EXPECT_EQ(data.At(0, 2).value, 0);
  EXPECT_EQ(data.At(1, 2).value, 75);
  EXPECT_EQ(data.At(2, 2).value, 25);
  EXPECT_TRUE(data.At(1, 2).text.empty());  // percentages are written as numbers
  EXPECT_EQ(data.max, 100);
  EXPECT_EQ(data.min, 0);
  // Percentages fill the graph: the scale runs from 0 to 100.
  GraphScale scale = PrepareScale(state, data);
  EXPECT_EQ(scale.top, 100);
  EXPECT_EQ(state.scale_size, 25);
  EXPECT_EQ(scale.step_px, 50);
}

TEST(GraphDataTest, ExtremesOfPlainAndStackedGraphs) {
  // Plain: the largest magnitude is the maximum, the lowest value the minimum.
  GraphState plain;
  AddRows(plain, {"-50,20", "7.5,-2.5"});
  GraphData p = PrepareData(plain);
  EXPECT_EQ(p.max, 50);
  EXPECT_EQ(p.min, -50);

  // Halves round to even: -2.5 is -2, 8.5 is 8.
  GraphState halves;
  AddRows(halves, {"3,8.5,-2.5"});
  GraphData h = PrepareData(halves);
  EXPECT_EQ(h.max, 8);
  EXPECT_EQ(h.min, -2);

  // Stacked: column totals of values above -1; the minimum is the first
  // value alone.
  GraphState stacked;
  stacked.stacked = true;
  AddRows(stacked, {"5,1,-3", "-0.5,60,-20", "-20,1,4"});
  GraphData s = PrepareData(stacked);
  ASSERT_EQ(s.column_totals.size(), 3u);
  EXPECT_EQ(s.column_totals[0], 4.5);
  EXPECT_EQ(s.column_totals[1], 62);
  EXPECT_EQ(s.column_totals[2], 4);
  EXPECT_EQ(s.max, 62);
  EXPECT_EQ(s.min, 5);
}

TEST(GraphScaleTest, BarWidthFollowsTheNumberOfBars) {
  struct Case {
    bool stacked;
    size_t rows, columns;
    int32_t width;
    bool h_lines;
  };
  const Case cases[] = {
      {false, 1, 1, 20, true},   {false, 2, 10, 20, true}, {false, 3, 7, 15, true},
      {false, 1, 59, 15, true},  {false, 6, 10, 2, false}, {false, 30, 12, 2, false},
      {true, 1, 4, 300, true},   {true, 2, 4, 150, true},  {true, 3, 4, 100, true},
      {true, 4, 4, 100, true},   {true, 5, 4, 50, true},   {true, 11, 4, 50, true},
      {true, 12, 4, 0, true},
  };
  for (const Case& c : cases) {
    GraphState state;
    state.stacked = c.stacked;
    std::string row = "1";
    for (size_t i = 1; i < c.columns; ++i) row += ",1";
    for (size_t i = 0; i < c.rows; ++i) AddRows(state, {row});
    GraphData data = PrepareData(state);
    GraphScale scale = PrepareScale(state, data);
    SCOPED_TRACE(std::to_string(c.rows) + " x " + std::to_string(c.columns) +
                 (c.stacked ? " stacked" : ""));
    EXPECT_EQ(state.bar_width, c.width);
    EXPECT_EQ(state.show_h_lines, c.h_lines);
    EXPECT_FALSE(state.bar_width_set);
    EXPECT_EQ(scale.group_width, c.stacked ? c.width : c.width * int64_t(c.rows));
    EXPECT_EQ(scale.cell_count, c.columns);
  }
}

TEST(GraphScaleTest, ScaleTopIsAlwaysAboveTheMaximum) {
  EXPECT_EQ(ScaleTop(345), 400);
  EXPECT_EQ(ScaleTop(300), 400);
  EXPECT_EQ(ScaleTop(95), 100);
  EXPECT_EQ(ScaleTop(7), 8);
  EXPECT_EQ(ScaleTop(0), 1);
  EXPECT_EQ(ScaleTop(30), 40);
  EXPECT_EQ(ScaleTop(99999), 100000);
  EXPECT_EQ(ScaleTop(100), 200);
  // Only a stacked graph of negative fractions has a negative maximum;
  // its scale is that of an empty graph.
  EXPECT_EQ(ScaleTop(-1), 1);
  EXPECT_EQ(ScaleTop(-25), 1);
}

TEST(GraphScaleTest, AutomaticStepGivesFourToSevenLines) {
  // Maxima chosen to give the scale tops 400, 100, 2000, 300, 900, 800,
  // 6, 1 and 40.
  const std::pair<int, std::pair<double, int32_t>> cases[] = {
      {300, {400, 100}}, {95, {100, 25}}, {1500, {2000, 500}}, {250, {300, 50}},
      {850, {900, 150}}, {750, {800, 100}}, {5, {6, 1}},       {0, {1, 1}},
      {30, {40, 10}},
  };
  for (const auto& [max, expected] : cases) {
    EXPECT_EQ(AutomaticStep(max), expected) << "maximum " << max;
  }
}

TEST(GraphScaleTest, AChosenStepIsKeptOnlyWhenItFits) {
  auto step_for = [](bool relative, int32_t chosen, bool& still_set) {
    GraphState state;
    state.relative = relative;
    state.scale_size = chosen;
    state.scale_size_set = true;
    AddRows(state, {"10,20,30"});  // scale top 40 (100 when relative)
    GraphData data = PrepareData(state);
    PrepareScale(state, data);
    still_set = state.scale_size_set;
    return state.scale_size;
  };
  bool set = false;
  EXPECT_EQ(step_for(false, 7, set), 7);  // 40 ÷ 7 is about 5.7
  EXPECT_TRUE(set);
  EXPECT_EQ(step_for(false, 20, set), 20);  // 2 lines
  EXPECT_EQ(step_for(false, 4, set), 4);    // 10 lines
  EXPECT_EQ(step_for(false, 2, set), 10);   // 20 lines: automatic
  EXPECT_FALSE(set);
  EXPECT_EQ(step_for(false, 21, set), 10);  // under 2 lines: automatic
  EXPECT_EQ(step_for(true, 60, set), 25);
  EXPECT_FALSE(set);
  EXPECT_EQ(step_for(true, 50, set), 50);
  EXPECT_TRUE(set);
  // A step of 0 or less after a chosen one returns to automatic instead of
  // dividing by zero.
  EXPECT_EQ(step_for(false, 0, set), 10);
  EXPECT_FALSE(set);
  EXPECT_EQ(step_for(true, -5, set), 25);
}

TEST(GraphScaleTest, PixelQuantities) {
  GraphState state;
  AddRows(state, {"-5,30"});
  GraphData data = PrepareData(state);
  GraphScale scale = PrepareScale(state, data);
  EXPECT_EQ(scale.top, 40);
  EXPECT_EQ(scale.pixels_per_unit, 5);
  EXPECT_EQ(scale.step_px, 50);
  // -5 makes the part below the axis 100 units deep.
  EXPECT_EQ(scale.negative_depth_px, 500);

  GraphState deeper;
  AddRows(deeper, {"-100,30"});
  GraphData d = PrepareData(deeper);
  GraphScale s = PrepareScale(deeper, d);
  EXPECT_EQ(s.top, 200);                 // maximum |-100|
  EXPECT_EQ(s.negative_depth_px, 200);  // 200 units at 1 pixel each

  // Steps are rounded to whole pixels, halves to even: 25 × 0.5 = 12.5.
  GraphState half;
  half.max_bar_height = 50;
  AddRows(half, {"95"});  // top 100, step 25
  GraphData hd = PrepareData(half);
  GraphScale hs = PrepareScale(half, hd);
  EXPECT_EQ(hs.step_px, 12);

  EXPECT_EQ(BarHeightAbove(10, 5), 50);
  EXPECT_EQ(BarHeightAbove(0.44, 5), 2);  // 2.2 + 0.3 = 2.5 rounds to 2
  EXPECT_EQ(BarHeightAbove(0.5, 5), 3);   // 2.8
  EXPECT_EQ(BarHeightAbove(-4, 5), -20);
  EXPECT_EQ(BarHeightBelow(-10, 5), 50);
  EXPECT_EQ(BarHeightBelow(-0.04, 5), 0);  // 0.2 + 0.3 = 0.5 rounds to 0
}

}  // namespace
}  // namespace fennick::graph
