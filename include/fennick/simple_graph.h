// SimpleGraph: a bar graph in plain HTML (Fennick.SimpleGraph).
//
// A page sets the graph's properties, adds rows of values and takes the
// HTML with GetGraph or has it written to the page with Draw. Each row is
// one series (one colour, one legend entry); the position of a value in its
// row is its column (one group of bars, one x-scale label). A plain graph
// shows one bar per row side by side in each column, a stacked graph one bar
// per column made of one segment per row, a relative graph stacked
// percentages of each column's total. Negative values hang below the axis.
// The graph is nested tables with coloured cells: no images, scripts or
// style sheets.
//
// Script pages see the properties as write-only; the C++ getters read what
// is stored, including the values a rendering chose (BarWidth, ScaleSize,
// Stacked, ShowHLines, Legend). Class and colour attribute properties read
// back as the attribute text they are stored as.
//
// A SimpleGraph belongs to the page that made it; it is not thread-safe.
#ifndef FENNICK_SIMPLE_GRAPH_H_
#define FENNICK_SIMPLE_GRAPH_H_

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "fennick/variant.h"

namespace fennick {

namespace graph {
struct GraphState;
}

class SimpleGraph {
 public:
  SimpleGraph();
  ~SimpleGraph();
  SimpleGraph(SimpleGraph&&) noexcept;
  SimpleGraph& operator=(SimpleGraph&&) noexcept;
  SimpleGraph(const SimpleGraph&) = delete;
  SimpleGraph& operator=(const SimpleGraph&) = delete;

  // Value units between two scale lines; 0 (the default) chooses them.
  // A value above 0 is kept when it gives 2 to 10 lines up to the scale's
  // top (at most 50 in a relative graph); otherwise the graph chooses.
  int32_t ScaleSize() const;
  void ScaleSize(int32_t value);
  // Pixel width of an empty cell after each column; negative becomes 1.
  int32_t Spacing() const;
  void Spacing(int32_t value);
  // Pixel width of one bar; below 2 (the default 0) the graph chooses.
  int32_t BarWidth() const;
  void BarWidth(int32_t value);
  // Pixel height of the area above the axis (200); negative becomes 200.
  int32_t MaxBarHeight() const;
  void MaxBarHeight(int32_t value);

  // Labels of the columns, written under them as given (markup allowed).
  // Text is split at ",". Not set: no x-scale row.
  const std::optional<std::vector<std::string>>& XScaleValues() const;
  void XScaleValues(std::vector<std::string> labels);
  void XScaleValues(std::string_view comma_separated);
  // Align attribute of the x-scale labels ("center", "right"; empty).
  const std::string& xALign() const;
  void xALign(std::string_view value);

  // CSS classes of title, x label and y label; empty means none.
  const std::string& TitleClassName() const;
  void TitleClassName(std::string_view name);
  const std::string& xLabelClassName() const;
  void xLabelClassName(std::string_view name);
  const std::string& yLabelClassName() const;
  void yLabelClassName(std::string_view name);

  // Title above the graph, label under it, label left of it (written
  // vertically). HTML, written as given.
  const std::string& Title() const;
  void Title(std::string_view value);
  const std::string& xLabel() const;
  void xLabel(std::string_view value);
  const std::string& yLabel() const;
  void yLabel(std::string_view value);

  // Background colour of the whole graph.
  const std::string& BgColor() const;
  void BgColor(std::string_view color);
  // Colour of the lines between columns and of the legend frame ("gray").
  const std::string& vLineColor() const;
  void vLineColor(std::string_view color);
  // Colour of the horizontal grid lines ("gray").
  const std::string& hLineColor() const;
  void hLineColor(std::string_view color);
  // Colour of axes, tick marks, scale numbers, title and labels ("black").
  const std::string& ScaleColor() const;
  void ScaleColor(std::string_view color);

  // Bar colours by row, used round-robin; text is split at ",". An empty
  // list draws with the 21 default colours.
  const std::vector<std::string>& Colors() const;
  void Colors(std::vector<std::string> colors);
  void Colors(std::string_view comma_separated);
  // Legend texts by row (HTML); text is split at ",". Not set: the names
  // given to AddRowData become the legend when they are longer than 3
  // characters together, else there is no legend.
  const std::optional<std::vector<std::string>>& Legend() const;
  void Legend(std::vector<std::string> texts);
  void Legend(std::string_view comma_separated);

  bool ShowVLines() const;
  void ShowVLines(bool value);
  bool ShowHLines() const;
  void ShowHLines(bool value);
  // Axes, scale numbers, tick marks and x-scale labels.
  bool AddScale() const;
  void AddScale(bool value);
  bool Stacked() const;
  void Stacked(bool value);
  // Stacked percentages of each column's total; rendering sets Stacked.
  bool Relative() const;
  void Relative(bool value);

  // Adds a row of values: comma-separated text, or values joined with ",".
  // Missing and non-numeric values are drawn as 0; the first row fixes the
  // number of columns.
  void AddRow(std::string_view comma_separated);
  void AddRow(std::span<const Variant> values);
  void AddRow(std::span<const double> values);
  void AddRow(std::initializer_list<Variant> values);
  // Adds a named row. Rows added with AddRow get no name, so mixing the
  // two shifts later names onto earlier rows.
  void AddRowData(std::string_view name, std::string_view comma_separated);
  void AddRowData(std::string_view name, std::span<const Variant> values);
  void AddRowData(std::string_view name, std::span<const double> values);
  void AddRowData(std::string_view name, std::initializer_list<Variant> values);

  // Renders the graph and returns every graph this object has rendered so
  // far, this one last. Raises 5 when no row was added, 9 when the first
  // row has no value, 6 when a value lies beyond the 32-bit range; the
  // earlier output is then unchanged.
  std::string GetGraph();
  // Renders the graph and writes what GetGraph returns to the running
  // page. Any failure, including no page running, raises error 2 with
  // source "Draw Graph" and description
  // "Response object reference not set. Use 'GetGraph'.".
  void Draw();

 private:
  std::unique_ptr<graph::GraphState> state_;
};

}  // namespace fennick

#endif  // FENNICK_SIMPLE_GRAPH_H_
