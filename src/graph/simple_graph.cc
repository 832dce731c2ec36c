// SimpleGraph's properties with their setter rules, the rows it collects,
// and its two ways out: GetGraph and Draw.
#include "fennick/simple_graph.h"

#include <exception>
#include <type_traits>

#include "base/split.h"
#include "fennick/error.h"
#include "fennick/page.h"
#include "graph/graph_render.h"
#include "graph/graph_state.h"
#include "graph/graph_text.h"

namespace fennick {
namespace {

using graph::GraphState;

// " name=\"value\"": how class and colour properties are stored.
std::string AttributeText(std::string_view name, std::string_view value) {
  std::string text = " ";
  text.append(name).append("=\"").append(value).append("\"");
  return text;
}

void AppendRow(GraphState& state, std::string_view values) {
  state.rows_text.append(values).append(graph::kRowSeparator);
}

template <class Values>
void AppendJoinedRow(GraphState& state, const Values& values) {
  bool first = true;
  for (const auto& value : values) {
    if (!first) state.rows_text.push_back(',');
    first = false;
    if constexpr (std::is_same_v<std::decay_t<decltype(value)>, double>) {
      state.rows_text.append(graph::NumberText(value));
    } else {
      graph::AppendValueText(state.rows_text, value);
    }
  }
  state.rows_text.append(graph::kRowSeparator);
}

void AppendName(GraphState& state, std::string_view name) {
  if (!state.row_names.empty()) state.row_names.append(graph::kRowSeparator);
  state.row_names.append(name);
}

}  // namespace

SimpleGraph::SimpleGraph() : state_(std::make_unique<GraphState>()) {}
SimpleGraph::~SimpleGraph() = default;
SimpleGraph::SimpleGraph(SimpleGraph&&) noexcept = default;
SimpleGraph& SimpleGraph::operator=(SimpleGraph&&) noexcept = default;

int32_t SimpleGraph::ScaleSize() const { return state_->scale_size; }
void SimpleGraph::ScaleSize(int32_t value) {
  state_->scale_size = value;
  if (value > 0) state_->scale_size_set = true;
}

int32_t SimpleGraph::Spacing() const { return state_->spacing; }
void SimpleGraph::Spacing(int32_t value) { state_->spacing = value < 0 ? 1 : value; }

int32_t SimpleGraph::BarWidth() const { return state_->bar_width; }
void SimpleGraph::BarWidth(int32_t value) {
  state_->bar_width = value;
  if (value > 0) state_->bar_width_set = true;
}

int32_t SimpleGraph::MaxBarHeight() const { return state_->max_bar_height; }
void SimpleGraph::MaxBarHeight(int32_t value) {
  state_->max_bar_height = value < 0 ? graph::kDefaultMaxBarHeight : value;
}

const std::optional<std::vector<std::string>>& SimpleGraph::XScaleValues() const {
  return state_->x_scale_values;
}
void SimpleGraph::XScaleValues(std::vector<std::string> labels) {
  state_->x_scale_values = std::move(labels);
}
void SimpleGraph::XScaleValues(std::string_view comma_separated) {
  state_->x_scale_values = SplitText(comma_separated, ",");
}

const std::string& SimpleGraph::xALign() const { return state_->x_align; }
void SimpleGraph::xALign(std::string_view value) { state_->x_align = value; }

const std::string& SimpleGraph::TitleClassName() const { return state_->title_class; }
void SimpleGraph::TitleClassName(std::string_view name) {
  state_->title_class = name.empty() ? std::string() : AttributeText("class", name);
}
const std::string& SimpleGraph::xLabelClassName() const { return state_->x_label_class; }
void SimpleGraph::xLabelClassName(std::string_view name) {
  state_->x_label_class = name.empty() ? std::string() : AttributeText("class", name);
}
const std::string& SimpleGraph::yLabelClassName() const { return state_->y_label_class; }
void SimpleGraph::yLabelClassName(std::string_view name) {
  state_->y_label_class = name.empty() ? std::string() : AttributeText("class", name);
}

const std::string& SimpleGraph::Title() const { return state_->title; }
void SimpleGraph::Title(std::string_view value) { state_->title = value; }
const std::string& SimpleGraph::xLabel() const { return state_->x_label; }
void SimpleGraph::xLabel(std::string_view value) { state_->x_label = value; }
const std::string& SimpleGraph::yLabel() const { return state_->y_label; }
void SimpleGraph::yLabel(std::string_view value) { state_->y_label = value; }

const std::string& SimpleGraph::BgColor() const { return state_->bg_color; }
void SimpleGraph::BgColor(std::string_view color) {
  state_->bg_color = AttributeText("bgcolor", color);
}
const std::string& SimpleGraph::vLineColor() const { return state_->v_line_color; }
void SimpleGraph::vLineColor(std::string_view color) { state_->v_line_color = color; }
const std::string& SimpleGraph::hLineColor() const { return state_->h_line_color; }
void SimpleGraph::hLineColor(std::string_view color) { state_->h_line_color = color; }
const std::string& SimpleGraph::ScaleColor() const { return state_->scale_color; }
void SimpleGraph::ScaleColor(std::string_view color) { state_->scale_color = color; }

const std::vector<std::string>& SimpleGraph::Colors() const { return state_->colors; }
void SimpleGraph::Colors(std::vector<std::string> colors) { state_->colors = std::move(colors); }
void SimpleGraph::Colors(std::string_view comma_separated) {
  state_->colors = SplitText(comma_separated, ",");
}

const std::optional<std::vector<std::string>>& SimpleGraph::Legend() const {
  return state_->legend;
}
void SimpleGraph::Legend(std::vector<std::string> texts) { state_->legend = std::move(texts); }
void SimpleGraph::Legend(std::string_view comma_separated) {
  state_->legend = SplitText(comma_separated, ",");
}

bool SimpleGraph::ShowVLines() const { return state_->show_v_lines; }
void SimpleGraph::ShowVLines(bool value) { state_->show_v_lines = value; }
bool SimpleGraph::ShowHLines() const { return state_->show_h_lines; }
void SimpleGraph::ShowHLines(bool value) { state_->show_h_lines = value; }
bool SimpleGraph::AddScale() const { return state_->add_scale; }
void SimpleGraph::AddScale(bool value) { state_->add_scale = value; }
bool SimpleGraph::Stacked() const { return state_->stacked; }
void SimpleGraph::Stacked(bool value) { state_->stacked = value; }
bool SimpleGraph::Relative() const { return state_->relative; }
void SimpleGraph::Relative(bool value) { state_->relative = value; }

void SimpleGraph::AddRow(std::string_view comma_separated) { AppendRow(*state_, comma_separated); }
void SimpleGraph::AddRow(std::span<const Variant> values) { AppendJoinedRow(*state_, values); }
void SimpleGraph::AddRow(std::span<const double> values) { AppendJoinedRow(*state_, values); }
void SimpleGraph::AddRow(std::initializer_list<Variant> values) {
  AppendJoinedRow(*state_, values);
}

void SimpleGraph::AddRowData(std::string_view name, std::string_view comma_separated) {
  AppendRow(*state_, comma_separated);
  AppendName(*state_, name);
}
void SimpleGraph::AddRowData(std::string_view name, std::span<const Variant> values) {
  AppendJoinedRow(*state_, values);
  AppendName(*state_, name);
}
void SimpleGraph::AddRowData(std::string_view name, std::span<const double> values) {
  AppendJoinedRow(*state_, values);
  AppendName(*state_, name);
}
void SimpleGraph::AddRowData(std::string_view name, std::initializer_list<Variant> values) {
  AppendJoinedRow(*state_, values);
  AppendName(*state_, name);
}

std::string SimpleGraph::GetGraph() {
  graph::RenderGraph(*state_);
  return state_->output.ToString();
}

void SimpleGraph::Draw() {
  try {
    PageContext* page = CurrentPage();
    if (page == nullptr) throw Error(kErrObjectRequired, "Object required: Response");
    graph::RenderGraph(*state_);
    page->response().Write(state_->output.View());
  } catch (const std::exception&) {
    // Whatever went wrong, the page learns it the one way Draw reports.
    throw Error(2, "Response object reference not set. Use 'GetGraph'.", "Draw Graph");
  }
}

}  // namespace fennick
