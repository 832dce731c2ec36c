// The builder's flow: the first call, the checks of each posted step, the
// next page and Finish.
#include "designer/builder/report_builder.h"

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <ctime>

#include "base/ascii.h"
#include "base/split.h"
#include "designer/builder/builder_session.h"
#include "designer/definition_check.h"
#include "designer/quillon2.h"
#include "designer/report_id.h"
#include "fennick/error.h"
#include "frame/error_reference.h"
#include "grid/query/database_type.h"
#include "platform/crypto/seal.h"

namespace fennick::designer {
namespace {

std::string Html(std::string_view text) { return Server::HTMLEncode(text); }

int ToInt(std::string_view text, int fallback) {
  text = TrimBlanks(text);
  int value = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || ec != std::errc() || end != text.data() + text.size()) return fallback;
  return value;
}

std::string Join(const std::vector<std::string>& items, std::string_view separator) {
  std::string out;
  for (const std::string& item : items) {
    if (!out.empty()) out += separator;
    out += item;
  }
  return out;
}


const char* const kSummaryTypes[] = {"SUM", "AVG", "MIN", "MAX", "COUNT", "STDEV", "VAR"};

}  // namespace

void RunReportBuilder(const HostContext& host, const BuilderContext& context) {
  BuilderSession(host, context).Run();
}

BuilderSession::BuilderSession(const HostContext& host, const BuilderContext& context)
    : host_(host), context_(context) {
  db_type_ = GetDatabaseType(context.connection_string, context.forced_database_type);
}

void BuilderSession::Run() {
  // The builder is a window of its own: what the hosting page wrote before
  // Init (its layout, its navigation) does not belong in it.
  if (host_.response->Buffer()) host_.response->Clear();
  session_id_ = host_.session->SessionID();
  const bool posted = host_.request->Form("a") == "p";
  if (posted ? !Posted() : !FirstCall()) return;
}

void BuilderSession::Refuse(std::string_view why) {
  host_.response->Status("403 Forbidden");
  const std::string back = context_.preserved_query.empty()
                               ? host_.page_url
                               : host_.page_url + "?" + context_.preserved_query;
  ShowMessagePage("Access Denied", Html(why), "red", back);
}

bool BuilderSession::Allowed() {
  const bool editing = !ticket_.edited_id.empty();
  if (editing ? context_.permissions.edit_report : context_.permissions.add_report) return true;
  Refuse(editing ? "You are not allowed to edit reports." : "You are not allowed to add reports.");
  return false;
}

BuilderSource* BuilderSession::Source() {
  if (source_) return source_.get();
  connection_ = std::make_unique<Connection>();
  try {
    connection_->Open(context_.connection_string);
  } catch (const Error& e) {
    message_ = "The database cannot be opened: " + Html(DatabaseErrorForPage(e.description()));
    return nullptr;
  }
  SchemaListSettings settings = context_.schema;
  if (settings.database_type <= 0) settings.database_type = db_type_;
  source_ = std::make_unique<BuilderSource>(*connection_, settings, db_type_, context_.use_fields);
  return source_.get();
}

std::optional<std::vector<CheckedTable>> BuilderSession::Tables() {
  if (tables_) return tables_;
  BuilderSource* source = Source();
  if (!source) return std::nullopt;
  std::string error;
  if (r_.isproc == 1) {
    auto columns = ProcedureColumns();
    if (!columns) return std::nullopt;
    CheckedTable t;
    t.name = r_.tables;
    for (const SourceColumn& c : *columns) {
      t.columns.push_back(c.name);
      t.categories.push_back(c.category);
    }
    tables_ = std::vector<CheckedTable>{t};
    return tables_;
  }
  tables_ = source->CheckedTables(r_.tables, &error);
  if (!tables_) message_ = Html(error);
  return tables_;
}

std::optional<SqlChecker> BuilderSession::Checker() {
  auto tables = Tables();
  if (!tables) return std::nullopt;
  return SqlChecker(db_type_, *tables);
}

const ReportDefinition& BuilderSession::Stored() {
  if (!stored_) {
    stored_.emplace();
    if (!ticket_.edited_id.empty()) {
      ReadDefinition(
          DecodeDefinition(ReportsFile(context_.reports_file).GetReportArgs(ticket_.edited_id)),
          *stored_);
    }
  }
  return *stored_;
}

bool BuilderSession::FirstCall() {
  const Request& request = *host_.request;
  const std::string erid = request.QueryString("erid");
  const std::string sp = request.QueryString("sp");
  const std::string t = request.QueryString("t");
  const std::string et = request.QueryString("et");
  // The Build button of a report page names its report, table or
  // procedure in a token sealed for this session ("R", "T" or "P" and the
  // name); the catalogue's edit links name the report in Base64.
  std::string build_table, build_procedure;
  if (!erid.empty()) {
    std::optional<std::vector<std::string>> sealed;
    try {
      sealed = OpenSealedParts(SealPurpose::kReportEdit, erid, 3);
    } catch (const Error&) {
      // Ignoring errors on purpose: without a sealer it is a Base64 id.
    }
    if (sealed && (*sealed)[1] == session_id_ && !(*sealed)[0].empty() &&
        std::atoll((*sealed)[2].c_str()) >= static_cast<long long>(std::time(nullptr))) {
      const std::string& reference = (*sealed)[0];
      const std::string name = reference.substr(1);
      if (reference[0] == 'R') {
        ticket_.edited_id = NormalizeId(name);
      } else if (reference[0] == 'T') {
        build_table = name;
      } else if (reference[0] == 'P') {
        build_procedure = name;
      }
    } else {
      ticket_.edited_id = NormalizeId(DecodeDefinition(erid));
    }
  }
  if (!ticket_.edited_id.empty()) {
    const std::string args = ReportsFile(context_.reports_file).GetReportArgs(ticket_.edited_id);
    if (!Allowed()) return false;
    if (args.empty()) {
      ShowMessagePage("Report Not Found",
                      "The report (" + Html(ticket_.edited_id) + ") has not been found", "red",
                      host_.page_url);
      return false;
    }
    ReadDefinition(DecodeDefinition(args), r_);
    ticket_.group = NormalizeId(r_.rgroup);
    r_.rid = ticket_.edited_id;
    // The stored password never goes to the browser; Finish keeps it.
    r_.rpwd.clear();
  } else {
    if (!Allowed()) return false;
    r_.pagesize = context_.default_page_size;
    r_.rownum = 1;
    r_.rtype = 1;
    r_.rfmt = 1;
    if (!build_procedure.empty()) {
      r_.tables = build_procedure;
      r_.rtitle = build_procedure + " Report";
      r_.isproc = 1;
    } else if (!build_table.empty()) {
      r_.tables = build_table;
    } else if (!sp.empty()) {
      // name [= parameters] [|+| title]; the parameters are read from the
      // database's catalogue, not from the link.
      std::string text = DecodeDefinition(sp);
      size_t title_at = text.find("|+|");
      if (title_at != std::string::npos) {
        r_.rtitle = std::string(TrimBlanks(text.substr(title_at + 3)));
        text.resize(title_at);
      }
      r_.tables = std::string(TrimBlanks(text.substr(0, text.find('='))));
      r_.isproc = 1;
    } else if (!t.empty()) {
      // "t" is a comma list, or several checked boxes joined by ", ".
      std::vector<std::string> names;
      for (std::string_view name : SplitTrimmed(t, ",")) {
        if (!name.empty()) names.emplace_back(name);
      }
      r_.tables = Join(names, ",");
    } else if (!et.empty()) {
      r_.tables = std::string(TrimBlanks(DecodeDefinition(et)));
    } else {
      // "New Report" from the catalogue: the tables are chosen first.
      ShowTableChooser();
      return true;
    }
  }
  r_.dbt = static_cast<int16_t>(db_type_);
  token_ = MakeBuilderToken(session_id_, ticket_);
  if (r_.isproc == 1) {
    has_parameters_ = !ProcedureParameters().empty();
  } else if (TrimBlanks(r_.tables).empty()) {
    message_ = "No table was chosen for the report.";
  } else {
    Tables();
  }
  if (!message_.empty() && !source_) {
    // Without a database there is no page to show.
    ShowMessagePage("Errors Occured", message_, "red", host_.page_url);
    return false;
  }
  ShowPage(PageSequence(r_, has_parameters_).front());
  return true;
}

bool BuilderSession::Posted() {
  const Request& request = *host_.request;
  std::optional<BuilderTicket> ticket = OpenBuilderToken(request.Form("tk"), session_id_);
  if (!ticket) {
    Refuse(
        "This builder window has expired or did not come from this site. Please open the "
        "builder again.");
    return false;
  }
  ticket_ = *ticket;
  if (!Allowed()) return false;
  token_ = request.Form("tk");
  ReadPostedState(request.FormFields(), context_.default_page_size, r_);
  r_.dbt = static_cast<int16_t>(db_type_);
  if (r_.isproc == 1) has_parameters_ = !ProcedureParameters().empty();
  const int src = ToInt(request.Form("src"), 0);
  const int index = ToInt(request.Form("index"), src);
  if (!ApplyStep(src)) {
    ShowPage(src);
    return true;
  }
  if (index == kPageFinish) {
    Finish();
    return true;
  }
  ShowPage(NextPage(src, index));
  return true;
}

int BuilderSession::NextPage(int src, int index) {
  // Back and Next go to the neighbour of the posting page in the report's
  // pages as they are after this step: switching the graph on in page 5
  // makes the graph pages follow it, though the Next button was drawn
  // before.
  const std::vector<int> pages = PageSequence(r_, has_parameters_);
  auto at = std::find(pages.begin(), pages.end(), src);
  auto to = std::find(pages.begin(), pages.end(), index);
  if (at == pages.end()) return to == pages.end() ? pages.front() : index;
  if (index == src) return src;
  const size_t i = at - pages.begin();
  if (to != pages.end() && to < at) return pages[i == 0 ? 0 : i - 1];
  return pages[std::min(i + 1, pages.size() - 1)];
}

bool BuilderSession::ApplyStep(int src) {
  switch (src) {
    case kPageFields:
      return StepFields();
    case kPageCaptions:
    case kPageProcCaptions:
      return StepCaptions();
    case kPageFilters:
      return StepFilters();
    case kPageDetails:
    case kPageProcDetails:
      return StepDetails();
    case kPageSummaries:
      return StepSummaries();
    case kPageAggregates:
      return StepAggregates();
    case kPageGraphFields:
      return StepGraphFields();
    case kPageChart:
      return StepChart();
    case kPageOrder:
      return StepOrder();
    case kPageProcParams:
      return StepProcParams();
    case kPageProcFields:
      return StepProcFields();
    default:
      return true;
  }
}

int BuilderSession::FieldCategory(const std::string& field) const {
  int category = 200;
  std::string error;
  if (tables_) SqlChecker(db_type_, *tables_).FindColumn(field, &error, &category);
  return designer::FieldCategory(category, r_.schema, field);
}

bool BuilderSession::IsNumericField(const std::string& field) const {
  const int category = FieldCategory(field);
  return category == 131 || category == 6;
}

std::string BuilderSession::CheckFormat(const std::string& field, const std::string& format,
                                        int category, const SqlChecker& checker, bool* ok) {
  // An [sql] expression reads only the columns the page does not hide.
  const SqlChecker expressions(db_type_,
                               WithoutHiddenFields(checker.tables(), context_.hidden_fields));
  std::string reason;
  std::optional<std::string> checked =
      CheckFieldFormat(field, format, category, expressions, r_.isproc == 1, &reason);
  *ok = checked.has_value();
  if (!checked) {
    message_ = Html(reason);
    return "";
  }
  return *checked;
}

bool BuilderSession::RebuildSchema(const std::vector<std::string>& fields,
                                   const std::vector<SourceColumn>* only_columns) {
  auto checker = Checker();
  if (!checker) return false;
  std::string schema;
  for (const std::string& field : fields) {
    const size_t dot = field.rfind('.');
    const std::string bare = dot == std::string::npos ? field : field.substr(dot + 1);
    std::string caption = SchemaValue(r_.schema, field, "c", "");
    if (caption.empty()) caption = bare;
    const int category = FieldCategory(field);
    bool ok = true;
    std::string format =
        CheckFormat(field, SchemaValue(r_.schema, field, "f", ""), category, *checker, &ok);
    if (!ok) return false;
    schema += SchemaEntry(field, caption, format, std::to_string(category));
  }
  (void)only_columns;
  r_.schema = schema;
  return true;
}

std::vector<std::string> BuilderSession::InPreviousOrder(std::vector<std::string> chosen) const {
  std::vector<std::string> ordered;
  // The posted order only orders: a name in it that is not one of the
  // chosen fields (checked boxes that passed the check) is ignored.
  const std::string previous = host_.request->Form("ofields");
  for (std::string_view item : SplitTrimmed(previous, ",")) {
    auto at = std::find(chosen.begin(), chosen.end(), item);
    if (at == chosen.end()) continue;
    ordered.push_back(std::move(*at));
    chosen.erase(at);
  }
  for (std::string& rest : chosen) ordered.push_back(std::move(rest));
  return ordered;
}

// Page 1: the fields (each a column of the report's tables), the report
// type and the relations, checked and written again.
bool BuilderSession::StepFields() {
  auto checker = Checker();
  if (!checker) return false;
  std::vector<std::string> fields;
  if (const auto* posted = host_.request->FormFields().Values("fields")) {
    for (const std::string& value : *posted) {
      for (std::string_view one : SplitTrimmed(value, ",")) {
        if (one.empty()) continue;
        std::string error;
        std::string column = checker->FindColumn(one, &error);
        if (column.empty()) {
          message_ = "Fields: " + Html(error);
          return false;
        }
        if (std::find(fields.begin(), fields.end(), column) == fields.end()) {
          fields.push_back(column);
        }
      }
    }
  }
  if (fields.empty()) {
    message_ = "You must select the fields to display";
    return false;
  }
  fields = InPreviousOrder(std::move(fields));
  r_.rtype = static_cast<int16_t>(ToInt(host_.request->Form("rtype"), 1) == 2 ? 2 : 1);
  const std::string relations(TrimBlanks(host_.request->Form("relations")));
  if (relations.empty()) {
    r_.relations = relations;
  } else {
    SqlCheck checked = checker->Condition(relations);
    if (!checked.ok()) {
      message_ = "Relations: " + Html(checked.error);
      r_.relations = relations;
      return false;
    }
    r_.relations = checked.sql;
  }
  r_.fields = Join(fields, ", ");
  return RebuildSchema(fields, nullptr);
}

// Pages 2 and -7: the i-th caption and format go to the i-th field. Each
// caption is its own posted value, so a comma in one shifts nothing.
bool BuilderSession::StepCaptions() {
  auto checker = Checker();
  if (!checker) return false;
  const std::vector<std::string> fields = ReportFields(r_);
  const FieldList& form = host_.request->FormFields();
  const std::vector<std::string> none;
  const auto* captions = form.Values("captions");
  const auto* formats = form.Values("formats");
  for (size_t i = 0; i < fields.size(); ++i) {
    if (captions && i < captions->size()) {
      ReplaceSchemaValue(r_.schema, fields[i], "c", (*captions)[i]);
    }
    if (formats && i < formats->size()) {
      bool ok = true;
      std::string format =
          CheckFormat(fields[i], (*formats)[i], FieldCategory(fields[i]), *checker, &ok);
      if (!ok) return false;
      ReplaceSchemaValue(r_.schema, fields[i], "f", format);
    }
  }
  if (form.Has("mtbl")) {
    const std::string mtbl = form.Get("mtbl");
    bool known = mtbl.empty();
    for (std::string_view t : SplitTrimmed(r_.tables, ",")) known = known || t == mtbl;
    if (!known) {
      message_ = "The master table " + Html(mtbl) + " is not one of the report's tables";
      return false;
    }
    r_.mtbl = mtbl;
  }
  return true;
}

std::optional<std::string> BuilderSession::CheckFilterEntry(const std::string& entry,
                                                            const SqlChecker& checker) {
  std::string reason;
  std::optional<std::string> checked =
      designer::CheckFilterEntry(entry, checker, context_.allow_all_filters, &reason);
  if (!checked) {
    message_ = reason == "Invalid search condition"
                   ? "<font size=1 color=red>Invalid search condition</font>"
                   : Html(reason);
  }
  return checked;
}

// Page 3: the kept filters (checked boxes), a new one, and the options.
bool BuilderSession::StepFilters() {
  auto checker = Checker();
  if (!checker) return false;
  const Request& request = *host_.request;
  std::vector<std::string> filters;
  if (const auto* kept = request.FormFields().Values("filters")) {
    for (const std::string& entry : *kept) {
      if (entry.empty()) continue;
      auto checked = CheckFilterEntry(entry, *checker);
      if (!checked) return false;
      filters.push_back(*checked);
    }
  }
  r_.join = static_cast<int16_t>(ToInt(request.Form("join"), 1) == 2 ? 2 : 1);
  r_.distinct = request.Form("distinct") == "1" ? 1 : 0;
  r_.shwsrch = request.Form("shwsrch") == "1" ? 1 : 0;
  r_.distsrchtxt = request.Form("distsrchtxt") == "1" ? 1 : 0;
  r_.filters = Join(filters, ",");
  const std::string field = request.Form("search_field");
  const std::vector<std::string> fields = ReportFields(r_);
  if (!field.empty() && std::find(fields.begin(), fields.end(), field) == fields.end()) {
    message_ = "The field " + Html(field) + " is not one of the report's fields";
    return false;
  }
  if (request.Form("no_add_search") == "1") return true;
  const int code = ToInt(request.Form("search_condition"), 0);
  if (field.empty() || code == 0) return true;
  std::string value = request.Form("search_text");
  ReplaceAll(value, ",", "|");
  auto checked = CheckFilterEntry(field + "__" + std::to_string(code) + "__" + value, *checker);
  if (!checked) return false;
  filters.push_back(*checked);
  r_.filters = Join(filters, ",");
  return true;
}

// Pages 4 and -6: title, description, id, group, password and options.
bool BuilderSession::StepDetails() {
  const Request& request = *host_.request;
  const FieldList& form = request.FormFields();
  r_.rtitle = request.Form("rtitle");
  r_.rdesc = request.Form("rdesc");
  r_.reqparam = request.Form("reqparam");
  r_.pagesize = static_cast<int16_t>(
      std::clamp(ToInt(request.Form("pagesize"), context_.default_page_size), 1, 10000));
  r_.rfmt = static_cast<int16_t>(ToInt(request.Form("rfmt"), 1) == 2 ? 2 : 1);
  if (r_.isproc != 1) r_.grpby = request.Form("grpby") == "1" ? 1 : 0;
  if (context_.permissions.edit_report_id && form.Has("rid")) r_.rid = request.Form("rid");
  if (context_.permissions.change_report_group && form.Has("rgroup")) {
    r_.rgroup = request.Form("rgroup");
  }
  if (request.Form("clearpwd") == "1") {
    r_.rpwd = SealBuilderPassword(session_id_, "");
  } else if (!request.Form("newpwd").empty()) {
    r_.rpwd = SealBuilderPassword(session_id_, request.Form("newpwd"));
  }
  return true;
}

// Page 5: summaries and footers of a plain report, aggregates of a
// summary report; the graph switch.
bool BuilderSession::StepSummaries() {
  const Request& request = *host_.request;
  const FieldList& form = request.FormFields();
  Tables();
  const std::vector<std::string> fields = ReportFields(r_);
  auto is_field = [&](std::string_view f) {
    return std::find(fields.begin(), fields.end(), f) != fields.end();
  };
  auto numeric_list = [&](std::string_view name) {
    std::vector<std::string> out;
    if (const auto* values = form.Values(name)) {
      for (const std::string& v : *values) {
        if (is_field(v) && IsNumericField(v)) out.push_back(v);
      }
    }
    return Join(out, ", ");
  };
  r_.chart = request.Form("chart") == "1" ? 1 : 0;
  if (r_.grpby == 1) {
    r_.sum = numeric_list("sum");
    r_.avg = numeric_list("avg");
    r_.min = numeric_list("min");
    r_.max = numeric_list("max");
    r_.stdev = numeric_list("stdev");
    r_.var = numeric_list("var");
    r_.count = request.Form("count") == "1" ? 1 : 0;
    r_.rowtotal = request.Form("rowtotal") == "1" ? 1 : 0;
    r_.rowavg = request.Form("rowavg") == "1" ? 1 : 0;
    return true;
  }
  r_.nftotal = numeric_list("chkNfTotal");
  r_.nfavg = numeric_list("chkNfAvg");
  r_.sonly = static_cast<int16_t>(ToInt(request.Form("sonly"), 1) == 2 ? 2 : 1);
  std::vector<std::string> summaries;
  auto add = [&](const std::string& field, const std::string& type, std::string text) {
    if (!is_field(field)) {
      message_ = "The summary field " + Html(field) + " is not one of the report's fields";
      return false;
    }
    const std::string upper = AsciiUpper(type);
    if (std::none_of(std::begin(kSummaryTypes), std::end(kSummaryTypes),
                     [&](const char* t) { return upper == t; })) {
      message_ = "The summary type " + Html(type) + " is unknown";
      return false;
    }
    // "," separates summaries and "__" their parts.
    ReplaceAll(text, ",", " ");
    ReplaceAll(text, "__", "_");
    summaries.push_back(field + "__" + upper + "__" + text);
    return true;
  };
  if (const auto* kept = form.Values("summary")) {
    for (const std::string& entry : *kept) {
      std::vector<std::string> parts = SplitText(entry, "__");
      if (parts.size() != 3) continue;
      if (!add(parts[0], parts[1], parts[2])) return false;
    }
  }
  const std::string field = request.Form("summary_field");
  const std::string type = request.Form("summary_type");
  if (!field.empty() && !type.empty() && !add(field, type, request.Form("summary_text"))) {
    return false;
  }
  r_.summary = Join(summaries, ",");
  return true;
}

// Page 13: aggregate captions (each from its own field) and footers.
bool BuilderSession::StepAggregates() {
  const Request& request = *host_.request;
  std::string agcaps;
  std::vector<std::string> totals, averages;
  const FieldList& form = request.FormFields();
  for (const AggregateColumn& column : AggregateColumns(r_)) {
    std::string caption = request.Form("txtAgCaps" + column.alias);
    // "&" and "=" delimit the captions.
    ReplaceAll(caption, "&", "+");
    ReplaceAll(caption, "=", "-");
    if (!caption.empty()) agcaps += "&" + column.alias + "=" + caption;
    auto checked = [&](std::string_view name) {
      const auto* values = form.Values(name);
      return values && std::find(values->begin(), values->end(), column.alias) != values->end();
    };
    if (checked("chkNfTotal")) totals.push_back(column.alias);
    if (checked("chkNfAvg")) averages.push_back(column.alias);
  }
  r_.agcaps = agcaps;
  r_.nftotal = Join(totals, ", ");
  r_.nfavg = Join(averages, ", ");
  return true;
}

bool BuilderSession::StepGraphFields() {
  Tables();
  std::vector<std::string> allowed;
  if (r_.grpby == 1) {
    for (const AggregateColumn& c : AggregateColumns(r_)) allowed.push_back(c.alias);
  } else {
    for (const std::string& f : ReportFields(r_)) {
      if (IsNumericField(f)) allowed.push_back(f);
    }
  }
  std::vector<std::string> chosen;
  if (const auto* values = host_.request->FormFields().Values("gflds")) {
    for (const std::string& v : *values) {
      if (std::find(allowed.begin(), allowed.end(), v) == allowed.end()) {
        message_ = "The graph field " + Html(v) + " cannot be drawn";
        return false;
      }
      chosen.push_back(v);
    }
  }
  r_.gflds = Join(chosen, ", ");
  return true;
}

bool BuilderSession::StepChart() {
  const Request& request = *host_.request;
  r_.graph = static_cast<int16_t>(std::clamp(ToInt(request.Form("graph"), 1), 1, 3));
  r_.conly = static_cast<int16_t>(ToInt(request.Form("conly"), 1) == 2 ? 2 : 1);
  const std::string legend = request.Form("legend");
  const std::vector<std::string> fields = ReportFields(r_);
  if (!legend.empty() && std::find(fields.begin(), fields.end(), legend) == fields.end()) {
    message_ = "The legend field " + Html(legend) + " is not one of the report's fields";
    return false;
  }
  r_.legend = legend;
  r_.gtitle = request.Form("gtitle");
  r_.xlabel = request.Form("xlabel");
  r_.ylabel = request.Form("ylabel");
  return true;
}

// Page 6: the new order must hold exactly the report's fields.
bool BuilderSession::StepOrder() {
  const Request& request = *host_.request;
  r_.sortdef = request.Form("sortdef") == "1" ? 1 : 0;
  r_.rownum = request.Form("rownum") == "1" ? 1 : 0;
  const auto* order = request.FormFields().Values("order");
  if (!order) return true;
  std::vector<std::string> now = ReportFields(r_);
  std::vector<std::string> wanted(order->begin(), order->end());
  std::vector<std::string> a = now, b = wanted;
  std::sort(a.begin(), a.end());
  std::sort(b.begin(), b.end());
  if (a != b) {
    message_ = "The new order must hold the report's fields, each once";
    return false;
  }
  r_.fields = Join(wanted, ", ");
  return true;
}

bool BuilderSession::CheckAll() {
  BuilderSource* source = Source();
  if (!source) return false;
  // A procedure report's fields are checked against what it returns.
  std::optional<std::vector<CheckedTable>> result;
  if (r_.isproc == 1) {
    if (!source->IsOffered(r_.tables, CatalogObjectType::kProcedure)) {
      message_ = "The procedure " + Html(r_.tables) + " is not offered";
      return false;
    }
    result = Tables();
    if (!result) return false;
  }
  DefinitionRules rules;
  rules.database_type = db_type_;
  rules.use_fields = context_.use_fields;
  rules.hidden_fields = context_.hidden_fields;
  rules.allow_all_filters = context_.allow_all_filters;
  DefinitionCheck checked = CheckDefinition(r_, *source, rules, result ? &*result : nullptr);
  if (!checked.ok()) {
    message_ = Html(checked.reason);
    return false;
  }
  r_ = std::move(checked.report);
  return true;
}

void BuilderSession::Finish() {
  if (!CheckAll()) {
    host_.response->Status("422 Unprocessable Content");
    message_ = "Could not save report: " + message_;
    ShowPage(PageSequence(r_, has_parameters_).back());
    return;
  }
  BuiltReport built;
  built.report = r_;
  built.ticket = ticket_;
  built.permissions = context_.permissions;
  if (!r_.rpwd.empty()) built.new_password = OpenBuilderPassword(r_.rpwd, session_id_);
  built.ip = host_.request->ServerVariables("REMOTE_ADDR");
  built.user = host_.request->ServerVariables("REMOTE_USER");
  SaveOutcome saved = SaveReportDefinition(ReportsFile(context_.reports_file), built);
  if (!saved.ok()) {
    host_.response->Status(FileStatusLine(saved.status));
    message_ = "Could not save report: " + Html(saved.error);
    ShowPage(PageSequence(r_, has_parameters_).back());
    return;
  }
  WriteFinishScript(saved.id);
}

}  // namespace fennick::designer
