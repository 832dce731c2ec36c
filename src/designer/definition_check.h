// The one check every report definition passes before it is stored or run:
// at the builder's Finish, on every report of an uploaded reports file, and
// again whenever a stored report is displayed, exported or read by
// GetReport.
//
// A definition is no more trusted when it comes back from the reports file
// than when the browser posts it: the file may have been imported, edited
// by hand or written by an older version. So the check reads it as the
// builder's Finish does and writes it again: objects must be offered by the
// page (schema discovery's list), fields must be their columns (within
// UseFields), relations, "[sql]" formats and filter values are parsed and
// written again by the SQL checker (designer/builder/sql_check.h), an
// "[sql]" expression may not name a HiddenFields column, and every switch is
// put back in its range. What runs is the definition the check returns,
// never the text as stored; a definition that fails runs nothing, and the
// outcome names the refused entry and why.
//
// Thread-safe: the checks share nothing but the outcome cache of
// CheckStoredDefinition, which is guarded by its own mutex.
#ifndef FENNICK_DESIGNER_DEFINITION_CHECK_H_
#define FENNICK_DESIGNER_DEFINITION_CHECK_H_

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "designer/builder/builder_source.h"
#include "designer/builder/sql_check.h"
#include "designer/report_definition.h"
#include "designer/schema_discovery.h"
#include "fennick/data.h"

namespace fennick::designer {

// The page settings a definition is checked against, besides the offered
// objects.
struct DefinitionRules {
  int database_type = 0;           // of the connection (or DatabaseType)
  std::string use_fields;          // UseFields: the only columns offered, when set
  std::string hidden_fields;       // HiddenFields: never read by an [sql] expression
  bool allow_all_filters = false;  // AllowAllFilters
};

// The outcome: the definition as it may run, or the entry refused and why.
struct DefinitionCheck {
  ReportDefinition report;  // the checked definition (meaningful when ok())
  std::string entry;        // the key refused: "tables", "fields", "relations", ...
  std::string reason;       // plain text naming the entry; "" when accepted
  bool ok() const { return reason.empty(); }
};

// The formats a field of type `category` may take: the first two
// characters of a format, in the order the format list offers them.
std::vector<std::string> FormatCodes(int category);

// The type category a report field gets: the database's, except that a
// column the database types as text alone (a computed column of an SQLite
// view, say) keeps a known category the schema gives it. A category only
// chooses formats and how literals are written, never what SQL may say.
int FieldCategory(int database_category, std::string_view schema, std::string_view field);

// The tables of `tables` minus the columns HiddenFields names
// ("Column" or "Table.Column", ignoring case): what an [sql] expression may
// read.
std::vector<CheckedTable> WithoutHiddenFields(const std::vector<CheckedTable>& tables,
                                              std::string_view hidden_fields);

// The format of `field` (type `category`) as it may be stored: "" stays "",
// an [sql] format is checked by `expressions` (a procedure report has
// none), any other must start with a code of FormatCodes(category).
// nullopt with the reason (naming the field) in `reason` otherwise.
std::optional<std::string> CheckFieldFormat(std::string_view field, std::string_view format,
                                            int category, const SqlChecker& expressions,
                                            bool procedure, std::string* reason);

// One filter entry (field "__" code "__" value) written again: the field a
// column of the report, the value checked for its condition. nullopt with
// the reason in `reason`; `reason` is exactly "Invalid search condition"
// for an ordering condition without a number or a date.
std::optional<std::string> CheckFilterEntry(std::string_view entry, const SqlChecker& checker,
                                            bool allow_all, std::string* reason);

// Checks `report` with `source` (the page's offered objects and their
// columns, read through the connection once per source). A procedure
// report's fields are checked against `procedure_result` when given (the
// builder ran the procedure); without it (stored reports are never run to be
// checked) they are kept as names, which only choose grid columns.
DefinitionCheck CheckDefinition(const ReportDefinition& report, BuilderSource& source,
                                const DefinitionRules& rules,
                                const std::vector<CheckedTable>* procedure_result = nullptr);

// CheckDefinition of an encoded definition (the reports file's "args") on a
// page's connection. Outcomes are remembered for a minute, keyed by the
// connection string, the offered settings, the rules and the definition,
// so that the clicks of a report page do not read the catalogue each time;
// the cache holds a bounded number of outcomes.
DefinitionCheck CheckStoredDefinition(std::string_view encoded, Connection& connection,
                                      std::string_view connection_string,
                                      const SchemaListSettings& offered,
                                      const DefinitionRules& rules);

}  // namespace fennick::designer

#endif  // FENNICK_DESIGNER_DEFINITION_CHECK_H_
