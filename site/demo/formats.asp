<%@ Language="JScript" %><%
  // One grid with a format on most of its columns.
  var pageTitle = "Column formats · Fennick demo";
%><!-- #include virtual="/include/header.inc" -->
<!-- #include virtual="/include/demo.inc" -->
<% demoNavigation(); %>
<h1>Column formats</h1>
<p class="lead">Each column of this grid has a format: the customer links to its
card, dates are written out, prices are money and discounts percentages, the
discontinued flag is a word, phone numbers are regrouped by a regular expression,
a cell style marks what is discontinued and the largest discounts (the style
follows the value as stored: <code>True</code>, <code>0.2</code>), the customer's key is hidden (the link uses it), and
the category picture comes from a binary column of the database.</p>
<div class="gridbox wide"><%
  var grid = demoGrid("Order lines, formatted");
  grid.Command = "SELECT OrderID, OrderDate, ShippedDate, CustomerID, Customer, Phone, " +
                 "Picture, Product, UnitPrice, Quantity, Discount, Discontinued FROM FormattedLines";
  demoConnect(grid);
  grid.PageSize = 12;
  grid.ColumnCaption("OrderID", "Order");
  grid.ColumnCaption("OrderDate", "Ordered");
  grid.ColumnCaption("ShippedDate", "Shipped");
  grid.ColumnCaption("Picture", "Category");
  grid.ColumnCaption("UnitPrice", "Unit price");
  grid.ColumnCaption("Discontinued", "Status");
  grid.LinkColumn("Customer", "/demo/columnar.asp?customer={{CustomerID}}", "#TEMP#");
  grid.HiddenColumn("CustomerID");
  grid.DateColumn("OrderDate", "d mmm yyyy");
  grid.DateColumn("ShippedDate", "d mmm yyyy");
  grid.CurrencyColumn("UnitPrice", 2);
  grid.PercentColumn("Discount", 0);
  grid.BoolColumn("Discontinued", "Discontinued", "Available");
  grid.RegExColumn("Phone", "^(\\d{1,3})(\\d{3})(\\d{6})$", "+$1 $2 $3");
  grid.CellStyle("True", "color:#b42318;font-weight:600;");
  grid.CellStyle("0.2", "background:#ffe9a8;");
  grid.ColumnStyle("OrderDate", "white-space:nowrap;");
  grid.ColumnStyle("ShippedDate", "white-space:nowrap;");
  grid.DefaultFilterFieldIndex = 5;
  grid.Display();
%></div>
<pre class="code">grid.LinkColumn("Customer", "/demo/columnar.asp?customer={{CustomerID}}", "#TEMP#");
grid.HiddenColumn("CustomerID");
grid.DateColumn("OrderDate", "d mmm yyyy");
grid.CurrencyColumn("UnitPrice", 2);
grid.PercentColumn("Discount", 0);
grid.BoolColumn("Discontinued", "Discontinued", "Available");
grid.RegExColumn("Phone", "^(\\d{1,3})(\\d{3})(\\d{6})$", "+$1 $2 $3");
grid.CellStyle("True", "color:#b42318;font-weight:600;");</pre>
<!-- #include virtual="/include/footer.inc" -->
