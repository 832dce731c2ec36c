<%@ Language="JScript" %>
<html>
<head><title>Products</title></head>
<body>
<h1>Products</h1>
<%
  var grid = Server.CreateObject("Fennick.DataGrid");
  grid.Command = "SELECT ProductID, ProductName, QuantityPerUnit, UnitPrice, UnitsInStock, " +
                 "ReorderLevel, Discontinued FROM Products";
  grid.CreateConnection("Provider=SQLite;Data Source=" + Server.MapPath("/data/demo.db"));
  grid.Title = "Products";
  grid.PageSize = 12;
  grid.DefaultSortOrder = "ProductName";

  // Formats: captions, money, a word for a flag, a hidden key, a style.
  grid.ColumnCaption("ProductName", "Product");
  grid.ColumnCaption("QuantityPerUnit", "Packed as");
  grid.ColumnCaption("UnitPrice", "Price");
  grid.ColumnCaption("UnitsInStock", "In stock");
  grid.ColumnCaption("ReorderLevel", "Reorder at");
  grid.ColumnCaption("Discontinued", "Status");
  grid.HiddenColumn("ProductID");
  grid.CurrencyColumn("UnitPrice", 2);
  grid.BoolColumn("Discontinued", "Discontinued", "Available");
  grid.CellStyle("True", "color:#b42318;");

  // Filters: the bar above the table starts on ProductName (the second
  // column of the result) and "contains".
  grid.DefaultFilterFieldIndex = 2;
  grid.DefaultFilterConditionIndex = 1;
  // A filter that finds nothing keeps the bar and the Reset link.
  grid.KeepBarsWhenEmpty = true;

  // Totals: the stock of the page's products and of every product the
  // filter keeps, and the average price in the box under the grid.
  grid.FooterTotals = "UnitsInStock";
  grid.FooterScope = "Result";
  grid.AddSummary("AVG", "UnitPrice", "Average price");

  // The graph: stock and reorder level of the products on the page.
  grid.GraphType = 1;
  grid.GraphFields = "UnitsInStock, ReorderLevel";
  grid.GraphLegendColumn = "ProductName";
  grid.SetGraphLabels("Stock", "Units", "");

  grid.Display();
%>
</body>
</html>
