<%@ Language="JScript" %><%
  // The same catalogue for a user who may add and rename groups but delete
  // nothing: no delete links, and a forged delete request is refused.
  var pageTitle = "Report designer, editor · Fennick demo";
%><!-- #include virtual="/include/header.inc" -->
<!-- #include virtual="/include/demo.inc" -->
<% demoNavigation(); %>
<h1>Report designer, without deleting</h1>
<p class="lead">The page grants everything but deleting (<code>CanDelete = false</code>):
reports carry no <b>x</b>, the group page has no delete button, and the server
refuses a delete request made by hand.</p>
<div class="catalogue"><%
  var q = Server.CreateObject("Fennick.Quillon2");
  q.ReportsFile = "/data/reports.xml";
  q.LocaleFolder = "/data";
  q.CanDelete = false;
  q.CanViewTables = false;
  q.Width = "100%";
  q.StyleSheet = "/css/grid.css";  // the site's own look, not the built-in one
  q.CsvSafe = true;  // formula-like text in CSV and text exports stays text
  q.Init("Provider=SQLite;Data Source=" + Server.MapPath("/data/demo.db"));
  q.DisplayReports();
%></div>
<!-- #include virtual="/include/footer.inc" -->
