// Connection: choosing the driver from the connection string, taking a
// link for it (a reused one when there is one, connection_pool.h), running
// requests, and closing itself when the server link is lost.
#include <algorithm>
#include <utility>

#include "fennick/data.h"
#include "fennick/error.h"
#include "platform/data/connection_pool.h"
#include "platform/data/data_state.h"
#include "platform/data/object_name.h"

namespace fennick {
namespace {

constexpr const char* kSource = "Connection";

std::string SupportedProviders() {
  std::string list;
  for (const data::DriverEntry& driver : data::Drivers()) {
    if (!list.empty()) list.append(", ");
    list.append(driver.provider);
  }
  return list;
}

}  // namespace

namespace data {

DriverConnection& OpenDriver(ConnectionState& connection) {
  if (!connection.driver) {
    throw Error(kErrDataNoConnection,
                "The connection cannot be used to perform this operation. It is either "
                "closed or invalid in this context.",
                kSource);
  }
  return *connection.driver;
}

ExecuteResult RunRequest(ConnectionState& connection, const ExecuteRequest& request) {
  return WithDriver(connection, [&request](DriverConnection& d) { return d.Execute(request); });
}

CommandKind ResolveCommandKind(ConnectionState& connection, int32_t options,
                               std::string_view text) {
  int32_t type = options == -1 ? kAdCmdUnknown : (options & 0x0F);
  if (options != -1 && (options & 512) != 0) type = kAdCmdTable;  // adCmdTableDirect
  switch (type) {
    case kAdCmdText:
      return CommandKind::kText;
    case kAdCmdTable:
      return CommandKind::kTable;
    case kAdCmdStoredProc:
      return CommandKind::kStoredProcedure;
    default:
      break;
  }
  if (!SplitObjectName(text)) return CommandKind::kText;
  std::optional<CatalogObjectType> found =
      WithDriver(connection, [text](DriverConnection& d) { return d.FindObject(text); });
  if (!found) return CommandKind::kText;
  return *found == CatalogObjectType::kProcedure ? CommandKind::kStoredProcedure
                                                 : CommandKind::kTable;
}

}  // namespace data

Connection::Connection() : state_(std::make_unique<data::ConnectionState>()) {}
Connection::~Connection() = default;
Connection::Connection(Connection&&) noexcept = default;
Connection& Connection::operator=(Connection&&) noexcept = default;

data::ConnectionState& Connection::OpenState() const {
  data::OpenDriver(*state_);
  return *state_;
}

void Connection::Open(std::string_view connection_string, std::string_view user,
                      std::string_view password, int32_t) {
  if (state_->driver) {
    throw Error(kErrDataObjectOpen, "Operation is not allowed when the object is open.", kSource);
  }
  if (!connection_string.empty()) state_->connection_string = connection_string;
  data::OpenSettings settings;
  settings.options = data::ConnectionString::Parse(state_->connection_string);
  settings.user = user;
  settings.password = password;
  settings.connection_timeout = state_->connection_timeout;
  std::string provider = settings.options.Get({"Provider"});
  // Without a provider: a string a driver claims (a historic MySQL
  // "Driver={MySQL ...}" string, then any other ODBC string), else a file
  // for the embedded default.
  const data::DriverEntry* driver =
      provider.empty() ? data::DriverWithoutProvider(settings.options) : data::FindDriver(provider);
  if (driver == nullptr) {
    throw Error(kErrDataProviderNotFound,
                "Provider cannot be found: '" + provider +
                    "'. Fennick opens these providers: " + SupportedProviders() + ".",
                kSource);
  }
  state_->driver = data::OpenReusable(*driver, settings);
  state_->provider = driver->provider;
}

void Connection::Close() {
  if (!state_->driver) {
    throw Error(kErrDataObjectClosed, "Operation is not allowed when the object is closed.",
                kSource);
  }
  state_->driver.reset();
  state_->provider.clear();
}

int32_t Connection::State() const { return state_->driver ? kAdStateOpen : kAdStateClosed; }

Recordset Connection::Execute(std::string_view command_text, int64_t* records_affected,
                              int32_t options) {
  data::ExecuteRequest request;
  request.kind = data::ResolveCommandKind(*state_, options, command_text);
  request.text = command_text;
  request.timeout_seconds = state_->command_timeout;
  data::ExecuteResult result = data::RunRequest(*state_, request);
  if (records_affected != nullptr) *records_affected = result.records_affected;
  return Recordset(data::MakeRecordsetState(std::move(result.rows)));
}

Cursor Connection::OpenCursor(std::string_view command_text, int32_t options) {
  data::ExecuteRequest request;
  request.kind = data::ResolveCommandKind(*state_, options, command_text);
  request.text = command_text;
  request.timeout_seconds = state_->command_timeout;
  auto state = std::make_unique<data::CursorState>();
  state->reader = data::WithDriver(
      *state_, [&request](data::DriverConnection& d) { return d.OpenCursor(request); });
  state->driver = state_->driver;
  return Cursor(std::move(state));
}

Cursor::Cursor(std::unique_ptr<data::CursorState> state) : state_(std::move(state)) {}
Cursor::~Cursor() = default;
Cursor::Cursor(Cursor&&) noexcept = default;
Cursor& Cursor::operator=(Cursor&&) noexcept = default;

Recordset Cursor::Next(size_t max_rows) {
  std::unique_ptr<data::RowSet> rows =
      state_->reader ? state_->reader->Next(std::max<size_t>(max_rows, 1)) : nullptr;
  // An exhausted result is still an open recordset, only without rows.
  if (!rows) rows = std::make_unique<data::RowSet>();
  return Recordset(data::MakeRecordsetState(std::move(rows)));
}

const std::string& Connection::ConnectionString() const { return state_->connection_string; }

void Connection::ConnectionString(std::string_view value) {
  if (state_->driver) {
    throw Error(kErrDataObjectOpen, "Operation is not allowed when the object is open.", kSource);
  }
  state_->connection_string = value;
}

int32_t Connection::CommandTimeout() const { return state_->command_timeout; }

void Connection::CommandTimeout(int32_t seconds) {
  if (seconds < 0) {
    throw Error(kErrDataInvalidArgument, "CommandTimeout cannot be negative", kSource);
  }
  state_->command_timeout = seconds;
}

int32_t Connection::ConnectionTimeout() const { return state_->connection_timeout; }

void Connection::ConnectionTimeout(int32_t seconds) {
  if (seconds < 0) {
    throw Error(kErrDataInvalidArgument, "ConnectionTimeout cannot be negative", kSource);
  }
  state_->connection_timeout = seconds;
}

const std::string& Connection::Provider() const { return state_->provider; }

std::string Connection::DbmsName() const {
  if (!state_->driver) return "";
  return data::WithDriver(*state_, [](data::DriverConnection& d) { return d.DbmsName(); });
}

std::optional<bool> Connection::BackslashEscapes() const {
  if (!state_->driver) return std::nullopt;
  return state_->driver->BackslashEscapes();
}

std::optional<bool> Connection::InTransaction() const {
  if (!state_->driver) return std::nullopt;
  return state_->driver->InTransaction();
}

}  // namespace fennick
