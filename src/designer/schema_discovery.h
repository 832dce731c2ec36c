// The database objects a designer page offers: tables, views and
// procedures found through the connection's catalogue (or the page's own
// catalogue statements), shaped by the page's allow and hide lists, and the
// catalogue column that lists them.
//
// The same list decides what the browser may open: a table, view or
// procedure named by a request is used only when this page would list it.
#ifndef FENNICK_DESIGNER_SCHEMA_DISCOVERY_H_
#define FENNICK_DESIGNER_SCHEMA_DISCOVERY_H_

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "fennick/data.h"

namespace fennick::designer {

// The page settings of the object list.
struct SchemaListSettings {
  int database_type = 0;  // DatabaseType, or the connection's type
  std::string tables_query, views_query, procedures_query;
  bool hide_tables = false, hide_views = false, hide_procedures = false;
  std::string use_tables, use_procedures, hidden_tables;  // comma lists
  bool turn_off_table_links = false;
  std::string turn_off_table_links_for, turn_on_table_links_for;
  bool can_add = false;  // shows the "Build Report" button
};

// One object the page offers.
struct OfferedObject {
  std::string name;
  CatalogObjectType type = CatalogObjectType::kTable;
  std::string parameters;  // a procedure's parameters, as a report stores them
};

// One section of the list: its locale key, default caption and objects.
struct ObjectSection {
  std::string caption_key;
  std::string default_caption;
  std::vector<OfferedObject> objects;
};

// The sections this page offers on `connection`, hidden names left out.
std::vector<ObjectSection> ListOfferedObjects(Connection& connection,
                                              const SchemaListSettings& settings);

// Whether `name` (ignoring case) is an object of `type` that this page
// offers on `connection`: one the list would show (with CanViewTables on),
// whatever the link switches say. kTable and kView stand for each other (a
// "t" link does not tell them apart). A catalogue that fails offers
// nothing.
bool IsObjectOffered(Connection& connection, const SchemaListSettings& settings,
                     std::string_view name, CatalogObjectType type);

// The catalogue's column of database objects. `caption` reads a locale
// text (key, default); `page_url` and `preserved_query` make the links.
std::string DatabaseObjectsHtml(
    const std::vector<ObjectSection>& sections, const SchemaListSettings& settings,
    const std::function<std::string(std::string_view, std::string_view)>& caption,
    std::string_view page_url, std::string_view preserved_query);

// One field of a table, view or procedure result, with its type category
// (131 number, 6 money, 7 date, 11 yes/no, 128 binary, 72 GUID, 200 text).
struct ObjectField {
  std::string name;
  int category = 200;
};

// The fields of table or view `name` on `connection` (delimited for
// `database_type`), read from an empty result of it. Raises the database's
// fennick::Error for an object it does not know.
std::vector<ObjectField> ListObjectFields(Connection& connection, int database_type,
                                          std::string_view name);

// The page's own catalogue statement of `kind` for a database type, as the
// object list runs it on a connection of that type: SQL Server (2), SQL
// Server Native Client (9), Sybase (8), MySQL (6, tables only) and Oracle
// (7, no procedures). "" where the type has none (the list then asks the
// connection's catalogue).
std::string DefaultCatalogStatement(int database_type, CatalogObjectType kind);

// A procedure's parameters as a report stores them ("name||category",
// ","-separated), read through the connection's catalogue; "" when it takes
// none or the catalogue does not know it.
std::string ProcedureParameterText(Connection& connection, std::string_view procedure);

// The value of a "t" link: 8 random characters, then the component's
// Base64 of the name (of name + "-" for a procedure).
std::string ObjectLinkValue(std::string_view name, CatalogObjectType type);

// The object a "t" (or "et") value names: the name, and kProcedure when it
// ends in "-" (kTable otherwise: a table or a view). nullopt for a value
// that is too short or no Base64.
struct ObjectLink {
  std::string name;
  CatalogObjectType type = CatalogObjectType::kTable;
};
std::optional<ObjectLink> ReadObjectLink(std::string_view value);

}  // namespace fennick::designer

#endif  // FENNICK_DESIGNER_SCHEMA_DISCOVERY_H_
