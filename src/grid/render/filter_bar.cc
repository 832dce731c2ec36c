// The grid's filter controls: the inline filter bar (field, condition and
// value, with a drop-down of a column's distinct values on request) and
// the popup filter button with the script that opens its window.
//
// The posted field names a column in SQL, so the distinct-value query is
// made only when it equals one of the column expressions the bar offers;
// the query is built from that expression, the grid's own command and the
// filter the query builder already checked.
#include "grid/render/filter_bar.h"

#include <string>

#include "base/ascii.h"
#include "fennick/data.h"
#include "frame/argument_codec.h"
#include "frame/module_state.h"
#include "frame/text_routines.h"
#include "grid/query/database_type.h"
#include "grid/query/sql_text.h"
#include "grid/render/cell_writer.h"
#include "platform/web/http_text.h"

namespace fennick {
namespace {

struct Condition {
  const char* value;  // as posted
  const char* text_key;
};

constexpr Condition kConditions[] = {
    {" LIKE '%v%'", "containstext"},  {"=", "isequaltotext"},
    {"<>", "isnotequaltotext"},       {" &lt; ", "islessthantext"},
    {" > ", "isgreaterthantext"},     {" LIKE 'v%'", "startswithtext"},
};

constexpr char kOther[] =
    "Other&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;</option>";

// The offered column whose expression is `field`, or nullptr.
const GridColumn* OfferedColumn(const GridObject& g, std::string_view field) {
  for (const GridColumn& c : g.result.columns) {
    if (IsHiddenColumn(*g.page, c)) continue;
    if (ColumnExpression(c, g.req.database_type) == field) return &c;
  }
  return nullptr;
}

// The distinct values of the offered column over the grid's command, as
// options; nothing when the column is an expression's alias or the query
// fails.
void AppendDistinctValues(GridObject& g, const GridColumn& column, std::string& out) {
  const std::string& command = g.page->command;
  const std::string upper = AsciiUpper(command);
  if (upper.find(") AS " + AsciiUpper(column.name)) != std::string::npos) return;
  size_t from = upper.find(" FROM ");
  if (from == std::string::npos || !g.page->connection) return;
  size_t order = upper.find(" ORDER BY ", from);
  std::string tail =
      command.substr(from, order == std::string::npos ? std::string::npos : order - from);
  std::string sql = "SELECT DISTINCT " + ColumnExpression(column, g.req.database_type) + tail;
  if (!g.result.applied_filter_sql.empty()) sql = AddFilterToSql(sql, g.result.applied_filter_sql);
  sql.append(" ORDER BY 1");
  try {
    Recordset rs;
    rs.Open(sql, *g.page->connection, kAdOpenStatic, kAdLockReadOnly, -1);
    for (; !rs.Eof(); rs.MoveNext()) {
      const Variant value = rs.Fields(0).Value();
      out.append("<option>");
      if (!value.IsNull()) out.append(HtmlEncode(value.AsString()));
      out.append("</option>");
    }
  } catch (const Error&) {
    // Ignoring errors on purpose: the drop-down then offers only "Other".
  }
}

}  // namespace

void WriteFilterBar(GridObject& g, std::string& out) {
  const GridPageState& p = *g.page;
  out.append("<table width=\"");
  out.append(HtmlAttributeEscape(p.grid_width));
  out.append("\"><tr");
  out.append(p.footer_class);
  out.append(p.footer_style);
  out.append(">");

  out.append("<td style='color:gray;'><div style='display:");
  out.append(g.req.filter_expression.empty() ? "none" : "block");
  out.append(";'><input type=checkbox value=ON name=clearfilters id=clearfilters ");
  if (g.req.clear_filters_checked) out.append("checked");
  out.append("/><label for=clearfilters><font class=clearfilters>");
  out.append(g.settings.Text("resetfilterstext"));
  out.append("</font></label></div></td>");

  const std::string& posted = g.req.posted_search_field;
  out.append(
      "<td align=right><select onchange=\"if(parseInt(this.form.useddst.value)==1)"
      "{this.form.search_text.selectedIndex=-1;this.form.submit();}\" name=search_field ");
  out.append(p.filter_field_style);
  out.append("><option value=\"\">&nbsp;</option>");
  for (size_t i = 0; i < g.result.columns.size(); ++i) {
    const GridColumn& c = g.result.columns[i];
    if (IsHiddenColumn(p, c)) continue;
    const std::string value = ColumnExpression(c, g.req.database_type);
    out.append("<option ");
    const bool selected = posted.empty()
                              ? static_cast<int64_t>(i) + 1 == p.default_filter_field_index
                              : value == posted;
    if (selected) out.append(" selected");
    out.append(" value=\"");
    out.append(HtmlAttributeEscape(value));
    out.append("\">");
    out.append(ColumnCaptionOf(p, c));
    out.append("</option>");
  }

  out.append("</select>&nbsp;<select name=search_condition ");
  out.append(p.filter_field_style);
  out.append("><option value=\"\">&nbsp;</option>");
  const size_t offered = g.result.built_from_command ? 6 : 5;
  for (size_t i = 0; i < offered; ++i) {
    out.append("<option ");
    if (static_cast<int64_t>(i) + 1 == p.default_filter_condition_index) out.append(" selected ");
    out.append(" value=\"");
    out.append(kConditions[i].value);
    out.append("\">");
    out.append(g.settings.Text(kConditions[i].text_key));
    out.append("</option>");
  }
  out.append("</select>&nbsp;");

  const bool dropdown = g.req.posted_use_dropdown == "1";
  if (dropdown) {
    out.append("<select");
    out.append(p.text_box_style);
    out.append(
        " onchange=\"if(this.selectedIndex==(this.options.length-1)){this.form.useddst.value=0;"
        "this.selectedIndex=-1;this.form.submit();}\" name=search_text>"
        "<option value=\"\">&nbsp;</option>");
    if (const GridColumn* column = posted.empty() ? nullptr : OfferedColumn(g, posted)) {
      AppendDistinctValues(g, *column, out);
    }
    out.append("<option>");
    out.append(kOther);
    out.append("</select>");
  } else {
    out.append("<input name=search_text ");
    out.append(p.text_box_style);
    out.append(
        " onkeyup=\"if(event.keyCode==120){this.form.useddst.value=1;this.form.submit();}\" "
        "title='Click inside and Hit F9 to switch to drop down'>");
  }
  out.append("<input type=hidden name=useddst value=");
  out.append(dropdown ? "1" : "0");
  out.append(">");

  out.append("&nbsp;<input ");
  out.append(p.filter_field_style);
  out.append(
      " type=button onclick=\"this.form.start.value=1;this.form.__FARGS.value='';"
      "this.form.submit();\" value=");
  out.append(g.settings.Text("filterbuttontext"));
  out.append(" ></td></tr></table>");
}

void WritePopupFilterScript(GridObject& g, std::string& out) {
  out.append("<script language=\"javascript\">");
  out.append(
      "function __doGetBack(args){var f=document.FNKQuillon;if(args.substring(0,1)=='_')"
      "{args=eval(\"f.btnExp\"+args.substring(1)+\".value\");};var a=args.substr(0,args.length-1);"
      "var i=args.substr(args.length-1);var q=\"");
  // The URL stands inside a script string: characters that could end the
  // string or the script are written in their URL-escaped form.
  for (char c : g.host.page_url) {
    switch (c) {
      case '"':
        out.append("%22");
        break;
      case '\\':
        out.append("%5C");
        break;
      case '<':
        out.append("%3C");
        break;
      case '\'':
        out.append("%27");
        break;
      default:
        out.push_back(c);
    }
  }
  out.append("?a=\"+i+\"&del=");
  out.append(g.req.database_type == kDbAccess ? "#" : "'");
  out.append(
      "&args=\"+a+\"\";var w=330;var h=230;var LeftPosition = (screen.width) ? "
      "(screen.width-w)/2 : 0;var TopPosition = (screen.height) ? (screen.height-h)/2 : 0;"
      "var settings = 'height='+h+',width='+w+',top='+TopPosition+',left='+LeftPosition+"
      "',menubar=0,scrollbars=0,resizable=1';");
  out.append("var win = window.open(q,\"wizard\",settings);}");
  out.append("</script>");
}

void WritePopupFilterButton(GridObject& g, std::string& out) {
  // What the popup window shows, for the window's own request: records of
  // fields, separated by control characters no caption or label holds.
  const GridPageState& p = *g.page;
  constexpr char kField = '\x1f';
  constexpr char kRecord = '\x1e';
  std::string packed;
  auto field = [&](std::string_view text) {
    packed.append(text);
    packed.push_back(kField);
  };
  field(g.settings.Text("filterbuttontitlepopup"));
  field(g.settings.Text("filterfieldtext"));
  field(g.settings.Text("filterconditiontext"));
  field(g.settings.Text("filtervaluetext"));
  field(g.settings.Text("filteruseortext"));
  field(std::to_string(p.default_filter_field_index));
  field(std::to_string(p.default_filter_condition_index));
  field(g.result.built_from_command ? "1" : "0");
  packed.push_back(kRecord);
  for (const Condition& c : kConditions) field(g.settings.Text(c.text_key));
  packed.push_back(kRecord);
  for (const GridColumn& c : g.result.columns) {
    if (IsHiddenColumn(p, c) || c.type_class == TypeClass::kBinary) continue;
    field(c.name);
    field(ColumnCaptionOf(p, c));
    field(c.table);
    field(std::to_string(TypeClassCode(c.type_class)));
    field(ColumnExpression(c, g.req.database_type));
    packed.push_back(kRecord);
  }
  g.host.session->Set("PopUpFilters", Variant(EncodeArgument(packed)));

  out.append("<input type=hidden name=btnExpfilter value=\"j\">");
  out.append(MakeLink(g.settings.Text("filterbuttontextpopup"),
                      g.settings.Text("filterbuttontitlepopup"),
                      "javascript:__doGetBack('_filter')", p.paging_link_class, p.paging_link_style,
                      "", CurrentModuleState().images_url));
}

}  // namespace fennick
