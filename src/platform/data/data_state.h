// The private state behind Connection and Recordset, shared by the files
// that implement the connection API.
#ifndef FENNICK_PLATFORM_DATA_DATA_STATE_H_
#define FENNICK_PLATFORM_DATA_DATA_STATE_H_

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "fennick/data.h"
#include "fennick/error.h"
#include "platform/data/driver.h"
#include "platform/data/filter.h"
#include "platform/data/row_set.h"

namespace fennick::data {

struct ConnectionState {
  std::string connection_string;
  int32_t command_timeout = 30;
  int32_t connection_timeout = 15;
  std::string provider;                      // "" while closed
  // Null while closed. Shared with the open cursors, which keep the link
  // alive past Close.
  std::shared_ptr<DriverConnection> driver;
};

struct CursorState {
  // Declared first so it is destroyed last: the reader's statement must
  // go before the link it belongs to.
  std::shared_ptr<DriverConnection> driver;
  std::unique_ptr<RowCursor> reader;  // null when there is no result
};

// Raises kErrDataNoConnection unless the connection is open.
DriverConnection& OpenDriver(ConnectionState& connection);

// Calls `call` with the open driver. A driver that lost its server is
// dropped, which closes the connection, and the error is raised again.
template <class Call>
auto WithDriver(ConnectionState& connection, Call call) {
  DriverConnection& driver = OpenDriver(connection);
  try {
    return call(driver);
  } catch (...) {
    if (driver.Lost()) {
      connection.driver.reset();
      connection.provider.clear();
    }
    throw;
  }
}

// Runs a request on an open connection (through WithDriver).
ExecuteResult RunRequest(ConnectionState& connection, const ExecuteRequest& request);
// The kind of command `options` (or, for -1 and kAdCmdUnknown, a look at
// the catalogue) make of `text`: a bare name of a table or view reads the
// table, of a procedure calls it; anything else is SQL.
CommandKind ResolveCommandKind(ConnectionState& connection, int32_t options, std::string_view text);

struct SortKey {
  size_t column;
  bool descending;
};

struct RecordsetState {
  std::unique_ptr<RowSet> rows;  // null while closed
  // Visible rows in order, when a sort or filter is set; otherwise every
  // row is visible in fetched order and this stays empty.
  std::vector<uint32_t> view;
  bool has_view = false;
  // Index into the visible rows: -1 is BOF, the visible count is EOF.
  int64_t position = 0;

  std::string sort;
  std::vector<SortKey> sort_keys;
  std::string filter;
  FilterExpression filter_expression;

  int32_t max_records = 0;
  int32_t cursor_location = kAdUseServer;
  int32_t cursor_type = kAdOpenForwardOnly;
  int32_t lock_type = kAdLockReadOnly;

  // GetChunk progress: the field and row being read and how far.
  size_t chunk_column = SIZE_MAX;
  int64_t chunk_row = -1;
  size_t chunk_offset = 0;

  int64_t VisibleCount() const {
    return has_view ? static_cast<int64_t>(view.size()) : static_cast<int64_t>(rows->row_count);
  }
  bool AtEnd() const { return position >= VisibleCount(); }
  bool AtStart() const { return position < 0 || VisibleCount() == 0; }
  // The stored row at the current position. Raises kErrDataNoCurrentRecord
  // at BOF or EOF.
  size_t CurrentRow() const;
  size_t RowAt(int64_t position) const {
    return has_view ? view[static_cast<size_t>(position)] : static_cast<size_t>(position);
  }
  // Recomputes the visible rows from the filter and sort and moves to the
  // first.
  void RebuildView();
};

// Makes the state of an open recordset from a request's rows; nullptr
// rows give a closed recordset.
std::unique_ptr<RecordsetState> MakeRecordsetState(std::unique_ptr<RowSet> rows);

}  // namespace fennick::data

#endif  // FENNICK_PLATFORM_DATA_DATA_STATE_H_
