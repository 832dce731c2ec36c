// The builder's reads from the database, each behind the offered list.
#include "designer/builder/builder_source.h"

#include "base/ascii.h"
#include "base/split.h"
#include "fennick/error.h"
#include "frame/error_reference.h"
#include "frame/field_types.h"
#include "grid/query/database_type.h"

namespace fennick::designer {
namespace {

std::vector<SourceColumn> ColumnsOf(Recordset& rs) {
  std::vector<SourceColumn> out;
  for (size_t i = 0; i < rs.FieldCount(); ++i) {
    Field f = rs.Fields(i);
    SourceColumn c;
    c.name = f.Name();
    c.ado_type = f.Type();
    c.category = CategoryOfAdoType(c.ado_type);
    c.defined_size = f.DefinedSize();
    out.push_back(std::move(c));
  }
  return out;
}

}  // namespace

int CategoryOfAdoType(int ado_type) {
  return TypeClassCode(ClassifyFieldType(std::to_string(ado_type), 1));
}

bool BuilderSource::IsOffered(std::string_view name, CatalogObjectType type) {
  if (TrimBlanks(name).empty()) return false;
  // The list is read once per request: a step asks for every table.
  if (!offered_) {
    try {
      offered_ = ListOfferedObjects(connection_, settings_);
    } catch (const Error&) {
      offered_.emplace();  // a catalogue that fails offers nothing
    }
  }
  const bool wants_procedure = type == CatalogObjectType::kProcedure;
  for (const ObjectSection& section : *offered_) {
    for (const OfferedObject& object : section.objects) {
      if ((object.type == CatalogObjectType::kProcedure) == wants_procedure &&
          EqualsIgnoreCase(object.name, name)) {
        return true;
      }
    }
  }
  return false;
}

std::optional<std::vector<SourceColumn>> BuilderSource::TableColumns(std::string_view table,
                                                                     std::string* error) {
  const std::string key = AsciiLower(table);
  auto cached = columns_.find(key);
  if (cached != columns_.end()) return cached->second;
  if (!IsOffered(table, CatalogObjectType::kTable)) {
    *error = "The table " + std::string(table) + " is not offered";
    return std::nullopt;
  }
  try {
    // The name was found in the offered list; it is quoted all the same.
    Recordset rs =
        connection_.Execute("SELECT * FROM " + QuoteSqlName(database_type_, table) + " WHERE 1=0");
    std::vector<SourceColumn> columns = ColumnsOf(rs);
    if (!TrimBlanks(use_fields_).empty()) {
      // Only the fields the page lets users report on.
      std::vector<SourceColumn> allowed;
      for (SourceColumn& c : columns) {
        for (std::string_view f : SplitTrimmed(use_fields_, ",")) {
          if (EqualsIgnoreCase(f, c.name) ||
              EqualsIgnoreCase(f, std::string(table) + "." + c.name)) {
            allowed.push_back(c);
            break;
          }
        }
      }
      columns = std::move(allowed);
    }
    columns_[key] = columns;
    return columns;
  } catch (const Error& e) {
    *error = "The table " + std::string(table) + " cannot be read: " + DatabaseErrorForPage(e.description());
    return std::nullopt;
  }
}

std::optional<std::vector<SourceParameter>> BuilderSource::ProcedureParameters(
    std::string_view procedure, std::string* error) {
  if (!IsOffered(procedure, CatalogObjectType::kProcedure)) {
    *error = "The procedure " + std::string(procedure) + " is not offered";
    return std::nullopt;
  }
  std::vector<SourceParameter> out;
  try {
    for (const Parameter& p : Catalog(connection_).ProcedureParameters(procedure)) {
      SourceParameter sp;
      sp.name = p.Name();
      if (!sp.name.empty() && sp.name.front() == '@') sp.name.erase(0, 1);
      sp.category = CategoryOfAdoType(p.Type());
      out.push_back(std::move(sp));
    }
  } catch (const Error& e) {
    *error = "Invalid Procedure Type: " + DatabaseErrorForPage(e.description());
    return std::nullopt;
  }
  return out;
}

std::optional<std::vector<SourceColumn>> BuilderSource::ProcedureColumns(
    std::string_view procedure, const std::map<std::string, std::string>& values,
    std::string* error) {
  if (!IsOffered(procedure, CatalogObjectType::kProcedure)) {
    *error = "The procedure " + std::string(procedure) + " is not offered";
    return std::nullopt;
  }
  try {
    Command command = Catalog(connection_).ProcedureCommand(procedure);
    for (size_t i = 0; i < command.ParameterCount(); ++i) {
      Parameter& p = command.Parameters(i);
      std::string name = p.Name();
      if (!name.empty() && name.front() == '@') name.erase(0, 1);
      for (const auto& [given, value] : values) {
        // Values are bound: the database never reads them as SQL.
        if (EqualsIgnoreCase(given, name)) p.Value(Variant(value));
      }
    }
    Recordset rs;
    rs.Open(command);
    return ColumnsOf(rs);
  } catch (const Error& e) {
    *error = "Invalid Procedure Type: " + DatabaseErrorForPage(e.description());
    return std::nullopt;
  }
}

std::vector<std::string> BuilderSource::DistinctValues(std::string_view table,
                                                       std::string_view column, size_t limit,
                                                       const ReportQueryOptions& options,
                                                       const ReportRunValues& values) {
  std::vector<std::string> out;
  std::string error;
  auto columns = TableColumns(table, &error);
  if (!columns) return out;
  const SourceColumn* found = nullptr;
  for (const SourceColumn& c : *columns) {
    if (EqualsIgnoreCase(c.name, column)) found = &c;
  }
  if (!found || found->category == 128) return out;
  // The list shows rows as a report page would: through the same hidden
  // filters, or not at all.
  ReportDefinition over;
  over.tables = std::string(table);
  ReportStatement statement =
      PrepareStoredStatement("SELECT DISTINCT " + QuoteReportName(options, found->name, false) +
                                 " FROM " + QuoteReportName(options, table, true) + " ORDER BY 1",
                             over, options, values);
  if (!statement.ok()) return out;
  try {
    Recordset rs = connection_.Execute(statement.sql);
    while (!rs.Eof() && out.size() < limit) {
      Field f = rs.Fields(size_t{0});
      out.push_back(f.IsNull() ? std::string() : f.Value().AsString());
      rs.MoveNext();
    }
  } catch (const Error&) {
    // Ignoring errors on purpose: the page then offers the text box.
  }
  return out;
}

std::optional<std::vector<CheckedTable>> BuilderSource::CheckedTables(std::string_view tables,
                                                                      std::string* error) {
  std::vector<CheckedTable> out;
  for (std::string_view name : SplitTrimmed(tables, ",")) {
    if (name.empty()) continue;
    auto columns = TableColumns(name, error);
    if (!columns) return std::nullopt;
    CheckedTable t;
    t.name = std::string(name);
    for (const SourceColumn& c : *columns) {
      t.columns.push_back(c.name);
      t.categories.push_back(c.category);
    }
    out.push_back(std::move(t));
  }
  if (out.empty()) {
    *error = "The report has no tables";
    return std::nullopt;
  }
  return out;
}

}  // namespace fennick::designer
