// Command: statements and stored procedures with parameters.
#include "fennick/data.h"
#include "base/ascii.h"
#include "fennick/error.h"
#include "platform/data/data_state.h"

namespace fennick {
namespace {

constexpr const char* kSource = "Command";

bool SameParameterName(std::string_view a, std::string_view b) {
  if (!a.empty() && a.front() == '@') a.remove_prefix(1);
  if (!b.empty() && b.front() == '@') b.remove_prefix(1);
  return EqualsIgnoreCase(a, b);
}

[[noreturn]] void NotFound(std::string_view what) {
  throw Error(kErrDataItemNotFound,
              "Item cannot be found in the collection corresponding to the requested name "
              "or ordinal: " +
                  std::string(what),
              kSource);
}

}  // namespace

Parameter Command::CreateParameter(std::string_view name, int32_t type, int32_t direction,
                                   int32_t size, Variant value) const {
  return Parameter(std::string(name), type, direction, size, std::move(value));
}

void Command::AppendParameter(Parameter parameter) { parameters_.push_back(std::move(parameter)); }

Parameter& Command::Parameters(size_t index) {
  if (index >= parameters_.size()) NotFound(std::to_string(index));
  return parameters_[index];
}

Parameter& Command::Parameters(std::string_view name) {
  for (Parameter& p : parameters_) {
    if (SameParameterName(p.Name(), name)) return p;
  }
  NotFound(name);
}

Recordset Command::Execute(int64_t* records_affected) { return Run(records_affected, 0); }

Recordset Command::Run(int64_t* records_affected, int32_t max_records) {
  if (connection_ == nullptr) {
    throw Error(kErrDataNoConnection,
                "The connection cannot be used to perform this operation. It is either "
                "closed or invalid in this context.",
                kSource);
  }
  data::ConnectionState& conn = connection_->OpenState();
  data::ExecuteRequest request;
  request.kind = data::ResolveCommandKind(conn, type_, text_);
  request.text = text_;
  request.parameters = parameters_;
  request.max_records = max_records;
  request.timeout_seconds = timeout_ >= 0 ? timeout_ : conn.command_timeout;
  data::ExecuteResult result = data::RunRequest(conn, request);
  if (records_affected != nullptr) *records_affected = result.records_affected;
  return Recordset(data::MakeRecordsetState(std::move(result.rows)));
}

}  // namespace fennick
