// Connection strings and choosing a provider.
#include "platform/data/connection_string.h"

#include <gtest/gtest.h>

#include "fennick/data.h"
#include "test_databases.h"

namespace fennick::data {
namespace {

TEST(ConnectionStringTest, KeysIgnoreCaseBlanksAndUnderscores) {
  auto cs = ConnectionString::Parse(
      "Provider=PostgreSQL; host = db.local ;USER_ID=report;Database=sales;;");
  EXPECT_EQ(cs.Get({"provider"}), "PostgreSQL");
  EXPECT_EQ(cs.Get({"Host"}), "db.local");
  EXPECT_EQ(cs.Get({"User ID"}), "report");
  EXPECT_EQ(cs.Get({"Initial Catalog", "Database"}), "sales");
  EXPECT_EQ(cs.Find({"Password"}), std::nullopt);
  EXPECT_EQ(cs.Get({"Password"}), "");
}

TEST(ConnectionStringTest, QuotedValuesKeepSeparatorsAndTheLastKeyWins) {
  auto cs = ConnectionString::Parse("Password=\"a;b\"\"c\";Data Source=' spaced ';Port=1;port=2");
  EXPECT_EQ(cs.Get({"Password"}), "a;b\"c");
  EXPECT_EQ(cs.Get({"Data Source"}), " spaced ");
  EXPECT_EQ(cs.Get({"Port"}), "2");
}

TEST(ConnectionStringTest, MalformedStringsAreRefused) {
  EXPECT_DATA_ERROR(ConnectionString::Parse("Provider=SQLite;junk"), kErrDataInvalidArgument,
                    "Invalid connection string: \"junk\" has no \"=\"");
  EXPECT_DATA_ERROR(ConnectionString::Parse("Password=\"open"), kErrDataInvalidArgument,
                    "Invalid connection string: unterminated quote in the value of \"password\"");
  EXPECT_DATA_ERROR(ConnectionString::Parse("=x"), kErrDataInvalidArgument,
                    "Invalid connection string: a value without a key");
}

TEST(ConnectionStringTest, OnlyReadWriteCreateAsksToCreateADatabase) {
  EXPECT_TRUE(
      AsksToCreateDatabase(ConnectionString::Parse("Data Source=a.db;Mode=ReadWriteCreate")));
  EXPECT_TRUE(AsksToCreateDatabase(ConnectionString::Parse("mode = 'readwritecreate';x=1")));
  // The last Mode wins, as it does when the database is opened.
  EXPECT_TRUE(AsksToCreateDatabase(ConnectionString::Parse("Mode=Read;MODE=READWRITECREATE")));
  EXPECT_FALSE(AsksToCreateDatabase(ConnectionString::Parse("Mode=ReadWriteCreate;Mode=Read")));
  EXPECT_FALSE(AsksToCreateDatabase(ConnectionString::Parse("Data Source=a.db")));
  EXPECT_FALSE(AsksToCreateDatabase(ConnectionString::Parse("Mode=ReadWrite")));
  EXPECT_FALSE(AsksToCreateDatabase(ConnectionString::Parse("Mode=ReadWriteCreat")));
}

TEST(ConnectionStringTest, UnknownProvidersAreNamedWithTheSupportedOnes) {
  Connection c;
  EXPECT_DATA_ERROR(c.Open("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=nwind.mdb"),
                    kErrDataProviderNotFound,
                    "Provider cannot be found: 'Microsoft.Jet.OLEDB.4.0'. Fennick opens these "
                    "providers: SQLite, PostgreSQL, MySQL, ODBC.");
  EXPECT_EQ(c.State(), kAdStateClosed);
  EXPECT_DATA_ERROR(c.Open("Provider=SQLite"), kErrDataFailed,
                    "The connection string names no Data Source");
  c.Open("provider=sqlite3;data source=:memory:");
  EXPECT_EQ(c.Provider(), "SQLite");
  EXPECT_EQ(c.ConnectionString(), "provider=sqlite3;data source=:memory:");
}

}  // namespace
}  // namespace fennick::data
