<%@ Language="JScript" %><%
  // Totals: footer rows over the page shown or over the whole filtered
  // result, row cells, and a summary box computed by the database.
  var pageTitle = "Totals · Fennick demo";
  // The scope the user picked (anything but "Page" is the whole result).
  var scope = String(Request.QueryString("scope")) == "Page" ? "Page" : "Result";
%><!-- #include virtual="/include/header.inc" -->
<!-- #include virtual="/include/demo.inc" -->
<% demoNavigation(); %>
<h1>Totals</h1>
<p class="lead">The order lines with a <b>Total</b> and an <b>Average</b> row under
the table. Over the <a href="?scope=Result">whole result</a> the database adds
every line the filter keeps, so each page shows the same figures; over
<a href="?scope=Page">the page</a> they add the lines shown. The box under the
grid holds aggregates of the whole result. Filter on a value that matches nothing:
the filter bar and the Reset link stay. Every export ends with the same rows.</p>
<div class="gridbox"><%
  var grid = demoGrid("Order lines",
                      "SELECT OrderID, LineNumber, Customer, Country, Product, " +
                      "UnitPrice, Quantity, LineTotal FROM OrderLineDetails");
  grid.PageSize = 15;
  grid.ColumnCaption("OrderID", "Order");
  grid.ColumnCaption("LineNumber", "Line");
  grid.ColumnCaption("UnitPrice", "Unit price");
  grid.ColumnCaption("LineTotal", "Line total");
  grid.CurrencyColumn("UnitPrice", 2);
  grid.CurrencyColumn("LineTotal", 2);
  grid.DefaultFilterFieldIndex = 4;
  grid.FooterTotals = "Quantity, LineTotal";
  grid.FooterAverages = "UnitPrice, Quantity, LineTotal";
  grid.FooterScope = scope;
  grid.AddSummary("COUNT", "OrderID", "Order lines");
  grid.AddSummary("SUM", "LineTotal", "Sales");
  grid.AddSummary("MAX", "LineTotal", "Largest line");
  grid.AddSummary("STDEV", "UnitPrice", "Spread of unit prices");
  grid.Display();
%></div>
<pre class="code">grid.FooterTotals = "Quantity, LineTotal";
grid.FooterAverages = "UnitPrice, Quantity, LineTotal";
grid.FooterScope = "Result";     // or "Page": the rows shown
grid.AddSummary("SUM", "LineTotal", "Sales");
grid.KeepBarsWhenEmpty = true;   // a filter that finds nothing keeps its bar</pre>
<!-- #include virtual="/include/footer.inc" -->
