// Grouping a grid's rows into master rows: runs of adjacent records that
// agree on every master column.
#ifndef FENNICK_GRID_RENDER_MASTER_GROUPS_H_
#define FENNICK_GRID_RENDER_MASTER_GROUPS_H_

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "fennick/variant.h"

namespace fennick {

class Recordset;

// Reads the values of `columns` in row `row` (0-based) into `values`
// (resized to columns.size() by the caller).
using MasterKeyReader = std::function<void(int64_t row, std::vector<Variant>& values)>;

// Whether two master values belong to the same master: Null equals Null
// and differs from every other value; other values compare by their text.
// A value whose text cannot be made counts as different, so a failed
// comparison starts a new master instead of merging two.
bool SameMasterValue(const Variant& a, const Variant& b);

// The index of the last record of each master group, in record order, for
// `rows` records read through `read` over `column_count` master columns.
// Records group only when adjacent (C1, C2, C1 are three masters), so the
// rows must come sorted by the master columns. With no master columns the
// whole result is one group. Empty for no rows.
std::vector<int64_t> GroupEnds(int64_t rows, size_t column_count, const MasterKeyReader& read);

// GroupEnds over the first `count` rows of an open recordset (moves its
// cursor).
std::vector<int64_t> GroupEnds(Recordset& rows, int64_t count,
                               const std::vector<size_t>& master_columns);

// The group ends as text, "1,2".
std::string GroupEndsText(const std::vector<int64_t>& ends);

}  // namespace fennick

#endif  // FENNICK_GRID_RENDER_MASTER_GROUPS_H_
