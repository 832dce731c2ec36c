<%@ Language="JScript" %><%
  // The report designer's catalogue over the demo's seeded reports file.
  var pageTitle = "Report designer · Fennick demo";
%><!-- #include virtual="/include/header.inc" -->
<!-- #include virtual="/include/demo.inc" -->
<% demoNavigation(); %>
<h1>Report designer</h1>
<p class="lead">The catalogue of stored reports, grouped by report group, and
the demo database's tables, views and procedures. Open a report or a table by
its link; the <i>Salaries</i> report asks for the password <code>demo</code>.
Add a group, rename one by clicking its title, delete a report with its <b>x</b>.
A browser that prefers French gets the French texts of
<code>data/locale_fr.xml</code>; the reports file and the locale files live in
<code>data/</code> and are never served.</p>
<div class="catalogue"><%
  var q = Server.CreateObject("Fennick.Quillon2");
  q.ReportsFile = "/data/reports.xml";
  q.LocaleFolder = "/data";
  q.Title = "Report designer";
  q.CanViewTables = true;
  q.UsePopupFilters = true;
  q.HiddenFields = "Picture";
  q.Width = "100%";
  q.StyleSheet = "/css/grid.css";  // the site's own look, not the built-in one
  q.CsvSafe = true;  // formula-like text in CSV and text exports stays text
  q.Init("Provider=SQLite;Data Source=" + Server.MapPath("/data/demo.db"));
  q.DisplayReports();
%></div>
<!-- #include virtual="/include/footer.inc" -->
