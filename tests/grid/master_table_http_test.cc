// The master table of a master-details grid over real HTTP: named by its
// table or by the alias the command gives it, whichever the columns are
// qualified with, it groups customers into master rows; a name no column
// belongs to says so instead of making the whole result one master row.
#include <gtest/gtest.h>

#include "grid/export_page.h"

namespace fennick {
namespace {

class MasterTableHttpTest : public testing::ExportPageTest {
 protected:
  void SetUp() override {
    ExportPageTest::SetUp();
    Connection db;
    db.Open(sqlite_);
    db.Execute("CREATE TABLE Customers (Cid INTEGER, Company VARCHAR(20))");
    db.Execute("INSERT INTO Customers VALUES (1, 'Alpha'), (2, 'Beta')");
    db.Execute("CREATE TABLE Orders (Id INTEGER, Cid INTEGER, Amount REAL)");
    db.Execute("INSERT INTO Orders VALUES (10, 1, 5), (11, 1, 6), (12, 2, 7)");
  }
};

TEST_F(MasterTableHttpTest, TheMasterTableIsFoundByNameOrAliasOrNamedAsMissing) {
  // Qualified by the aliases in the select list; by the provider's base
  // tables when the command has AS; by the tables themselves.
  const std::string aliased =
      "SELECT c.Company, o.Id, o.Amount FROM Orders o JOIN Customers c ON o.Cid = c.Cid";
  const std::string with_as =
      "SELECT c.Company AS Company, o.Id AS Id FROM Orders AS o INNER JOIN Customers AS c "
      "ON o.Cid = c.Cid";
  const std::string plain =
      "SELECT Customers.Company, Orders.Id FROM Customers, Orders "
      "WHERE Orders.Cid = Customers.Cid";
  struct Case {
    std::string command, master_table;
    bool grouped;  // two master rows; else the message naming the table
  };
  const Case cases[] = {
      {aliased, "c", true},         {aliased, "Customers", true},
      {with_as, "Customers", true}, {with_as, "c", true},
      {plain, "Customers", true},   {aliased, "Shippers", false},
      {aliased, "customers", false}, {plain, "c", false},
      {with_as, "Cust<omers>", false},
  };
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.command + " / " + c.master_table);
    const std::string page = "m" + std::to_string(++n) + ".asp";
    WriteGridPage(page, sqlite_, c.command, "g.MasterTable = '" + c.master_table + "';");
    auto res = Client().Get("/" + page);
    ASSERT_TRUE(res);
    ASSERT_EQ(res->status, 200);
    const std::string& body = res->body;
    if (c.grouped) {
      EXPECT_THAT(body, HasSubstr("(2 recs)"));
      EXPECT_THAT(body, HasSubstr("<td class=\"text\">Alpha</td>"));
      EXPECT_THAT(body, Not(HasSubstr("Master table not selected")));
    } else {
      std::string name = c.master_table;
      if (name == "Cust<omers>") name = "Cust&lt;omers&gt;";
      EXPECT_EQ(body,
                "<font color=red><b>Master table not selected<b><br>No column of the result "
                "belongs to the master table &quot;" +
                    name + "&quot;</font>");
    }
  }
}

}  // namespace
}  // namespace fennick
