// The database objects a designer page offers, and the column that lists
// them.
#include "designer/schema_discovery.h"

#include "base/ascii.h"
#include "base/split.h"
#include "fennick/error.h"
#include "frame/argument_codec.h"
#include "frame/field_types.h"
#include "frame/text_routines.h"
#include "grid/query/database_type.h"
#include "platform/web/http_text.h"

namespace fennick::designer {
namespace {

// A comma list matched ignoring case, blanks around items ignored.
bool InList(std::string_view list, std::string_view name) {
  for (std::string_view item : SplitTrimmed(list, ",")) {
    if (EqualsIgnoreCase(item, TrimBlanks(name))) return true;
  }
  return false;
}

// The database type of the connection itself: the catalogue statements of
// another type are never run on it.
int ConnectionType(Connection& connection) {
  const std::string& provider = connection.Provider();
  if (EqualsIgnoreCase(provider, "SQLite")) return kDbSQLite;
  if (EqualsIgnoreCase(provider, "PostgreSQL")) return kDbPostgreSql;
  return GetDatabaseType(connection.ConnectionString());
}

std::vector<std::string> NamesFromQuery(Connection& connection, std::string_view statement) {
  std::vector<std::string> names;
  Recordset rs = connection.Execute(statement);
  if (rs.State() != kAdStateOpen || rs.FieldCount() == 0) return names;
  while (!rs.Eof()) {
    Variant value = rs.Fields(static_cast<size_t>(0)).Value();
    if (!value.IsNull()) names.push_back(value.AsString());
    rs.MoveNext();
  }
  return names;
}

void AddObject(ObjectSection& section, const SchemaListSettings& settings, std::string name,
               CatalogObjectType type, std::string parameters = {}) {
  if (InList(settings.hidden_tables, name)) return;
  OfferedObject object;
  object.name = std::move(name);
  object.type = type;
  object.parameters = std::move(parameters);
  section.objects.push_back(std::move(object));
}

void AddSection(std::vector<ObjectSection>& sections, ObjectSection section) {
  // A section without objects is not shown at all, caption included.
  if (!section.objects.empty()) sections.push_back(std::move(section));
}

std::string HtmlName(std::string_view name) {
  std::string out = HtmlEncode(name);
  ReplaceAll(out, "'", "&#39;");
  return out;
}

bool IsLinked(const OfferedObject& object, const SchemaListSettings& settings) {
  if (object.type == CatalogObjectType::kProcedure) return true;
  if (!settings.turn_off_table_links) {
    return !InList(settings.turn_off_table_links_for, object.name);
  }
  return InList(settings.turn_on_table_links_for, object.name);
}

}  // namespace

std::string DefaultCatalogStatement(int database_type, CatalogObjectType kind) {
  const char* code = kind == CatalogObjectType::kTable  ? "U"
                     : kind == CatalogObjectType::kView ? "V"
                                                        : "P";
  switch (database_type) {
    case kDbSqlServer:
      return std::string("SELECT NAME FROM SYSOBJECTS WHERE XTYPE='") + code +
             "' AND STATUS>0 ORDER BY 1";
    case kDbSqlNativeClient:
      return std::string("SELECT NAME FROM SYSOBJECTS WHERE XTYPE='") + code + "' ORDER BY 1";
    case kDbSybase:
      return std::string("SELECT [Name] From SysObjects where [TYPE]='") + code +
             "' AND [UID] = 1 ORDER BY 1";
    case kDbMySql:
      return kind == CatalogObjectType::kTable ? "SHOW TABLES" : "";
    case kDbOracle:
      if (kind == CatalogObjectType::kTable) return "SELECT TABLE_NAME FROM ALL_TABLES";
      if (kind == CatalogObjectType::kView) return "SELECT VIEW_NAME FROM ALL_VIEWS";
      return "";
    default:
      return "";
  }
}

std::vector<ObjectField> ListObjectFields(Connection& connection, int database_type,
                                          std::string_view name) {
  Recordset rs = connection.Execute(
      "SELECT * FROM " + QuoteSqlName(database_type, name, false, SqlNaming()) + " WHERE 1=0");
  std::vector<ObjectField> fields;
  for (size_t i = 0; i < rs.FieldCount(); ++i) {
    Field field = rs.Fields(i);
    fields.push_back(
        {field.Name(), TypeClassCode(ClassifyFieldType(std::to_string(field.Type()), 1))});
  }
  return fields;
}

std::string ProcedureParameterText(Connection& connection, std::string_view procedure) {
  std::vector<Parameter> parameters;
  try {
    parameters = Catalog(connection).ProcedureParameters(procedure);
  } catch (const Error&) {
    // Ignoring errors on purpose: a procedure the catalogue does not know
    // is listed without parameters, and the report shows the database's
    // error when it runs.
    return std::string();
  }
  std::string out;
  for (const Parameter& p : parameters) {
    std::string name = p.Name();
    if (!name.empty() && name.front() == '@') name.erase(0, 1);
    if (!out.empty()) out.push_back(',');
    out +=
        name + "||" + std::to_string(TypeClassCode(ClassifyFieldType(std::to_string(p.Type()), 1)));
  }
  return out;
}

namespace {

// The listing; procedure parameters are looked up only when they are to
// be shown (deciding whether an object is offered needs none).
std::vector<ObjectSection> ListObjects(Connection& connection, const SchemaListSettings& settings,
                                       bool with_parameters) {
  std::vector<ObjectSection> sections;
  const int connection_type = ConnectionType(connection);

  if (!TrimBlanks(settings.use_tables).empty()) {
    ObjectSection allowed{"AllowedTablesText", "Allowed Tables", {}};
    for (std::string_view name : SplitTrimmed(settings.use_tables, ",")) {
      AddObject(allowed, settings, std::string(name), CatalogObjectType::kTable);
    }
    AddSection(sections, std::move(allowed));
  } else {
    // A statement the page gives wins. The default statements of a
    // database type run only on a connection of that type (where a type
    // has none for a kind, that kind is not listed); every other
    // connection is asked through its catalogue.
    const bool has_defaults =
        !DefaultCatalogStatement(connection_type, CatalogObjectType::kTable).empty();
    enum class Source { kStatement, kCatalogue, kNone };
    auto source = [&](const std::string& own, CatalogObjectType kind, std::string* sql) {
      if (!TrimBlanks(own).empty()) {
        *sql = own;
        return Source::kStatement;
      }
      if (!has_defaults) return Source::kCatalogue;
      *sql = DefaultCatalogStatement(connection_type, kind);
      return sql->empty() ? Source::kNone : Source::kStatement;
    };

    ObjectSection tables{"TablesText", "Tables", {}};
    ObjectSection views{"ViewsText", "Views", {}};
    ObjectSection procedures{"ProceduresText", "Procedures", {}};
    std::vector<CatalogObject> catalogued;
    bool have_catalogue = false;
    auto list_from = [&](const std::string& own, CatalogObjectType kind, ObjectSection& section) {
      std::string sql;
      switch (source(own, kind, &sql)) {
        case Source::kStatement:
          for (std::string& name : NamesFromQuery(connection, sql)) {
            AddObject(section, settings, std::move(name), kind);
          }
          return;
        case Source::kCatalogue:
          if (!have_catalogue) {
            catalogued = Catalog(connection).Tables();
            have_catalogue = true;
          }
          for (const CatalogObject& o : catalogued) {
            if (o.type == kind) AddObject(section, settings, o.name, kind);
          }
          return;
        case Source::kNone:
          return;
      }
    };
    if (!settings.hide_tables) list_from(settings.tables_query, CatalogObjectType::kTable, tables);
    if (!settings.hide_views) list_from(settings.views_query, CatalogObjectType::kView, views);
    if (!settings.hide_procedures) {
      std::vector<std::string> names;
      std::string sql;
      switch (source(settings.procedures_query, CatalogObjectType::kProcedure, &sql)) {
        case Source::kStatement:
          procedures.caption_key = "StoredProceduresText";
          procedures.default_caption = "Stored Procedures";
          names = NamesFromQuery(connection, sql);
          break;
        case Source::kCatalogue:
          for (CatalogObject& o : Catalog(connection).Procedures()) names.push_back(o.name);
          break;
        case Source::kNone:
          break;
      }
      for (std::string& name : names) {
        if (InList(settings.hidden_tables, name)) continue;
        std::string parameters =
            with_parameters ? ProcedureParameterText(connection, name) : std::string();
        AddObject(procedures, settings, std::move(name), CatalogObjectType::kProcedure,
                  std::move(parameters));
      }
    }
    AddSection(sections, std::move(tables));
    AddSection(sections, std::move(views));
    AddSection(sections, std::move(procedures));
  }

  if (!TrimBlanks(settings.use_procedures).empty()) {
    ObjectSection allowed{"AllowedProceduresText", "Allowed Procedures", {}};
    for (std::string_view name : SplitTrimmed(settings.use_procedures, ",")) {
      if (InList(settings.hidden_tables, name)) continue;
      AddObject(allowed, settings, std::string(name), CatalogObjectType::kProcedure,
                with_parameters ? ProcedureParameterText(connection, name) : std::string());
    }
    AddSection(sections, std::move(allowed));
  }
  return sections;
}

}  // namespace

std::vector<ObjectSection> ListOfferedObjects(Connection& connection,
                                              const SchemaListSettings& settings) {
  return ListObjects(connection, settings, true);
}

bool IsObjectOffered(Connection& connection, const SchemaListSettings& settings,
                     std::string_view name, CatalogObjectType type) {
  std::vector<ObjectSection> sections;
  try {
    sections = ListObjects(connection, settings, false);
  } catch (const Error&) {
    return false;  // a catalogue that cannot be read offers nothing
  }
  const bool wants_procedure = type == CatalogObjectType::kProcedure;
  for (const ObjectSection& section : sections) {
    for (const OfferedObject& object : section.objects) {
      const bool is_procedure = object.type == CatalogObjectType::kProcedure;
      if (is_procedure == wants_procedure && EqualsIgnoreCase(object.name, TrimBlanks(name))) {
        return true;
      }
    }
  }
  return false;
}

std::string ObjectLinkValue(std::string_view name, CatalogObjectType type) {
  std::string named(name);
  if (type == CatalogObjectType::kProcedure) named.push_back('-');
  return RandomText(8) + EncodeArgument(named);
}

std::optional<ObjectLink> ReadObjectLink(std::string_view value) {
  if (value.size() <= 8) return std::nullopt;
  std::string name = DecodeArgument(value.substr(8));
  while (!name.empty() && name.back() == ' ') name.pop_back();
  if (name.empty()) return std::nullopt;
  ObjectLink link;
  if (name.back() == '-') {
    name.pop_back();
    link.type = CatalogObjectType::kProcedure;
  }
  if (TrimBlanks(name).empty()) return std::nullopt;
  link.name = std::move(name);
  return link;
}

std::string DatabaseObjectsHtml(
    const std::vector<ObjectSection>& sections, const SchemaListSettings& settings,
    const std::function<std::string(std::string_view, std::string_view)>& caption,
    std::string_view page_url, std::string_view preserved_query) {
  std::string out = "<table border=0 cellpadding=3><tr>";
  const std::string base = HtmlAttributeEscape(page_url);
  const std::string query =
      preserved_query.empty() ? std::string() : "&amp;" + HtmlAttributeEscape(preserved_query);
  for (const ObjectSection& section : sections) {
    if (section.objects.empty()) continue;
    out += "<td valign=top><table width='100%'><tr><td class=header_cell align=left>";
    out +=
        caption ? caption(section.caption_key, section.default_caption) : section.default_caption;
    out += "</td></tr>";
    for (const OfferedObject& object : section.objects) {
      const bool procedure = object.type == CatalogObjectType::kProcedure;
      out += "<tr><td>";
      const bool linked = IsLinked(object, settings);
      if (linked) {
        std::string href;
        if (procedure && !object.parameters.empty()) {
          href = "javascript:___ESPN('" +
                 EncodeArgument(object.name + "=" + object.parameters + "|+|" + object.name +
                                " Report") +
                 "')";
        } else {
          href = base + "?t=" + UrlEncodeAsp(ObjectLinkValue(object.name, object.type)) + query;
        }
        out += "<a class=link_button href=\" " + href + "\">";
      } else {
        out += "<span class=link_button_text>";
      }
      out += HtmlName(object.name);
      out += linked ? "</a>" : "</span>";
      out += "</td>";
      if (!procedure) {
        out += "<td><input type=checkbox name=check1 value=\"" + HtmlName(object.name) + "\"></td>";
      }
      out += "</tr>";
    }
    out += "</table></td>";
  }
  out += "</tr></table>";
  if (settings.can_add) {
    out +=
        "<div align=right><input type=button value=\"Build Report\" "
        "onclick=\"__POPWIN(this.form)\"><input type='hidden' name='tables'/></div>";
  }
  return out;
}

}  // namespace fennick::designer
