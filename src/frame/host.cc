// Host context binding, page output and error boxes.
#include "frame/host.h"

#include "fennick/variant.h"

namespace fennick {

HostContext BindHostContext(std::string_view class_name) {
  PageContext& page = RequirePage(class_name);
  HostContext host;
  host.page = &page;
  host.response = &page.response();
  host.request = &page.request();
  host.session = &page.session();
  host.application = &page.application();
  host.server = &page.server();
  host.page_url = page.Url();
  return host;
}

void WriteToPage(std::string_view text) {
  RequirePage("WriteToPage").response().Write(text);
}

void ShowError(std::string_view message) {
  Response& response = RequirePage("ShowError").response();
  response.Write("<div><font color=red face=arial>");
  response.Write(message);
  response.Write("</font></div>");
}

void ShowError(std::string_view message, bool fatal) {
  if (!fatal) {
    ShowError(message);
    return;
  }
  Response& response = RequirePage("ShowError").response();
  response.Write("<div><font color=red face=arial size=3>");
  response.Write(message);
  response.Write("</font></div>");
}

std::string FormatTraceStep(double step) { return FormatDouble(step); }

}  // namespace fennick
