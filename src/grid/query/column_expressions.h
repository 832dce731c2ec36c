// The columns of a grid's result as its filters name them: each field's
// name, type class and table qualifier, found from the provider's
// base-table information and the command text.
#ifndef FENNICK_GRID_QUERY_COLUMN_EXPRESSIONS_H_
#define FENNICK_GRID_QUERY_COLUMN_EXPRESSIONS_H_

#include <string>
#include <string_view>
#include <vector>

#include "frame/field_types.h"

namespace fennick {

class Recordset;

struct GridColumn {
  std::string name;        // the field's name in the result
  std::string table;       // qualifier, "" when none is known
  std::string column;      // the column as the command names it
  int ado_type = 200;
  TypeClass type_class = TypeClass::kText;  // ClassifyFieldType of the ADO type
};

// Qualifies the fields of a result. `base_tables` holds the provider's
// base table of each field ("" when unknown), in field order.
void QualifyColumns(std::string_view command, int database_type,
                    const std::vector<std::string>& base_tables,
                    std::vector<GridColumn>& columns);

// Reads the fields of an open recordset (name, ADO type, type class) into
// `columns` and qualifies them against `command`.
void ReadColumns(Recordset& recordset, std::string_view command, int database_type,
                 std::vector<GridColumn>& columns);

// The expression the filter bar offers for a column: the quoted column, or
// quoted table and column joined by ".".
std::string ColumnExpression(const GridColumn& column, int database_type);

}  // namespace fennick

#endif  // FENNICK_GRID_QUERY_COLUMN_EXPRESSIONS_H_
