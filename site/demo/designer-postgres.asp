<%@ Language="JScript" %><%
  // The report designer over a PostgreSQL database, for trying the builder
  // on its functions. The page exists only when the demo server was started
  // with --demo-postgres; its reports live in their own file, apart from
  // the SQLite catalogue's.
  var connection = String(Application("DemoPostgres") || "");
  if (connection == "") {
    Response.Status = "404 Not Found";
    Response.Write("Not found: start the demo with --demo-postgres CONNECTION.");
    Response.End();
  }
  var pageTitle = "Report designer on PostgreSQL · Fennick demo";
%><!-- #include virtual="/include/header.inc" -->
<!-- #include virtual="/include/demo.inc" -->
<% demoNavigation(); %>
<h1>Report designer on PostgreSQL</h1>
<p class="lead">The catalogue of the reports built over the PostgreSQL database
the server was started with, and that database's tables, views and functions.
Click a function to build a report over it: the builder asks for its
parameters first.</p>
<div class="catalogue"><%
  var q = Server.CreateObject("Fennick.Quillon2");
  q.ReportsFile = "/data/reports-postgres.xml";
  q.LocaleFolder = "/data";
  q.Title = "Report designer on PostgreSQL";
  q.CanViewTables = true;
  q.Width = "100%";
  q.StyleSheet = "/css/grid.css";  // the site's own look, not the built-in one
  q.CsvSafe = true;  // formula-like text in CSV and text exports stays text
  q.Init(connection);
  q.DisplayReports();
%></div>
<!-- #include virtual="/include/footer.inc" -->
