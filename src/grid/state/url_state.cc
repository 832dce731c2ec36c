// UrlState: the grid's state written into the address and read back from it.
#include "grid/state/url_state.h"

#include <array>

#include "fennick/data_grid.h"
#include "frame/argument_codec.h"
#include "grid/grid_object.h"
#include "grid/state/request_state.h"
#include "platform/crypto/seal.h"
#include "platform/web/http_text.h"

namespace fennick {
namespace {

// The state fields an address may carry, in the order they are written.
constexpr std::array<std::string_view, 9> kStateFields = {
    "start", "pagesize", "sort", "rsfilter", "sortdef", "sortreq", "curidx", "showall", "pgraph"};

// The values of those fields on a first request.
constexpr std::array<std::string_view, 9> kFirstRequestValues = {"1", "10", "", "", "",
                                                                  "", "0", "False", "True"};

// A state larger than this is no state the grid wrote.
constexpr size_t kMaxTokenBytes = 16 * 1024;

void AppendPair(std::string& out, std::string_view name, std::string_view value) {
  if (!out.empty()) out.push_back('&');
  out.append(name);
  out.push_back('=');
  out.append(UrlEncodeAsp(value));
}

bool IsStateField(std::string_view name) {
  for (std::string_view field : kStateFields) {
    if (field == name) return true;
  }
  return false;
}

}  // namespace

std::string UrlStateToken(const GridObject& g) {
  const GridPageState& p = *g.page;
  const GridRequestState& s = g.req;
  std::string pairs;
  if (p.start_rec != 1) AppendPair(pairs, "start", std::to_string(p.start_rec));
  if (p.page_size != 10) AppendPair(pairs, "pagesize", std::to_string(p.page_size));
  if (!s.order_list.empty()) AppendPair(pairs, "sort", s.order_list);
  if (!s.filter_expression.empty()) AppendPair(pairs, "rsfilter", s.filter_expression);
  // DefaultSortOrder and RequiredSortOrder are left out: a GET is a first
  // request to the page, which gives the grid its orders again itself.
  if (s.current_detail != 0) AppendPair(pairs, "curidx", std::to_string(s.current_detail));
  if (s.show_all_details) AppendPair(pairs, "showall", "True");
  if (!s.page_graph) AppendPair(pairs, "pgraph", "False");
  if (pairs.empty()) return pairs;
  std::string token = EncodeArgument(pairs);
  // URL-safe: "+" would read as a blank in a query string.
  for (char& c : token) {
    if (c == '+') c = '-';
    if (c == '/') c = '_';
  }
  return token;
}

std::optional<FieldList> DecodeUrlStateToken(std::string_view token) {
  if (token.empty() || token.size() > kMaxTokenBytes) return std::nullopt;
  std::string standard(token);
  for (char& c : standard) {
    if (c == '-') c = '+';
    if (c == '_') c = '/';
  }
  std::string pairs = DecodeArgument(standard);
  // The padding blanks; the values themselves are URL-encoded.
  while (!pairs.empty() && pairs.back() == ' ') pairs.pop_back();
  if (pairs.empty()) return std::nullopt;
  FieldList all;
  if (!ParseUrlEncoded(pairs, all, 2 * kStateFields.size())) return std::nullopt;
  FieldList state;
  for (size_t i = 0; i < all.Count(); ++i) {
    if (IsStateField(all.Name(i))) state.Add(all.Name(i), all.Get(i));
  }
  return state;
}

void ReadUrlState(GridObject& g) {
  const Request& request = *g.host.request;
  if (request.FormFields().Count() != 0) return;  // a post brings its own state
  const std::string token = request.QueryString(kUrlStateKey);
  if (token.empty()) return;
  std::optional<FieldList> fields = DecodeUrlStateToken(token);
  if (!fields || fields->Count() == 0) return;
  // The fields the token leaves out are at their first-request values; a
  // post reads a missing field otherwise (a missing "pgraph" as False).
  Request posted;
  for (size_t i = 0; i < kStateFields.size(); ++i) {
    const std::string_view name = kStateFields[i];
    posted.MutableForm().Add(std::string(name), fields->Has(name)
                                                    ? fields->Get(name)
                                                    : std::string(kFirstRequestValues[i]));
  }
  // A sealed value that does not open would end the request as a forged
  // post does; an address lives longer than a form (bookmarks), so its
  // state is dropped instead and the grid starts afresh.
  for (auto [name, purpose] : {std::pair{"sortdef", SealPurpose::kSortDefault},
                               std::pair{"sortreq", SealPurpose::kSortRequired}}) {
    const std::string value = posted.Form(name);
    if (!value.empty() && !OpenSealed(purpose, value)) return;
  }

  // What the page set since the grid was created stays: it would win over
  // a posted form too, being set after the form was read.
  GridPageState& p = *g.page;
  const bool page_start = p.start_rec != 1;
  const bool page_size = p.page_size != 10 || p.page_size_from_request;
  const int64_t start = p.start_rec, size = p.page_size;
  const std::string default_order = g.settings.default_sort_order;
  const std::string required_order = g.settings.required_sort_order;
  const std::string return_report = g.req.return_report;
  // The database type comes from the page's connection, not the address.
  const int database_type = g.req.database_type;

  ReadRequestFields(g, posted, false);

  if (page_start) p.start_rec = start;
  if (page_size) {
    p.page_size = size;
    p.page_size_from_request = false;
  }
  if (!default_order.empty()) g.settings.default_sort_order = default_order;
  if (!required_order.empty()) g.settings.required_sort_order = required_order;
  g.req.return_report = return_report;
  g.req.database_type = database_type;
}

void AppendUrlStateScript(const GridObject& g, std::string& out) {
  // The token is URL-safe Base64: nothing in it needs escaping in the
  // script or the page.
  out.append(
      "<script>(function(){var h=window.history;if(!h||!h.replaceState||!window.URL)return;"
      "var u=new URL(location.href),v='");
  out.append(UrlStateToken(g));
  out.append("';if(v)u.searchParams.set('");
  out.append(kUrlStateKey);
  out.append("',v);else u.searchParams.delete('");
  out.append(kUrlStateKey);
  out.append("');h.replaceState(h.state,'',u.href);})();</script>");
}

void DataGrid::UrlState(bool on) {
  if (on && !g_->settings.url_state) ReadUrlState(*g_);
  g_->settings.url_state = on;
}

}  // namespace fennick
