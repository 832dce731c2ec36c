// ADODB objects from script pages: a connection, recordsets from Execute and
// Open, fields by position and name, and database errors as component
// errors.
#include <gtest/gtest.h>

#include "frame/ado_objects.h"
#include "page_harness.h"

namespace fennick {
namespace {

using testing::PageHarness;

TEST(PageAdodbTest, ConnectionsRecordsetsAndFields) {
  PageHarness h;
  h.Write("data/.keep", "");
  h.Write("shop.asp",
          "<% var conn = Server.CreateObject('ADODB.Connection');\n"
          "   conn.Open('Provider=SQLite;Data Source=data/shop.db;Mode=ReadWriteCreate');\n"
          "   conn.Execute('CREATE TABLE orders (id INTEGER, customer TEXT, amount REAL)');\n"
          "   conn.Execute(\"INSERT INTO orders VALUES (1, 'ann', 12.5), (2, 'bob', 7), (3, NULL, 1)\");\n"
          "   var rs = conn.Execute('SELECT id, customer, amount FROM orders ORDER BY id');\n"
          "   Response.Write(conn.State + ' ' + conn.Provider + ' ' + rs.Fields.Count + ' ' +\n"
          "                  rs.Fields(1).Name + ' ' + rs.RecordCount + '\\n');\n"
          "   while (!rs.EOF) {\n"
          "     Response.Write(rs('id') + '=' + rs('CUSTOMER') + '/' + rs.Fields('amount').Value +\n"
          "                    '/' + rs(2) * 2 + '/' + (rs('customer').Value === null) + ';');\n"
          "     rs.MoveNext();\n"
          "   }\n"
          "   for (var e = new Enumerator(rs.Fields); !e.atEnd(); e.moveNext())\n"
          "     Response.Write(' ' + e.item().Name);\n"
          "   rs.Close();\n"
          "   var counted = Server.CreateObject('ADODB.Recordset');\n"
          "   counted.Open('SELECT COUNT(*) AS n FROM orders', conn);\n"
          "   var byString = Server.CreateObject('ADODB.Recordset');\n"
          "   byString.Open('orders', 'Provider=SQLite;Data Source=data/shop.db');\n"
          "   byString.Sort = 'amount';\n"
          "   Response.Write('\\n' + counted('n') + ' ' + byString('customer') + ' ' + rs.State);\n"
          "   conn.Close(); %>");
  auto r = h.Get("/shop.asp");
  EXPECT_EQ(r.status, 200) << r.body;
  EXPECT_EQ(r.body,
            "1 SQLite 3 customer 3\n"
            "1=ann/12.5/25/false;2=bob/7/14/false;3=null/1/2/true; id customer amount\n"
            "3 null 0");
}

TEST(PageAdodbTest, DatabaseErrorsReachThePageAsComponentErrors) {
  PageHarness h;
  h.Write("bad.asp",
          "<% var conn = Server.CreateObject('ADODB.Connection');\n"
          "   conn.Open('Provider=SQLite;Data Source=:memory:');\n"
          "   var rs = conn.Execute('SELECT 1 AS one');\n"
          "   try { rs('two'); } catch (e) { Response.Write(e.number + ';'); }\n"
          "   try { rs.Open('SELECT 2'); } catch (e) { Response.Write(e.number + ';'); }\n"
          "   if (Request('q') == 'm') conn.Execute('SELECT * FROM missing_table'); %>");
  auto r = h.Get("/bad.asp");
  EXPECT_EQ(r.body, "3265;3709;");
  r = h.Get("/bad.asp?q=m");
  EXPECT_EQ(r.status, 500);
  EXPECT_NE(r.body.find("in /bad.asp, line 6<br>Fennick error '80040e14'"),
            std::string::npos)
      << r.body;
  EXPECT_NE(r.body.find("missing_table"), std::string::npos) << r.body;
  EXPECT_NE(r.body.find("<i>SQLite</i>"), std::string::npos) << r.body;

  h.Write("noconn.asp", "<% Server.CreateObject('ADODB.Recordset').Open('SELECT 1'); %>");
  r = h.Get("/noconn.asp");
  EXPECT_NE(r.body.find("(3709)"), std::string::npos) << r.body;
}

TEST(PageAdodbTest, TheConnectionBehindAnObjectIsFoundForGrids) {
  auto conn = CreateAdoObject("adodb.CONNECTION");
  ASSERT_TRUE(conn);
  EXPECT_NE(AdoConnectionOf(*conn), nullptr);
  auto rs = CreateAdoObject("ADODB.Recordset");
  ASSERT_TRUE(rs);
  EXPECT_EQ(AdoConnectionOf(*rs), nullptr);
  EXPECT_EQ(CreateAdoObject("ADODB.Command"), nullptr);
}

}  // namespace
}  // namespace fennick

namespace fennick {
namespace {

TEST(PageAdodbTest, GridsTakeThePagesConnection) {
  testing::PageHarness h;
  h.Write("grid.asp",
          "<% var conn = Server.CreateObject('ADODB.Connection');\n"
          "   conn.Open('Provider=SQLite;Data Source=:memory:');\n"
          "   var g = Server.CreateObject('Fennick.DataGrid');\n"
          "   g.Connection = conn;\n"
          "   g.Command = 'SELECT 1';\n"
          "   try { g.Connection = 5; } catch (e) { Response.Write(e.number + ' ' + e.message); }\n"
          "%>");
  auto r = h.Get("/grid.asp");
  EXPECT_EQ(r.status, 200) << r.body;
  EXPECT_NE(r.body.find("424 "), std::string::npos) << r.body;
  EXPECT_NE(r.body.find("Connection"), std::string::npos) << r.body;
}

}  // namespace
}  // namespace fennick
