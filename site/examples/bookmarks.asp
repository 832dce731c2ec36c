<%@ Language="JScript" %>
<html>
<head><title>Orders</title></head>
<body>
<h1>Orders</h1>
<p>Sort, filter and page, then reload, bookmark or copy the address: the
grid keeps its state there.</p>
<%
  var grid = Server.CreateObject("Fennick.DataGrid");
  grid.UrlState = true;
  grid.Command = "SELECT OrderID, Customer, Region, OrderDate, Amount FROM OrderOverview";
  grid.CreateConnection("Provider=SQLite;Data Source=" + Server.MapPath("/data/demo.db"));
  grid.Title = "Orders";
  grid.CurrencyColumn("Amount", 2);
  grid.Display();
%>
</body>
</html>
