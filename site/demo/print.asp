<%@ Language="JScript" %><%
  // A grid whose print view has a header and a footer on every page.
  var pageTitle = "Print view · Fennick demo";
%><!-- #include virtual="/include/header.inc" -->
<!-- #include virtual="/include/demo.inc" -->
<% demoNavigation(); %>
<h1>Sales by employee</h1>
<p class="lead">Click <b>Print</b> in the grid's bar: the print view lays the rows
out in pages of the page size, each with the header and footer given by
<code>PrintHeader</code> and <code>PrintFooter</code>, ready for the browser's
print command. Its Close link comes back here.</p>
<div class="gridbox"><%
  var grid = demoGrid("Sales by employee, 2025");
  grid.Command = "SELECT Employee, Title, Orders, Sales, Average, Open FROM SalesByEmployee " +
                 "WHERE Year = '2025'";
  demoConnect(grid);
  grid.PageSize = 5;
  grid.CurrencyColumn("Sales", 2);
  grid.CurrencyColumn("Average", 2);
  grid.ColumnCaption("Open", "Not shipped");
  grid.PrintHeader = "<div class=\"printHead\"><h2>@ReportTitle</h2>" +
                   "Harbourline Provisions &middot; page @CurrentPage of @NumOfPages</div>";
  grid.PrintFooter = "<div class=\"printFoot\">@NumOfRecs employees &middot; " +
                   "printed from the Fennick demo site</div>";
  grid.Display();
%></div>
<!-- #include virtual="/include/footer.inc" -->
