// Column qualifiers from base-table information and the command text.
#include "grid/query/column_expressions.h"

#include "base/ascii.h"
#include "fennick/data.h"
#include "frame/field_types.h"
#include "grid/query/database_type.h"

namespace fennick {
namespace {

std::string RemoveChars(std::string_view text, std::string_view chars) {
  std::string out;
  for (char c : text) {
    if (chars.find(c) == std::string_view::npos) out.push_back(c);
  }
  return out;
}

// The FROM part of a command: from " FROM " on, cut before WHERE, ORDER BY
// and GROUP BY.
std::string FromPart(std::string_view command) {
  std::string upper = AsciiUpper(command);
  size_t from = upper.find(" FROM ");
  if (from == std::string::npos) return std::string();
  std::string part(command.substr(from + 6));
  std::string part_upper = upper.substr(from + 6);
  for (const char* cut : {" WHERE ", " ORDER BY ", " GROUP BY "}) {
    size_t at = part_upper.find(cut);
    if (at != std::string::npos) {
      part.resize(at);
      part_upper.resize(at);
    }
  }
  return part;
}

// Whether the FROM part names `table` as a whole name: "SupplierSummary"
// does not name the table "Suppliers".
bool NamesTable(std::string_view from_part, std::string_view table) {
  if (table.empty()) return false;
  const std::string hay = AsciiUpper(from_part);
  const std::string needle = AsciiUpper(table);
  auto is_name_char = [](char c) {
    return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '$' ||
           static_cast<unsigned char>(c) >= 0x80;
  };
  for (size_t at = hay.find(needle); at != std::string::npos; at = hay.find(needle, at + 1)) {
    bool starts = at == 0 || !is_name_char(hay[at - 1]);
    size_t end = at + needle.size();
    bool ends = end == hay.size() || !is_name_char(hay[end]);
    if (starts && ends) return true;
  }
  return false;
}

}  // namespace

void QualifyColumns(std::string_view command, int database_type,
                    const std::vector<std::string>& base_tables,
                    std::vector<GridColumn>& columns) {
  for (auto& c : columns) c.column = c.name;
  const std::string upper = AsciiUpper(command);
  size_t select = upper.find("SELECT ");
  size_t from = upper.find(" FROM ");
  if (select != std::string::npos && from != std::string::npos && from > select &&
      std::string_view(command.substr(0, from)).find('.') != std::string_view::npos &&
      upper.find(" AS ") == std::string::npos) {
    size_t start = select + 7;
    size_t distinct = upper.find(" DISTINCT ");
    if (distinct != std::string::npos && distinct < from) start = distinct + 10;
    std::string list(command.substr(start, from - start));
    list = RemoveChars(list, database_type == kDbMySql ? "`" : "[]");
    size_t index = 0;
    size_t pos = 0;
    while (pos <= list.size() && index < columns.size()) {
      size_t comma = list.find(',', pos);
      if (comma == std::string::npos) comma = list.size();
      std::string item = std::string(TrimSpace(std::string_view(list).substr(pos, comma - pos)));
      size_t dot = item.find('.');
      if (dot != std::string::npos) {
        columns[index].table = TrimSpace(std::string_view(item).substr(0, dot));
        columns[index].column = TrimSpace(std::string_view(item).substr(dot + 1));
      } else {
        columns[index].table.clear();
      }
      ++index;
      pos = comma + 1;
    }
    return;
  }

  const std::string from_part = FromPart(command);
  bool any_table = false;
  for (size_t i = 0; i < columns.size(); ++i) {
    const std::string& base = i < base_tables.size() ? base_tables[i] : std::string();
    columns[i].table = (!base.empty() && NamesTable(from_part, base)) ? base : "";
    any_table = any_table || !columns[i].table.empty();
  }
  if (any_table) return;

  // No table from the provider: read it from the command text.
  if (upper.rfind("SELECT * ", 0) == 0 && from_part.find(',') == std::string::npos &&
      !from_part.empty()) {
    std::string table = std::string(TrimSpace(RemoveChars(from_part, "[]`")));
    for (auto& c : columns) c.table = table;
    return;
  }
  std::string head(command);
  size_t where = upper.find(" WHERE ");
  if (where != std::string::npos) head.resize(where);
  const std::string head_upper = AsciiUpper(head);
  for (auto& c : columns) {
    std::string needle = c.name;
    if (head.find("[" + c.name + "]") != std::string::npos) needle = "[" + c.name + "]";
    size_t at = head_upper.find(AsciiUpper(needle));
    if (at == std::string::npos || at == 0) continue;
    if (head[at - 1] != '.') continue;
    size_t comma = head.rfind(',', at - 1);
    size_t begin = comma == std::string::npos ? 0 : comma + 1;
    std::string qualifier = head.substr(begin, at - 1 - begin);
    size_t sel = AsciiUpper(qualifier).find("SELECT ");
    if (sel != std::string::npos) qualifier.erase(sel, 7);
    c.table = TrimSpace(RemoveChars(qualifier, "[]"));
  }
}

void ReadColumns(Recordset& recordset, std::string_view command, int database_type,
                 std::vector<GridColumn>& columns) {
  columns.clear();
  std::vector<std::string> bases;
  for (size_t i = 0; i < recordset.FieldCount(); ++i) {
    Field f = recordset.Fields(i);
    GridColumn c;
    c.name = f.Name();
    c.ado_type = f.Type();
    c.type_class = ClassifyFieldType(std::to_string(f.Type()), 1);
    columns.push_back(std::move(c));
    bases.push_back(f.BaseTableName());
  }
  QualifyColumns(command, database_type, bases, columns);
}

std::string ColumnExpression(const GridColumn& column, int database_type) {
  if (column.table.empty()) return QuoteSqlName(database_type, column.column);
  return QuoteSqlName(database_type, column.table + "." + column.column);
}

}  // namespace fennick
