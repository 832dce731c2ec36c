// The hidden fields that carry a grid's state to the next post, and the
// postback script its links call.
#include "grid/state/state_fields.h"

#include <string>

#include "frame/host.h"
#include "grid/grid_object.h"
#include "grid/query/row_count_reuse.h"
#include "grid/state/url_state.h"
#include "platform/crypto/seal.h"
#include "platform/web/http_text.h"

namespace fennick {
namespace {

// Names the carried query string may not reuse: they are the grid's own.
constexpr char kOwnFields[] =
    "_dbtype_mastercols_sortreq_sortdef_sort_rsort_pagesize_curidx_start_rsfilter_pgraph___FARGS_"
    "rowcount_";

void Hidden(std::string& out, std::string_view name, std::string_view value) {
  out.append("<input type=hidden name=");
  out.append(name);
  out.append(" value=\"");
  out.append(HtmlAttributeEscape(value));
  out.append("\">");
}

// Free ORDER BY texts travel sealed, each for its own field: the browser
// carries them but can neither change them into other SQL nor put another
// sealed value in their place.
std::string SealedOrEmpty(SealPurpose purpose, const std::string& text) {
  return text.empty() ? std::string() : SealText(purpose, text);
}

}  // namespace

const char kPostBackScript[] =
    "<script>function __doPostBack(args){var f=document.FNKQuillon;if(args.substring(0,1)=='_')"
    "{args=eval(\"f.btnExp\"+args.substring(1)+\".value\");};f.__FARGS.value=args;f.submit();}"
    "</script>";

void WriteStateFields(GridObject& g) {
  const GridPageState& p = *g.page;
  const GridRequestState& s = g.req;
  std::string out;
  out.reserve(1024);
  Hidden(out, "mastercols", p.master_columns);
  Hidden(out, "sortreq", SealedOrEmpty(SealPurpose::kSortRequired, g.settings.required_sort_order));
  Hidden(out, "sortdef", SealedOrEmpty(SealPurpose::kSortDefault, g.settings.default_sort_order));
  Hidden(out, "sort", s.order_list);
  Hidden(out, "rsort", "0");
  Hidden(out, "pagesize", std::to_string(p.page_size));
  Hidden(out, "curidx", std::to_string(s.current_detail));
  Hidden(out, "showall", s.show_all_details ? "True" : "False");
  Hidden(out, "start", std::to_string(p.start_rec));
  Hidden(out, "rsfilter", s.filter_expression);
  Hidden(out, "pgraph", s.page_graph ? "True" : "False");
  Hidden(out, "dbtype", std::to_string(s.database_type));
  Hidden(out, "__FARGS", "");
  // The count the page shows, for the next post to reuse; only a grid that
  // read one page from the database has one.
  const std::string row_count = SealedRowCount(g);
  if (!row_count.empty()) Hidden(out, "rowcount", row_count);
  if (!p.carried_query.empty()) {
    Hidden(out, "__CQS", p.carried_query);
    std::string_view rest = p.carried_query;
    while (!rest.empty()) {
      size_t amp = rest.find('&');
      std::string_view pair = rest.substr(0, amp);
      rest = amp == std::string_view::npos ? std::string_view() : rest.substr(amp + 1);
      size_t eq = pair.find('=');
      std::string name(pair.substr(0, eq));
      std::string value(eq == std::string_view::npos ? std::string_view() : pair.substr(eq + 1));
      // A name is written bare in its attribute, so only plain names are
      // carried.
      if (name.empty() || name.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"
                                                 "0123456789_-.") != std::string::npos) {
        continue;
      }
      if (std::string_view(kOwnFields).find("_" + name + "_") != std::string_view::npos) continue;
      Hidden(out, name, value);
    }
  }
  if (g.settings.url_state) AppendUrlStateScript(g, out);
  WriteToPage(out);
}

}  // namespace fennick
