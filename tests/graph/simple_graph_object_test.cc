// Fennick.SimpleGraph as script pages drive it: created by ProgID without a
// page, write-only properties with their declared types, rows given as
// text or numbers, and the same graph the C++ API draws.
#include "graph/simple_graph_object.h"

#include <gtest/gtest.h>

#include <vector>

#include "fennick/error.h"
#include "fennick/registry.h"
#include "fennick/simple_graph.h"

namespace fennick {
namespace {

void Put(Object& graph, std::string_view name, Variant value) {
  Variant args[] = {std::move(value)};
  graph.Invoke(name, InvokeKind::kPropertyPut, args);
}

Variant Call(Object& graph, std::string_view name, std::vector<Variant> args = {}) {
  return graph.Invoke(name, InvokeKind::kMethod, args);
}

int ErrorNumber(auto&& action) {
  try {
    action();
  } catch (const Error& e) {
    return e.number();
  }
  return 0;
}

TEST(SimpleGraphObjectTest, ScriptPagesDrawTheSameGraphAsTheCppApi) {
  std::shared_ptr<Object> graph = CreateComponentObject("fennick.simplegraph");
  ASSERT_TRUE(graph);
  EXPECT_EQ(graph->ProgId(), "Fennick.SimpleGraph");
  Put(*graph, "title", "Sales");
  Put(*graph, "XSCALEVALUES", "Jan,Feb");
  Put(*graph, "Spacing", "3");  // converted to Long
  Put(*graph, "ShowVLines", false);
  Put(*graph, "Colors", "navy,teal");
  Call(*graph, "AddRowData", {"North", 12.5});
  Call(*graph, "AddRowData", {"South", "7,abc"});
  Variant html = Call(*graph, "GetGraph");

  SimpleGraph same;
  same.Title("Sales");
  same.XScaleValues("Jan,Feb");
  same.Spacing(3);
  same.ShowVLines(false);
  same.Colors("navy,teal");
  same.AddRowData("North", "12.5");
  same.AddRowData("South", "7,abc");
  EXPECT_EQ(html, Variant(same.GetGraph()));
  EXPECT_NE(html.AsString().find("title=\"North: 12.5, Jan\""), std::string::npos);
}

TEST(SimpleGraphObjectTest, PropertiesAreWriteOnlyAndTyped) {
  std::shared_ptr<Object> graph = CreateComponentObject("Fennick.SimpleGraph");
  EXPECT_TRUE(graph->HasMember("xALign"));
  EXPECT_TRUE(graph->HasMember("ylabelclassname"));
  EXPECT_EQ(ErrorNumber([&] { graph->Invoke("Title", InvokeKind::kPropertyGet, {}); }),
            kErrWriteOnly);
  EXPECT_EQ(ErrorNumber([&] { Put(*graph, "ScaleSize", 3e9); }), kErrOverflow);
  EXPECT_EQ(ErrorNumber([&] { Put(*graph, "BarWidth", "wide"); }), kErrTypeMismatch);
  EXPECT_EQ(ErrorNumber([&] { Put(*graph, "Legend", Variant::Null()); }), kErrInvalidNull);
  EXPECT_EQ(ErrorNumber([&] { Call(*graph, "AddRow"); }), kErrWrongArgCount);
  EXPECT_EQ(ErrorNumber([&] { Call(*graph, "Redraw"); }), kErrNoMember);
}

TEST(SimpleGraphObjectTest, ErrorsReachTheScript) {
  std::shared_ptr<Object> graph = CreateComponentObject("Fennick.SimpleGraph");
  EXPECT_EQ(ErrorNumber([&] { Call(*graph, "GetGraph"); }), kErrInvalidCall);
  Call(*graph, "AddRow", {"1,2"});
  // No page is running.
  EXPECT_EQ(ErrorNumber([&] { Call(*graph, "Draw"); }), 2);
}

}  // namespace
}  // namespace fennick
