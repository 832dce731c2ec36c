// The state of one SimpleGraph object: its property values, the rows added
// so far and the buffer the graph is written into.
//
// Properties are kept in the form rendering reads them: class and colour
// attributes as ready-made attribute text, label lists as vectors (absent
// when never set). Rendering writes its automatic choices back into this
// state, so a later rendering starts from them. Not thread-safe: a graph
// belongs to the page that made it.
#ifndef FENNICK_GRAPH_GRAPH_STATE_H_
#define FENNICK_GRAPH_GRAPH_STATE_H_

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "fennick/string_buffer.h"

namespace fennick::graph {

inline constexpr int32_t kDefaultMaxBarHeight = 200;

// The bar colours of a new graph, by row index.
inline constexpr std::string_view kDefaultColors[] = {
    "red",     "blue",    "green",   "yellow",  "orange",  "purple", "olive",
    "navy",    "aqua",    "lime",    "maroon",  "teal",    "fuchsia", "#cd853f",
    "#ffefd5", "#deb887", "#5f9ea0", "#9370db", "#1e90ff", "gray",   "black"};

// Separates rows in the row text and names in the name list.
inline constexpr std::string_view kRowSeparator = "|||";

struct GraphState {
  GraphState();

  // Scale step in value units; the mark says the page chose it.
  int32_t scale_size = 0;
  bool scale_size_set = false;
  // Pixel width of the empty cell after each column (0: none).
  int32_t spacing = 0;
  // Pixel width of one bar; the mark says the page chose it.
  int32_t bar_width = 0;
  bool bar_width_set = false;
  // Pixel height of the area above the axis.
  int32_t max_bar_height = kDefaultMaxBarHeight;

  std::optional<std::vector<std::string>> x_scale_values;
  std::string x_align;
  // " class=\"name\"", or empty.
  std::string title_class, x_label_class, y_label_class;
  std::string title, x_label, y_label;
  // " bgcolor=\"colour\"", or empty when never set.
  std::string bg_color;
  std::string v_line_color = "gray";
  std::string h_line_color = "gray";
  std::string scale_color = "black";
  std::vector<std::string> colors;
  std::optional<std::vector<std::string>> legend;

  bool show_v_lines = true;
  bool show_h_lines = true;
  bool add_scale = true;
  bool stacked = false;
  bool relative = false;

  // Every row added: its values joined with ",", then kRowSeparator.
  std::string rows_text;
  // The names given with rows, joined with kRowSeparator.
  std::string row_names;

  // Every graph rendered by this object, one after the other.
  StringBuffer output;
};

// The colour of the bars of row `row`: the colour list taken round-robin.
// An empty colour list falls back to the default colours, so a page that
// cleared the list still gets a graph.
std::string_view RowColor(const GraphState& state, size_t row);

}  // namespace fennick::graph

#endif  // FENNICK_GRAPH_GRAPH_STATE_H_
