// What a browser may ask of a grid page, over real HTTP, as an attacker
// would: a page size of a million rows, the print view of a long result, a
// filter that does not parse (whose SQL, hidden condition included, stays
// on the server), and a page whose database cannot be reached (the page
// names no host, port or path, but a reference the server's log holds).
#include <gtest/gtest.h>

#include <memory>
#include <mutex>
#include <regex>
#include <string>

#include "fennick/data.h"
#include "fennick/data_grid.h"
#include "frame/argument_codec.h"
#include "grid/test_page.h"
#include "platform/web/test_server.h"

namespace fennick {
namespace {

// 30,000 rows, half of them the page's own (Owner = 1).
constexpr char kCommand[] = "SELECT Id, Name FROM Big WHERE Owner = 1";

class PageBoundsTest : public ::testing::Test {
 protected:
  // The grid page reads its settings from the query: MaxPageSize ("cap"),
  // MaxPrintRows ("print"), its own PageSize ("size"), ShowSqlInPage
  // ("sql") and the connection string ("cn").
  void Start(bool show_sql = false) {
    ServerOptions options;
    options.show_sql = show_sql;
    options.log = [this](const std::string& line) {
      std::lock_guard<std::mutex> lock(log_mutex_);
      log_ += line + "\n";
    };
    t_ = std::make_unique<testing::TestServer>(options);
    const std::string cs = "Provider=SQLite;Data Source=" + (t_->site().root() / "big.db").string();
    Connection db;
    db.Open(cs + ";Mode=ReadWriteCreate");
    db.Execute(
        "CREATE TABLE Big AS WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n "
        "WHERE i < 30000) SELECT i AS Id, 'Name ' || i AS Name, i % 2 AS Owner FROM n");
    db.Close();
    t_->server().RegisterPage("/big.asp", [cs](PageContext& page) {
      const Request& q = page.request();
      DataGrid grid;
      if (!q.QueryString("cap").empty()) grid.MaxPageSize(std::stoi(q.QueryString("cap")));
      if (!q.QueryString("print").empty()) grid.MaxPrintRows(std::stoi(q.QueryString("print")));
      if (!q.QueryString("size").empty()) grid.PageSize(std::stoi(q.QueryString("size")));
      grid.ShowSqlInPage(q.QueryString("sql") == "1");
      grid.CreateConnection(q.QueryString("cn").empty() ? cs : q.QueryString("cn"));
      grid.Command(kCommand);
      grid.DefaultSortOrder("Id");
      grid.Display();
    });
    t_->Start();
  }

  std::string Post(const std::string& query, httplib::Params form) {
    form.emplace("pagesize", "10");
    auto res = t_->Client().Post("/big.asp?" + query, form);
    if (!res) return "no answer";
    EXPECT_EQ(res->status, 200) << query;
    return res->body;
  }

  std::mutex log_mutex_;
  std::string log_;
  std::unique_ptr<testing::TestServer> t_;
};

// A posted page size is held to the cap (a page size the page sets is
// not); the print view shows at most MaxPrintRows rows, and says so.
TEST_F(PageBoundsTest, PageSizeAndPrintViewAskedForAreBounded) {
  Start();
  const std::string print = EncodeArgument("5");
  const struct {
    const char* query;
    const char* field;
    std::string value;
    size_t rows;
    bool cut;
  } cases[] = {
      {"", "npagesize", "1000000", 1000, false},
      {"", "npagesize", "0", 1000, false},
      {"", "npagesize", "25", 25, false},
      {"cap=20", "npagesize", "50", 20, false},
      {"size=1500", "npagesize", "1000000", 1500, false},
      {"cap=0", "npagesize", "5000", 5000, false},
      {"", "__FARGS", print, 10000, true},
      {"print=100", "__FARGS", print, 100, true},
      {"print=20000", "__FARGS", print, 15000, false},
  };
  for (const auto& c : cases) {
    const std::string body = Post(c.query, {{c.field, c.value}});
    EXPECT_EQ(Count(body, "<td nowrap width=1>"), c.rows) << c.query << " " << c.field;
    EXPECT_EQ(body.find("The print view shows the first " + std::to_string(c.rows) +
                        " rows only") != std::string::npos,
              c.cut)
        << c.query;
  }
}

TEST_F(PageBoundsTest, FilterSqlReachesThePageOnlyWhenAskedFor) {
  for (const bool server_shows : {false, true}) {
    Start(server_shows);
    for (const char* query : {"", "sql=1"}) {
      const std::string body = Post(query, {{"rsfilter", "("}});
      EXPECT_THAT(body, HasSubstr("Your filter is invalid!"));
      const bool shown = server_shows || *query != '\0';
      EXPECT_EQ(body.find("<!--") != std::string::npos, shown) << server_shows << query;
      // The command's own condition, which the reader never sees.
      EXPECT_EQ(body.find("Owner = 1") != std::string::npos, shown) << server_shows << query;
    }
    t_->Stop();
  }
}

TEST_F(PageBoundsTest, UnreachableDatabaseShowsAReferenceNotTheServer) {
  Start();
  const std::string port = "1";  // nothing listens on it
  const std::string missing = (t_->site().root() / "nowhere" / "x.db").string();
  const struct {
    std::string connection, hidden;
  } cases[] = {
      {"Provider=PostgreSQL;Host=127.0.0.1;Port=" + port + ";Database=d;User ID=u", "port " + port},
      {"Provider=PostgreSQL;Host=/tmp/fennick-none;Port=" + port + ";Database=d;User ID=u",
       "/tmp/fennick-none"},
      {"Provider=MySQL;Server=127.0.0.1;Port=" + port + ";Database=d;Uid=u;Pwd=p",
       "on '127.0.0.1'"},
      {"Provider=SQLite;Data Source=" + missing, missing},
  };
  for (const auto& c : cases) {
    const std::string body = Post("cn=" + httplib::detail::encode_query_param(c.connection), {});
    std::smatch reference;
    ASSERT_TRUE(std::regex_search(body, reference, std::regex("\\(reference ([0-9A-F]{8})\\)")))
        << body;
    for (const std::string& secret : {std::string("127.0.0.1"), "port " + port, c.hidden}) {
      EXPECT_THAT(body, Not(HasSubstr(secret))) << secret << "\n" << body;
    }
    std::lock_guard<std::mutex> lock(log_mutex_);
    const size_t line = log_.find("error " + reference[1].str() + " on /big.asp: ");
    ASSERT_NE(line, std::string::npos) << log_;
    EXPECT_THAT(log_.substr(line, log_.find('\n', line) - line), HasSubstr(c.hidden));
  }
}

}  // namespace
}  // namespace fennick
