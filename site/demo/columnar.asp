<%@ Language="JScript" %><%
  // The customers, one card at a time in the columnar layout.
  var pageTitle = "Columnar layout · Fennick demo";
%><!-- #include virtual="/include/header.inc" -->
<!-- #include virtual="/include/demo.inc" -->
<% demoNavigation(); %>
<h1>Customer cards</h1>
<p class="lead">With <code>IsColumnar</code> each record is laid out field under
field. Page through the customers, or come here from a customer link on the
<a href="/demo/formats.asp">column formats</a> page to see one.</p>
<div class="gridbox"><%
  var grid = demoGrid("Customers");
  var sql = "SELECT CustomerID, CompanyName, ContactName, ContactTitle, City, Country, " +
            "Region, Phone, Fax, CreditLimit, Since, Active FROM Customers";
  var customer = String(Request.QueryString("customer"));
  if (/^[A-Z]{5}$/.test(customer)) sql += " WHERE CustomerID = '" + customer + "'";
  grid.Command = sql;
  demoConnect(grid);
  grid.IsColumnar = true;
  grid.PageSize = 2;
  grid.ColumnCaption("CustomerID", "Customer");
  grid.ColumnCaption("CompanyName", "Company");
  grid.ColumnCaption("ContactName", "Contact");
  grid.ColumnCaption("ContactTitle", "Title");
  grid.ColumnCaption("CreditLimit", "Credit limit");
  grid.ColumnCaption("Since", "Customer since");
  grid.CurrencyColumn("CreditLimit", 0);
  grid.DateColumn("Since", "mmmm yyyy");
  grid.BoolColumn("Active", "Active", "Dormant");
  grid.RegExColumn("Phone", "^(\\d{1,3})(\\d{3})(\\d{6})$", "+$1 $2 $3");
  grid.RegExColumn("Fax", "^(\\d{1,3})(\\d{3})(\\d{6})$", "+$1 $2 $3");
  grid.Display();
%></div>
<!-- #include virtual="/include/footer.inc" -->
