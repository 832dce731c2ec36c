// Checking a report definition against the page, and the short-lived cache
// of the outcomes of stored definitions.
#include "designer/definition_check.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <mutex>
#include <unordered_map>

#include "base/ascii.h"
#include "base/split.h"
#include "designer/builder/builder_state.h"

namespace fennick::designer {
namespace {

const char* const kSummaryTypes[] = {"SUM", "AVG", "MIN", "MAX", "COUNT", "STDEV", "VAR"};

std::string Join(const std::vector<std::string>& items, std::string_view separator) {
  std::string out;
  for (const std::string& item : items) {
    if (!out.empty()) out += separator;
    out += item;
  }
  return out;
}

// A type category as the schema writes it; 200 (text) for anything else.
int CategoryText(std::string_view text) {
  text = TrimBlanks(text);
  for (int known : {131, 6, 7, 11, 128, 72, 200}) {
    if (text == std::to_string(known)) return known;
  }
  return 200;
}

bool IsSummaryType(std::string_view type) {
  return std::any_of(std::begin(kSummaryTypes), std::end(kSummaryTypes),
                     [&](const char* t) { return type == t; });
}

// The lists and switches that only name fields or choose how the grid
// shows them: names that are not the report's are dropped, switches put
// back in their range. Nothing here is refused: none of it is SQL.
void KeepKnownNames(ReportDefinition& r, const std::vector<std::string>& fields) {
  auto is_field = [&](std::string_view f) {
    return std::find(fields.begin(), fields.end(), f) != fields.end();
  };
  auto numeric = [&](std::string_view f) {
    const int category = CategoryText(ReportSchemaValue(r.schema, f, "t"));
    return category == 131 || category == 6;
  };
  auto keep = [&](std::string& list, bool aliases) {
    std::vector<std::string> kept;
    const std::vector<AggregateColumn> columns = AggregateColumns(r);
    for (std::string_view f : SplitTrimmed(list, ",")) {
      const bool alias =
          aliases && std::any_of(columns.begin(), columns.end(),
                                 [&](const AggregateColumn& c) { return c.alias == f; });
      if (alias || (is_field(f) && numeric(f))) kept.emplace_back(f);
    }
    list = Join(kept, ", ");
  };
  for (std::string* list : {&r.sum, &r.avg, &r.min, &r.max, &r.stdev, &r.var}) keep(*list, false);
  keep(r.nftotal, r.grpby == 1);
  keep(r.nfavg, r.grpby == 1);
  keep(r.gflds, r.grpby == 1);
  std::vector<std::string> summaries;
  for (std::string_view entry : SplitView(r.summary, ",")) {
    std::vector<std::string> parts = SplitText(entry, "__");
    if (parts.size() == 3 && is_field(parts[0]) && IsSummaryType(parts[1])) {
      summaries.emplace_back(entry);
    }
  }
  r.summary = Join(summaries, ",");
  if (!r.legend.empty() && !is_field(r.legend)) r.legend.clear();
  r.pagesize = static_cast<int16_t>(std::clamp<int>(r.pagesize, 1, 10000));
  auto one_of = [](int16_t& value, int low, int high, int fallback) {
    if (value < low || value > high) value = static_cast<int16_t>(fallback);
  };
  one_of(r.rfmt, 1, 2, 1);
  one_of(r.sonly, 0, 2, 1);
  one_of(r.join, 0, 2, 1);
  one_of(r.rtype, 1, 2, 1);
  one_of(r.graph, 0, 3, 1);
  one_of(r.conly, 0, 2, 1);
  for (int16_t* flag : {&r.grpby, &r.distinct, &r.shwsrch, &r.sortdef, &r.rownum, &r.coltotal,
                        &r.colavg, &r.rowtotal, &r.rowavg, &r.chart, &r.count, &r.distsrchtxt}) {
    one_of(*flag, 0, 1, 0);
  }
  bool master_known = r.mtbl.empty();
  for (std::string_view t : SplitTrimmed(r.tables, ",")) master_known |= t == r.mtbl;
  if (!master_known) r.mtbl.clear();
}

// --- The outcome cache of stored definitions ---------------------------------

constexpr size_t kCacheCapacity = 128;
constexpr auto kCacheLifetime = std::chrono::seconds(60);
// Larger definitions are checked every time rather than kept in memory.
constexpr size_t kLargestCached = 16 * 1024;

class CheckCache {
 public:
  std::optional<DefinitionCheck> Find(const std::string& key) {
    std::lock_guard<std::mutex> guard(mutex_);
    auto it = entries_.find(key);
    if (it == entries_.end()) return std::nullopt;
    if (it->second.until < std::chrono::steady_clock::now()) {
      entries_.erase(it);
      return std::nullopt;
    }
    return it->second.check;
  }

  void Store(const std::string& key, const DefinitionCheck& check) {
    const auto now = std::chrono::steady_clock::now();
    std::lock_guard<std::mutex> guard(mutex_);
    if (entries_.size() >= kCacheCapacity) {
      std::erase_if(entries_, [&](const auto& entry) { return entry.second.until < now; });
      // Still full: any outcome may go, it is only checked again.
      if (entries_.size() >= kCacheCapacity) entries_.erase(entries_.begin());
    }
    entries_[key] = Entry{check, now + kCacheLifetime};
  }

 private:
  struct Entry {
    DefinitionCheck check;
    std::chrono::steady_clock::time_point until;
  };
  std::mutex mutex_;
  std::unordered_map<std::string, Entry> entries_;  // GUARDED_BY(mutex_)
};

CheckCache& Cache() {
  static CheckCache* cache = new CheckCache();  // never destroyed: used until exit
  return *cache;
}

// Every part with its length in front, so no two different inputs give
// the same key.
void AddKeyPart(std::string& key, std::string_view part) {
  key += std::to_string(part.size());
  key.push_back(':');
  key.append(part);
}

std::string CacheKey(std::string_view encoded, std::string_view connection_string,
                     const SchemaListSettings& s, const DefinitionRules& rules) {
  std::string key;
  for (std::string_view part :
       {connection_string, std::string_view(s.tables_query), std::string_view(s.views_query),
        std::string_view(s.procedures_query), std::string_view(s.use_tables),
        std::string_view(s.use_procedures), std::string_view(s.hidden_tables),
        std::string_view(rules.use_fields), std::string_view(rules.hidden_fields), encoded}) {
    AddKeyPart(key, part);
  }
  AddKeyPart(key, std::to_string(s.database_type) + "," + std::to_string(rules.database_type) +
                      (s.hide_tables ? "t" : "-") + (s.hide_views ? "v" : "-") +
                      (s.hide_procedures ? "p" : "-") + (rules.allow_all_filters ? "a" : "-"));
  return key;
}

}  // namespace

std::vector<std::string> FormatCodes(int category) {
  switch (category) {
    case 131:
      return {"N2", "N1", "N4", "C8", "N3", "C1", "C3", "C4", "C5"};
    case 6:
      return {"N2", "N1", "N4", "C8", "C3", "C4", "C5"};
    case 7:
      return {"D1", "D2", "D3", "D4", "T1", "T2", "C1", "C3", "C4", "C5"};
    case 200:
      return {"S1", "S2", "S3", "S4", "S5", "S6", "C1", "D1",
              "D2", "D3", "D4", "T1", "T2", "C3", "C4", "C5"};
    case 11:
      return {"B1", "B2", "B3", "C6", "C2", "C4"};
    case 128:
      return {"O1", "C7"};
    default:
      return {};
  }
}

int FieldCategory(int database_category, std::string_view schema, std::string_view field) {
  if (database_category != 200) return database_category;
  return CategoryText(SchemaValue(schema, field, "t", ""));
}

std::vector<CheckedTable> WithoutHiddenFields(const std::vector<CheckedTable>& tables,
                                              std::string_view hidden_fields) {
  std::vector<CheckedTable> out;
  const std::vector<std::string_view> hidden = SplitTrimmed(hidden_fields, ",");
  for (const CheckedTable& table : tables) {
    CheckedTable kept;
    kept.name = table.name;
    for (size_t i = 0; i < table.columns.size(); ++i) {
      const std::string& column = table.columns[i];
      const bool is_hidden = std::any_of(hidden.begin(), hidden.end(), [&](std::string_view h) {
        return !h.empty() &&
               (EqualsIgnoreCase(h, column) || EqualsIgnoreCase(h, table.name + "." + column));
      });
      if (is_hidden) continue;
      kept.columns.push_back(column);
      if (i < table.categories.size()) kept.categories.push_back(table.categories[i]);
    }
    out.push_back(std::move(kept));
  }
  return out;
}

std::optional<std::string> CheckFieldFormat(std::string_view field, std::string_view format,
                                            int category, const SqlChecker& expressions,
                                            bool procedure, std::string* reason) {
  if (format.empty()) return std::string();
  const std::string name(field);
  if (StartsWithIgnoreCase(format, "[sql]")) {
    if (procedure) {
      *reason = "The format of " + name + ": a procedure report has no [sql] columns";
      return std::nullopt;
    }
    SqlCheck checked = expressions.Format(format);
    if (!checked.ok()) {
      *reason = "The format of " + name + ": " + checked.error;
      return std::nullopt;
    }
    return checked.sql;
  }
  const std::string code = AsciiUpper(format.substr(0, 2));
  const std::vector<std::string> codes = FormatCodes(category);
  if (std::find(codes.begin(), codes.end(), code) == codes.end()) {
    *reason = "The format " + std::string(format) + " does not suit the field " + name;
    return std::nullopt;
  }
  const std::string_view rest = format.substr(2);
  if (code == "C8" &&
      !std::all_of(rest.begin(), rest.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    *reason = "The format of " + name + ": C8 takes a number of decimal places";
    return std::nullopt;
  }
  return code + std::string(rest);
}

std::optional<std::string> CheckFilterEntry(std::string_view entry, const SqlChecker& checker,
                                            bool allow_all, std::string* reason) {
  const std::string text(entry);
  std::vector<std::string> parts = SplitText(entry, "__");
  // A ";" would end the definition's value (it is stored as ",", which
  // would split the entry): it stands as "|", as a typed "," always has.
  if (parts.size() == 3) ReplaceAll(parts[2], ";", "|");
  if (parts.size() < 2 || parts.size() > 3) {
    *reason = "The filter " + text + " is not a filter";
    return std::nullopt;
  }
  std::string error;
  const std::string field = checker.FindColumn(parts[0], &error);
  if (field.empty()) {
    *reason = "The filter " + text + ": " + error;
    return std::nullopt;
  }
  // A condition code that is no small number is code 0, which no
  // condition has.
  const std::string_view code_text = TrimBlanks(parts[1]);
  int code = 0;
  auto [end, ec] = std::from_chars(code_text.data(), code_text.data() + code_text.size(), code);
  if (ec != std::errc() || end != code_text.data() + code_text.size()) code = 0;
  SqlCheck value = checker.FilterValue(field, code, parts.size() == 3 ? parts[2] : "", allow_all);
  if (!value.ok()) {
    *reason = value.error == "Invalid search condition" ? value.error
                                                        : "The filter " + text + ": " + value.error;
    return std::nullopt;
  }
  return field + "__" + std::to_string(code) + "__" + value.sql;
}

DefinitionCheck CheckDefinition(const ReportDefinition& report, BuilderSource& source,
                                const DefinitionRules& rules,
                                const std::vector<CheckedTable>* procedure_result) {
  DefinitionCheck out;
  out.report = report;
  ReportDefinition& r = out.report;
  auto refuse = [&out](std::string_view entry, std::string reason) {
    out.entry = std::string(entry);
    out.reason = std::move(reason);
    return out;
  };
  std::string error;
  std::vector<CheckedTable> tables;
  const bool procedure = r.isproc == 1;
  r.dbt = static_cast<int16_t>(rules.database_type);
  if (procedure) {
    r.tables = std::string(TrimBlanks(r.tables));
    if (!source.IsOffered(r.tables, CatalogObjectType::kProcedure)) {
      return refuse("tables", "The procedure " + r.tables + " is not offered");
    }
    auto parameters = source.ProcedureParameters(r.tables, &error);
    if (!parameters) return refuse("tables", error);
    // Parameters by the names the procedure has, with their types.
    std::vector<std::string> entries;
    for (std::string_view entry : SplitView(r.params, ",")) {
      if (entry.empty()) continue;
      std::vector<std::string> parts = SplitText(entry, "|");
      const SourceParameter* known = nullptr;
      for (const SourceParameter& p : *parameters) {
        if (parts.size() == 3 && EqualsIgnoreCase(p.name, parts[0])) known = &p;
      }
      if (!known) {
        return refuse("params", "The procedure parameter " + std::string(entry) + " is unknown");
      }
      entries.push_back(known->name + "|" + parts[1] + "|" + std::to_string(known->category));
    }
    r.params = Join(entries, ",");
    r.filters.clear();
    r.relations.clear();
    r.grpby = 0;
    if (procedure_result) tables = *procedure_result;
  } else {
    r.params.clear();
    auto checked = source.CheckedTables(r.tables, &error);
    if (!checked) return refuse("tables", error);
    tables = std::move(*checked);
  }

  const SqlChecker checker(rules.database_type, tables);
  const bool by_name = procedure && !procedure_result;
  std::vector<std::string> fields;
  for (const std::string& f : ReportFields(r)) {
    if (f.empty()) continue;
    std::string column = by_name ? f : checker.FindColumn(f, &error);
    if (column.empty()) return refuse("fields", "Fields: " + error);
    fields.push_back(std::move(column));
  }
  if (fields.empty()) return refuse("fields", "You must select the fields to display");
  r.fields = Join(fields, ", ");

  // The schema again, one entry per field: the caption kept, the type from
  // the database, the format checked.
  const SqlChecker expressions(rules.database_type,
                               WithoutHiddenFields(tables, rules.hidden_fields));
  std::string schema;
  for (const std::string& field : fields) {
    const size_t dot = field.rfind('.');
    std::string caption = SchemaValue(r.schema, field, "c", "");
    if (caption.empty()) caption = dot == std::string::npos ? field : field.substr(dot + 1);
    int category = 200;
    if (!by_name) checker.FindColumn(field, &error, &category);
    category = FieldCategory(category, r.schema, field);
    std::optional<std::string> format = CheckFieldFormat(
        field, SchemaValue(r.schema, field, "f", ""), category, expressions, procedure, &error);
    if (!format) return refuse("schema", error);
    schema += SchemaEntry(field, caption, *format, std::to_string(category));
  }
  r.schema = schema;

  r.relations = std::string(TrimBlanks(r.relations));
  if (!r.relations.empty()) {
    SqlCheck checked = checker.Condition(r.relations);
    if (!checked.ok()) return refuse("relations", "Relations: " + checked.error);
    r.relations = checked.sql;
  }
  std::vector<std::string> filters;
  for (std::string_view entry : SplitView(r.filters, ",")) {
    if (TrimBlanks(entry).empty()) continue;
    std::optional<std::string> checked =
        CheckFilterEntry(entry, checker, rules.allow_all_filters, &error);
    if (!checked) {
      if (error == "Invalid search condition") {
        error = "The filter " + std::string(entry) + ": " + error;
      }
      return refuse("filters", error);
    }
    filters.push_back(std::move(*checked));
  }
  r.filters = Join(filters, ",");
  KeepKnownNames(r, fields);
  return out;
}

DefinitionCheck CheckStoredDefinition(std::string_view encoded, Connection& connection,
                                      std::string_view connection_string,
                                      const SchemaListSettings& offered,
                                      const DefinitionRules& rules) {
  const bool cached = encoded.size() <= kLargestCached;
  std::string key;
  if (cached) {
    key = CacheKey(encoded, connection_string, offered, rules);
    if (std::optional<DefinitionCheck> hit = Cache().Find(key)) return *hit;
  }
  ReportDefinition report;
  ReadDefinition(DecodeDefinition(encoded), report);
  BuilderSource source(connection, offered, rules.database_type, rules.use_fields);
  DefinitionCheck out = CheckDefinition(report, source, rules);
  if (cached) Cache().Store(key, out);
  return out;
}

}  // namespace fennick::designer
