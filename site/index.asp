<%@ Language="JScript" %><%
  // The demo site's home page: what Fennick is, and the component version.
  var pageTitle = "Fennick reporting component";

  function row(name, value) {
    Response.Write("<tr><th>" + Server.HTMLEncode(name) + "</th><td>" +
                   Server.HTMLEncode(value) + "</td></tr>");
  }
%><!-- #include virtual="/include/header.inc" -->
<!-- #include virtual="/include/demo.inc" -->
<h1>Reports for your web pages, straight from SQL</h1>
<p class="lead">Fennick is a reporting component for web sites. A page creates a
<code>DataGrid</code>, hands it a connection and an SQL query, and gets a paged,
sortable, filterable grid with column formats, summaries, master-details, bar
graphs, a print view and exports to Excel, Word, CSV, XML and text. A page
creates a <code>Quillon2</code> and gets an end-user report designer with a
catalogue of stored reports.</p>
<div class="cards">
<section class="card"><h2>DataGrid</h2><p>One query or stored procedure as a grid:
paging, sorting by header clicks, inline and popup filters, formats per column.
<a href="/grid">See a grid</a>.</p></section>
<section class="card"><h2>Quillon2</h2><p>End users pick tables, fields, captions,
filters and summaries; reports are kept in a catalogue of groups.
<a href="/grid-summary">See a report with summaries</a>.</p></section>
<section class="card"><h2>SimpleGraph</h2><p>Plain, stacked and relative bar graphs
in pure HTML, from rows of values. <a href="/graphs">See the examples</a>.</p></section>
<section class="card"><h2>StringBuffer</h2><p>The growable string builder the
component assembles its long outputs in.</p></section>
</div>

<h2>Demo grids</h2>
<p>Script pages over the demo database of a small trading company (customers,
employees, products, suppliers and 10,000 order lines), built by the server from
<code>site/data/demo.sql</code> when it starts.</p>
<ul class="demolist">
<% for (var d = 0; d < demoPages.length; d++) { %>
<li><a href="<%= demoPages[d][0] %>"><%= Server.HTMLEncode(demoPages[d][1]) %></a>
&mdash; <%= Server.HTMLEncode(demoPages[d][2]) %></li>
<% } %>
</ul>

<h2>This server</h2>
<table class="facts">
<%
  var lib = Fennick.TypeLibrary;
  // The grid reports the component's version, as it always has.
  row("Component version", Server.CreateObject("Fennick.DataGrid").Version);
  row("Type library", lib.Name + " " + lib.Version + " " + lib.Id);
  row("Page", Request.ServerVariables("URL"));
  row("Served to", Request.ServerVariables("REMOTE_ADDR"));
%>
</table>

<h2>Classes</h2>
<table class="facts"><tr><th>ProgID</th><th>CLSID</th></tr>
<% for (var i = 0; i < Fennick.Classes.length; i++) {
     row(Fennick.Classes[i].ProgID, Fennick.Classes[i].CLSID);
   } %>
</table>

<h2>Written as a script page</h2>
<p>This page is <code>site/index.asp</code>: HTML with JavaScript blocks, run by
the server. It built the tables above in script, and it asked the component for a
<code>StringBuffer</code> to assemble this sentence:
<%
  var sb = Server.CreateObject("Fennick.StringBuffer");
  sb.Append("pages drive the component's objects ");
  sb.Append("by their members, as they always did.");
%>
<em><%= Server.HTMLEncode(sb.ToString()) %></em></p>
<!-- #include virtual="/include/footer.inc" -->
