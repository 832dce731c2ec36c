// Report definitions: reading rules, round trips, the schema lookups, and
// free text that must not be able to cut a definition.
#include "designer/report_definition.h"

#include <gtest/gtest.h>

#include <string>

namespace fennick::designer {
namespace {

ReportDefinition Read(std::string_view text, ReportDefinition report = {}) {
  ReadDefinition(text, report);
  return report;
}

// A report with every member away from its default.
ReportDefinition FullReport() {
  ReportDefinition r;
  r.tables = "Orders,Customers";
  r.fields = "Orders.Amount, Customers.Name";
  r.filters = ",Orders.Amount__4__100,Customers.Name__17__a|b";
  r.relations = "[Orders].[CustomerID]=[Customers].[ID]";
  r.schema = ",Orders.Amount~cAmount~fN2~t6~,Customers.Name~cName~f~t200~";
  r.dbt = 2;
  r.rtitle = "Sales: \"big\" ones";
  r.rdesc = "Say _Q_hi_Q_ <b>bold</b> \x27quoted\x27";
  r.rgroup = "HR";
  r.rid = "6030514074";
  r.summary = "Orders.Amount__SUM__Total";
  r.rpwd = "secret";
  r.pagesize = 25;
  r.rfmt = 2;
  r.sonly = 1;
  r.grpby = 1;
  r.join = 2;
  r.distinct = 1;
  r.rtype = 2;
  r.mtbl = "Customers";
  r.shwsrch = 1;
  r.sortdef = 1;
  r.reqparam = "Required Parameter(s)";
  r.rownum = 0;
  r.coltotal = 1;
  r.colavg = 1;
  r.rowtotal = 1;
  r.rowavg = 1;
  r.isproc = 1;
  r.gflds = "SUM_1, COUNT_1";
  r.params = "from|1/1/2020|7,to||7";
  r.chart = 1;
  r.graph = 3;
  r.conly = 2;
  r.legend = "Customers.Name";
  r.gtitle = "Graph";
  r.xlabel = "X";
  r.ylabel = "Y";
  r.count = 1;
  r.sum = "Orders.Amount";
  r.avg = "a, b";
  r.min = "c";
  r.max = "d";
  r.stdev = "e";
  r.var = "f";
  r.nftotal = "g";
  r.nfavg = "h";
  r.agcaps = "&COUNT_1=Orders&SUM_1=Total";
  r.distsrchtxt = 1;
  return r;
}

TEST(ReportDefinitionTest, WritesEveryKeyInOrder) {
  ReportDefinition r;
  r.tables = "T";
  r.rtitle = "a:b";
  EXPECT_EQ(WriteDefinition(r),
            ";tables:T;fields:;filters:;relations:;schema:;dbt:0;rtitle:a:b;rdesc:;rgroup:;rid:;"
            "summary:;rpwd:;pagesize:0;rfmt:0;sonly:0;grpby:0;join:0;distinct:0;rtype:0;mtbl:;"
            "shwsrch:0;sortdef:0;reqparam:;rownum:1;coltotal:0;colavg:0;rowtotal:0;rowavg:0;"
            "isproc:0;gflds:;params:;chart:0;graph:0;conly:0;legend:;gtitle:;xlabel:;ylabel:;"
            "count:0;sum:;avg:;min:;max:;stdev:;var:;nftotal:;nfavg:;agcaps:;distsrchtxt:0;");
}

TEST(ReportDefinitionTest, RoundTripsEveryField) {
  const ReportDefinition full = FullReport();
  const std::string plain = WriteDefinition(full);
  EXPECT_EQ(WriteDefinition(Read(plain)), plain);
  EXPECT_EQ(Read(plain), full);
  // And through the stored form, as the reports file keeps it.
  EXPECT_EQ(Read(DecodeDefinition(EncodeDefinition(plain))), full);
  // Quotes and the builder's "_Q_" stay as they are in the definition; the
  // stored description turns "_Q_" into quotes.
  EXPECT_EQ(StoredDescription(full.rdesc), "Say \"hi\" <b>bold</b> 'quoted'");
}

TEST(ReportDefinitionTest, ReadingRules) {
  // Only ";": texts empty, rownum on, sortdef off, other numbers unchanged.
  ReportDefinition before;
  before.pagesize = 17;
  before.dbt = 6;
  before.rtitle = "old";
  ReportDefinition r = Read(";", before);
  EXPECT_EQ(r.rtitle, "");
  EXPECT_EQ(r.rownum, 1);
  EXPECT_EQ(r.sortdef, 0);
  EXPECT_EQ(r.pagesize, 17);
  EXPECT_EQ(r.dbt, 6);

  // Bad and out-of-range integers keep the member; the others go on.
  r = Read(";pagesize:abc;dbt:70000;rfmt:2;rownum:x;sortdef:y;shwsrch:1abc;coltotal:zz;"
           "grpby:1.5;join:2.5;",
           before);
  EXPECT_EQ(r.pagesize, 17);
  EXPECT_EQ(r.dbt, 6);
  EXPECT_EQ(r.rfmt, 2);
  EXPECT_EQ(r.rownum, 1);
  EXPECT_EQ(r.sortdef, 0);
  EXPECT_EQ(r.shwsrch, 1);   // leading digits
  EXPECT_EQ(r.coltotal, 0);  // no digits
  EXPECT_EQ(r.grpby, 2);     // half to even
  EXPECT_EQ(r.join, 2);
  EXPECT_EQ(Read(";rownum:0;").rownum, 0);
  EXPECT_EQ(Read(";rownum:;").rownum, 1);

  // Keys are found by ";" + key + ":": avg is not colavg, rowavg or nfavg;
  // order does not matter and a definition without the leading ";" reads.
  r = Read("colavg:1;rowavg:1;nfavg:X;avg:Amount;");
  EXPECT_EQ(r.avg, "Amount");
  EXPECT_EQ(r.nfavg, "X");
  EXPECT_EQ(r.colavg, 1);
  EXPECT_EQ(GetDefinitionValue("colavg:1;avg:Amount;", "avg"), "Amount");
  EXPECT_EQ(GetDefinitionValue(";rtitle:a:b;", "rtitle"), "a:b");
  EXPECT_EQ(GetDefinitionValue(";rtitle:a;b;", "rtitle"), "a");
  EXPECT_EQ(GetDefinitionValue(";rtitle:end", "rtitle"), "end");
  EXPECT_EQ(GetDefinitionValue(";rtitle:x;", "rdesc"), "");
}

TEST(ReportDefinitionTest, FreeTextCannotSmuggleKeys) {
  // Every text member carries an attempt to set the password and the
  // page size.
  ReportDefinition r;
  const std::string hostile = "t;rpwd:x;pagesize:9";
  for (std::string* member :
       {&r.tables, &r.fields, &r.filters, &r.relations, &r.schema, &r.rtitle, &r.rdesc,
        &r.rgroup, &r.rid, &r.summary, &r.mtbl, &r.reqparam, &r.gflds, &r.params, &r.legend,
        &r.gtitle, &r.xlabel, &r.ylabel, &r.sum, &r.avg, &r.min, &r.max, &r.stdev, &r.var,
        &r.nftotal, &r.nfavg, &r.agcaps}) {
    *member = hostile;
  }
  r.pagesize = 5;
  const ReportDefinition back = Read(WriteDefinition(r));
  EXPECT_EQ(back.rpwd, "");
  EXPECT_EQ(back.pagesize, 5);
  EXPECT_EQ(back.rtitle, "t,rpwd:x,pagesize:9");
  EXPECT_EQ(back.agcaps, "t,rpwd:x,pagesize:9");

  // Captions and formats lose "~" and ";", so an entry stays one entry.
  std::string schema = SchemaEntry("Amount", "Tot~al;x", "C3http://a/?q=1~x", "6");
  EXPECT_EQ(schema, ",Amount~cTot-al,x~fC3http://a/?q=1-x~t6~");
  ReplaceSchemaValue(schema, "Amount", "c", "A~tEvil;rpwd:1");
  EXPECT_EQ(schema, ",Amount~cA-tEvil,rpwd:1~fC3http://a/?q=1-x~t6~");
  EXPECT_EQ(SchemaValue(schema, "Amount", "t", ""), "6");

  // The reader keeps stored text as written: a stored "~" or ":" is read.
  EXPECT_EQ(Read(";rtitle:a~b:c;").rtitle, "a~b:c");
}

TEST(ReportDefinitionTest, SchemaLookups) {
  const std::string schema = ",Orders.Amount~cAmount~fN2~t6~,Name~cCustomer~f~t200~";
  EXPECT_EQ(SchemaValue(schema, "orders.amount", "c", "d"), "Amount");
  EXPECT_EQ(SchemaValue(schema, "Orders.Amount", "f", "d"), "N2");
  EXPECT_EQ(SchemaValue(schema, "Orders.Amount", "t", "d"), "6");
  // An empty value or an unknown field is empty; the default only for an
  // empty schema.
  EXPECT_EQ(SchemaValue(schema, "Name", "f", "d"), "");
  EXPECT_EQ(SchemaValue(schema, "Missing", "c", "d"), "");
  EXPECT_EQ(SchemaValue("", "Name", "c", "d"), "d");
  // A prefixed name finds the bare entry through the prefix drop...
  EXPECT_EQ(SchemaValue(schema, "Customers.Name", "c", ""), "Customer");
  // ... and the report's lookup through the bare-name fallback.
  EXPECT_EQ(ReportSchemaValue(schema, "Customers.Name", "c"), "Customer");
  EXPECT_EQ(ReportSchemaValue(schema, "Orders.Amount", "c"), "Amount");
  EXPECT_EQ(ReportSchemaValue(schema, "amount", "t"), "6");

  // An entry that lacks a code picks up the next entry's.
  EXPECT_EQ(SchemaValue(",A~cX~t6~,B~cY~fN1~t131~", "A", "f", ""), "N1");

  // The colon form: no "~f" anywhere, ":" ends a value.
  const std::string old_schema = ",Amount:cTotal::t6:,Region:cArea::t200:";
  EXPECT_EQ(ReportSchemaValue(old_schema, "Amount", "c"), "Total");
  EXPECT_EQ(ReportSchemaValue(old_schema, "Region", "t"), "200");
  EXPECT_EQ(ReportSchemaValue(old_schema, "Sales.Region", "c"), "Area");

  // Replacing: case-sensitive entry first, then the bare name ignoring case;
  // no entry, no change.
  std::string edited = schema;
  ReplaceSchemaValue(edited, "Orders.Amount", "f", "C82");
  EXPECT_EQ(edited, ",Orders.Amount~cAmount~fC82~t6~,Name~cCustomer~f~t200~");
  ReplaceSchemaValue(edited, "Customers.NAME", "f", "S1");
  EXPECT_EQ(edited, ",Orders.Amount~cAmount~fC82~t6~,Name~cCustomer~fS1~t200~");
  ReplaceSchemaValue(edited, "Nothing", "c", "x");
  EXPECT_EQ(edited, ",Orders.Amount~cAmount~fC82~t6~,Name~cCustomer~fS1~t200~");
}

TEST(ReportDefinitionTest, SchemaFallbackMatchesWholeNamesOnly) {
  // "Id" must not find "OrderId" (an earlier entry) nor a caption holding
  // "Id"; it finds the entry named Id, with or without a table prefix.
  const std::string schema =
      ",OrderId~cOrder~fN4~t131~,Note~cId~fS1~t200~,Customers.Id~cKey~fN1~t131~";
  EXPECT_EQ(ReportSchemaValue(schema, "Id", "c"), "Key");
  EXPECT_EQ(ReportSchemaValue(schema, "Orders.Id", "f"), "N1");
  EXPECT_EQ(ReportSchemaValue(schema, "der", "c"), "");
  EXPECT_EQ(ReportSchemaValue(",OrderId~cOrder~fN4~t131~", "Id", "c"), "");
  EXPECT_EQ(SchemaValue(",OrderId~cOrder~fN4~t131~", "X.Id", "c", ""), "");

  std::string edited = schema;
  ReplaceSchemaValue(edited, "ID", "c", "Customer key");
  EXPECT_EQ(edited,
            ",OrderId~cOrder~fN4~t131~,Note~cId~fS1~t200~,Customers.Id~cCustomer key~fN1~t131~");
  edited = ",OrderId~cOrder~fN4~t131~";
  ReplaceSchemaValue(edited, "Id", "c", "x");
  EXPECT_EQ(edited, ",OrderId~cOrder~fN4~t131~");
}

TEST(ReportDefinitionTest, StoredFormDecodesPaddedAndBrokenBase64) {
  EXPECT_EQ(EncodeDefinition(";a:1;"), "O2E6MTsg");  // blank padding, no "="
  EXPECT_EQ(DecodeDefinition("O2E6MTs="), ";a:1;");
  EXPECT_EQ(DecodeDefinition("O2E6\r\nMTs="), ";a:1;");
  EXPECT_EQ(DecodeDefinition("O2E6MQ=="), ";a:1");
  EXPECT_EQ(DecodeDefinition("not base64!"), "");
  EXPECT_EQ(DecodeDefinition("O2E6M==="), "");
}

}  // namespace
}  // namespace fennick::designer
