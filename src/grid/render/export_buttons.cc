// The export buttons of the tool bar.
#include "grid/render/export_buttons.h"

#include <array>

#include "frame/argument_codec.h"
#include "frame/module_state.h"
#include "frame/text_routines.h"
#include "grid/grid_object.h"
#include "grid/render/grid_render.h"
#include "grid/state/export_argument.h"
#include "grid/state/page_state.h"
#include "platform/web/http_text.h"

namespace fennick {

std::string StripTags(std::string_view caption) {
  std::string out;
  bool in_tag = false;
  for (char c : caption) {
    if (c == '<') {
      in_tag = true;
    } else if (c == '>' && in_tag) {
      in_tag = false;
    } else if (!in_tag) {
      out.push_back(c);
    }
  }
  return out;
}

std::string ExportArgument(const GridRender& r, std::string_view format) {
  std::string captions;
  for (size_t i = 0; i < r.captions.size(); ++i) {
    if (i > 0) captions += ",";
    captions += EncodeExportValue(StripTags(r.captions[i]));
  }
  const GridPageState& p = *r.g.page;
  std::string argument = "fmt:" + std::string(format) + ";hdr:" + captions +
                         ";ttl:" + EncodeExportValue(r.g.settings.title) + ";;dat:" +
                         EncodeExportValue(p.date_list) + ";num:" +
                         EncodeExportValue(p.number_list) + ";";
  return argument;
}

void WriteExportButtons(const GridRender& r, std::string& out) {
  struct Button {
    std::string_view format, text_key, title_key;
  };
  static constexpr std::array<Button, 7> kButtons = {{
      {"doc", "doctext", "doctitle"},
      {"excel", "xlstext", "xlstitle"},
      {"csv", "csvtext", "csvtitle"},
      {"xml", "xmltext", "xmltitle"},
      {"text", "txttext", "txttitle"},
      {"xlsx", "xlsxtext", "xlsxtitle"},
      {"pdf", "pdftext", "pdftitle"},
  }};
  const GridPageState& p = *r.g.page;
  for (const Button& button : kButtons) {
    // The workbook and PDF buttons only when the page asks for them.
    if (button.format == "xlsx" && !r.g.settings.export_xlsx) continue;
    if (button.format == "pdf" && !r.g.settings.export_pdf) continue;
    out.append("&nbsp;<input type=hidden name=btnExp");
    out.append(button.format);
    out.append(" value=\"");
    out.append(HtmlAttributeEscape(EncodeArgument("4" + ExportArgument(r, button.format))));
    out.append("\">");
    out.append(MakeLink(r.g.settings.Text(std::string(button.text_key)),
                        r.g.settings.Text(std::string(button.title_key)),
                        "javascript:__doPostBack('_" + std::string(button.format) + "')",
                        p.paging_link_class, p.paging_link_style, "",
                        CurrentModuleState().images_url));
    out.append("&nbsp;");
  }
}

}  // namespace fennick
