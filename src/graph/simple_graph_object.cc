// Member table of Fennick.SimpleGraph. Its properties are write-only, as
// pages have always known them: reading one is an invalid property use.
// List properties (XScaleValues, Colors, Legend) and the values of AddRow
// and AddRowData arrive as text; numbers are turned into text with "." as
// the decimal point.
#include "graph/simple_graph_object.h"

#include <string>

#include "fennick/simple_graph.h"
#include "frame/dispatch.h"
#include "graph/graph_text.h"

namespace fennick {
namespace {

struct SimpleGraphMembers : SimpleGraph {
  static const MemberTable<SimpleGraphMembers>& Members();
};

using Self = SimpleGraphMembers;
using Args = std::span<const Variant>;

// Text of a list property; Null has no text.
std::string ListText(const Variant& value) {
  if (value.IsNull()) throw Error(kErrInvalidNull, "Invalid use of Null");
  std::string text;
  graph::AppendValueText(text, value);
  return text;
}

// Text of a row of values; Null adds an empty row, as joining it would.
std::string RowText(const Variant& value) {
  std::string text;
  if (!value.IsNull()) graph::AppendValueText(text, value);
  return text;
}

template <class T>
void Put(MemberTable<Self>& t, std::string_view name, ArgType type,
         void (SimpleGraph::*setter)(T)) {
  t.Property(name, nullptr, [setter](Self& self, const Variant& v) {
    if constexpr (std::is_same_v<T, bool>) {
      (self.*setter)(v.AsBool());
    } else if constexpr (std::is_same_v<T, int32_t>) {
      (self.*setter)(static_cast<int32_t>(v.AsInt64()));
    } else {
      (self.*setter)(v.Bytes());
    }
  }, type);
}

}  // namespace

const MemberTable<Self>& SimpleGraphMembers::Members() {
  static const MemberTable<Self> table = [] {
    MemberTable<Self> t;
    Put<int32_t>(t, "ScaleSize", ArgType::kLong, &SimpleGraph::ScaleSize);
    Put<int32_t>(t, "Spacing", ArgType::kLong, &SimpleGraph::Spacing);
    Put<int32_t>(t, "BarWidth", ArgType::kLong, &SimpleGraph::BarWidth);
    Put<int32_t>(t, "MaxBarHeight", ArgType::kLong, &SimpleGraph::MaxBarHeight);
    t.Property("XScaleValues", nullptr, [](Self& self, const Variant& v) {
      self.XScaleValues(std::string_view(ListText(v)));
    });
    Put<std::string_view>(t, "xALign", ArgType::kString, &SimpleGraph::xALign);
    Put<std::string_view>(t, "TitleClassName", ArgType::kString, &SimpleGraph::TitleClassName);
    Put<std::string_view>(t, "xLabelClassName", ArgType::kString,
                          &SimpleGraph::xLabelClassName);
    Put<std::string_view>(t, "yLabelClassName", ArgType::kString,
                          &SimpleGraph::yLabelClassName);
    Put<std::string_view>(t, "Title", ArgType::kString, &SimpleGraph::Title);
    Put<std::string_view>(t, "xLabel", ArgType::kString, &SimpleGraph::xLabel);
    Put<std::string_view>(t, "yLabel", ArgType::kString, &SimpleGraph::yLabel);
    Put<std::string_view>(t, "BgColor", ArgType::kString, &SimpleGraph::BgColor);
    Put<std::string_view>(t, "vLineColor", ArgType::kString, &SimpleGraph::vLineColor);
    Put<std::string_view>(t, "hLineColor", ArgType::kString, &SimpleGraph::hLineColor);
    Put<std::string_view>(t, "ScaleColor", ArgType::kString, &SimpleGraph::ScaleColor);
    t.Property("Colors", nullptr, [](Self& self, const Variant& v) {
      self.Colors(std::string_view(ListText(v)));
    });
    t.Property("Legend", nullptr, [](Self& self, const Variant& v) {
      self.Legend(std::string_view(ListText(v)));
    });
    Put<bool>(t, "ShowVLines", ArgType::kBoolean, &SimpleGraph::ShowVLines);
    Put<bool>(t, "ShowHLines", ArgType::kBoolean, &SimpleGraph::ShowHLines);
    Put<bool>(t, "AddScale", ArgType::kBoolean, &SimpleGraph::AddScale);
    Put<bool>(t, "Stacked", ArgType::kBoolean, &SimpleGraph::Stacked);
    Put<bool>(t, "Relative", ArgType::kBoolean, &SimpleGraph::Relative);

    t.Function("AddRow", {ArgType::kVariant}, 1, [](Self& self, Args args) {
      self.AddRow(std::string_view(RowText(args[0])));
      return Variant();
    });
    t.Function("AddRowData", {ArgType::kString, ArgType::kVariant}, 2,
               [](Self& self, Args args) {
                 self.AddRowData(args[0].Bytes(), std::string_view(RowText(args[1])));
                 return Variant();
               });
    t.Function("GetGraph", {}, 0, [](Self& self, Args) { return Variant(self.GetGraph()); });
    t.Function("Draw", {}, 0, [](Self& self, Args) {
      self.Draw();
      return Variant();
    });
    return t;
  }();
  return table;
}

std::shared_ptr<Object> CreateSimpleGraphObject() {
  return std::make_shared<DispatchObject<SimpleGraphMembers>>("Fennick.SimpleGraph",
                                                              SimpleGraphMembers());
}

}  // namespace fennick
