<%@ Language="JScript" %><%
  // Customers as master rows that open onto their orders.
  var pageTitle = "Master-details · Fennick demo";
%><!-- #include virtual="/include/header.inc" -->
<!-- #include virtual="/include/demo.inc" -->
<!-- #include virtual="/include/masters.inc" -->
<% demoNavigation(); %>
<h1>Customers and their orders</h1>
<p class="lead">With <code>MasterTable</code> set to <code>Customers</code>, the
customer's columns become one master row per customer and the order columns
its details. Click a row number to open a customer's orders, or <b>Show all
Details</b> to open every customer on the page; pages count customers. The same
grid in the <a href="/demo/masters-columnar.asp">columnar layout</a>.</p>
<div class="gridbox"><%
  var grid = customerOrdersGrid();
  // Records of one customer must stand together: the customer leads
  // every order the user picks.
  grid.RequiredSortOrder = "Customers.CompanyName";
  grid.DefaultSortOrder = "Orders.OrderDate";
  grid.MasterTable = "Customers";
  grid.Display();
%></div>
<!-- #include virtual="/include/footer.inc" -->
