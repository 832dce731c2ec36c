<%@ Language="JScript" %><%
  // A plain grid over the order lines: sorting, paging and the inline filter.
  var pageTitle = "Plain grid · Fennick demo";
%><!-- #include virtual="/include/header.inc" -->
<!-- #include virtual="/include/demo.inc" -->
<% demoNavigation(); %>
<h1>Order lines</h1>
<p class="lead">All 10,000 order lines of the demo company, fifteen to a page. Click
a header to sort by it (again to sort the other way), page with the bar under the
table, and filter with the bar above it: pick a field and a condition, type a
value and press Go (in the value box, F9 lists the field's values).</p>
<div class="gridbox"><%
  var grid = demoGrid("Order lines",
                      "SELECT OrderID, LineNumber, OrderDate, Customer, Country, Product, " +
                      "Category, UnitPrice, Quantity, Discount, LineTotal FROM OrderLineDetails");
  grid.PageSize = 15;
  grid.ColumnCaption("OrderID", "Order");
  grid.ColumnCaption("LineNumber", "Line");
  grid.ColumnCaption("OrderDate", "Date");
  grid.ColumnCaption("UnitPrice", "Unit price");
  grid.ColumnCaption("LineTotal", "Total");
  grid.DefaultFilterFieldIndex = 4;
  grid.CurrencyColumn("UnitPrice", 2);
  grid.CurrencyColumn("LineTotal", 2);
  grid.Display();
%></div>
<pre class="code">var grid = Server.CreateObject("Fennick.DataGrid");
grid.Command = "SELECT OrderID, LineNumber, OrderDate, Customer, ... FROM OrderLineDetails";
grid.CreateConnection("Provider=SQLite;Data Source=" + Server.MapPath("/data/demo.db"));
grid.PageSize = 15;
grid.CsvByteOrderMark = true;  // CSV that Excel reads as UTF-8
grid.CsvSafe = true;           // formula-like text stays text
grid.Display();                 // an export button's download is answered here</pre>
<!-- #include virtual="/include/footer.inc" -->
