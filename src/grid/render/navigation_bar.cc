// The grid's paging bar: the page counter, the first, previous, numbered,
// next and last links, the reset link, the page-size box and the reload
// link. Every link posts the grid's form with a start argument.
#include "grid/render/navigation_bar.h"

#include <algorithm>
#include <string>

#include "frame/module_state.h"
#include "frame/text_routines.h"
#include "grid/render/grid_table.h"
#include "platform/web/http_text.h"

namespace fennick {
namespace {

// Written as a ready attribute: the value holds "=", which the link
// builder would otherwise take for one.
constexpr char kDimmedImageStyle[] =
    " style=\"filter:alpha(opacity=30);-moz-opacity:0.5;opacity: 0.5;\"";

bool IsNumericText(std::string_view text) {
  return !text.empty() && text.find_first_not_of("0123456789") == std::string_view::npos;
}

std::string StartArgument(char action, int64_t first) {
  std::string argument(1, action);
  argument.append("start:");
  argument.append(std::to_string(first + 1));
  argument.append(";");
  return argument;
}

}  // namespace

void WritePageLink(GridObject& g, std::string_view text, int64_t target_first, bool active,
                   std::string_view title, std::string& out) {
  const GridPageState& p = *g.page;
  const std::string& images = CurrentModuleState().images_url;
  if (active) {
    out.append("&nbsp;");
    out.append(MakeLink(text, title, PostBackHref(StartArgument('2', target_first)),
                        p.paging_link_class, p.paging_link_style, "", images));
    out.append("&nbsp;");
  } else if (IsNumericText(text)) {
    out.append("&nbsp;[");
    out.append(text);
    out.append("]&nbsp;");
  } else if (p.show_inactive_buttons) {
    out.append("&nbsp;");
    out.append(MakeLink(text, title, "", "", kDimmedImageStyle, "", images));
    out.append("&nbsp;");
  }
}

void WriteNavigationBar(GridObject& g, int64_t first, int64_t page_size, int64_t last,
                        bool paging, bool bottom, std::string& out) {
  const GridPageState& p = *g.page;
  out.append("<table cellpadding=4 width=\"");
  out.append(HtmlAttributeEscape(p.grid_width));
  out.append("\"><tr");
  out.append(p.footer_class);
  out.append(p.footer_style);
  out.append("><td width=\"99%\">");
  if (paging && page_size > 0) {
    const int64_t records = last + 1;
    const int64_t current = first / page_size + 1;
    const int64_t pages = (records + page_size - 1) / page_size;
    const int64_t last_shown = std::min(first + page_size - 1, last);
    const bool numbers = g.settings.show_page_numbers;

    std::string counter = g.settings.Text("pagecounttext");
    ReplaceAll(counter, "@CurrentPage", std::to_string(current));
    ReplaceAll(counter, "@NumOfPages", std::to_string(pages));
    ReplaceAll(counter, "@NumOfRecs", std::to_string(records));
    out.append(counter);

    const bool far_from_start = current >= 4;
    WritePageLink(g, g.settings.Text("firsttext"), 0, far_from_start, g.settings.Text("firsttitle"),
                  out);
    if (far_from_start && numbers) out.append("...");
    WritePageLink(g, g.settings.Text("prevtext"), std::max<int64_t>(0, first - page_size),
                  first >= 1, g.settings.Text("prevtitle"), out);
    if (numbers) {
      for (int64_t page = std::max<int64_t>(1, current - 3);
           page <= std::min(pages, current + 3); ++page) {
        WritePageLink(g, std::to_string(page), (page - 1) * page_size, page != current, "", out);
      }
    }
    const bool more = last_shown < last;
    WritePageLink(g, g.settings.Text("nexttext"), first + page_size, more,
                  g.settings.Text("nexttitle"), out);
    if (more && numbers) out.append("...");
    const int64_t remainder = records % page_size;
    const int64_t last_page_first = remainder != 0 ? records - remainder : records - page_size;
    WritePageLink(g, g.settings.Text("lasttext"), last_page_first, more,
                  g.settings.Text("lasttitle"), out);
  }
  out.append("&nbsp;</td>");

  const std::string& images = CurrentModuleState().images_url;
  if (g.req.print_view) {
    // Leaves the print layout for the page the user printed from.
    out.append("<td nowrap>");
    out.append(MakeLink("<font color=gray>Close</font>", "Reset grid",
                        PostBackHref(StartArgument('2', first)), p.paging_link_class,
                        p.paging_link_style, "", images));
    out.append("</td></tr></table>");
    return;
  }
  out.append("<td nowrap>&nbsp;");
  out.append(MakeLink(g.settings.Text("resettext"), g.settings.Text("resettitle"),
                      PostBackHref("3start:1;"), p.paging_link_class, p.paging_link_style, "",
                      images));
  out.append("&nbsp;");
  const std::string size = std::to_string(page_size);
  if (g.designer.page_size_box) {
    out.append(g.settings.Text("pagesizetext"));
    if (bottom) {
      out.append("&nbsp;<input size=2 name=npagesize value=\"");
    } else {
      out.append("&nbsp;<input size=2 onblur=\"this.form.npagesize.value=this.value\" value=\"");
    }
    out.append(size);
    out.append("\" ");
    out.append(p.text_box_style);
    out.append(">");
    out.append(MakeLink(g.settings.Text("reloadtext"), g.settings.Text("reloadtitle"),
                        PostBackHref(StartArgument('2', first)), p.paging_link_class,
                        p.paging_link_style, "", images));
  } else if (bottom) {
    out.append("<input type=hidden name=npagesize value=\"");
    out.append(size);
    out.append("\">");
  }
  out.append("</td></tr></table>");
}

}  // namespace fennick
