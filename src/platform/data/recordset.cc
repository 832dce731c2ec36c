// Recordset: opening, the cursor, and reading rows out whole.
#include <algorithm>
#include <utility>

#include "fennick/data.h"
#include "base/ascii.h"
#include "fennick/error.h"
#include "platform/data/data_state.h"

namespace fennick {
namespace {

constexpr const char* kSource = "Recordset";

[[noreturn]] void NoCurrentRecord() {
  throw Error(kErrDataNoCurrentRecord,
              "Either BOF or EOF is True, or the current record has been deleted. "
              "Requested operation requires a current record.",
              kSource);
}

[[noreturn]] void ObjectOpen() {
  throw Error(kErrDataObjectOpen, "Operation is not allowed when the object is open.", kSource);
}

[[noreturn]] void InvalidArgument(std::string_view what) {
  throw Error(kErrDataInvalidArgument,
              "Arguments are of the wrong type, are out of acceptable range, or are in "
              "conflict with one another: " +
                  std::string(what),
              kSource);
}

}  // namespace

namespace data {

size_t RecordsetState::CurrentRow() const {
  if (AtStart() || AtEnd()) NoCurrentRecord();
  return RowAt(position);
}

std::unique_ptr<RecordsetState> MakeRecordsetState(std::unique_ptr<RowSet> rows) {
  auto state = std::make_unique<RecordsetState>();
  if (rows) {
    state->rows = std::move(rows);
    state->cursor_type = kAdOpenStatic;
  }
  return state;
}

}  // namespace data

Recordset::Recordset() : state_(std::make_unique<data::RecordsetState>()) {}
Recordset::Recordset(std::unique_ptr<data::RecordsetState> state) : state_(std::move(state)) {}
Recordset::~Recordset() = default;
Recordset::Recordset(Recordset&&) noexcept = default;
Recordset& Recordset::operator=(Recordset&&) noexcept = default;

data::RecordsetState& Recordset::OpenState() const {
  if (!state_ || !state_->rows) {
    throw Error(kErrDataObjectClosed, "Operation is not allowed when the object is closed.",
                kSource);
  }
  return *state_;
}

void Recordset::Open(std::string_view source, Connection& connection, int32_t cursor_type,
                     int32_t lock_type, int32_t options) {
  if (state_->rows) ObjectOpen();
  data::ConnectionState& conn = connection.OpenState();
  data::ExecuteRequest request;
  request.kind = data::ResolveCommandKind(conn, options, source);
  request.text = source;
  request.max_records = state_->max_records;
  request.timeout_seconds = conn.command_timeout;
  data::ExecuteResult result = data::RunRequest(conn, request);
  state_->rows = std::move(result.rows);
  state_->chunk_column = SIZE_MAX;
  if (state_->rows) {
    state_->cursor_type = kAdOpenStatic;
    state_->lock_type = lock_type > 0 ? lock_type : kAdLockReadOnly;
    state_->position = 0;
  }
  (void)cursor_type;  // every cursor is static
}

void Recordset::Open(std::string_view source, std::string_view connection_string,
                     int32_t cursor_type, int32_t lock_type, int32_t options) {
  if (state_->rows) ObjectOpen();
  Connection connection;
  connection.Open(connection_string);
  Open(source, connection, cursor_type, lock_type, options);
}

void Recordset::Open(Command& command, int32_t, int32_t lock_type) {
  if (state_->rows) ObjectOpen();
  Recordset opened = command.Run(nullptr, state_->max_records);
  if (!opened.state_->rows) return;
  // Fields taken from this recordset before keep pointing at its state.
  data::RecordsetState& s = *state_;
  s.rows = std::move(opened.state_->rows);
  s.cursor_type = kAdOpenStatic;
  s.lock_type = lock_type > 0 ? lock_type : kAdLockReadOnly;
  s.position = 0;
}

void Recordset::Close() {
  data::RecordsetState& s = OpenState();
  // Reset in place: fields taken from this recordset see it closed.
  s.rows.reset();
  s.view = {};
  s.has_view = false;
  s.position = 0;
  s.sort.clear();
  s.sort_keys.clear();
  s.filter.clear();
  s.filter_expression = data::FilterExpression();
  s.chunk_column = SIZE_MAX;
  s.cursor_type = kAdOpenForwardOnly;
}

int32_t Recordset::State() const { return state_ && state_->rows ? kAdStateOpen : kAdStateClosed; }

bool Recordset::Eof() const { return OpenState().AtEnd(); }
bool Recordset::Bof() const { return OpenState().AtStart(); }

void Recordset::MoveFirst() { OpenState().position = 0; }

void Recordset::MoveLast() {
  data::RecordsetState& s = OpenState();
  s.position = s.VisibleCount() > 0 ? s.VisibleCount() - 1 : 0;
}

void Recordset::MoveNext() {
  data::RecordsetState& s = OpenState();
  if (s.AtEnd()) NoCurrentRecord();
  ++s.position;
}

void Recordset::MovePrevious() {
  data::RecordsetState& s = OpenState();
  if (s.AtStart()) NoCurrentRecord();
  --s.position;
}

void Recordset::Move(int32_t rows) {
  data::RecordsetState& s = OpenState();
  if (rows == 0) return;
  if ((rows > 0 && s.AtEnd()) || (rows < 0 && s.AtStart())) NoCurrentRecord();
  s.position = std::clamp<int64_t>(s.position + rows, -1, s.VisibleCount());
}

int32_t Recordset::RecordCount() const {
  return static_cast<int32_t>(std::min<int64_t>(OpenState().VisibleCount(), INT32_MAX));
}

int32_t Recordset::AbsolutePosition() const {
  const data::RecordsetState& s = OpenState();
  if (s.AtEnd()) return -3;    // adPosEOF
  if (s.AtStart()) return -2;  // adPosBOF
  return static_cast<int32_t>(s.position + 1);
}

void Recordset::AbsolutePosition(int32_t position) {
  data::RecordsetState& s = OpenState();
  if (position < 1 || position > s.VisibleCount()) InvalidArgument("AbsolutePosition");
  s.position = position - 1;
}

size_t Recordset::FieldCount() const { return OpenState().rows->columns.size(); }

Field Recordset::Fields(size_t index) {
  data::RecordsetState& s = OpenState();
  if (index >= s.rows->columns.size()) {
    throw Error(kErrDataItemNotFound,
                "Item cannot be found in the collection corresponding to the requested "
                "name or ordinal: " +
                    std::to_string(index),
                kSource);
  }
  return Field(&s, index);
}

Field Recordset::Fields(std::string_view name) {
  data::RecordsetState& s = OpenState();
  const auto& columns = s.rows->columns;
  for (size_t i = 0; i < columns.size(); ++i) {
    if (EqualsIgnoreCase(columns[i].info().name, name)) {
      return Field(&s, i);
    }
  }
  throw Error(kErrDataItemNotFound,
              "Item cannot be found in the collection corresponding to the requested name "
              "or ordinal: " +
                  std::string(name),
              kSource);
}

std::vector<std::vector<Variant>> Recordset::GetRows(int32_t rows) {
  data::RecordsetState& s = OpenState();
  const auto& columns = s.rows->columns;
  std::vector<std::vector<Variant>> out(columns.size());
  if (s.AtEnd()) return out;
  if (s.AtStart()) NoCurrentRecord();
  int64_t available = s.VisibleCount() - s.position;
  int64_t count = rows < 0 ? available : std::min<int64_t>(rows, available);
  for (size_t c = 0; c < columns.size(); ++c) {
    out[c].reserve(static_cast<size_t>(count));
    for (int64_t i = 0; i < count; ++i) out[c].push_back(columns[c].Value(s.RowAt(s.position + i)));
  }
  s.position += count;
  return out;
}

std::string Recordset::GetString(int32_t format, int32_t rows, std::string_view column_delimiter,
                                 std::string_view row_delimiter, std::string_view null_expr) {
  data::RecordsetState& s = OpenState();
  if (format != kAdClipString) InvalidArgument("only the clip string format (2) exists");
  std::string out;
  if (s.AtEnd()) return out;
  if (s.AtStart()) NoCurrentRecord();
  const auto& columns = s.rows->columns;
  int64_t available = s.VisibleCount() - s.position;
  int64_t count = rows < 0 ? available : std::min<int64_t>(rows, available);
  for (int64_t i = 0; i < count; ++i) {
    size_t row = s.RowAt(s.position + i);
    for (size_t c = 0; c < columns.size(); ++c) {
      if (c > 0) out.append(column_delimiter);
      if (columns[c].IsNull(row)) {
        out.append(null_expr);
      } else {
        columns[c].AppendText(row, out);
      }
    }
    out.append(row_delimiter);
  }
  s.position += count;
  return out;
}

int32_t Recordset::MaxRecords() const { return state_->max_records; }

void Recordset::MaxRecords(int32_t value) {
  if (state_->rows) ObjectOpen();
  if (value < 0) InvalidArgument("MaxRecords");
  state_->max_records = value;
}

int32_t Recordset::CursorLocation() const { return state_->cursor_location; }

void Recordset::CursorLocation(int32_t value) {
  if (state_->rows) ObjectOpen();
  if (value != kAdUseServer && value != kAdUseClient) InvalidArgument("CursorLocation");
  state_->cursor_location = value;
}

int32_t Recordset::CursorType() const { return state_->cursor_type; }
int32_t Recordset::LockType() const { return state_->lock_type; }

}  // namespace fennick
