// The database objects a designer page offers: sections from the
// catalogue on SQLite and PostgreSQL (functions as procedures, with their
// parameters), the allow and hide lists, what a "t" link may open, and the
// column's markup with every name encoded.
#include "designer/schema_discovery.h"

#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "frame/argument_codec.h"
#include "platform/data/test_databases.h"
#include "platform/web/http_text.h"
#include "support/fold-designer_text.h"

namespace fennick::designer {
namespace {

using fennick::testing::TestDatabase;

// "caption: name name ..." per section, to compare listings at a glance.
std::string Listing(const std::vector<ObjectSection>& sections) {
  std::string out;
  for (const ObjectSection& section : sections) {
    if (!out.empty()) out += " | ";
    out += section.caption_key + ":";
    for (const OfferedObject& object : section.objects) {
      out += " " + object.name;
      if (!object.parameters.empty()) out += "(" + object.parameters + ")";
    }
  }
  return out;
}

class SchemaDiscoveryDbTest : public ::testing::TestWithParam<const char*> {
 protected:
  void SetUp() override {
    ASSERT_TRUE(db_.Open());
    db_.Run("CREATE TABLE Orders (Id INTEGER, Amount NUMERIC)");
    db_.Run("CREATE TABLE Customers (Id INTEGER, Name VARCHAR(20))");
    db_.Run("CREATE TABLE Secrets (Id INTEGER)");
    db_.Run("CREATE VIEW Sales AS SELECT Id, Amount FROM Orders");
    if (db_.IsPostgres()) {
      db_.Run(
          "CREATE FUNCTION sales_by(country VARCHAR, yr INTEGER) RETURNS TABLE(x INTEGER) "
          "AS $$ SELECT 1 $$ LANGUAGE sql");
      db_.Run("CREATE FUNCTION all_sales() RETURNS SETOF INTEGER AS $$ SELECT 1 $$ LANGUAGE sql");
    }
    settings_.database_type = db_.IsPostgres() ? 11 : 10;
  }

  TestDatabase db_{GetParam()};
  SchemaListSettings settings_;
};

TEST_P(SchemaDiscoveryDbTest, SectionsFollowTheAllowAndHideLists) {
  const std::string procedures =
      db_.IsPostgres() ? " | ProceduresText: all_sales sales_by(country||200,yr||131)" : "";
  const std::string tables =
      db_.IsPostgres() ? "customers orders secrets" : "Customers Orders Secrets";
  const std::string view = db_.IsPostgres() ? "sales" : "Sales";
  EXPECT_EQ(Listing(ListOfferedObjects(db_.connection(), settings_)),
            "TablesText: " + tables + " | ViewsText: " + view + procedures);

  settings_.hidden_tables = " SECRETS ,sales, nothing";
  settings_.hide_procedures = true;
  EXPECT_EQ(Listing(ListOfferedObjects(db_.connection(), settings_)),
            db_.IsPostgres() ? "TablesText: customers orders" : "TablesText: Customers Orders");
  EXPECT_FALSE(IsObjectOffered(db_.connection(), settings_, "secrets", CatalogObjectType::kTable));
  EXPECT_FALSE(IsObjectOffered(db_.connection(), settings_, "Sales", CatalogObjectType::kView));
  EXPECT_TRUE(IsObjectOffered(db_.connection(), settings_, "ORDERS", CatalogObjectType::kTable));
  // Link switches do not decide what may be opened.
  settings_.turn_off_table_links = true;
  EXPECT_TRUE(IsObjectOffered(db_.connection(), settings_, "orders", CatalogObjectType::kView));
  // A table is no procedure, nor is something the database does not have.
  EXPECT_FALSE(
      IsObjectOffered(db_.connection(), settings_, "orders", CatalogObjectType::kProcedure));
  EXPECT_FALSE(IsObjectOffered(db_.connection(), settings_, "orders; DROP TABLE orders",
                               CatalogObjectType::kTable));

  // Only the allowed tables, in the given order; the hidden list still wins.
  settings_.use_tables = "Secrets, Orders,Customers";
  settings_.use_procedures = "sales_by";
  settings_.hide_views = true;
  const std::string allowed_procedure =
      db_.IsPostgres() ? "sales_by(country||200,yr||131)" : "sales_by";
  EXPECT_EQ(Listing(ListOfferedObjects(db_.connection(), settings_)),
            "AllowedTablesText: Orders Customers | AllowedProceduresText: " + allowed_procedure);
  EXPECT_FALSE(IsObjectOffered(db_.connection(), settings_, "Sales", CatalogObjectType::kTable));
  EXPECT_TRUE(
      IsObjectOffered(db_.connection(), settings_, "sales_by", CatalogObjectType::kProcedure));

  // The page's own statements, with the stored-procedure caption.
  settings_ = SchemaListSettings();
  settings_.tables_query = "SELECT 'Orders' UNION ALL SELECT 'Customers'";
  settings_.views_query = "SELECT 'Sales' WHERE 1=0";
  settings_.procedures_query = "SELECT 'sales_by'";
  settings_.hidden_tables = "customers";
  EXPECT_EQ(Listing(ListOfferedObjects(db_.connection(), settings_)),
            "TablesText: Orders | StoredProceduresText: sales_by" +
                std::string(db_.IsPostgres() ? "(country||200,yr||131)" : ""));
  // A statement that fails offers nothing.
  settings_.tables_query = "SELECT nothing FROM nowhere";
  EXPECT_FALSE(IsObjectOffered(db_.connection(), settings_, "Orders", CatalogObjectType::kTable));
}

TEST_P(SchemaDiscoveryDbTest, FieldsWithTheirCategories) {
  db_.Run("CREATE TABLE \"Odd \"\"Name\" (Id INTEGER, Title VARCHAR(9), Placed DATE)");
  std::string fields;
  for (const ObjectField& f :
       ListObjectFields(db_.connection(), settings_.database_type, "Odd \"Name")) {
    fields += f.name + ":" + std::to_string(f.category) + " ";
  }
  EXPECT_EQ(fields, db_.IsPostgres() ? "id:131 title:200 placed:7 " : "Id:131 Title:200 Placed:7 ");
  EXPECT_THROW(ListObjectFields(db_.connection(), settings_.database_type, "Missing"), Error);
}

INSTANTIATE_TEST_SUITE_P(Engines, SchemaDiscoveryDbTest, ::testing::Values("SQLite", "PostgreSQL"));

TEST(SchemaDiscoveryTest, DefaultCatalogStatementsPerDatabaseType) {
  using T = CatalogObjectType;
  EXPECT_EQ(DefaultCatalogStatement(2, T::kTable),
            "SELECT NAME FROM SYSOBJECTS WHERE XTYPE='U' AND STATUS>0 ORDER BY 1");
  EXPECT_EQ(DefaultCatalogStatement(2, T::kProcedure),
            "SELECT NAME FROM SYSOBJECTS WHERE XTYPE='P' AND STATUS>0 ORDER BY 1");
  EXPECT_EQ(DefaultCatalogStatement(9, T::kView),
            "SELECT NAME FROM SYSOBJECTS WHERE XTYPE='V' ORDER BY 1");
  EXPECT_EQ(DefaultCatalogStatement(8, T::kTable),
            "SELECT [Name] From SysObjects where [TYPE]='U' AND [UID] = 1 ORDER BY 1");
  EXPECT_EQ(DefaultCatalogStatement(6, T::kTable), "SHOW TABLES");
  EXPECT_EQ(DefaultCatalogStatement(6, T::kView), "");
  EXPECT_EQ(DefaultCatalogStatement(7, T::kTable), "SELECT TABLE_NAME FROM ALL_TABLES");
  EXPECT_EQ(DefaultCatalogStatement(7, T::kView), "SELECT VIEW_NAME FROM ALL_VIEWS");
  EXPECT_EQ(DefaultCatalogStatement(7, T::kProcedure), "");
  EXPECT_EQ(DefaultCatalogStatement(10, T::kTable), "");

  // A SQLite connection is asked through its catalogue even when the page
  // says it is SQL Server: the SQL Server statements never run on it.
  Connection connection;
  connection.Open("Provider=SQLite;Data Source=:memory:");
  connection.Execute("CREATE TABLE T1 (a INTEGER)");
  SchemaListSettings settings;
  settings.database_type = 2;
  EXPECT_EQ(Listing(ListOfferedObjects(connection, settings)), "TablesText: T1");
}

TEST(SchemaDiscoveryTest, LinksAndMarkupEncodeEveryName) {
  std::vector<ObjectSection> sections = {
      {"TablesText",
       "Tables",
       {{"<b>Or'ders</b>", CatalogObjectType::kTable, ""},
        {"Plain", CatalogObjectType::kTable, ""}}},
      {"ViewsText", "Views", {}},
      {"ProceduresText",
       "Procedures",
       {{"p1", CatalogObjectType::kProcedure, "a||200"},
        {"p2", CatalogObjectType::kProcedure, ""}}},
  };
  SchemaListSettings settings;
  settings.turn_off_table_links_for = "plain";
  settings.can_add = true;
  auto caption = [](std::string_view key, std::string_view fallback) {
    return std::string(key) + "=" + std::string(fallback);
  };
  std::string html =
      DatabaseObjectsHtml(sections, settings, caption, "/reports.asp", "x=1&y=\"2\"");
  // The "t" values carry 8 random characters; each reads back to its object.
  std::vector<std::string> links;
  const std::regex t_link("\\?t=([^&\"]+)");
  for (std::sregex_iterator it(html.begin(), html.end(), t_link), end; it != end; ++it) {
    links.push_back(UrlDecode((*it)[1].str(), true));
  }
  ASSERT_EQ(links.size(), 2u);
  std::optional<ObjectLink> table = ReadObjectLink(links[0]);
  ASSERT_TRUE(table);
  EXPECT_EQ(table->name, "<b>Or'ders</b>");
  EXPECT_EQ(table->type, CatalogObjectType::kTable);
  std::optional<ObjectLink> procedure = ReadObjectLink(links[1]);
  ASSERT_TRUE(procedure);
  EXPECT_EQ(procedure->name, "p2");
  EXPECT_EQ(procedure->type, CatalogObjectType::kProcedure);
  EXPECT_NE(ObjectLinkValue("p2", CatalogObjectType::kProcedure).substr(0, 8),
            ObjectLinkValue("p2", CatalogObjectType::kProcedure).substr(0, 8));
  EXPECT_FALSE(ReadObjectLink("short"));

  html = std::regex_replace(html, t_link, "?t=LINK");
  EXPECT_EQ(
      html,
      "<table border=0 cellpadding=3><tr>"
      "<td valign=top><table width='100%'><tr><td class=header_cell align=left>"
      "TablesText=Tables</td></tr>"
      "<tr><td><a class=link_button href=\" /reports.asp?t=LINK&amp;x=1&amp;y=&quot;2&quot;\">"
      "&lt;b&gt;Or&#39;ders&lt;/b&gt;</a></td>"
      "<td><input type=checkbox name=check1 value=\"&lt;b&gt;Or&#39;ders&lt;/b&gt;\"></td></tr>"
      "<tr><td><span class=link_button_text>Plain</span></td>"
      "<td><input type=checkbox name=check1 value=\"Plain\"></td></tr>"
      "</table></td>"
      "<td valign=top><table width='100%'><tr><td class=header_cell align=left>"
      "ProceduresText=Procedures</td></tr>"
      "<tr><td><a class=link_button href=\" javascript:___ESPN('" +
          EncodeArgument("p1=a||200|+|p1 Report") +
          "')\">p1</a></td></tr>"
          "<tr><td><a class=link_button href=\" /reports.asp?t=LINK&amp;x=1&amp;y=&quot;2&quot;\">"
          "p2</a></td></tr>"
          "</table></td>"
          "</tr></table>"
          "<div align=right><input type=button value=\"Build Report\" "
          "onclick=\"__POPWIN(this.form)\"><input type='hidden' name='tables'/></div>");

  // Links off for all but the listed; procedures are always links.
  settings.turn_off_table_links = true;
  settings.turn_on_table_links_for = "x , plain";
  settings.can_add = false;
  html = DatabaseObjectsHtml(sections, settings, nullptr, "/r", "");
  EXPECT_HAS(html, "<span class=link_button_text>&lt;b&gt;");
  EXPECT_HAS(html, "href=\" /r?t=");
  EXPECT_LACKS(html, "Build Report");
  EXPECT_HAS(html, ">Tables</td>");
}

}  // namespace
}  // namespace fennick::designer
