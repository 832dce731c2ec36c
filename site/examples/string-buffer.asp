<%@ Language="JScript" %>
<html>
<head><title>StringBuffer</title></head>
<body>
<%
  var sb = Server.CreateObject("Fennick.StringBuffer");
  sb.Append("<ul>");
  for (var i = 1; i <= 3; i++) {
    sb.Append("<li>Line " + i + "</li>");
  }
  sb.Append("</ul>");
  Response.Write(sb.ToString());

  sb.SetString("Total: ");
  sb.Append("3 lines");
  Response.Write("<p>" + sb.ToString() + "</p>");
  sb.ReInit();
  Response.Write("<p>[" + sb.ToString() + "]</p>");
%>
</body>
</html>
