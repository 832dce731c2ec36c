// The demo site's graph page (/graphs): SimpleGraph examples drawn by the
// component straight into the page, one section per kind of graph.
#include <string>
#include <string_view>

#include "demo_pages.h"
#include "fennick/simple_graph.h"

namespace fennick {
namespace {

// Quarterly figures of three regions, one row (series) per region. The
// largest value (760) gives a scale of 0 to 800 in steps of 100.
constexpr std::string_view kQuarters = "Q1,Q2,Q3,Q4";
constexpr std::string_view kNorth = "520,615,760,690";
constexpr std::string_view kSouth = "310,290,350,455";
constexpr std::string_view kWest = "150,220,275,330";

void Section(Response& out, std::string_view id, std::string_view heading,
             std::string_view text) {
  out.Write("<section class=\"demo\" id=\"");
  out.Write(id);
  out.Write("\"><h2>");
  out.Write(heading);
  out.Write("</h2><p>");
  out.Write(text);
  out.Write("</p><div class=\"graph\">");
}

void EndSection(Response& out, std::string_view code) {
  out.Write("</div><pre class=\"code\">");
  out.Write(code);
  out.Write("</pre></section>");
}

void AddRegions(SimpleGraph& graph) {
  graph.AddRowData("North", kNorth);
  graph.AddRowData("South", kSouth);
  graph.AddRowData("West", kWest);
}

void PlainGraph(Response& out) {
  Section(out, "plain", "Plain bars",
          "One bar per series side by side in each column; the names given with "
          "<code>AddRowData</code> become the legend.");
  SimpleGraph graph;
  graph.Title("Sales by region");
  graph.XScaleValues(kQuarters);
  graph.xALign("center");
  graph.xLabel("Quarter");
  graph.yLabel("k$");
  AddRegions(graph);
  graph.Draw();
  EndSection(out,
             "graph.Title(\"Sales by region\");\n"
             "graph.XScaleValues(\"Q1,Q2,Q3,Q4\");\n"
             "graph.xLabel(\"Quarter\");\n"
             "graph.yLabel(\"k$\");\n"
             "graph.AddRowData(\"North\", \"520,615,760,690\");  // and South, West\n"
             "graph.Draw();");
}

void StackedGraph(Response& out) {
  Section(out, "stacked", "Stacked bars",
          "Each column is one bar made of one segment per series, the first series on top.");
  SimpleGraph graph;
  graph.Stacked(true);
  graph.Title("Total sales");
  graph.XScaleValues(kQuarters);
  graph.xALign("center");
  graph.Spacing(12);
  AddRegions(graph);
  graph.Draw();
  EndSection(out, "graph.Stacked(true);\ngraph.Spacing(12);");
}

void RelativeGraph(Response& out) {
  Section(out, "relative", "Relative bars",
          "Stacked percentages of each column's total; every column adds up to 100%.");
  SimpleGraph graph;
  graph.Relative(true);
  graph.Title("Share of sales");
  graph.XScaleValues(kQuarters);
  graph.xALign("center");
  graph.Spacing(12);
  graph.Colors("#0b6e4f,#f2a541,#5f9ea0");
  AddRegions(graph);
  graph.Draw();
  EndSection(out, "graph.Relative(true);\ngraph.Colors(\"#0b6e4f,#f2a541,#5f9ea0\");");
}

void NegativeGraph(Response& out) {
  Section(out, "negative", "Negative values",
          "Values below zero hang below the axis, with their own scale.");
  SimpleGraph graph;
  graph.Title("Profit and loss");
  graph.XScaleValues("Jan,Feb,Mar,Apr,May,Jun");
  graph.xALign("center");
  graph.Legend("Profit,Investment");
  graph.Colors("#2e8b57,#cd5c5c");
  graph.AddRow("120,-45,80,160,-20,190");
  graph.AddRow("-60,-30,-90,-40,-75,-50");
  graph.Draw();
  EndSection(out,
             "graph.Legend(\"Profit,Investment\");\n"
             "graph.AddRow(\"120,-45,80,160,-20,190\");\n"
             "graph.AddRow(\"-60,-30,-90,-40,-75,-50\");");
}

void LegendGraph(Response& out) {
  Section(out, "legend", "Legend with shares",
          "With a single column the legend shows each series' value and its share of the "
          "total.");
  SimpleGraph graph;
  graph.Title("Head count");
  graph.XScaleValues("2024");
  graph.xALign("center");
  graph.BarWidth(30);
  graph.AddRowData("Engineering", "40");
  graph.AddRowData("Sales", "22");
  graph.AddRowData("Support", "12");
  graph.AddRowData("Finance", "6");
  graph.Draw();
  EndSection(out, "graph.BarWidth(30);\ngraph.AddRowData(\"Engineering\", \"40\");  // ...");
}

void LabelledGraph(Response& out) {
  Section(out, "labels", "X labels and colours",
          "Labels may carry markup; background, line and scale colours are properties.");
  SimpleGraph graph;
  graph.Title("Visits per weekday");
  graph.XScaleValues("Mon,Tue,Wed,Thu,Fri,<b>Sat</b>,<b>Sun</b>");
  graph.xALign("center");
  graph.BgColor("#ffffff");
  graph.ScaleColor("#334e68");
  graph.hLineColor("#bcccdc");
  graph.vLineColor("#d9e2ec");
  graph.Colors("#1e90ff");
  graph.MaxBarHeight(160);
  graph.Spacing(6);
  graph.AddRowData("Visits", "1250,1310,1180,1420,990,640,580");
  graph.Draw();
  EndSection(out,
             "graph.XScaleValues(\"Mon,Tue,Wed,Thu,Fri,&lt;b&gt;Sat&lt;/b&gt;,&lt;b&gt;Sun&lt;/b&gt;\");\n"
             "graph.BgColor(\"#ffffff\");\n"
             "graph.MaxBarHeight(160);");
}

}  // namespace

void GraphDemoPage(PageContext& page) {
  Response& out = page.response();
  // No doctype: the graph sizes its grid cells with their borders inside
  // the height attribute, as browsers do for pages without one (quirks
  // mode). With a doctype every grid line adds a pixel and the columns
  // no longer line up with the scale.
  out.Write(
      "<html lang=\"en\"><head><meta charset=\"utf-8\">"
      "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">"
      "<title>SimpleGraph examples - Fennick</title>"
      "<link rel=\"stylesheet\" href=\"/css/site.css\"></head><body>"
      "<header class=\"site\"><div class=\"wrap\"><a class=\"logo\" href=\"/\">Fennick</a>"
      "<span class=\"tag\">SimpleGraph examples</span></div></header>"
      "<main class=\"wrap\"><h1>Bar graphs in plain HTML</h1>"
      "<p class=\"lead\"><code>SimpleGraph</code> draws bar graphs as nested tables with "
      "coloured cells: no images, scripts or style sheets. Hover over a bar to see its "
      "value.</p>");
  PlainGraph(out);
  StackedGraph(out);
  RelativeGraph(out);
  NegativeGraph(out);
  LegendGraph(out);
  LabelledGraph(out);
  out.Write("</main><footer class=\"wrap\"><a href=\"/\">Back to the home page</a></footer>"
            "</body></html>\n");
}

}  // namespace fennick
