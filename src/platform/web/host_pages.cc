// The host's own status pages and the error block of a failed page.
#include "platform/web/host_pages.h"

#include <cstdint>
#include <cstdio>

#include "platform/web/http_text.h"

namespace fennick {

std::string SimplePage(int status, std::string_view title, std::string_view text) {
  std::string out = "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>";
  out.append(std::to_string(status)).append(" ").append(HtmlEncode(title));
  out.append("</title></head><body style=\"font-family:arial,sans-serif\"><h1>");
  out.append(HtmlEncode(title)).append("</h1><p>").append(HtmlEncode(text));
  out.append("</p></body></html>\n");
  return out;
}

// The source is a chain of "<br> Label Line: n" steps meant to be shown as
// HTML.
std::string ErrorBlock(const Error& e) {
  std::string source = HtmlEncode(e.source());
  for (size_t pos = 0; (pos = source.find("&lt;br&gt;", pos)) != std::string::npos;) {
    source.replace(pos, 10, "<br>");
    pos += 4;
  }
  char number[16];
  std::snprintf(number, sizeof number, "%08x", static_cast<uint32_t>(e.number()));
  std::string out =
      "<div style=\"font-family:arial,sans-serif;font-size:10pt;border:1px solid "
      "#c00;padding:8px;margin:8px 0\"><b>Fennick error '";
  out.append(number).append("' (").append(std::to_string(e.number())).append(")</b><br>");
  out.append(HtmlEncode(e.description()));
  if (!source.empty()) out.append("<br><i>").append(source).append("</i>");
  out.append("</div>\n");
  return out;
}

const char* RefusalText(int status) {
  switch (status) {
    case 408: return "The request did not arrive in time.";
    case 413: return "The request body is too large.";
    case 414: return "The request address is too long.";
    case 431: return "The request's headers are too large.";
    case 501: return "The request's transfer coding is not supported.";
    case 503: return "This address has too many connections open.";
    case 505:
      return "The request's HTTP version is not supported.";
    default: return "The request could not be read.";
  }
}

}  // namespace fennick
