<%@ Language="JScript" %>
<html>
<head><title>Products</title></head>
<body>
<h1>Products</h1>
<%
  var grid = Server.CreateObject("Fennick.DataGrid");
  grid.Command = "SELECT ProductName, QuantityPerUnit, UnitPrice, UnitsInStock FROM Products";
  grid.CreateConnection("Provider=SQLite;Data Source=" + Server.MapPath("/data/demo.db"));
  grid.KeepBarsWhenEmpty = true;  // a filter that finds nothing keeps its bar
  grid.Display();
%>
</body>
</html>
