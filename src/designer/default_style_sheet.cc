// The designer's built-in style sheet: the look of the catalogue, report
// pages and their grids on a site that has no style sheet of its own.
//
// Every selector sits inside :where(), so each rule has no weight at all:
// any rule of the page's own style sheets wins over it, wherever that is
// written. It styles the class names the designer and its grids write by
// default (SetCSSClassNames' defaults) and the body's font.
#include "designer/designer_resources.h"

namespace fennick::designer {

std::string_view DefaultStyleSheetText() {
  return R"CSS(
:where(body){font-family:system-ui,"Segoe UI",Tahoma,Arial,sans-serif;font-size:14px;color:#1f2933;background:#fff;margin:16px}
:where(a){color:#1f4e79}
:where(hr){border:0;border-top:1px solid #d9e2ec;margin:6px 0 10px}
:where(.report_header td.report_title){font-size:20px;font-weight:600;padding:4px 0}
:where(.link_button){display:inline-block;padding:3px 10px;border:1px solid #9fb3c8;border-radius:4px;background:#f0f4f8;color:#1f4e79;text-decoration:none;font-size:13px;white-space:nowrap}
:where(a.link_button:hover){background:#dceaf7}
:where(.link_button_text){color:#52606d}
:where(.header_cell){background:#1f4e79;color:#fff;padding:6px 8px;font-weight:600;text-align:left}
:where(.group_title){font-size:16px;font-weight:600;color:#1f4e79;padding-top:10px;text-decoration:none}
:where(tr.report_title,tr.report_title_over){line-height:1.6}
:where(tr.report_title_over){background:#f0f4f8}
:where(a.report_title){text-decoration:none;font-weight:600}
:where(.report_desc){color:#52606d;padding-left:4px}
:where(.delete){color:#b42318;font-weight:600}
:where(.errmsg){border:1px solid #f5c2c0;background:#fdf2f2;color:#b42318;padding:8px 12px;margin:8px 0}
:where(table.grid){border-collapse:collapse;background:#fff;margin:4px 0}
:where(table.grid th,table.grid td){padding:4px 8px;border-bottom:1px solid #e4e7eb;text-align:left;vertical-align:top}
:where(.header,.header th,.header td){background:#1f4e79;color:#fff;white-space:nowrap}
:where(.header a,.header_link){color:#fff;text-decoration:none}
:where(.alt_item){background:#f5f8fb}
:where(table.grid td.number,table.grid td.money){text-align:right}
:where(.item_link){color:#1f4e79}
:where(.footer){background:#e8eef5;font-size:13px}
:where(.paging_link){color:#1f4e79;font-weight:600;text-decoration:none}
:where(.filterButtons table){border-collapse:collapse;background:#e8eef5;margin:4px 0}
:where(.filterButtons td){padding:4px 8px;font-size:13px}
:where(.export a){margin-left:6px}
:where(.filters){color:#52606d;font-size:13px;margin:4px 0}
:where(.summary){margin-top:8px}
:where(.summary_name){color:#52606d}
:where(.summary_value,.col_footerLabel){font-weight:600}
:where(td.col_footer,td.row_footer){text-align:right;font-weight:600}
:where(table.details){margin:2px 0 10px}
:where(.params){margin:4px 0 8px;color:#52606d}
:where(.params .name){font-weight:600}
:where(.printLimit){color:#b42318}
)CSS";
}

}  // namespace fennick::designer
