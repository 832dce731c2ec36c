// Reading a grid's request: the first request, the post of its form, the
// filter bar's fields and the postback argument of a clicked link.
//
// Everything read here came from the browser. Numbers that do not parse
// fall back to their first-request values, sort lists keep only column
// numbers, a sealed field that does not open as its own ends the request
// with HTTP 400, and filter-bar
// values are quoted with their quotes doubled. The filter as a whole is
// checked against the grid's columns when the grid opens its query.
#include "grid/state/request_state.h"

#include <cmath>

#include "base/ascii.h"
#include "fennick/variant.h"
#include "frame/argument_codec.h"
#include "frame/module_state.h"
#include "frame/refuse_request.h"
#include "grid/grid_object.h"
#include "grid/query/database_type.h"
#include "grid/query/order_list.h"
#include "grid/state/export_argument.h"
#include "platform/crypto/seal.h"
#include "platform/intl/format.h"

namespace fennick {
namespace {

// An integer of a posted text, or `fallback` when the text is no number.
int64_t PostedInteger(std::string_view text, int64_t fallback) {
  double value = 0;
  if (!ParseNumber(text, value) || !std::isfinite(value) || std::fabs(value) > 9e15) {
    return fallback;
  }
  return static_cast<int64_t>(std::nearbyint(value));
}

// "dbtype" is read by its leading number, 0 when there is none.
int LeadingInteger(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  int value = 0;
  bool any = false;
  while (i < text.size() && text[i] >= '0' && text[i] <= '9' && value < 100000) {
    value = value * 10 + (text[i] - '0');
    ++i;
    any = true;
  }
  return any ? value : 0;
}

bool PostedBoolean(std::string_view text) {
  if (text.empty()) return false;
  try {
    return Variant(text).AsBool();
  } catch (const std::exception&) {
    return false;  // not a Boolean text: off
  }
}

// The text of a sealed field. A value that does not open for the field's
// purpose (forged, another server's, or a token of another field, such as
// a download link's) is refused before the grid runs anything, with a
// message that says nothing of what the value held.
std::string OpenSealedField(const GridObject& g, SealPurpose purpose, const std::string& value) {
  if (value.empty()) return std::string();
  std::optional<std::string> opened = OpenSealed(purpose, value);
  if (!opened) RefuseRequest(*g.host.response, "400 Bad Request", "The form is not valid.");
  return *std::move(opened);
}

// The index of a filter condition as the condition select numbers them.
int ConditionIndex(std::string_view condition) {
  std::string c(TrimBlanks(condition));
  if (c == "LIKE '%v%'") return 1;
  if (c == "=") return 2;
  if (c == "<>" || c == "&lt;&gt;") return 3;
  if (c == "<" || c == "&lt;") return 4;
  if (c == ">" || c == "&gt;") return 5;
  return 0;
}

// Whether a condition is one the filter bar offers.
bool IsOfferedCondition(std::string_view condition) {
  std::string c(TrimBlanks(condition));
  return ConditionIndex(c) != 0 || c == "LIKE 'v%'";
}

// A plain decimal number: such values stay bare in the clause.
bool IsPlainNumber(std::string_view text) {
  size_t i = 0;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) ++i;
  size_t digits = 0, dots = 0;
  for (; i < text.size(); ++i) {
    if (text[i] >= '0' && text[i] <= '9') {
      ++digits;
    } else if (text[i] == '.' && dots == 0) {
      ++dots;
    } else {
      return false;
    }
  }
  return digits > 0 && text.back() != '.';
}

std::string DoubleQuotes(std::string_view text) {
  std::string out;
  out.reserve(text.size() + 2);
  for (char c : text) {
    out.push_back(c);
    if (c == '\'') out.push_back('\'');
  }
  return out;
}

// The value of a filter-bar clause, quoted for the database.
std::string ClauseValue(std::string_view text, std::string_view field, int database_type) {
  if (IsPlainNumber(text)) return std::string(text);
  double date = 0;
  if (intl::ParseLocaleDate(text, date)) {
    DateParts p = SplitOleDate(date);
    if (database_type == kDbAccess) return "#" + DoubleQuotes(text) + "#";
    if (database_type == kDbMySql && ContainsIgnoreCase(field, "date")) {
      return "'" + std::to_string(p.year) + "-" + std::to_string(p.month) + "-" +
             std::to_string(p.day) + "'";
    }
    if (database_type == kDbSQLite) {
      // SQLite compares dates as ISO text.
      char iso[16];
      std::snprintf(iso, sizeof iso, "%04d-%02d-%02d", p.year, p.month, p.day);
      return std::string("'") + iso + "'";
    }
  }
  return "'" + DoubleQuotes(text) + "'";
}

void ReadFilterBar(GridObject& g, const Request& r) {
  const std::string field = r.Form("search_field");
  const std::string condition = r.Form("search_condition");
  if (field.empty() || condition.empty()) return;
  g.req.database_type = LeadingInteger(r.Form("dbtype"));
  const std::string text = r.Form("search_text");
  if (text.empty()) {
    if (!r.Form("useddst").empty() || g.page->default_filter_condition_index >= 0) {
      g.page->default_filter_condition_index = static_cast<int16_t>(ConditionIndex(condition));
    }
    return;
  }
  // A condition the bar never offers is not turned into SQL.
  if (!IsOfferedCondition(condition)) return;
  std::string clause;
  if (condition.find('%') != std::string::npos) {
    std::string filled;
    for (char c : condition) {
      if (c == 'v') {
        filled.append(DoubleQuotes(text));
      } else {
        filled.push_back(c);
      }
    }
    clause = field + filled;
  } else {
    clause = field + " " + condition + " " + ClauseValue(text, field, g.req.database_type);
  }
  g.req.filter_before_clause = g.req.filter_expression;
  g.req.clause_field = field;
  g.req.has_new_clause = true;
  g.req.clause = clause;
  g.req.clause_text = text;
  g.req.clause_condition = condition;
  if (r.Form("clearfilters") == "ON") {
    g.req.filter_expression.clear();
  } else if (!TrimBlanks(g.req.filter_expression).empty()) {
    // Any existing condition is joined; a short one ("x=1") glued to the
    // new clause would make the filter unreadable.
    g.req.filter_expression.append(" AND ");
  }
  g.req.filter_expression.append(clause);
}

void ApplyPostBack(GridObject& g, const std::string& argument) {
  if (argument.empty() || argument[0] < '1' || argument[0] > '9') return;
  const std::string rest = argument.substr(1);
  switch (argument[0]) {
    case '1':
      g.req.requested_sort = SanitizeOrderList(GetArgument(rest, "sort"));
      g.req.last_sort = SanitizeOrderList(GetArgument(rest, "lastsort"));
      g.req.remove_sort = TrimBlanks(GetArgument(rest, "rsort")) == "1";
      break;
    case '2': {
      const int64_t start = std::max<int64_t>(1, PostedInteger(GetArgument(rest, "start"), 1));
      // Every page link moves the start; only Reload (and Close in the
      // print view) posts the start the form already holds.
      g.req.reload = start == g.page->start_rec;
      g.page->start_rec = start;
      break;
    }
    case '3':
      g.req.requested_sort.clear();
      g.req.last_sort.clear();
      g.req.filter_expression.clear();
      g.req.has_new_clause = false;
      g.page->start_rec = std::max<int64_t>(1, PostedInteger(GetArgument(rest, "start"), 1));
      break;
    case '4': {
      const std::string format = AsciiLower(GetArgument(rest, "fmt"));
      g.req.export_request.format = TrimBlanks(format);
      g.req.export_request.captions = GetArgument(rest, "hdr");
      // The caption list stays encoded until it is split at its commas.
      g.settings.title = DecodeExportValue(GetArgument(rest, "ttl"));
      g.page->date_format_list = DecodeExportValue(GetArgument(rest, "dat"));
      g.page->number_format_list = DecodeExportValue(GetArgument(rest, "num"));
      g.req.export_request.pending = true;
      break;
    }
    case '5':
      g.req.print_view = true;
      break;
    case '6':
      g.req.current_detail = PostedInteger(GetArgument(rest, "curidx"), 0);
      g.req.show_all_details = false;
      break;
    case '7':
      g.req.show_all_details = true;
      break;
    case '8':
      g.req.page_graph = false;
      break;
    case '9':
      g.req.page_graph = true;
      break;
  }
}

void ApplyCreationResets(GridObject& g) {
  GridPageState& p = *g.page;
  g.settings.graph_type = 0;
  g.settings.graph_only = false;
  p.header_sort_links = true;
  p.page_results = true;
  p.add_row_numbers = true;
  p.can_filter = true;
  p.grid_width = "100%";
  p.grid_align.clear();
  p.border = 0;
  p.cell_padding = 2;
  p.cell_spacing = 1;
  for (std::string* attr :
       {&p.grid_class, &p.header_class, &p.item_class, &p.alt_item_class, &p.link_class,
        &p.footer_class, &p.paging_link_class, &p.header_link_class, &p.grid_style,
        &p.header_style, &p.item_style, &p.alt_item_style, &p.link_style, &p.footer_style,
        &p.header_text_style}) {
    attr->clear();
  }
  p.text_box_style =
      " style=\"border:1px solid gray;font-size:9px;font-family:tahoma;padding:0px;"
      "text-align:center;\"";
  p.filter_field_style = " style=\"font-size:9pt;\"";

  auto& t = g.settings.texts;
  t["printtext"] = "Print";
  t["xlstext"] = "Excel";
  t["csvtext"] = "CSV";
  t["xmltext"] = "XML";
  t["txttext"] = "Text";
  t["pdftext"] = "PDF";
  t["xlsxtext"] = "Excel (.xlsx)";
  t["xlsxtitle"] = "Excel (.xlsx)";
  t["doctext"] = "Doc";
  t["sortorderdesctext"] = "<i>descending</i>";
  t["summarylabeltext"] = "<b>Summary:</b>";
  t["filterbuttontextpopup"] = "Search";
  t["filterbuttontitlepopup"] = "Filter this report";
  t["filterfieldtext"] = "Field";
  t["filterconditiontext"] = "Condition";
  t["filtervaluetext"] = "Value";
  t["filteruseortext"] = "Use <b>OR</b>";
  t["resetfilterstext"] = "Reset filters";
  t["graphpagingtext"] = "View Current";
  t["graphpagingtitle"] = "View only current records";
  t["removegraphpagingtext"] = "View All";
  t["removegraphpagingtitle"] = "View all records";
  t["startswithtext"] = "starts with";
}

}  // namespace

void BoundRequestedPageSize(GridPageState& page) {
  const int32_t cap = CurrentModuleState().max_page_size;
  if (!page.page_size_from_request || cap <= 0) return;
  // A posted 0 asks for every row: as much as the largest page.
  if (page.page_size <= 0 || page.page_size > cap) page.page_size = cap;
}

void ReadRequestState(GridObject& g) { ReadRequestFields(g, *g.host.request, true); }

void ReadRequestFields(GridObject& g, const Request& r, bool creation) {
  GridRequestState& s = g.req;
  if (r.FormFields().Count() == 0) {
    g.page->start_rec = 1;
    g.page->page_size = 10;
    g.page->page_size_from_request = false;
    s.remove_sort = false;
    s.return_report = r.QueryString("rurl1");
    s.current_detail = 0;
    s.show_all_details = false;
    s.page_graph = true;
  } else {
    s.return_report = r.Form("rurl1");
    g.page->start_rec = std::max<int64_t>(1, PostedInteger(r.Form("start"), 1));
    double npagesize = 0;
    int64_t size = -1;
    if (ParseNumber(r.Form("npagesize"), npagesize) && std::isfinite(npagesize) &&
        std::fabs(npagesize) < 9e15) {
      size = static_cast<int64_t>(std::nearbyint(npagesize));
    }
    if (size < 0) size = std::max<int64_t>(0, PostedInteger(r.Form("pagesize"), 10));
    g.page->page_size = size;
    g.page->page_size_from_request = true;
    s.current_detail = PostedInteger(r.Form("curidx"), 0);
    s.show_all_details = PostedBoolean(r.Form("showall"));
    s.page_graph = PostedBoolean(r.Form("pgraph"));
    s.remove_sort = TrimBlanks(r.Form("rsort")) == "1";
    s.last_sort = SanitizeOrderList(r.Form("lastsort"));
    s.requested_sort = SanitizeOrderList(r.Form("sort"));
    g.settings.default_sort_order = OpenSealedField(g, SealPurpose::kSortDefault, r.Form("sortdef"));
    g.settings.required_sort_order = OpenSealedField(g, SealPurpose::kSortRequired, r.Form("sortreq"));
    // The posted "mastercols" is not read: the master columns are worked
    // out again from the grid's own columns (grid/query/master_columns.h).
    g.page->master_columns.clear();
    s.filter_expression = r.Form("rsfilter");
    s.posted_row_count = r.Form("rowcount");
    s.database_type = LeadingInteger(r.Form("dbtype"));
    s.clear_filters_checked = r.Form("clearfilters") == "ON";
    s.posted_search_field = r.Form("search_field");
    s.posted_use_dropdown = r.Form("useddst");
    ReadFilterBar(g, r);
    const std::string args = r.Form("__FARGS");
    if (!args.empty()) ApplyPostBack(g, DecodeArgument(args));
  }
  if (creation) ApplyCreationResets(g);
}

}  // namespace fennick
