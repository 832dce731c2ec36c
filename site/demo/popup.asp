<%@ Language="JScript" %><%
  // Orders with their filters made in a popup window.
  var pageTitle = "Popup filters · Fennick demo";
%><!-- #include virtual="/include/header.inc" -->
<!-- #include virtual="/include/demo.inc" -->
<% demoNavigation(); %>
<h1>Orders, filtered in a popup</h1>
<p class="lead">With <code>UsePopupFilters</code> the filter bar becomes a link
that opens a small window, where conditions can be joined with AND and OR.</p>
<div class="gridbox"><%
  var grid = demoGrid("Orders");
  grid.Command = "SELECT OrderID, Customer, Region, Employee, OrderDate, ShippedDate, " +
                 "Shipper, Freight, Amount FROM OrderOverview";
  demoConnect(grid);
  grid.UsePopupFilters = true;
  grid.ColumnCaption("OrderID", "Order");
  grid.ColumnCaption("OrderDate", "Ordered");
  grid.ColumnCaption("ShippedDate", "Shipped");
  grid.DateColumn("OrderDate", "yyyy-mm-dd");
  grid.DateColumn("ShippedDate", "yyyy-mm-dd");
  grid.CurrencyColumn("Freight", 2);
  grid.CurrencyColumn("Amount", 2);
  grid.DefaultFilterFieldIndex = 2;
  grid.Display();
%></div>
<!-- #include virtual="/include/footer.inc" -->
