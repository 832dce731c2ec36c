// Carrying the report state through the builder's pages.
#include "designer/builder/builder_state.h"

#include <charconv>

#include "base/ascii.h"
#include "base/split.h"

namespace fennick::designer {
namespace {

using R = ReportDefinition;

struct TextKey {
  const char* name;
  std::string R::*member;
};
struct NumberKey {
  const char* name;
  int16_t R::*member;
};

const TextKey kTextKeys[] = {
    {"tables", &R::tables},     {"fields", &R::fields},
    {"filters", &R::filters},   {"relations", &R::relations},
    {"schema", &R::schema},     {"rtitle", &R::rtitle},
    {"rdesc", &R::rdesc},       {"rgroup", &R::rgroup},
    {"rid", &R::rid},           {"summary", &R::summary},
    {"rpwd", &R::rpwd},         {"mtbl", &R::mtbl},
    {"reqparam", &R::reqparam}, {"gflds", &R::gflds},
    {"params", &R::params},     {"legend", &R::legend},
    {"gtitle", &R::gtitle},     {"xlabel", &R::xlabel},
    {"ylabel", &R::ylabel},     {"sum", &R::sum},
    {"avg", &R::avg},           {"min", &R::min},
    {"max", &R::max},           {"stdev", &R::stdev},
    {"var", &R::var},           {"nftotal", &R::nftotal},
    {"nfavg", &R::nfavg},       {"agcaps", &R::agcaps},
};

const NumberKey kNumberKeys[] = {
    {"dbt", &R::dbt},           {"pagesize", &R::pagesize}, {"rfmt", &R::rfmt},
    {"sonly", &R::sonly},       {"grpby", &R::grpby},       {"join", &R::join},
    {"distinct", &R::distinct}, {"rtype", &R::rtype},       {"shwsrch", &R::shwsrch},
    {"sortdef", &R::sortdef},   {"rownum", &R::rownum},     {"coltotal", &R::coltotal},
    {"colavg", &R::colavg},     {"rowtotal", &R::rowtotal}, {"rowavg", &R::rowavg},
    {"isproc", &R::isproc},     {"chart", &R::chart},       {"graph", &R::graph},
    {"conly", &R::conly},       {"count", &R::count},       {"distsrchtxt", &R::distsrchtxt},
};

bool ReadNumber(std::string_view text, int16_t* out) {
  text = TrimBlanks(text);
  if (text.empty()) return false;
  int16_t value = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size()) return false;
  *out = value;
  return true;
}

std::string Attribute(std::string_view text) { return Server::HTMLEncode(text); }

}  // namespace

void ReadPostedState(const FieldList& form, int16_t default_page_size, ReportDefinition& report) {
  for (const TextKey& key : kTextKeys) {
    // FieldList finds names ignoring case: "agCaps" and "agcaps" are one.
    if (form.Has(key.name)) report.*key.member = form.Get(key.name);
  }
  for (const NumberKey& key : kNumberKeys) {
    int16_t value;
    if (ReadNumber(form.Get(key.name), &value)) report.*key.member = value;
  }
  int16_t page_size;
  if (!ReadNumber(form.Get("pagesize"), &page_size) || page_size < 1) {
    report.pagesize = default_page_size;
  }
}

std::string StateHiddenFields(const ReportDefinition& report, const std::set<std::string>& own) {
  std::string out;
  for (const TextKey& key : kTextKeys) {
    if (own.count(key.name)) continue;
    out += "<input type=hidden name=\"";
    out += key.name;
    out += "\" value=\"";
    out += Attribute(report.*key.member);
    out += "\">";
  }
  for (const NumberKey& key : kNumberKeys) {
    if (own.count(key.name)) continue;
    out += "<input type=hidden name=\"";
    out += key.name;
    out += "\" value=\"";
    out += std::to_string(report.*key.member);
    out += "\">";
  }
  return out;
}

std::vector<int> PageSequence(const ReportDefinition& report, bool has_parameters) {
  if (report.isproc == 1) {
    std::vector<int> pages;
    if (has_parameters) pages.push_back(kPageProcParams);
    pages.insert(pages.end(), {kPageProcFields, kPageProcCaptions, kPageProcDetails});
    return pages;
  }
  std::vector<int> pages = {kPageFields, kPageCaptions, kPageFilters, kPageDetails, kPageSummaries};
  if (report.grpby == 1) pages.push_back(kPageAggregates);
  if (report.chart == 1) pages.insert(pages.end(), {kPageGraphFields, kPageChart});
  pages.push_back(kPageOrder);
  return pages;
}

std::vector<std::string> ReportFields(const ReportDefinition& report) {
  std::vector<std::string> out;
  for (std::string_view f : SplitTrimmed(report.fields, ",")) {
    if (!f.empty()) out.emplace_back(f);
  }
  return out;
}

std::vector<AggregateColumn> AggregateColumns(const ReportDefinition& report) {
  std::vector<AggregateColumn> out;
  if (report.count == 1) out.push_back({"COUNT_1", "Count", ""});
  const std::pair<const char*, const std::string*> lists[] = {
      {"SUM", &report.sum}, {"AVG", &report.avg},     {"MIN", &report.min},
      {"MAX", &report.max}, {"STDEV", &report.stdev}, {"VAR", &report.var}};
  for (const auto& [name, list] : lists) {
    int n = 0;
    for (std::string_view f : SplitTrimmed(*list, ",")) {
      if (f.empty()) continue;
      ++n;
      out.push_back({std::string(name) + "_" + std::to_string(n),
                     std::string(name) + "(" + std::string(f) + ")", std::string(f)});
    }
  }
  return out;
}

std::string AggregateCaption(std::string_view agcaps, std::string_view alias) {
  const std::string key = "&" + std::string(alias) + "=";
  size_t at = FindIgnoreCase(agcaps, key);
  if (at == std::string_view::npos) return std::string();
  size_t start = at + key.size();
  size_t end = agcaps.find('&', start);
  return std::string(
      agcaps.substr(start, end == std::string_view::npos ? agcaps.npos : end - start));
}

}  // namespace fennick::designer
