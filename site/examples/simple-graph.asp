<%@ Language="JScript" %>
<html>
<head><title>SimpleGraph</title></head>
<body>
<h1>Sales by quarter</h1>
<%
  var graph = Server.CreateObject("Fennick.SimpleGraph");
  graph.Title = "Sales by quarter";
  graph.yLabel = "k€";
  graph.XScaleValues = "Q1,Q2,Q3,Q4";
  graph.AddRowData("North", "12,19,23,17");
  var south = [8, 11, 9, 14];
  graph.AddRowData("South", south.join(","));
  graph.Draw();
%>
<h2>Share of each region</h2>
<%
  var shares = Server.CreateObject("Fennick.SimpleGraph");
  shares.Relative = true;
  shares.Colors = "#1e90ff,#cd853f";
  shares.Legend = "North,South";
  shares.XScaleValues = "Q1,Q2,Q3,Q4";
  shares.AddRow("12,19,23,17");
  shares.AddRow("8,11,9,14");
  var html = shares.GetGraph();
  Response.Write(html);
%>
<h2>Profit and loss</h2>
<%
  var result = Server.CreateObject("Fennick.SimpleGraph");
  result.MaxBarHeight = 120;
  result.ScaleSize = 100;
  result.BarWidth = 30;
  result.Spacing = 10;
  result.ShowVLines = false;
  result.AddRowData("Result", "250,-80,310,-40");
  Response.Write(result.GetGraph());

  try {
    Server.CreateObject("Fennick.SimpleGraph").GetGraph();
  } catch (e) {
    Response.Write("<p>Without rows: error " + e.number + "</p>");
  }
%>
</body>
</html>
