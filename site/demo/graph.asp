<%@ Language="JScript" %><%
  // A grid with its bar graph: quantities and totals of the current page.
  var pageTitle = "Grid graph · Fennick demo";
%><!-- #include virtual="/include/header.inc" -->
<!-- #include virtual="/include/demo.inc" -->
<% demoNavigation(); %>
<h1>Order lines with a graph</h1>
<p class="lead">The first order lines, eight to a page, with a bar graph of each
line's quantity and total under the table. The graph shows the current page; the
link above it switches to all lines and back.</p>
<div class="gridbox"><%
  var grid = demoGrid("Order lines graph");
  grid.Command = "SELECT OrderID || '-' || LineNumber AS Line, Quantity, LineTotal " +
                 "FROM OrderLineDetails WHERE OrderID < 10260";
  demoConnect(grid);
  grid.PageSize = 8;
  grid.ColumnCaption("LineTotal", "Total");
  grid.GraphType = 1;
  grid.GraphFields = "Quantity, LineTotal";
  grid.GraphLegendColumn = "Line";
  grid.SetGraphLabels("Order lines", "Amount", "Column");
  grid.Display();
%></div>
<pre class="code">grid.GraphType = 1;
grid.GraphFields = "Quantity, LineTotal";
grid.GraphLegendColumn = "Line";
grid.SetGraphLabels("Order lines", "Amount", "Column");
grid.Display();</pre>
<!-- #include virtual="/include/footer.inc" -->
