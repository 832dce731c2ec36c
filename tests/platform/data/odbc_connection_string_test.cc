// ODBC connection strings: SQL Server's OLE DB strings rewritten for an
// ODBC driver, ODBC strings passed through, Windows authentication
// refused, and passwords masked wherever a message may show them.
#include "platform/data/odbc_connection_string.h"

#include <gtest/gtest.h>

#include "fennick/data.h"
#include "platform/data/connection_string.h"
#include "platform/data/driver.h"
#include "platform/data/odbc_sources.h"
#include "test_databases.h"

namespace fennick::data {
namespace {

struct Translation {
  const char* input;
  const char* driver;
  const char* expected;
};

TEST(OdbcConnectionStringTest, SqlServerOleDbStringsBecomeOdbcStrings) {
  const Translation cases[] = {
      {"Provider=SQLOLEDB;Data Source=db1;Initial Catalog=Sales;User ID=report;Password=s3cret",
       "FreeTDS",
       "Driver=FreeTDS;Server=db1;Database=Sales;UID=report;PWD=s3cret;TDS_Version=7.4;"
       "ClientCharset=UTF-8;"},
      // The port after a comma, "tcp:" and provider versions.
      {"Provider=SQLOLEDB.1;Persist Security Info=False;Data Source=tcp:db1.corp,1444;"
       "Initial Catalog=Sales;User Id=sa;Password=x",
       "FreeTDS",
       "Driver=FreeTDS;Server=db1.corp;Port=1444;Database=Sales;UID=sa;PWD=x;TDS_Version=7.4;"
       "ClientCharset=UTF-8;"},
      // A named instance, the local server, an application name.
      {"Provider=SQLNCLI11;Server=HOST\\SQLEXPRESS;Database=Northwind;UID=u;PWD=p;"
       "Application Name=Reports",
       "FreeTDS",
       "Driver=FreeTDS;Server=HOST\\SQLEXPRESS;Database=Northwind;UID=u;PWD=p;APP=Reports;"
       "TDS_Version=7.4;ClientCharset=UTF-8;"},
      {"Provider=SQLNCLI10;Data Source=(local);Initial Catalog=x;User ID=u;Password=p", "FreeTDS",
       "Driver=FreeTDS;Server=localhost;Database=x;UID=u;PWD=p;TDS_Version=7.4;"
       "ClientCharset=UTF-8;"},
      // Microsoft's driver, named by the site: the server string as given.
      {"Provider=MSOLEDBSQL;Data Source=db1,1444;Initial Catalog=Sales;User ID=report;"
       "Password=p;Workstation ID=WEB1",
       "ODBC Driver 18 for SQL Server",
       "Driver={ODBC Driver 18 for SQL Server};Server=db1,1444;Database=Sales;UID=report;PWD=p;"
       "WSID=WEB1;"},
      // Windows' own SQL Server drivers, named by ODBC strings.
      {"Driver={SQL Server};Server=db1,1444;Database=Sales;Uid=report;Pwd=p", "FreeTDS",
       "Driver=FreeTDS;Server=db1;Port=1444;Database=Sales;UID=report;PWD=p;TDS_Version=7.4;"
       "ClientCharset=UTF-8;"},
      {"Provider=MSDASQL;Driver={SQL Server Native Client 11.0};Server=db1;Database=Sales;"
       "UID=u;PWD=p",
       "ODBC Driver 18 for SQL Server",
       "Driver={ODBC Driver 18 for SQL Server};Server=db1;Database=Sales;UID=u;PWD=p;"},
      // A password holding separators and braces keeps them, braced.
      {"Provider=SQLOLEDB;Data Source=db1;User ID=u;Password=\"a;b}c\"", "FreeTDS",
       "Driver=FreeTDS;Server=db1;UID=u;PWD={a;b}}c};TDS_Version=7.4;ClientCharset=UTF-8;"},
  };
  for (const Translation& t : cases) {
    EXPECT_EQ(OdbcConnectionText(t.input, t.driver), t.expected) << t.input;
  }
}

TEST(OdbcConnectionStringTest, OdbcStringsPassThroughWithoutTheProvider) {
  const Translation cases[] = {
      {"DSN=sales;UID=report;PWD=x", "", "DSN=sales;UID=report;PWD=x;"},
      {"Provider=MSDASQL;DSN=sales;UID=report;PWD=x", "", "DSN=sales;UID=report;PWD=x;"},
      {"Driver={FreeTDS};Server=db1;Database=Sales;Trusted_Connection=no", "",
       "Driver=FreeTDS;Server=db1;Database=Sales;Trusted_Connection=no;"},
      {"Driver={PostgreSQL Unicode};Server=h;Port=5432;Pwd={a;b}", "",
       "Driver={PostgreSQL Unicode};Server=h;Port=5432;Pwd={a;b};"},
      // MSDASQL's own names, and the ODBC string in Extended Properties.
      {"Provider=MSDASQL.1;Data Source=sales;User ID=report;Password=x;Persist Security Info=True",
       "", "DSN=sales;UID=report;PWD=x;"},
      {"Provider=MSDASQL;Extended Properties=\"DSN=sales;UID=report\";Password=x", "",
       "DSN=sales;UID=report;PWD=x;"},
  };
  for (const Translation& t : cases) {
    EXPECT_EQ(OdbcConnectionText(t.input, "FreeTDS"), t.expected) << t.input;
  }
  EXPECT_DATA_ERROR(OdbcConnectionText("Provider=MSDASQL;UID=x", "FreeTDS"),
                    kErrDataInvalidArgument,
                    "The ODBC connection string names no data source: give DSN=, FileDSN= or "
                    "Driver={...}");
}

TEST(OdbcConnectionStringTest, WindowsAuthenticationIsRefusedClearly) {
  const char* message =
      "Integrated Security (Windows authentication) cannot be used on this server: give the "
      "connection string a User ID and Password of a database login";
  EXPECT_DATA_ERROR(
      OdbcConnectionText("Provider=SQLOLEDB;Data Source=db1;Integrated Security=SSPI", "FreeTDS"),
      kErrDataFailed, message);
  EXPECT_DATA_ERROR(
      OdbcConnectionText("Provider=SQLNCLI11;Server=db1;Trusted_Connection=yes", "FreeTDS"),
      kErrDataFailed, message);
  EXPECT_DATA_ERROR(
      OdbcConnectionText("Driver={SQL Server};Server=db1;Trusted_Connection=Yes", "FreeTDS"),
      kErrDataFailed, message);
  // Switched off, it is no obstacle.
  EXPECT_EQ(OdbcConnectionText("Provider=SQLOLEDB;Data Source=db1;Integrated Security=False;"
                               "User ID=u;Password=p",
                               "FreeTDS"),
            "Driver=FreeTDS;Server=db1;UID=u;PWD=p;TDS_Version=7.4;ClientCharset=UTF-8;");
  // Through the connection, before any driver is loaded.
  Connection c;
  EXPECT_DATA_ERROR(c.Open("Provider=SQLOLEDB;Data Source=db1;Integrated Security=SSPI"),
                    kErrDataFailed, message);
}

TEST(OdbcConnectionStringTest, PasswordsAreMaskedInEveryForm) {
  EXPECT_EQ(MaskPasswords("DSN=x;UID=u;PWD=s3cret;Port=1"), "DSN=x;UID=u;PWD=****;Port=1");
  EXPECT_EQ(MaskPasswords("Server=h;Password = s3cret"), "Server=h;Password = ****");
  EXPECT_EQ(MaskPasswords("pwd={a;b}}c};x=1"), "pwd=****;x=1");
  EXPECT_EQ(MaskPasswords("PASSWORD=\"a;b\";Pwd=c"), "PASSWORD=****;Pwd=****");
  EXPECT_EQ(MaskPasswords("login failed for user 'u' with pwd=hunter22"),
            "login failed for user 'u' with pwd=****");
  // The password itself, wherever a driver repeats it; short ones are not
  // hunted through ordinary words.
  EXPECT_EQ(MaskPasswords("Could not use 'hunter22' here", "hunter22"),
            "Could not use '****' here");
  EXPECT_EQ(MaskPasswords("the database", "a"), "the database");
  EXPECT_EQ(MaskPasswords("no password here"), "no password here");

  // A failing open never shows the password, whatever the failure.
  const char* opens[] = {
      "Driver={Fennick No Such Driver};Server=h;PWD=Hunter2Secret",
      "DSN=fennick_no_such_dsn;Password=Hunter2Secret",
      "Provider=SQLOLEDB;Data Source=127.0.0.1,1;User ID=u;Password=Hunter2Secret;"
      "Connect Timeout=1",
  };
  for (const char* cs : opens) {
    Connection c;
    try {
      c.Open(cs);
      ADD_FAILURE() << "opened " << cs;
    } catch (const Error& e) {
      EXPECT_EQ(e.number(), kErrDataFailed) << e.description();
      EXPECT_EQ(e.description().find("Hunter2Secret"), std::string::npos) << e.description();
      EXPECT_FALSE(e.description().empty());
    }
  }
  // A malformed string does not quote what followed the password.
  EXPECT_DATA_ERROR(ConnectionString::Parse("DSN=x;Password=ab;cd;UID=u"), kErrDataInvalidArgument,
                    "Invalid connection string: a \";\" in a password value (put the value in "
                    "quotes)");
}

TEST(OdbcConnectionStringTest, BracedValuesStayWholeWhenParsed) {
  auto cs = ConnectionString::Parse("Driver={SQL Server};PWD={a;b}}c};UID=u");
  EXPECT_EQ(cs.Get({"Driver"}), "{SQL Server}");
  EXPECT_EQ(cs.Get({"PWD"}), "{a;b}}c}");
  EXPECT_EQ(cs.Get({"UID"}), "u");
  EXPECT_EQ(cs.text(), "Driver={SQL Server};PWD={a;b}}c};UID=u");
}

TEST(OdbcConnectionStringTest, StringsWithoutProviderGoToTheFirstDriverClaimingThem) {
  auto provider_of = [](std::string_view text) {
    const ConnectionString options = ConnectionString::Parse(text);
    const std::string provider = options.Get({"Provider"});
    const DriverEntry* driver =
        provider.empty() ? DriverWithoutProvider(options) : FindDriver(provider);
    return driver == nullptr ? std::string("none") : std::string(driver->provider);
  };
  // The historic MySQL ODBC strings stay with the native MySQL driver.
  EXPECT_EQ(provider_of("Driver={MySQL ODBC 8.0 Unicode Driver};Server=db;User=u;Password=p"),
            "MySQL");
  EXPECT_EQ(provider_of("driver={mysql odbc 5.3 ansi driver};server=db"), "MySQL");
  // Asked for ODBC by name, a MySQL driver is reached through ODBC.
  EXPECT_EQ(provider_of("Provider=MSDASQL;Driver={MySQL ODBC 8.0 Unicode Driver};Server=db"),
            "ODBC");
  EXPECT_EQ(provider_of("Provider=ODBC;Driver={MySQL ODBC 8.0 Unicode Driver};Server=db"), "ODBC");
  // Any other driver or a DSN goes to ODBC; a plain file to SQLite.
  EXPECT_EQ(provider_of("Driver={PostgreSQL Unicode};Server=db;Database=x"), "ODBC");
  EXPECT_EQ(provider_of("DSN=sales;UID=u;PWD=p"), "ODBC");
  EXPECT_EQ(provider_of("Data Source=orders.db"), "SQLite");
  EXPECT_EQ(provider_of("Provider=MySQL;Server=db"), "MySQL");
  // A DSN named after MySQL is still an ODBC data source.
  EXPECT_EQ(provider_of("DSN=mysql_sales"), "ODBC");
}

}  // namespace
}  // namespace fennick::data
