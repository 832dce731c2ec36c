// The PostgreSQL driver: the catalogue (tables, views, row-returning
// routines and their arguments) and stored-procedure calls (see
// postgres_connection.h).
#include <cstring>

#include "platform/data/object_name.h"
#include "base/ascii.h"
#include "platform/data/postgres_connection.h"
#include "platform/data/type_map.h"

namespace fennick::data {

std::vector<CatalogObject> PostgresConnection::ListObjects(bool procedures) {
  static const char* kTables =
      "SELECT name, is_view FROM ("
      " SELECT CASE WHEN pg_catalog.pg_table_is_visible(c.oid) THEN c.relname"
      " ELSE n.nspname || '.' || c.relname END AS name,"
      " c.relkind IN ('v', 'm') AS is_view"
      " FROM pg_catalog.pg_class c JOIN pg_catalog.pg_namespace n ON n.oid = c.relnamespace"
      " WHERE c.relkind IN ('r', 'p', 'v', 'm', 'f')"
      " AND n.nspname <> 'information_schema' AND n.nspname NOT LIKE 'pg\\_%') o"
      " ORDER BY lower(name), name";
  static const char* kProcedures =
      "SELECT DISTINCT name, false, lower(name) FROM ("
      " SELECT CASE WHEN pg_catalog.pg_function_is_visible(p.oid) THEN p.proname"
      " ELSE n.nspname || '.' || p.proname END AS name"
      " FROM pg_catalog.pg_proc p"
      " JOIN pg_catalog.pg_namespace n ON n.oid = p.pronamespace"
      " LEFT JOIN pg_catalog.pg_type t ON t.oid = p.prorettype"
      " WHERE n.nspname <> 'information_schema' AND n.nspname NOT LIKE 'pg\\_%'"
      " AND ((p.prokind = 'f' AND (p.proretset OR t.typtype = 'c'"
      "       OR p.prorettype = 'pg_catalog.record'::pg_catalog.regtype))"
      "  OR (p.prokind = 'p' AND p.proargmodes IS NOT NULL"
      "      AND ('o' = ANY (p.proargmodes) OR 'b' = ANY (p.proargmodes))))"
      " AND NOT EXISTS (SELECT 1 FROM pg_catalog.pg_depend d"
      "  WHERE d.classid = 'pg_catalog.pg_proc'::pg_catalog.regclass"
      "  AND d.objid = p.oid AND d.deptype = 'e')) o"
      " ORDER BY lower(name), name";
  ResultPtr result = Query(procedures ? kProcedures : kTables, {});
  std::vector<CatalogObject> objects;
  for (int row = 0; row < PQntuples(result.get()); ++row) {
    CatalogObject object;
    object.name = PQgetvalue(result.get(), row, 0);
    object.type = procedures ? CatalogObjectType::kProcedure
                             : (std::strcmp(PQgetvalue(result.get(), row, 1), "t") == 0
                                    ? CatalogObjectType::kView
                                    : CatalogObjectType::kTable);
    objects.push_back(std::move(object));
  }
  return objects;
}

std::optional<std::vector<Parameter>> PostgresConnection::ProcedureParameters(
    std::string_view name) {
  auto parts = SplitObjectName(name);
  if (!parts || parts->size() > 2) return std::nullopt;
  std::optional<Oid> oid = FindRoutine(*parts, {}, nullptr);
  if (!oid) return std::nullopt;
  std::vector<Parameter> parameters;
  for (const RoutineArgument& argument : RoutineArguments(*oid)) {
    if (argument.mode != 'i' && argument.mode != 'b' && argument.mode != 'v') continue;
    // Argument types carry no length: a varchar argument is still a varchar.
    TypeInfo type =
        argument.type == 1043 ? TypeInfo{kAdVarChar, 0} : PostgresType(argument.type, -1);
    parameters.emplace_back(argument.name, type.type,
                            argument.mode == 'b' ? kAdParamInputOutput : kAdParamInput,
                            type.defined_size == kUnboundedSize ? 0 : type.defined_size, Variant());
  }
  return parameters;
}

std::optional<CatalogObjectType> PostgresConnection::FindObject(std::string_view name) {
  auto parts = SplitObjectName(name);
  if (!parts || parts->size() > 2) return std::nullopt;
  static const char* kFind =
      "SELECT kind FROM ("
      " SELECT CASE WHEN c.relkind IN ('v', 'm') THEN 'v' ELSE 't' END AS kind,"
      " c.relname = $1 AS exact"
      " FROM pg_catalog.pg_class c JOIN pg_catalog.pg_namespace n ON n.oid = c.relnamespace"
      " WHERE (c.relname = $1 OR c.relname = lower($1))"
      " AND c.relkind IN ('r', 'p', 'v', 'm', 'f')"
      " AND (n.nspname = $2 OR ($2 IS NULL AND pg_catalog.pg_table_is_visible(c.oid)))"
      " UNION ALL"
      " SELECT 'p', p.proname = $1"
      " FROM pg_catalog.pg_proc p JOIN pg_catalog.pg_namespace n ON n.oid = p.pronamespace"
      " WHERE (p.proname = $1 OR p.proname = lower($1)) AND p.prokind IN ('f', 'p')"
      " AND n.nspname NOT IN ('pg_catalog', 'information_schema')"
      " AND (n.nspname = $2 OR ($2 IS NULL AND pg_catalog.pg_function_is_visible(p.oid)))"
      ") o ORDER BY exact DESC, kind DESC LIMIT 1";
  ResultPtr result =
      Query(kFind, {parts->back(), parts->size() == 2 ? std::optional<std::string>(parts->front())
                                                      : std::nullopt});
  if (PQntuples(result.get()) == 0) return std::nullopt;
  char kind = PQgetvalue(result.get(), 0, 0)[0];
  if (kind == 'p') return CatalogObjectType::kProcedure;
  return kind == 'v' ? CatalogObjectType::kView : CatalogObjectType::kTable;
}

// The name is given to to_regclass quoted part by part, so that it finds
// what the name as written finds and never raises on a malformed name (a
// raise would abort the page's transaction).
TableKey PostgresConnection::PrimaryKey(std::string_view table) {
  TableKey key;
  auto parts = SplitObjectName(table);
  if (!parts || parts->empty() || parts->size() > 2) return key;
  for (std::string& part : *parts) {
    // Bare names read as PostgreSQL folds them.
    if (table.find('"') == std::string_view::npos) part = AsciiLower(part);
  }
  static const char* kKey =
      "SELECT a.attname FROM pg_catalog.pg_index i"
      " JOIN pg_catalog.pg_attribute a ON a.attrelid = i.indrelid AND a.attnum = ANY(i.indkey)"
      " WHERE i.indrelid = pg_catalog.to_regclass($1) AND i.indisprimary"
      " ORDER BY pg_catalog.array_position(i.indkey::pg_catalog.int2[], a.attnum)";
  ResultPtr result = Query(kKey, {QuoteObjectName(*parts)});
  for (int row = 0; row < PQntuples(result.get()); ++row) {
    key.columns.emplace_back(PQgetvalue(result.get(), row, 0));
  }
  return key;
}

// The routine a (possibly qualified) name calls. Exact names come before
// the lower-case form an unquoted name has in PostgreSQL; among
// overloads, the one whose argument names cover most of `given` (the
// parameter names of the call), then routines outside pg_catalog (whose
// scale() would otherwise shadow a user's scale procedure).
std::optional<Oid> PostgresConnection::FindRoutine(const std::vector<std::string>& parts,
                                                   const std::vector<std::string>& given,
                                                   Routine* routine) {
  static const char* kFind =
      "SELECT p.oid, n.nspname, p.proname, p.prokind,"
      " pg_catalog.pg_function_is_visible(p.oid)"
      " FROM pg_catalog.pg_proc p JOIN pg_catalog.pg_namespace n ON n.oid = p.pronamespace"
      " WHERE (p.proname = $1 OR p.proname = lower($1)) AND p.prokind IN ('f', 'p')"
      " AND (n.nspname = $2 OR ($2 IS NULL AND pg_catalog.pg_function_is_visible(p.oid)))"
      " ORDER BY (SELECT count(*) FROM unnest($3::text[]) g WHERE lower(g) IN"
      "  (SELECT lower(a) FROM unnest(p.proargnames) a)) DESC,"
      " n.nspname = 'pg_catalog', p.proname = $1 DESC, p.oid LIMIT 1";
  std::string names = "{";
  for (const std::string& name : given) {
    if (names.size() > 1) names.push_back(',');
    names.push_back('"');
    for (char c : name) {
      if (c == '"' || c == '\\') names.push_back('\\');
      names.push_back(c);
    }
    names.push_back('"');
  }
  names.push_back('}');
  ResultPtr result = Query(
      kFind, {parts.back(),
              parts.size() == 2 ? std::optional<std::string>(parts.front()) : std::nullopt, names});
  if (PQntuples(result.get()) == 0) return std::nullopt;
  if (routine != nullptr) {
    std::vector<std::string> name;
    if (std::strcmp(PQgetvalue(result.get(), 0, 4), "t") != 0) {
      name.push_back(PQgetvalue(result.get(), 0, 1));
    }
    name.push_back(PQgetvalue(result.get(), 0, 2));
    routine->call_name = QuoteObjectName(name);
    routine->kind = PQgetvalue(result.get(), 0, 3)[0];
  }
  return static_cast<Oid>(std::strtoul(PQgetvalue(result.get(), 0, 0), nullptr, 10));
}

std::vector<RoutineArgument> PostgresConnection::RoutineArguments(Oid oid) {
  static const char* kArguments =
      "SELECT a.name, a.type, a.mode FROM pg_catalog.pg_proc p,"
      " unnest(coalesce(p.proallargtypes, p.proargtypes::pg_catalog.oid[]),"
      " p.proargnames, p.proargmodes) WITH ORDINALITY AS a(type, name, mode, position)"
      " WHERE p.oid = $1 ORDER BY a.position";
  ResultPtr result = Query(kArguments, {std::to_string(oid)});
  std::vector<RoutineArgument> arguments;
  for (int r = 0; r < PQntuples(result.get()); ++r) {
    RoutineArgument argument;
    argument.name = PQgetvalue(result.get(), r, 0);
    argument.type = static_cast<Oid>(std::strtoul(PQgetvalue(result.get(), r, 1), nullptr, 10));
    argument.mode = PQgetisnull(result.get(), r, 2) ? 'i' : PQgetvalue(result.get(), r, 2)[0];
    arguments.push_back(std::move(argument));
  }
  return arguments;
}

// "SELECT * FROM f(a => $1, ...)" or "CALL p(...)": unnamed parameters
// first in order, then the named ones by their argument names.
std::string PostgresConnection::BuildCall(const ExecuteRequest& request,
                                          std::vector<const Variant*>& values) {
  auto parts = SplitObjectName(request.text);
  if (!parts || parts->size() > 2) {
    throw Error(kErrDataInvalidArgument, "Not a procedure name: " + std::string(request.text),
                kPostgresSource);
  }
  std::vector<std::string> given;
  for (const Parameter& p : request.parameters) {
    std::string_view name = p.Name();
    if (!name.empty() && name.front() == '@') name.remove_prefix(1);
    if (!name.empty()) given.emplace_back(name);
  }
  Routine routine;
  std::optional<Oid> oid = FindRoutine(*parts, given, &routine);
  if (!oid) {
    throw Error(kErrDataCommandFailed, "procedure " + std::string(request.text) + " does not exist",
                kPostgresSource);
  }
  std::vector<RoutineArgument> arguments = RoutineArguments(*oid);
  std::string positional, named;
  for (int pass = 0; pass < 2; ++pass) {
    for (const Parameter& p : request.parameters) {
      if (p.Direction() == kAdParamReturnValue || p.Direction() == kAdParamOutput) continue;
      std::string_view name = p.Name();
      if (!name.empty() && name.front() == '@') name.remove_prefix(1);
      if (name.empty() != (pass == 0)) continue;
      values.push_back(&p.Value());
      std::string placeholder(1, '$');
      placeholder += std::to_string(values.size());
      if (name.empty()) {
        positional.append(positional.empty() ? "" : ", ").append(placeholder);
        continue;
      }
      std::string argument(name);
      for (const RoutineArgument& a : arguments) {
        if (a.name == name) {
          argument = a.name;
          break;
        }
        if (EqualsIgnoreCase(a.name, name)) {
          argument = a.name;
        }
      }
      named.append(named.empty() ? "" : ", ")
          .append(QuoteObjectName({argument}))
          .append(" => ")
          .append(placeholder);
    }
  }
  std::string list = positional;
  if (!named.empty()) list.append(list.empty() ? "" : ", ").append(named);
  if (routine.kind == 'p') return "CALL " + routine.call_name + "(" + list + ")";
  return "SELECT * FROM " + routine.call_name + "(" + list + ")";
}

}  // namespace fennick::data
