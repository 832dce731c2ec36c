// Grouping a grid's rows into master rows. The grouping is done on the
// fetched rows in one pass; no query is run for it.
#include "grid/render/master_groups.h"

#include <utility>

#include "fennick/data.h"
#include "fennick/error.h"

namespace fennick {

bool SameMasterValue(const Variant& a, const Variant& b) {
  if (a.IsNull() || b.IsNull()) return a.IsNull() && b.IsNull();
  // Equal values of one type have equal text; this spares the texts for
  // the common case of a master repeated over its details.
  if (a.type() == b.type() && a == b) return true;
  try {
    return a.AsString() == b.AsString();
  } catch (const Error&) {
    // Ignoring the error on purpose: values whose text cannot be made are
    // kept apart, never merged into one master.
    return false;
  }
}

std::vector<int64_t> GroupEnds(int64_t rows, size_t column_count, const MasterKeyReader& read) {
  std::vector<int64_t> ends;
  if (rows <= 0) return ends;
  if (column_count > 0) {
    std::vector<Variant> current(column_count);
    std::vector<Variant> next(column_count);
    read(0, current);
    for (int64_t r = 0; r + 1 < rows; ++r) {
      read(r + 1, next);
      for (size_t c = 0; c < column_count; ++c) {
        if (!SameMasterValue(current[c], next[c])) {
          ends.push_back(r);
          break;
        }
      }
      std::swap(current, next);
    }
  }
  ends.push_back(rows - 1);
  return ends;
}

std::vector<int64_t> GroupEnds(Recordset& rows, int64_t count,
                               const std::vector<size_t>& master_columns) {
  return GroupEnds(count, master_columns.size(),
                   [&](int64_t row, std::vector<Variant>& values) {
                     rows.AbsolutePosition(static_cast<int32_t>(row + 1));
                     for (size_t c = 0; c < master_columns.size(); ++c) {
                       values[c] = rows.Fields(master_columns[c]).Value();
                     }
                   });
}

std::string GroupEndsText(const std::vector<int64_t>& ends) {
  std::string text;
  for (int64_t end : ends) {
    if (!text.empty()) text.push_back(',');
    text.append(std::to_string(end));
  }
  return text;
}

}  // namespace fennick
