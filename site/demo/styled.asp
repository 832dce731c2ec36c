<%@ Language="JScript" %><%
  // The grid's look set through its class and style properties and a style sheet.
  var pageTitle = "Styling · Fennick demo";
  var pageStyleSheet = "/css/ledger.css";
%><!-- #include virtual="/include/header.inc" -->
<!-- #include virtual="/include/demo.inc" -->
<% demoNavigation(); %>
<h1>Suppliers, in a ledger style</h1>
<p class="lead">The same grid, dressed differently: class properties name the
classes of the table, header, rows, footer and links, and the page's own style
sheet (<code>css/ledger.css</code>) gives them their look. Style properties add
inline styles where a class is not enough.</p>
<div class="gridbox"><%
  var grid = Server.CreateObject("Fennick.DataGrid");
  grid.Title = "Suppliers";
  grid.Command = "SELECT Supplier, Contact, City, Country, Phone, Products, AveragePrice " +
                 "FROM SupplierOverview";
  grid.CreateConnection("Provider=SQLite;Data Source=" + Server.MapPath("/data/demo.db"));
  grid.PageSize = 6;
  grid.CsvByteOrderMark = true;
  grid.CsvSafe = true;
  grid.GridClassName = "ledger";
  grid.HeaderClassName = "ledgerHead";
  grid.ItemClassName = "ledgerRow";
  grid.AltItemClassName = "ledgerAlt";
  grid.FooterClassName = "ledgerFoot";
  grid.PagingLinkClass = "ledgerPage";
  grid.HeaderLinkClass = "ledgerSort";
  grid.GridStyle = "border:1px solid #8c6d46;";
  grid.TextBoxStyle = "font:inherit;padding:1px 4px;border:1px solid #b89b72;background:#fffaf0;";
  grid.ColumnCaption("AveragePrice", "Average price");
  grid.CurrencyColumn("AveragePrice", 2);
  grid.ColumnStyle("Phone", "white-space:nowrap;");
  grid.RegExColumn("Phone", "^(\\d{1,3})(\\d{3})(\\d{6})$", "+$1 $2 $3");
  grid.SetHeaderIconText("&#8635;", "&#9650;", "&#9660;");
  grid.DefaultFilterFieldIndex = 1;
  grid.DefaultFilterConditionIndex = 1;
  grid.Display();
%></div>
<pre class="code">grid.GridClassName = "ledger";
grid.HeaderClassName = "ledgerHead";
grid.ItemClassName = "ledgerRow";
grid.AltItemClassName = "ledgerAlt";
grid.FooterClassName = "ledgerFoot";
grid.PagingLinkClass = "ledgerPage";
grid.HeaderLinkClass = "ledgerSort";
grid.GridStyle = "border:1px solid #8c6d46;";
grid.ColumnStyle("Phone", "white-space:nowrap;");</pre>
<!-- #include virtual="/include/footer.inc" -->
