<%@ Language="JScript" %><%
  // A grid over a million generated orders (data/big.db, made by
  // `fennick serve --demo --big`): each page, sort and filter is answered by
  // the database, so it costs what one page costs.
  var pageTitle = "A million rows · Fennick demo";
  var bigRows = Application("BigDemoRows");
%><!-- #include virtual="/include/header.inc" -->
<!-- #include virtual="/include/demo.inc" -->
<% demoNavigation(); %>
<h1>A million orders</h1>
<% if (!bigRows) { %>
<p class="lead">This page shows a grid over a generated table of 1,000,000 orders.
The table is built only on request, as the server starts; start the server with
<code>fennick serve --demo --big</code> (or <code>make demo-big</code>) to see it.</p>
<% } else { %>
<p class="lead"><%= String(bigRows).replace(/\B(?=(\d{3})+(?!\d))/g, ",") %> generated
orders, twenty to a page. The grid asks the database for the row count and for the one
page it shows, so paging, sorting (every column has an index) and filtering answer as
quickly as on a small table. The exports stream every row of the filtered result, a
thousand at a time; the print view shows its first 10,000 rows.</p>
<div class="gridbox"><%
  var grid = demoGrid("Orders");
  grid.Command = "SELECT ID, Customer, Region, OrderDate, Quantity, Amount FROM BigOrders";
  grid.CreateConnection("Provider=SQLite;Data Source=" + Server.MapPath("/data/big.db"));
  grid.PageSize = 20;
  grid.ColumnCaption("ID", "Order");
  grid.ColumnCaption("OrderDate", "Date");
  grid.CurrencyColumn("Amount", 2);
  grid.DefaultFilterFieldIndex = 2;
  grid.Display();
%></div>
<% } %>
<!-- #include virtual="/include/footer.inc" -->
