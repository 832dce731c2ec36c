<%@ Language="JScript" %><%
  // Products with the navigation bar above the table too.
  var pageTitle = "Top navigation bar · Fennick demo";
%><!-- #include virtual="/include/header.inc" -->
<!-- #include virtual="/include/demo.inc" -->
<% demoNavigation(); %>
<h1>Products</h1>
<p class="lead"><code>AddTopNavigationBar</code> repeats the paging bar above the
table, so a long page can be turned without scrolling to its end.</p>
<div class="gridbox"><%
  var grid = demoGrid("Products");
  grid.Command = "SELECT ProductID, ProductName, CategoryName, Supplier, QuantityPerUnit, " +
                 "UnitPrice, UnitsInStock, Discontinued FROM ProductList";
  demoConnect(grid);
  grid.AddTopNavigationBar = true;
  grid.PageSize = 12;
  grid.ColumnCaption("ProductID", "#");
  grid.ColumnCaption("ProductName", "Product");
  grid.ColumnCaption("CategoryName", "Category");
  grid.ColumnCaption("QuantityPerUnit", "Packed as");
  grid.ColumnCaption("UnitPrice", "Price");
  grid.ColumnCaption("UnitsInStock", "In stock");
  grid.CurrencyColumn("UnitPrice", 2);
  grid.BoolColumn("Discontinued", "Yes", "No");
  grid.DefaultFilterFieldIndex = 2;
  grid.Display();
%></div>
<!-- #include virtual="/include/footer.inc" -->
