// Report statements: the SQL text of definitions on Access, SQL Server and
// MySQL, every filter condition with hostile values, tokens and required
// parameters filled by context, hidden filters that cannot be bypassed,
// and procedure calls.
#include "designer/report_query.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

namespace fennick::designer {
namespace {

constexpr char kSchema[] =
    ",Region~cRegion~f~t200~,Name~cName~f~t200~,Amount~cAmount~fN2~t131~"
    ",Placed~cPlaced~fD1~t7~,Budget~cBudget~f~t6~";

ReportDefinition Orders(std::string filters = {}) {
  ReportDefinition r;
  r.tables = "Orders";
  r.fields = "Region, Amount";
  r.schema = kSchema;
  r.filters = std::move(filters);
  return r;
}

ReportQueryOptions Type(int type) {
  ReportQueryOptions options;
  options.database_type = type;
  return options;
}

// The WHERE condition BuildReportSql gives for one filter entry.
std::string Where(int type, const std::string& entry) {
  const std::string sql = BuildReportSql(Orders(entry), Type(type));
  const size_t at = sql.find(" WHERE ");
  return at == std::string::npos ? "<none>" : sql.substr(at + 7);
}

// Fixed run values: a session, typed parameters and a clock.
struct RunValues {
  std::map<std::string, std::string> session;
  std::map<std::string, std::string> typed;
  ReportRunValues values() const {
    ReportRunValues v;
    v.session = [this](std::string_view name) {
      auto it = session.find(std::string(name));
      return it == session.end() ? std::string() : it->second;
    };
    v.parameter = [this](std::string_view name) -> std::optional<std::string> {
      auto it = typed.find(std::string(name));
      if (it == typed.end()) return std::nullopt;
      return it->second;
    };
    std::tm t{};
    t.tm_year = 2026 - 1900;
    t.tm_mon = 11;
    t.tm_mday = 6;
    t.tm_hour = 9;
    t.tm_min = 5;
    t.tm_isdst = -1;
    v.now = std::mktime(&t);
    return v;
  }
};

TEST(ReportQueryTest, PlainJoinedDistinctAndSummaryStatements) {
  ReportDefinition plain = Orders();
  EXPECT_EQ(BuildReportSql(plain, Type(2)), "SELECT [Region],[Amount] FROM [Orders]");
  EXPECT_EQ(BuildReportSql(plain, Type(1)), "SELECT [Region],[Amount] FROM [Orders]");
  EXPECT_EQ(BuildReportSql(plain, Type(6)), "SELECT `Region`,`Amount` FROM `Orders`");
  plain.distinct = 1;
  EXPECT_EQ(BuildReportSql(plain, Type(2)), "SELECT  DISTINCT [Region],[Amount] FROM [Orders]");

  ReportDefinition joined;
  joined.tables = "Orders,Customers";
  joined.fields = "Orders.Amount, Customers.Name";
  joined.relations = "[Orders].[CustomerId]=[Customers].[Id]";
  joined.filters = "Orders.Amount__4__100";
  joined.schema = ",Orders.Amount~cAmount~f~t131~,Customers.Name~cName~f~t200~";
  EXPECT_EQ(BuildReportSql(joined, Type(2)),
            "SELECT [Orders].[Amount],[Customers].[Name] FROM [Orders],[Customers] "
            "WHERE ([Orders].[Amount]>100) AND ([Orders].[CustomerId]=[Customers].[Id])");
  joined.filters.clear();
  EXPECT_EQ(BuildReportSql(joined, Type(6)),
            "SELECT `Orders`.`Amount`,`Customers`.`Name` FROM `Orders`,`Customers` "
            "WHERE ([Orders].[CustomerId]=[Customers].[Id])");

  // Owner in front of tables; names not delimited at all with "" and "".
  ReportQueryOptions owner = Type(2);
  owner.db_owner = "dbo";
  EXPECT_EQ(BuildReportSql(Orders(), owner), "SELECT [Region],[Amount] FROM [dbo].[Orders]");
  ReportQueryOptions bare = Type(2);
  bare.sql_name_prefix = bare.sql_name_suffix = "";
  EXPECT_EQ(BuildReportSql(Orders(), bare), "SELECT Region,Amount FROM Orders");
  ReportDefinition hostile = Orders();
  hostile.fields = "Region, Name FROM Secrets WHERE 1";
  hostile.tables = "Orders]";
  EXPECT_EQ(BuildReportSql(hostile, bare),
            "SELECT Region,[Name FROM Secrets WHERE 1] FROM [Orders]]]");

  // Summary: numbers listed under an aggregate are aggregated, the rest
  // (a text field listed under sum too) is grouped.
  ReportDefinition summary = Orders();
  summary.fields = "Region, Amount, Name";
  summary.grpby = 1;
  summary.count = 1;
  summary.sum = "Amount, Name";
  EXPECT_EQ(BuildReportSql(summary, Type(2)),
            "SELECT [Region],[Name],COUNT(*) AS COUNT_1,SUM([Amount]) AS SUM_1,"
            "SUM([Name]) AS SUM_2 FROM [Orders] GROUP BY [Region],[Name]");
  summary.fields = "Region, Amount";
  summary.sum = "Amount";
  summary.count = 0;
  summary.avg = summary.min = summary.max = summary.stdev = summary.var = "Amount";
  EXPECT_EQ(BuildReportSql(summary, Type(6)),
            "SELECT `Region`,SUM(`Amount`) AS SUM_1,AVG(`Amount`) AS AVG_1,"
            "MIN(`Amount`) AS MIN_1,MAX(`Amount`) AS MAX_1,stddev_samp(`Amount`) AS STDEV_1,"
            "var_samp(`Amount`) AS VAR_1 FROM `Orders` GROUP BY `Region`");
  EXPECT_EQ(BuildReportSql(summary, Type(1)),
            "SELECT [Region],SUM([Amount]) AS SUM_1,AVG([Amount]) AS AVG_1,"
            "MIN([Amount]) AS MIN_1,MAX([Amount]) AS MAX_1,STDEV([Amount]) AS STDEV_1,"
            "VAR([Amount]) AS VAR_1 FROM [Orders] GROUP BY [Region]");
  // Only aggregates: no GROUP BY.
  summary.fields = "Amount";
  summary.avg = summary.min = summary.max = summary.stdev = summary.var = "";
  EXPECT_EQ(BuildReportSql(summary, Type(2)), "SELECT SUM([Amount]) AS SUM_1 FROM [Orders]");

  // A computed column: "#TEMP#" is the delimited field.
  ReportDefinition computed = Orders();
  computed.schema = ",Amount~cAmount~f[sql]#TEMP#*2[/sql]~t131~";
  EXPECT_EQ(BuildReportSql(computed, Type(2)),
            "SELECT [Region],([Amount]*2) AS 'Amount' FROM [Orders]");
  EXPECT_EQ(BuildReportSql(computed, Type(11)),
            "SELECT Region,(Amount*2) AS \"Amount\" FROM Orders");
}

TEST(ReportQueryTest, EveryConditionCodeOnAccessSqlServerAndMySql) {
  struct Case {
    const char* entry;
    const char* access;
    const char* sql_server;
    const char* mysql;
  };
  const Case cases[] = {
      {"Name__1__O'Brien", "([Name] LIKE '%O''Brien%')", "([Name] LIKE '%O''Brien%')",
       "(`Name` LIKE '%O''Brien%')"},
      {"Name__7__a@b.com", "([Name] NOT LIKE '%a@b.com%')", "([Name] NOT LIKE '%a@b.com%')",
       "(`Name` NOT LIKE '%a@b.com%')"},
      {"Name__5__What?", "([Name] LIKE 'What?%')", "([Name] LIKE 'What?%')",
       "(`Name` LIKE 'What?%')"},
      {"Name__6__x\\' OR 1=1", "([Name] LIKE '%x\\'' OR 1=1')", "([Name] LIKE '%x\\'' OR 1=1')",
       "(`Name` LIKE '%x\\\\'' OR 1=1')"},
      {"Amount__2__5", "([Amount]=5)", "([Amount]=5)", "(`Amount`=5)"},
      {"Amount__2__5 OR 1=1", "([Amount]=0)", "([Amount]=0)", "(`Amount`=0)"},
      {"Amount__3__-1.5e3", "([Amount]<-1.5e3)", "([Amount]<-1.5e3)", "(`Amount`<-1.5e3)"},
      {"Name__4__' OR ''='", "([Name]>''' OR ''''=''')", "([Name]>''' OR ''''=''')",
       "(`Name`>''' OR ''''=''')"},
      {"Amount__16__7", "([Amount]<>7)", "([Amount]<>7)", "(`Amount`<>7)"},
      {"Amount__8__10", "( ([Amount]=10 OR [Amount]>10) )", "( ([Amount]=10 OR [Amount]>10) )",
       "( (`Amount`=10 OR `Amount`>10) )"},
      {"Amount__9__10", "( ([Amount]=10 OR [Amount]<10) )", "( ([Amount]=10 OR [Amount]<10) )",
       "( (`Amount`=10 OR `Amount`<10) )"},
      {"Name__10__", "(( IsNull([Name]) OR [Name]=''))", "(( [Name] IS NULL OR [Name]=''))",
       "(( `Name` IS NULL OR `Name`=''))"},
      {"Name__11__", "(( Not IsNull([Name]) AND [Name]<>''))",
       "(( [Name] IS NOT NULL AND [Name]<>''))", "(( `Name` IS NOT NULL AND `Name`<>''))"},
      {"Name__12__", "(IsNull([Name]))", "([Name] IS NULL)", "(`Name` IS NULL)"},
      {"Name__13__", "(Not IsNull([Name]))", "([Name] IS NOT NULL)", "(`Name` IS NOT NULL)"},
      {"Amount__14__", "([Amount] IN (SELECT MAX([Amount]) FROM [Orders]))",
       "([Amount] IN (SELECT MAX([Amount]) FROM [Orders]))",
       "(`Amount` IN (SELECT MAX(`Amount`) FROM `Orders`))"},
      {"Amount__15__", "([Amount] IN (SELECT MIN([Amount]) FROM [Orders]))",
       "([Amount] IN (SELECT MIN([Amount]) FROM [Orders]))",
       "(`Amount` IN (SELECT MIN(`Amount`) FROM `Orders`))"},
      {"Amount__17__1|2|3", "([Amount] IN (1,2,3))", "([Amount] IN (1,2,3))",
       "(`Amount` IN (1,2,3))"},
      {"Name__17__Washington| DC|'O''Hare'|1) OR (1=1",
       "([Name] IN ('Washington','DC','O''Hare','1) OR (1=1'))",
       "([Name] IN ('Washington','DC','O''Hare','1) OR (1=1'))",
       "(`Name` IN ('Washington','DC','O''Hare','1) OR (1=1'))"},
      {"Amount__18__", "([Amount] < (SELECT AVG([Amount]) FROM [Orders]))",
       "([Amount] < (SELECT AVG([Amount]) FROM [Orders]))",
       "(`Amount` < (SELECT AVG(`Amount`) FROM `Orders`))"},
      {"Amount__19__", "([Amount] > (SELECT AVG([Amount]) FROM [Orders]))",
       "([Amount] > (SELECT AVG([Amount]) FROM [Orders]))",
       "(`Amount` > (SELECT AVG(`Amount`) FROM `Orders`))"},
      // "," is kept as "|" in the definition; only IS IN turns it back.
      {"Name__1__Washington| DC", "([Name] LIKE '%Washington| DC%')",
       "([Name] LIKE '%Washington| DC%')", "(`Name` LIKE '%Washington| DC%')"},
      // Dates: validated, then in each database's form.
      {"Placed__2__3/5/2004", "([Placed]=#3/5/2004#)", "([Placed]='3/5/2004')",
       "(`Placed`='2004-3-5')"},
      {"Placed__4__2004-03-05 14:30", "([Placed]>#3/5/2004 14:30:00#)",
       "([Placed]>'3/5/2004 14:30:00')", "(`Placed`>'2004-3-5')"},
      // Field references.
      {"Amount__4__!Budget", "([Amount]>[Budget])", "([Amount]>[Budget])", "(`Amount`>`Budget`)"},
      {"Name__1__!Region", "([Name] LIKE '%'+[Region]+'%')", "([Name] LIKE '%'+[Region]+'%')",
       "(`Name` LIKE '%'+`Region`+'%')"},
      {"Name__5__!Region", "([Name] LIKE [Region]+'%')", "([Name] LIKE [Region]+'%')",
       "(`Name` LIKE `Region`+'%')"},
      {"Name__2__!Re]gion", "([Name]=[Re]]gion])", "([Name]=[Re]]gion])", "(`Name`=`Re]gion`)"},
      // Tokens and parameters as whole values stay as written here.
      {"Name__2__@USERNAME", "([Name]='@USERNAME')", "([Name]='@USERNAME')",
       "(`Name`='@USERNAME')"},
      {"Name__2__?Country", "([Name]='?Country')", "([Name]='?Country')", "(`Name`='?Country')"},
      {"Placed__3__@DATE", "([Placed]<#@DATE#)", "([Placed]<'@DATE')", "(`Placed`<'@DATE')"},
      // What the builder cannot write holds for no row.
      {"Name__20__x", "(1=0)", "(1=0)", "(1=0)"},
      {"Name__0__x", "(1=0)", "(1=0)", "(1=0)"},
      {"Name__ 2x__x", "(1=0)", "(1=0)", "(1=0)"},
      {"Name", "(1=0)", "(1=0)", "(1=0)"},
      {"Placed__2__31/31/2004", "(1=0)", "(1=0)", "(1=0)"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Where(1, c.entry), c.access) << c.entry;
    EXPECT_EQ(Where(2, c.entry), c.sql_server) << c.entry;
    EXPECT_EQ(Where(6, c.entry), c.mysql) << c.entry;
  }
  // SQLite and PostgreSQL join texts with "||" and write ISO dates.
  EXPECT_EQ(Where(10, "Name__1__!Region"), "([Name] LIKE '%'||[Region]||'%')");
  EXPECT_EQ(Where(11, "Name__6__!Region"), "(Name LIKE '%'||Region)");
  EXPECT_EQ(Where(10, "Placed__2__3/5/2004"), "([Placed]='2004-03-05')");
  EXPECT_EQ(Where(11, "Placed__2__2004-03-05 14:30"), "(Placed='2004-03-05 14:30:00')");
}

TEST(ReportQueryTest, FiltersJoinAndFailClosedAsAWhole) {
  EXPECT_EQ(Where(2, ",Amount__4__1,Region__2__West"), "([Amount]>1 AND [Region]='West')");
  ReportDefinition any = Orders(",Amount__4__1,Region__2__West");
  any.join = 2;
  EXPECT_EQ(GetFilters(any, Type(2)), "[Amount]>1 OR [Region]='West'");
  // One unknown code empties the report even when joined with OR.
  any.filters = "Amount__4__1,Region__99__West";
  EXPECT_EQ(GetFilters(any, Type(2)), "1=0");
  EXPECT_EQ(GetFilters(Orders(), Type(2)), "");
  // GetFilters gives "|" back as "," for every condition.
  EXPECT_EQ(GetFilters(Orders("Name__1__Washington| DC"), Type(2)),
            "[Name] LIKE '%Washington, DC%'");
  EXPECT_EQ(GetFilter("x", "y", "z"), "0=0");
  // With delimiting off, only plain names may stand in SQL.
  ReportQueryOptions bare = Type(2);
  bare.sql_name_prefix = bare.sql_name_suffix = "";
  EXPECT_EQ(GetFilters(Orders("Amount__4__!Budget"), bare), "Amount>Budget");
  EXPECT_EQ(GetFilters(Orders("Amount__4__!Budget) OR (1=1"), bare), "1=0");
  EXPECT_EQ(GetFilters(Orders("Amount OR 1=1__4__1"), bare), "1=0");
}

TEST(ReportQueryTest, FilterDisplayTextShowsWordsAndEncodesValues) {
  EXPECT_EQ(FilterDisplayText("Name__1__<b>x</b>"), "Name <i>contains</i> &lt;b&gt;x&lt;/b&gt;");
  EXPECT_EQ(FilterDisplayText("Amount__17__1|2"), "Amount <i>IS IN</i> 1|2");
  EXPECT_EQ(FilterDisplayText("Name__11__"), "Name <i>is not empty</i> ");
  EXPECT_EQ(FilterDisplayText("Amount__8__5"), "Amount <i>is greater than or equal to</i> 5");
  EXPECT_EQ(FilterDisplayText("Name__7__it's"), "Name <i>does not contain</i> it&#39;s");
  EXPECT_EQ(FilterDisplayText("no marker"), "no marker");
}

TEST(ReportQueryTest, TokensAndParametersAreFilledByContext) {
  RunValues run;
  run.session = {{"UserName", "O'Neil"}, {"UserId", "7"}, {"DateFrom", "2026-01-01"}};
  ReportQueryOptions sqlite = Type(10);

  // A whole-value token: the session value as a literal of the field.
  ReportStatement s = PrepareReportStatement(Orders("Name__2__@USERNAME"), sqlite, run.values());
  ASSERT_TRUE(s.ok()) << s.error;
  EXPECT_EQ(s.sql, "SELECT [Region],[Amount] FROM [Orders] WHERE ([Name]='O''Neil')");
  // "a@b.com" and "What?" in a value are values, never tokens.
  s = PrepareReportStatement(Orders("Name__2__a@b.com,Name__1__What?"), sqlite, run.values());
  EXPECT_EQ(s.sql,
            "SELECT [Region],[Amount] FROM [Orders] WHERE ([Name]='a@b.com' AND "
            "[Name] LIKE '%What?%')");
  // The date token on a date field, ISO on SQLite.
  s = PrepareReportStatement(Orders("Placed__3__@DATE"), sqlite, run.values());
  EXPECT_EQ(s.sql, "SELECT [Region],[Amount] FROM [Orders] WHERE ([Placed]<'2026-12-06')");
  s = PrepareReportStatement(Orders("Placed__3__@DATE"), Type(1), run.values());
  EXPECT_EQ(s.sql, "SELECT [Region],[Amount] FROM [Orders] WHERE ([Placed]<#12/6/2026#)");

  // Required parameters: asked for when missing, in order, once each.
  s = PrepareReportStatement(Orders("Name__2__?Country,Region__2__?Area,Name__1__?country"), sqlite,
                             run.values());
  EXPECT_FALSE(s.ok());
  EXPECT_EQ(s.sql, "");
  EXPECT_EQ(s.missing_parameters, (std::vector<std::string>{"Country", "Area"}));
  // Missing values are asked for, not reported as wrong.
  s = PrepareReportStatement(Orders("Amount__4__?Min,Placed__2__?From,Amount__17__?List"), sqlite,
                             run.values());
  EXPECT_EQ(s.error, "");
  EXPECT_EQ(s.missing_parameters, (std::vector<std::string>{"Min", "From", "List"}));
  // A session token without a session value is asked for as a parameter.
  s = PrepareReportStatement(Orders("Region__2__@Area"), sqlite, run.values());
  EXPECT_EQ(s.missing_parameters, std::vector<std::string>{"Area"});
  run.typed = {{"Country", "x' OR 'a'='a"}, {"Area", "West"}, {"country", "y"}};
  s = PrepareReportStatement(Orders("Name__2__?Country,Region__2__@Area"), sqlite, run.values());
  ASSERT_TRUE(s.ok());
  EXPECT_EQ(s.sql,
            "SELECT [Region],[Amount] FROM [Orders] WHERE ([Name]='x'' OR ''a''=''a' AND "
            "[Region]='West')");
  // A typed number must be a number, a typed date a date.
  run.typed = {{"Min", "1 OR 1=1"}, {"From", "2026-02-30"}};
  s = PrepareReportStatement(Orders("Amount__4__?Min"), sqlite, run.values());
  EXPECT_EQ(s.error, "\"1 OR 1=1\" is not a number.");
  EXPECT_EQ(s.sql, "");
  s = PrepareReportStatement(Orders("Placed__4__?From"), sqlite, run.values());
  EXPECT_EQ(s.error, "\"2026-02-30\" is not a valid date.");
  // A stored date that is none is an error too, never today.
  s = PrepareReportStatement(Orders("Placed__4__yesterday"), sqlite, run.values());
  EXPECT_EQ(s.error, "\"yesterday\" is not a valid date.");
}

TEST(ReportQueryTest, HiddenFiltersKeepRestrictingRows) {
  RunValues run;
  run.session = {{"UserId", "7"}, {"DateFrom", "2026-01-01"}};
  ReportQueryOptions options = Type(10);
  options.hidden_filter_list = "Customers|=|Active=1|||orders|=|Region<>'North'|||";
  options.hidden_sql_filter = "OwnerId='@USERID'";

  ReportDefinition report = Orders("Amount__4__1");
  report.join = 2;
  ReportStatement s = PrepareReportStatement(report, options, run.values());
  ASSERT_TRUE(s.ok()) << s.error;
  EXPECT_EQ(s.sql,
            "SELECT [Region],[Amount] FROM [Orders] WHERE ([Amount]>1) AND "
            "( (Region<>'North')  AND (OwnerId='7'))");

  // An OR in relations or filters stays inside its parentheses.
  ReportDefinition joined = Orders("Amount__4__1,Region__2__West");
  joined.join = 2;
  joined.tables = "Orders,Owners";
  joined.relations = "Orders.OwnerId=Owners.Id OR 1=1";
  s = PrepareReportStatement(joined, options, run.values());
  EXPECT_EQ(s.sql,
            "SELECT [Region],[Amount] FROM [Orders],[Owners] WHERE ([Amount]>1 OR "
            "[Region]='West') AND (Orders.OwnerId=Owners.Id OR 1=1) AND "
            "( (Region<>'North')  AND (OwnerId='7'))");

  // A hidden session token never turns into a parameter the user types:
  // without a session value the statement does not run.
  run.session.clear();
  run.typed = {{"USERID", "1"}, {"Key", "1"}};
  options.hidden_filter_list.clear();
  options.hidden_sql_filter = "OwnerId='@USERID' AND Key='@Key'";
  s = PrepareReportStatement(Orders(), options, run.values());
  EXPECT_EQ(s.error, "The session has no value for USERID.");
  EXPECT_TRUE(s.missing_parameters.empty());
  EXPECT_EQ(s.sql, "");
  run.session = {{"UserId", "3"}};
  s = PrepareReportStatement(Orders(), options, run.values());
  EXPECT_EQ(s.error, "The session has no value for Key.");

  // Outside quotes only a number goes in; "@DATE" does not touch
  // "@DateFrom"; "@@ROWCOUNT" and names in delimiters are no tokens.
  run.session = {{"UserId", "7 OR 1=1"}, {"DateFrom", "2026-01-01"}};
  options.hidden_sql_filter = "OwnerId=@USERID";
  s = PrepareReportStatement(Orders(), options, run.values());
  EXPECT_EQ(s.error, "The value of USERID must be a number.");
  options.hidden_sql_filter = "Placed>='@DateFrom' AND Placed<'@DATE' AND [@DATE]=@@ROWCOUNT";
  s = PrepareReportStatement(Orders(), options, run.values());
  EXPECT_EQ(s.sql,
            "SELECT [Region],[Amount] FROM [Orders] WHERE ((Placed>='2026-01-01' AND "
            "Placed<'2026-12-06' AND [@DATE]=@@ROWCOUNT))");
  options.hidden_sql_filter = "Placed<'@DATE' AND Owner='@DateFrom'";
  s = PrepareReportStatement(Orders(), Type(2), run.values());
  options.database_type = 2;
  s = PrepareReportStatement(Orders(), options, run.values());
  EXPECT_EQ(s.sql,
            "SELECT [Region],[Amount] FROM [Orders] WHERE ((Placed<'2026-12-6' AND "
            "Owner='2026-01-01'))");

  // The date and time tokens: ISO on SQLite and PostgreSQL, unpadded
  // dates elsewhere; numbers outside quotes.
  options.hidden_sql_filter =
      "Y=@YEAR AND M=@MONTH AND D=@Day AND T='@TIME' AND DT='@DATETIME' AND X='@DATEX'";
  run.session["DATEX"] = "x";
  s = PrepareReportStatement(Orders(), options, run.values());
  EXPECT_EQ(s.sql,
            "SELECT [Region],[Amount] FROM [Orders] WHERE ((Y=2026 AND M=12 AND D=6 AND "
            "T='9:05' AND DT='2026-12-6 9:05' AND X='x'))");
  options.database_type = 11;
  s = PrepareReportStatement(Orders(), options, run.values());
  EXPECT_EQ(s.sql,
            "SELECT Region,Amount FROM Orders WHERE ((Y=2026 AND M=12 AND D=6 AND "
            "T='09:05' AND DT='2026-12-06 09:05' AND X='x'))");
  options.database_type = 2;

  // Hidden filters before GROUP BY; a summary report stays grouped.
  options.hidden_sql_filter = "Region<>'North'";
  ReportDefinition summary = Orders();
  summary.grpby = 1;
  summary.sum = "Amount";
  s = PrepareReportStatement(summary, options, run.values());
  EXPECT_EQ(s.sql,
            "SELECT [Region],SUM([Amount]) AS SUM_1 FROM [Orders] WHERE ((Region<>'North')) "
            "GROUP BY [Region]");
}

TEST(ReportQueryTest, HiddenFiltersGoIntoStoredStatements) {
  ReportQueryOptions options = Type(2);
  options.hidden_filter_list = "Orders|=|Region<>'North'|||";
  ReportDefinition report = Orders();
  EXPECT_EQ(ApplyHiddenSqlFilters("SELECT a FROM Orders WHERE x=1 OR y=2 GROUP BY a ORDER BY 1",
                                  report, options),
            "SELECT a FROM Orders WHERE (x=1 OR y=2) AND ( (Region<>'North') ) GROUP BY a "
            "ORDER BY 1");
  // Keywords inside literals or subqueries are not the statement's own.
  EXPECT_EQ(
      ApplyHiddenSqlFilters("SELECT a FROM Orders WHERE n=' GROUP BY ' AND a IN (SELECT b FROM c "
                            "ORDER BY 1) ORDER BY a",
                            report, options),
      "SELECT a FROM Orders WHERE (n=' GROUP BY ' AND a IN (SELECT b FROM c ORDER BY "
      "1)) AND ( (Region<>'North') ) ORDER BY a");
  EXPECT_EQ(ApplyHiddenSqlFilters("SELECT a FROM Orders", report, options),
            "SELECT a FROM Orders WHERE ( (Region<>'North') )");
  // Line breaks and tabs separate keywords as blanks do; a name holding a
  // keyword is no keyword.
  EXPECT_EQ(ApplyHiddenSqlFilters("SELECT a FROM Orders\r\nwhere\tx=1 OR y=2\nORDER  BY a", report,
                                  options),
            "SELECT a FROM Orders\r\nwhere (x=1 OR y=2) AND ( (Region<>'North') ) ORDER  BY a");
  EXPECT_EQ(ApplyHiddenSqlFilters("SELECT WHEREVER FROM Orders_where", report, options),
            "SELECT WHEREVER FROM Orders_where WHERE ( (Region<>'North') )");
  options.hidden_filter_list.clear();
  EXPECT_EQ(ApplyHiddenSqlFilters("SELECT a FROM Orders", report, options), "SELECT a FROM Orders");

  RunValues run;
  run.typed = {{"Region", "x' OR '1'='1"}, {"Top", "5"}};
  options.hidden_sql_filter = "Region<>'North'";
  ReportStatement s = PrepareStoredStatement(
      "SELECT * FROM Orders WHERE Region='?Region' AND Note='a@b.com' AND Q='What?' AND "
      "Amount>?Top",
      report, options, run.values());
  ASSERT_TRUE(s.ok()) << s.error;
  EXPECT_EQ(s.sql,
            "SELECT * FROM Orders WHERE (Region='x'' OR ''1''=''1' AND Note='a@b.com' AND "
            "Q='What?' AND Amount>5) AND ((Region<>'North'))");
  // Comments hold no tokens, and their quotes open no literal.
  s = PrepareStoredStatement("SELECT * FROM Orders -- it's ?Region\nWHERE Amount>?Top /* '?x */",
                             report, options, run.values());
  ASSERT_TRUE(s.ok()) << s.error;
  EXPECT_EQ(s.sql,
            "SELECT * FROM Orders -- it's ?Region\nWHERE (Amount>5 /* '?x */) AND "
            "((Region<>'North'))");
  // On MySQL a backslash escapes the next character inside quotes.
  run.typed["Top"] = "5' OR '1";
  // Here the literal never ends, so the value goes in with its quotes
  // doubled.
  s = PrepareStoredStatement("SELECT * FROM t WHERE a='x\\' AND b=?Top", Orders(), Type(6),
                             run.values());
  EXPECT_EQ(s.sql, "SELECT * FROM t WHERE a='x\\' AND b=5'' OR ''1");
  s = PrepareStoredStatement("SELECT * FROM t WHERE a='x\\\\' AND b=?Top", Orders(), Type(6),
                             run.values());
  EXPECT_EQ(s.error, "The value of Top must be a number.");
  run.typed["Top"] = "5";
  // A compound statement cannot take the hidden filter: not run.
  s = PrepareStoredStatement("SELECT a FROM Orders UNION SELECT a FROM Other", report, options,
                             run.values());
  EXPECT_FALSE(s.ok());
  EXPECT_EQ(s.sql, "");
  s = PrepareStoredStatement("SELECT * FROM Orders WHERE Region='?Missing'", report, options,
                             run.values());
  EXPECT_EQ(s.missing_parameters, std::vector<std::string>{"Missing"});
}

TEST(ReportQueryTest, ProcedureCalls) {
  ReportDefinition report;
  report.isproc = 1;
  report.tables = "SalesByCountry";
  report.params = "Country|'USA'|200,@Year|?Year|131,From|?From|7,broken|x";
  ASSERT_EQ(ProcedureArguments(report).size(), 3u);
  EXPECT_EQ(ProcedureArguments(report)[1].name, "Year");
  EXPECT_EQ(ProcedureArguments(report)[0].value, "USA");

  EXPECT_EQ(BuildProcedureCall(report, Type(2), "|=|", "|||", true),
            "[SalesByCountry]|=|@Country='USA'|||@Year=?Year|||@From='?From'");
  EXPECT_EQ(BuildProcedureCall(report, Type(2), " ", ",", false),
            "[SalesByCountry] @Country='',@Year=0,@From=''");

  RunValues run;
  run.typed = {{"Year", "2004"}, {"From", "3/5/2004"}};
  ReportStatement s = PrepareReportStatement(report, Type(11), run.values());
  ASSERT_TRUE(s.ok()) << s.error;
  EXPECT_EQ(s.sql, "SalesByCountry|=|@Country='USA'|||@Year=2004|||@From='2004-03-05'");
  run.typed["Year"] = "2004; DROP TABLE x";
  s = PrepareReportStatement(report, Type(11), run.values());
  EXPECT_EQ(s.error, "\"2004; DROP TABLE x\" is not a number.");

  // The call form read back: a typed value holding the separators stays
  // one value.
  report.params = "Name|?Name|200";
  run.typed = {{"Name", "a'|||@Year=1|=|"}};
  s = PrepareReportStatement(report, Type(2), run.values());
  std::optional<ProcedureCall> call = ParseProcedureCall(s.sql);
  ASSERT_TRUE(call);
  EXPECT_EQ(call->procedure, "SalesByCountry");
  ASSERT_EQ(call->arguments.size(), 1u);
  EXPECT_EQ(call->arguments[0].first, "Name");
  EXPECT_EQ(call->arguments[0].second, "a'|||@Year=1|=|");
  EXPECT_FALSE(ParseProcedureCall("no call"));
}

}  // namespace
}  // namespace fennick::designer
