<%@ Language="JScript" %>
<html>
<head><title>Reports</title></head>
<body>
<%
  // Nothing but the designer: with no styles.css beside the page, its
  // pages carry Fennick's built-in style sheet.
  var q = Server.CreateObject("Fennick.Quillon2");
  q.ReportsFile = "/data/reports.xml";
  q.Init("Provider=SQLite;Data Source=" + Server.MapPath("/data/demo.db"));
  q.DisplayReports();
%>
</body>
</html>
