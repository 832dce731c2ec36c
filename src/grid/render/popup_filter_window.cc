// The popup filter window: the small page the grid's popup filter button
// opens (query "a" = "j"). It lists the columns, conditions and labels the
// grid packed into the session, lets the user add conditions joined by AND
// or OR, and on Finish posts the built filter into the grid's "rsfilter"
// field. The server parses that filter strictly before it reaches SQL.
#include "grid/render/popup_filter_window.h"

#include <string>
#include <vector>

#include "fennick/error.h"
#include "fennick/page.h"
#include "frame/argument_codec.h"
#include "grid/render/filter_bar.h"
#include "platform/web/http_text.h"

namespace fennick {
namespace {

constexpr char kConditionValues[][12] = {" LIKE '%v%'", "=", "<>", " &lt; ", " > ",
                                         " LIKE 'v%'"};

// The window builds the filter text the grid posts back; a quote typed
// into a value is doubled, as the inline filter bar's literals have theirs
// doubled, so "O'Neill" stays one literal.
constexpr char kWindowScript[] =
    " function addFilter(){var sf=f1.search_field;var sc=f1.search_condition;"
    "var fi=sf.selectedIndex;var ci=sc.selectedIndex;var v=f1.search_text.value;"
    " if(fi>0&&ci>0&&v!=''){var m = f1.mfilter;var join=(f1.chk1.checked)?\"OR\":\"AND\";"
    "if (m.value!='')m.value+=' '+join+' \\n';"
    "m.value+=sf.options[fi].text+' ('+sc.options[ci].text+') '+v;"
    " var s1 = sf.options[fi].value;var itmp = s1.indexOf(\"_\");"
    "var ftype=parseInt(s1.substr(0,itmp));var fname=s1.substr(itmp+1);"
    "var q=v.split(\"'\").join(\"''\");"
    "var s2 = sc.options[ci].value;if(s2.indexOf(\"%\")>-1){"
    "s1 = fname + s2.replace(\"v\",function(){return q;});}"
    "else{if(ftype!=131 && ftype!=6){"
    " if(ftype!=7){v=\"'\"+q+\"'\"}else{v=del+q+del}}s1=fname+\" \"+s2+\" \"+v;}"
    "if (f1.filter.value!='')f1.filter.value+=' '+join+' ';f1.filter.value+=s1;}"
    "else{alert('You must first make a selection');}}"
    " function finish(){var f=window.opener.document.FNKQuillon;"
    "f.rsfilter.value=f1.filter.value;f.submit();window.close();}";

// The packed text's records and fields (see WritePopupFilterButton).
std::vector<std::vector<std::string>> Unpack(const std::string& packed) {
  std::vector<std::vector<std::string>> records(1);
  std::string field;
  for (char c : packed) {
    if (c == '\x1f') {
      records.back().push_back(field);
      field.clear();
    } else if (c == '\x1e') {
      records.emplace_back();
    } else {
      field.push_back(c);
    }
  }
  return records;
}

const std::string& At(const std::vector<std::string>& record, size_t i) {
  static const std::string kEmpty;
  return i < record.size() ? record[i] : kEmpty;
}

}  // namespace

bool WritePopupFilterWindow(GridObject& g) {
  const Request& request = *g.host.request;
  if (request.QueryString("a") != "j") return false;
  const Variant stored = g.host.session->Get("PopUpFilters");
  const auto records = Unpack(stored.IsString() ? DecodeArgument(stored.Bytes()) : std::string());
  const std::vector<std::string> none;
  const std::vector<std::string>& head = records.size() > 0 ? records[0] : none;
  const std::vector<std::string>& conditions = records.size() > 1 ? records[1] : none;
  const std::string& title = At(head, 0);
  const int64_t default_field = std::atoll(At(head, 5).c_str());
  const bool starts_with = At(head, 7) == "1";

  // The delimiter comes back in the query: only the two the grid writes
  // may reach the script.
  const std::string del = request.QueryString("del") == "#" ? "#" : "'";

  std::string out;
  out.reserve(4096);
  out.append("<html><head><title>");
  out.append(title);
  out.append("</title><script>var del=\"");
  out.append(del);
  out.append("\";");
  out.append(kWindowScript);
  out.append("</script><style>form{margin:0px;}</style></head><body><b>");
  out.append(title);
  out.append("</b><form name=f1><table border=0><tr><td>");
  out.append(At(head, 1));
  out.append("</td><td><select name=search_field><option value=''>");
  for (size_t i = 2, position = 1; i < records.size(); ++i, ++position) {
    const std::vector<std::string>& column = records[i];
    if (column.size() < 5) continue;
    out.append("<option");
    if (static_cast<int64_t>(position) == default_field) out.append(" Selected ");
    out.append(" value=\"");
    out.append(HtmlAttributeEscape(column[3] + "_" + column[4]));
    out.append("\">");
    out.append(column[1]);
    out.append("</option>");
  }
  out.append("</select></td></tr><tr><td>");
  out.append(At(head, 2));
  out.append("</td><td><select name=search_condition><option>");
  const size_t offered = starts_with ? 6 : 5;
  for (size_t i = 0; i < offered; ++i) {
    out.append("<option value=\"");
    out.append(kConditionValues[i]);
    out.append("\">");
    out.append(At(conditions, i));
    out.append("</option>");
  }
  out.append("</select></td></tr><tr><td>");
  out.append(At(head, 3));
  out.append("</td><td><input type=text name=search_text value='' size=28></td></tr>"
             "<tr><td colspan=2><input type=checkbox value=ON name=chk1 id=chk1>"
             "<label for=chk1>");
  out.append(At(head, 4));
  out.append("</label> <input type=button value='Add Filter' onclick='addFilter()'> "
             "<input type=button value='Finish' onclick='finish()'></td></tr>"
             "<tr><td colspan=2><textarea name=mfilter cols=35 rows=4 readonly></textarea>"
             "</td></tr></table><input type=hidden name=filter></form></body></html>");
  // The window is a page of its own: whatever the page wrote before the
  // grid was created (its layout) does not belong in it.
  try {
    g.host.response->Clear();
  } catch (const Error&) {
    // Ignoring errors on purpose: with buffering off the text is gone already.
  }
  WriteToPage(out);
  g.host.response->End();
}

}  // namespace fennick
