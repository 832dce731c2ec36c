// The builder's procedure reports: the procedure's parameters and result
// columns, read from the database, and the pages that set them (-9, -8).
#include <algorithm>
#include <charconv>

#include "base/ascii.h"
#include "base/split.h"
#include "designer/builder/builder_session.h"
#include "fennick/page.h"

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

}  // namespace

std::vector<SourceParameter> BuilderSession::ProcedureParameters() {
  if (procedure_parameters_) return *procedure_parameters_;
  BuilderSource* source = Source();
  std::string error;
  if (source) procedure_parameters_ = source->ProcedureParameters(r_.tables, &error);
  if (!procedure_parameters_) {
    if (message_.empty()) message_ = Html(error);
    return {};
  }
  return *procedure_parameters_;
}

std::map<std::string, std::string> BuilderSession::ParameterValues() const {
  std::map<std::string, std::string> values;
  for (std::string_view entry : SplitView(r_.params, ",")) {
    std::vector<std::string> parts = SplitText(entry, "|");
    if (parts.size() == 3) values[parts[0]] = parts[1];
  }
  return values;
}

std::optional<std::vector<SourceColumn>> BuilderSession::ProcedureColumns() {
  if (procedure_columns_) return procedure_columns_;
  BuilderSource* source = Source();
  if (!source) return std::nullopt;
  std::string error;
  procedure_columns_ = source->ProcedureColumns(r_.tables, ParameterValues(), &error);
  if (!procedure_columns_) message_ = Html(error);
  return procedure_columns_;
}

// Page -9: values of the procedure's own parameters, by name; the types
// come from the database, and values are bound when the report runs.
bool BuilderSession::StepProcParams() {
  const Request& request = *host_.request;
  const std::vector<SourceParameter> parameters = ProcedureParameters();
  if (!message_.empty()) return false;
  std::vector<std::string> entries;
  const int count = std::clamp(ToInt(request.Form("p_count"), 0), 0, 200);
  for (int n = 1; n <= count; ++n) {
    const std::string name = request.Form("p_name" + std::to_string(n));
    const std::string value = request.Form("p_value" + std::to_string(n));
    const SourceParameter* known = nullptr;
    for (const SourceParameter& p : parameters) {
      if (EqualsIgnoreCase(p.name, name)) known = &p;
    }
    if (!known) {
      message_ = "The procedure has no parameter " + Html(name);
      return false;
    }
    if (value.find_first_of(",|") != std::string::npos) {
      message_ = "The value of " + Html(name) + " may not hold \",\" or \"|\"";
      return false;
    }
    entries.push_back(known->name + "|" + value + "|" + std::to_string(known->category));
  }
  r_.params = Join(entries, ",");
  procedure_columns_.reset();
  tables_.reset();
  return true;
}

// Page -8: the fields among the procedure's result columns.
bool BuilderSession::StepProcFields() {
  auto columns = ProcedureColumns();
  if (!columns) return false;
  std::vector<std::string> fields;
  if (const auto* posted = host_.request->FormFields().Values("fields")) {
    for (const std::string& value : *posted) {
      const SourceColumn* found = nullptr;
      for (const SourceColumn& c : *columns) {
        if (EqualsIgnoreCase(c.name, value)) found = &c;
      }
      if (!found) {
        message_ = "Fields: the procedure returns no field " + Html(value);
        return false;
      }
      fields.push_back(found->name);
    }
  }
  if (fields.empty()) {
    message_ = "You must select the fields to display";
    return false;
  }
  fields = InPreviousOrder(std::move(fields));
  r_.fields = Join(fields, ", ");
  return RebuildSchema(fields, &*columns);
}

}  // namespace fennick::designer
