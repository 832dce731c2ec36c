<%@ Language="JScript" %><%
  // Customers and their orders in the columnar layout.
  var pageTitle = "Master-details, columnar · Fennick demo";
%><!-- #include virtual="/include/header.inc" -->
<!-- #include virtual="/include/demo.inc" -->
<!-- #include virtual="/include/masters.inc" -->
<% demoNavigation(); %>
<h1>Customers and their orders, card by card</h1>
<p class="lead">In the columnar layout each customer is a card of its fields with
every order beside it, three customers to a page. The same grid in the
<a href="/demo/masters.asp">tabular layout</a>.</p>
<div class="gridbox"><%
  var grid = customerOrdersGrid();
  // Records of one customer must stand together: the customer leads
  // every order the user picks.
  grid.RequiredSortOrder = "Customers.CompanyName";
  grid.DefaultSortOrder = "Orders.OrderDate";
  grid.MasterTable = "Customers";
  grid.IsColumnar = true;
  grid.PageSize = 3;
  grid.Display();
%></div>
<!-- #include virtual="/include/footer.inc" -->
