// Reused links, on SQLite and on the PostgreSQL and MariaDB test servers:
// what one page left in its session never reaches the next page of the
// thread, changes made through other links are seen, a link whose server
// or file went away is replaced, and deadlines still hold.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <thread>
#include <vector>

#include "fennick/data.h"
#include "platform/data/connection_pool.h"
#include "test_databases.h"

namespace fennick {
namespace {

using data::CurrentReuseCounters;

class ReuseTest : public ::testing::TestWithParam<std::string> {
 protected:
  void SetUp() override {
    // One idle link at most, so that the counters tell whose link a page
    // got: after a page closes, the only idle link is its own.
    saved_limits_ = data::CurrentReuseLimits();
    data::SetReuseLimits({1, std::chrono::seconds(60)});
    if (GetParam() == "SQLite") {
      std::string templ = (std::filesystem::temp_directory_path() / "fnk-reuse-XXXXXX").string();
      folder_ = mkdtemp(templ.data());
      file_ = folder_ + "/reuse.db";
      cs_ = "Provider=SQLite;Data Source=" + file_ + ";Mode=ReadWriteCreate";
    } else {
      cs_ = GetParam() == "MySQL" ? testing::MysqlConnectionString()
                                  : testing::PostgresConnectionString();
      ASSERT_FALSE(cs_.empty()) << "No " << GetParam() << " test server";
      // A schema (a database) of its own, so tests running beside this one
      // never list its table.
      schema_ = "fnk_reuse_" + std::to_string(getpid());
      table_ = schema_ + ".items";
      Page()->Execute((GetParam() == "MySQL" ? "CREATE DATABASE " : "CREATE SCHEMA ") + schema_,
                      nullptr, kAdCmdText);
    }
    Page()->Execute("CREATE TABLE " + table_ + " (x INTEGER)", nullptr, kAdCmdText);
  }

  void TearDown() override {
    Page()->Execute(schema_.empty()         ? "DROP TABLE " + table_
                    : GetParam() == "MySQL" ? "DROP DATABASE " + schema_
                                            : "DROP SCHEMA " + schema_ + " CASCADE",
                    nullptr, kAdCmdText);
    data::SetReuseLimits(saved_limits_);
    if (!folder_.empty()) std::filesystem::remove_all(folder_);
  }

  // A connection opened as a page opens one.
  std::unique_ptr<Connection> Page() {
    auto c = std::make_unique<Connection>();
    c->Open(cs_);
    return c;
  }

  // The first value of `sql`'s result as text; "error" when it fails.
  static std::string Probe(Connection& c, const std::string& sql) {
    try {
      return c.Execute(sql, nullptr, kAdCmdText).Fields(0).Value().AsString();
    } catch (const Error&) {
      return "error";
    }
  }
  static std::string Probe(Command& command) {
    try {
      return command.Execute().Fields(0).Value().AsString();
    } catch (const Error&) {
      return "error";
    }
  }
  // A character whose last UTF-8 byte and a backslash make one gbk
  // character, then a backslash and a quote.
  static constexpr const char* kTricky = "\xe4\xb8\xad\\'x";

  // Whether the next page's link is reused (true) or new.
  bool NextPageReuses(std::unique_ptr<Connection>* page) {
    uint64_t reused = CurrentReuseCounters().reused;
    *page = Page();
    return CurrentReuseCounters().reused == reused + 1;
  }

  data::ReuseLimits saved_limits_;
  std::string folder_, file_, cs_, schema_;
  std::string table_ = "items";
};

TEST_P(ReuseTest, NothingAPageLeftInItsSessionReachesTheNextPage) {
  struct Leak {
    std::string engine;  // "" for every engine
    std::vector<std::string> change;
    std::string probe;
    std::string kept_on;  // the engines that reset the link and reuse it
  };
  const std::string count = "SELECT count(*) FROM " + table_;
  const std::string all = "SQLite PostgreSQL MySQL", servers = "PostgreSQL MySQL";
  const std::vector<Leak> leaks = {
      {"", {count}, count, all},
      {"",
       {"CREATE TEMPORARY TABLE fnk_leak (x INTEGER)"},
       "SELECT count(*) FROM fnk_leak",
       servers},
      {"", {"BEGIN", "INSERT INTO " + table_ + " VALUES (1)"}, count, ""},
      {"PostgreSQL", {"SET search_path TO pg_catalog"}, "SHOW search_path", servers},
      {"PostgreSQL", {"SET statement_timeout = 1234"}, "SHOW statement_timeout", servers},
      {"MySQL", {"SET @x = 5"}, "SELECT @x", servers},
      {"MySQL",
       {"SET SESSION sql_mode = 'ANSI_QUOTES,NO_BACKSLASH_ESCAPES'"},
       "SELECT @@SESSION.sql_mode",
       servers},
      {"MySQL", {"USE information_schema"}, "SELECT DATABASE()", servers},
      {"MySQL", {"SET NAMES gbk"}, "SELECT @@character_set_client", servers},
      {"SQLite", {"PRAGMA foreign_keys = ON"}, "PRAGMA foreign_keys", ""},
      {"SQLite", {"ATTACH ':memory:' AS aux"}, "SELECT count(*) FROM pragma_database_list", ""},
  };
  for (const Leak& leak : leaks) {
    if (!leak.engine.empty() && leak.engine != GetParam()) continue;
    SCOPED_TRACE(leak.change.back());
    std::unique_ptr<Connection> page = Page();
    const std::string fresh = Probe(*page, leak.probe);
    const std::optional<bool> escapes = page->BackslashEscapes();
    page.reset();  // the changing page takes the link the fresh one let go
    page = Page();
    for (const std::string& sql : leak.change) page->Execute(sql, nullptr, kAdCmdText);
    page.reset();
    EXPECT_EQ(NextPageReuses(&page), leak.kept_on.find(GetParam()) != std::string::npos);
    // Asked before any statement could refresh what the link reports.
    EXPECT_EQ(page->InTransaction(), std::optional<bool>(false));
    EXPECT_EQ(page->BackslashEscapes(), escapes);
    EXPECT_EQ(Probe(*page, leak.probe), fresh);
    // A literal the driver escapes for the session: after a page's SET
    // NAMES gbk, escaping for gbk would end this one at its backslash.
    Command echo(*page);
    echo.CommandText(GetParam() == "PostgreSQL" ? "SELECT $1" : "SELECT ?");
    echo.AppendParameter(echo.CreateParameter("", kAdVarChar, kAdParamInput, 0, Variant(kTricky)));
    EXPECT_EQ(Probe(echo), kTricky);
  }
}

TEST_P(ReuseTest, PagesSeeWhatOtherLinksChanged) {
  std::unique_ptr<Connection> other = Page();
  std::unique_ptr<Connection> page = Page();
  const std::string select = "SELECT * FROM " + table_;
  EXPECT_EQ(page->Execute(select).FieldCount(), 1u);
  page.reset();
  other->Execute("ALTER TABLE " + table_ + " ADD COLUMN y INTEGER", nullptr, kAdCmdText);
  other->Execute("INSERT INTO " + table_ + " VALUES (1, 2)", nullptr, kAdCmdText);
  ASSERT_TRUE(NextPageReuses(&page));
  // The same text as before: on SQLite a statement kept prepared by the link.
  Recordset rs = page->Execute(select);
  ASSERT_EQ(rs.FieldCount(), 2u);
  EXPECT_EQ(rs.Fields("y").Value().AsInt64(), 2);
}

TEST_P(ReuseTest, ALinkWhoseServerOrFileWentAwayIsReplaced) {
  std::unique_ptr<Connection> admin = Page();
  std::unique_ptr<Connection> page = Page();
  std::string id;
  if (GetParam() != "SQLite") {
    id = Probe(*page,
               GetParam() == "PostgreSQL" ? "SELECT pg_backend_pid()" : "SELECT CONNECTION_ID()");
  }
  page.reset();
  if (GetParam() == "PostgreSQL") {
    // Waits until the server process has gone.
    EXPECT_EQ(Probe(*admin, "SELECT pg_terminate_backend(" + id + ", 10000)"), "True");
  } else if (GetParam() == "MySQL") {
    admin->Execute("KILL " + id, nullptr, kAdCmdText);
    const std::string alive =
        "SELECT count(*) FROM information_schema.PROCESSLIST WHERE ID = " + id;
    for (int i = 0; i < 100 && Probe(*admin, alive) != "0"; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
  } else {
    // Another database file is put in the place of the link's.
    {
      Connection replacement;
      replacement.Open("Provider=SQLite;Data Source=" + file_ + ".new;Mode=ReadWriteCreate");
      replacement.Execute("CREATE TABLE " + table_ + " (x INTEGER)");
      replacement.Execute("INSERT INTO " + table_ + " VALUES (7)");
    }
    std::filesystem::rename(file_ + ".new", file_);
  }
  EXPECT_FALSE(NextPageReuses(&page));
  EXPECT_EQ(Probe(*page, "SELECT count(*) FROM " + table_), GetParam() == "SQLite" ? "1" : "0");
}

TEST_P(ReuseTest, DeadlinesStopStatementsOnReusedLinks) {
  testing::TestDatabase slow(GetParam());
  std::unique_ptr<Connection> page = Page();
  page.reset();
  ASSERT_TRUE(NextPageReuses(&page));
  page->CommandTimeout(1);
  EXPECT_DATA_ERROR(page->Execute(slow.SlowStatement()), kErrDataTimeout, "Query timeout expired");
  page.reset();
  page = Page();
  EXPECT_EQ(Probe(*page, "SELECT count(*) FROM " + table_), "0");
}

INSTANTIATE_TEST_SUITE_P(Engines, ReuseTest, ::testing::Values("SQLite", "PostgreSQL", "MySQL"),
                         [](const auto& info) { return info.param; });

}  // namespace
}  // namespace fennick
