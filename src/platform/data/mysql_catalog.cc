// The MySQL and MariaDB driver: the catalogue of the connection's current
// database (tables and views as SHOW FULL TABLES lists them, stored
// procedures and their parameters from information_schema) and
// stored-procedure calls (see mysql_connection.h).
#include <algorithm>

#include "base/ascii.h"
#include "platform/data/mysql_connection.h"
#include "platform/data/object_name.h"

namespace fennick::data {
namespace {

// Names sorted ignoring case, exact case breaking ties.
void SortByName(std::vector<CatalogObject>& objects) {
  std::sort(objects.begin(), objects.end(), [](const CatalogObject& a, const CatalogObject& b) {
    int c = CompareIgnoreCase(a.name, b.name);
    return c != 0 ? c < 0 : a.name < b.name;
  });
}

// An ADO parameter type for a procedure parameter's DATA_TYPE.
int32_t ParameterType(std::string_view data_type) {
  struct Entry {
    std::string_view name;
    int32_t type;
  };
  static constexpr Entry kTypes[] = {
      {"tinyint", kAdTinyInt},     {"smallint", kAdSmallInt},    {"mediumint", kAdInteger},
      {"int", kAdInteger},         {"bigint", kAdBigInt},        {"float", kAdSingle},
      {"double", kAdDouble},       {"decimal", kAdNumeric},      {"date", kAdDBDate},
      {"time", kAdDBTime},         {"datetime", kAdDBTimeStamp}, {"timestamp", kAdDBTimeStamp},
      {"char", kAdChar},           {"varchar", kAdVarChar},      {"binary", kAdBinary},
      {"varbinary", kAdVarBinary}, {"bit", kAdBoolean},          {"year", kAdSmallInt},
  };
  for (const Entry& e : kTypes) {
    if (EqualsIgnoreCase(e.name, data_type)) return e.type;
  }
  if (ContainsIgnoreCase(data_type, "blob")) return kAdLongVarBinary;
  return kAdLongVarChar;
}

}  // namespace

std::vector<CatalogObject> MysqlConnection::ListObjects(bool procedures) {
  std::vector<CatalogObject> objects;
  if (procedures) {
    for (auto& row : Query("SELECT ROUTINE_NAME FROM information_schema.ROUTINES"
                           " WHERE ROUTINE_SCHEMA = DATABASE() AND ROUTINE_TYPE = 'PROCEDURE'")) {
      if (row[0]) objects.push_back({std::move(*row[0]), CatalogObjectType::kProcedure});
    }
  } else {
    // Without a current database there is nothing to list.
    auto current = Query("SELECT DATABASE()");
    if (current.empty() || !current[0][0]) return objects;
    for (auto& row : Query("SHOW FULL TABLES")) {
      if (!row[0]) continue;
      bool view = row.size() > 1 && row[1] && ContainsIgnoreCase(*row[1], "VIEW");
      objects.push_back(
          {std::move(*row[0]), view ? CatalogObjectType::kView : CatalogObjectType::kTable});
    }
  }
  SortByName(objects);
  return objects;
}

std::optional<std::vector<Parameter>> MysqlConnection::ProcedureParameters(std::string_view name) {
  auto parts = SplitObjectName(name);
  if (!parts || parts->size() > 2) return std::nullopt;
  std::string schema = parts->size() == 2 ? QuoteString(parts->front()) : "DATABASE()";
  auto found = Query("SELECT 1 FROM information_schema.ROUTINES WHERE ROUTINE_SCHEMA = " + schema +
                     " AND ROUTINE_NAME = " + QuoteString(parts->back()) +
                     " AND ROUTINE_TYPE = 'PROCEDURE'");
  if (found.empty()) return std::nullopt;
  auto rows = Query(
      "SELECT PARAMETER_NAME, DATA_TYPE, CHARACTER_MAXIMUM_LENGTH, PARAMETER_MODE"
      " FROM information_schema.PARAMETERS WHERE SPECIFIC_SCHEMA = " +
      schema + " AND SPECIFIC_NAME = " + QuoteString(parts->back()) +
      " AND ROUTINE_TYPE = 'PROCEDURE' AND ORDINAL_POSITION > 0 ORDER BY ORDINAL_POSITION");
  std::vector<Parameter> parameters;
  for (auto& row : rows) {
    std::string mode = row[3].value_or("IN");
    if (EqualsIgnoreCase(mode, "OUT")) continue;
    int32_t size = 0;
    if (row[2] && row[2]->size() < 10) size = std::stoi(*row[2]);
    parameters.emplace_back(row[0].value_or(""), ParameterType(row[1].value_or("")),
                            EqualsIgnoreCase(mode, "INOUT") ? kAdParamInputOutput : kAdParamInput,
                            size, Variant());
  }
  return parameters;
}

std::optional<CatalogObjectType> MysqlConnection::FindObject(std::string_view name) {
  auto parts = SplitObjectName(name);
  if (!parts || parts->size() > 2) return std::nullopt;
  std::string schema = parts->size() == 2 ? QuoteString(parts->front()) : "DATABASE()";
  std::string object = QuoteString(parts->back());
  auto rows = Query(
      "SELECT TABLE_TYPE FROM information_schema.TABLES WHERE TABLE_SCHEMA = " + schema +
      " AND TABLE_NAME = " + object +
      " UNION ALL SELECT 'PROCEDURE' FROM information_schema.ROUTINES WHERE ROUTINE_SCHEMA = " +
      schema + " AND ROUTINE_NAME = " + object + " AND ROUTINE_TYPE = 'PROCEDURE'");
  if (rows.empty() || !rows[0][0]) return std::nullopt;
  const std::string& kind = *rows[0][0];
  if (kind == "PROCEDURE") return CatalogObjectType::kProcedure;
  return ContainsIgnoreCase(kind, "VIEW") ? CatalogObjectType::kView : CatalogObjectType::kTable;
}

TableKey MysqlConnection::PrimaryKey(std::string_view table) {
  TableKey key;
  auto parts = SplitObjectName(table);
  if (!parts || parts->empty() || parts->size() > 2) return key;
  std::string schema = parts->size() == 2 ? QuoteString(parts->front()) : "DATABASE()";
  auto rows = Query(
      "SELECT COLUMN_NAME FROM information_schema.KEY_COLUMN_USAGE WHERE CONSTRAINT_NAME = "
      "'PRIMARY' AND TABLE_SCHEMA = " +
      schema + " AND TABLE_NAME = " + QuoteString(parts->back()) + " ORDER BY ORDINAL_POSITION");
  for (const auto& row : rows) {
    if (row[0]) key.columns.push_back(*row[0]);
  }
  return key;
}

// "CALL `p`(values)": unnamed parameters first in order, then each named
// one in the place of the procedure's parameter of that name (ignoring
// case and a leading "@"); OUT parameters receive session variables.
std::string MysqlConnection::BuildCall(const ExecuteRequest& request) {
  auto parts = SplitObjectName(request.text);
  if (!parts || parts->size() > 2) {
    throw Error(kErrDataInvalidArgument, "Not a procedure name: " + std::string(request.text),
                kMysqlSource);
  }
  std::string schema = parts->size() == 2 ? QuoteString(parts->front()) : "DATABASE()";
  auto declared = Query(
      "SELECT PARAMETER_NAME, PARAMETER_MODE FROM information_schema.PARAMETERS"
      " WHERE SPECIFIC_SCHEMA = " +
      schema + " AND SPECIFIC_NAME = " + QuoteString(parts->back()) +
      " AND ROUTINE_TYPE = 'PROCEDURE' AND ORDINAL_POSITION > 0 ORDER BY ORDINAL_POSITION");
  std::vector<std::optional<std::string>> slots(declared.size());
  size_t positional = 0;
  std::vector<std::string> extra;
  for (const Parameter& p : request.parameters) {
    if (p.Direction() == kAdParamReturnValue || p.Direction() == kAdParamOutput) continue;
    std::string_view name = p.Name();
    if (!name.empty() && name.front() == '@') name.remove_prefix(1);
    std::string literal = Literal(p.Value());
    size_t slot = declared.size();
    if (name.empty()) {
      while (positional < declared.size() && slots[positional]) ++positional;
      slot = positional;
    } else {
      for (size_t i = 0; i < declared.size(); ++i) {
        if (declared[i][0] && EqualsIgnoreCase(*declared[i][0], name)) slot = i;
      }
      if (slot == declared.size()) {
        throw Error(
            kErrDataItemNotFound,
            "Procedure " + std::string(request.text) + " has no parameter " + std::string(name),
            kMysqlSource);
      }
    }
    if (slot < declared.size()) {
      slots[slot] = std::move(literal);
    } else {
      extra.push_back(std::move(literal));  // the server reports the count mismatch
    }
  }
  std::string list;
  for (size_t i = 0; i < slots.size(); ++i) {
    if (!list.empty()) list.append(", ");
    bool out = declared[i][1] && EqualsIgnoreCase(*declared[i][1], "OUT");
    list.append(slots[i] ? *slots[i] : (out ? "@fennick_out" + std::to_string(i) : "NULL"));
  }
  for (const std::string& literal : extra) list.append(list.empty() ? "" : ", ").append(literal);
  std::string call = "CALL ";
  for (size_t i = 0; i < parts->size(); ++i) {
    if (i > 0) call.push_back('.');
    call.push_back('`');
    for (char c : (*parts)[i]) {
      call.push_back(c);
      if (c == '`') call.push_back('`');
    }
    call.push_back('`');
  }
  return call + "(" + list + ")";
}

}  // namespace fennick::data
