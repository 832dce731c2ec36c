// What the report builder reads from the database: whether an object is
// offered, the columns of a table, view or procedure result, a procedure's
// parameters and a column's distinct values.
//
// Every name the browser sends is first looked up among the objects the
// page offers (schema discovery's list); only then is it quoted into a
// statement. A procedure runs with its parameter values bound, never
// pasted. A BuilderSource borrows its connection and belongs to one page.
#ifndef FENNICK_DESIGNER_BUILDER_BUILDER_SOURCE_H_
#define FENNICK_DESIGNER_BUILDER_BUILDER_SOURCE_H_

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "designer/builder/sql_check.h"
#include "designer/report_query.h"
#include "designer/schema_discovery.h"
#include "fennick/data.h"

namespace fennick::designer {

struct SourceColumn {
  std::string name;
  int ado_type = 200;
  int category = 200;  // the type category (131, 6, 7, 11, 128, 72, 200)
  int defined_size = 0;
};

// A procedure parameter as the builder asks for it.
struct SourceParameter {
  std::string name;  // without a leading "@"
  int category = 200;
};

class BuilderSource {
 public:
  // `use_fields` (UseFields) limits the columns offered when not empty.
  BuilderSource(Connection& connection, SchemaListSettings settings, int database_type,
                std::string use_fields = {})
      : connection_(connection),
        settings_(std::move(settings)),
        database_type_(database_type),
        use_fields_(std::move(use_fields)) {}

  int database_type() const { return database_type_; }

  // Whether the page offers an object of that name (ignoring case) and
  // type (tables and views stand for each other).
  bool IsOffered(std::string_view name, CatalogObjectType type);

  // The columns of an offered table or view; nullopt (with the reason) for
  // one that is not offered or cannot be read.
  std::optional<std::vector<SourceColumn>> TableColumns(std::string_view table, std::string* error);

  // The input parameters of an offered procedure (empty when none).
  std::optional<std::vector<SourceParameter>> ProcedureParameters(std::string_view procedure,
                                                                  std::string* error);

  // The result columns of an offered procedure run with `values` (by
  // parameter name, bound as parameters).
  std::optional<std::vector<SourceColumn>> ProcedureColumns(
      std::string_view procedure, const std::map<std::string, std::string>& values,
      std::string* error);

  // Up to `limit` distinct values of a column of an offered table, as text,
  // from the rows the table's hidden filters (`options`, their tokens
  // filled from `values`) let report pages show; none when the statement
  // cannot run.
  std::vector<std::string> DistinctValues(std::string_view table, std::string_view column,
                                          size_t limit, const ReportQueryOptions& options,
                                          const ReportRunValues& values);

  // The report's tables with their columns for the SQL checker; nullopt
  // (with the reason) when one is not offered.
  std::optional<std::vector<CheckedTable>> CheckedTables(std::string_view tables,
                                                         std::string* error);

 private:
  Connection& connection_;
  SchemaListSettings settings_;
  int database_type_;
  std::string use_fields_;
  std::map<std::string, std::vector<SourceColumn>> columns_;  // by lower-cased table
  std::optional<std::vector<ObjectSection>> offered_;
};

// The type category of an ADO type code.
int CategoryOfAdoType(int ado_type);

}  // namespace fennick::designer

#endif  // FENNICK_DESIGNER_BUILDER_BUILDER_SOURCE_H_
