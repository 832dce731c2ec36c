// The binary cell's download request over real HTTP: the link the grid
// writes serves the field's bytes with the type they carry, to the session
// the page was made for; tokens that do not open as this server's download
// links, moved from another field or recombined, replayed from another
// session or expired, run nothing and connect nowhere.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include <memory>
#include <string>

#include "fennick/data.h"
#include "fennick/data_grid.h"
#include "grid/download_link.h"
#include "grid/grid_object.h"
#include "grid/test_page.h"
#include "platform/crypto/seal.h"
#include "platform/web/test_server.h"

namespace fennick {
namespace {

const std::string kPng = std::string("\x89PNG\r\n\x1a\n", 8) + std::string("\0\0\0\rIHDRpng", 11);
const std::string kGif = "GIF89a-picture-bytes";
const std::string kUnknown = "just some bytes";
constexpr char kCommand[] = "SELECT Id, Pic FROM Pics ORDER BY Id";
constexpr char kUnorderedCommand[] = "SELECT Id, Pic, Name FROM Pics";
constexpr char kCountingCommand[] = "UPDATE Hits SET n = n + 1 RETURNING n";

std::string Hex(const std::string& bytes) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : bytes) {
    out.push_back(kDigits[c >> 4]);
    out.push_back(kDigits[c & 15]);
  }
  return out;
}

// A picture as an OLE container stores it: the 78-byte header first.
std::string OleWrapped(const std::string& picture) {
  std::string header(78, 'h');
  header[0] = '\x15';
  header[1] = '\x1C';
  return header + picture;
}

using httplib::detail::encode_query_param;

// The texts sealed as one token, packed as the download link packs them,
// for sealing with a Sealer other than the server's.
std::string Packed(std::initializer_list<std::string> parts) {
  std::string out;
  for (const std::string& part : parts) out += std::to_string(part.size()) + ":" + part;
  return out;
}

// A TCP listener on a free loopback port, to tell whether the server ever
// tried to connect to an address an attacker named.
class LoopbackListener {
 public:
  LoopbackListener() {
    fd_ = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    if (bind(fd_, reinterpret_cast<sockaddr*>(&address), size) == 0 && listen(fd_, 8) == 0 &&
        getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &size) == 0) {
      port_ = ntohs(address.sin_port);
    }
  }
  ~LoopbackListener() { close(fd_); }
  int port() const { return port_; }
  // Whether a connection is waiting to be accepted.
  bool Contacted() const {
    pollfd p{fd_, POLLIN, 0};
    return poll(&p, 1, 100) > 0;
  }

 private:
  int fd_ = -1;
  int port_ = 0;
};

class FieldDownloadTest : public ::testing::Test {
 protected:
  void SetUp() override {
    InstallSealer(Sealer::KeyFromSecret("field download tests"));
    connection_string_ =
        "Provider=SQLite;Data Source=" + (t_.site().root() / "pics.db").string() + ";";
    db_.Open(connection_string_ + "Mode=ReadWriteCreate");
    db_.Execute("CREATE TABLE Pics (Id INTEGER, Pic BLOB)");
    db_.Execute("INSERT INTO Pics VALUES (1, X'" + Hex(kPng) + "'), (2, X'" +
                Hex(OleWrapped(kGif)) + "'), (3, X'" + Hex(kUnknown) + "'), (4, NULL)");
    db_.Execute("ALTER TABLE Pics ADD COLUMN Name TEXT");
    db_.Execute("CREATE TABLE Hits (n INTEGER)");
    db_.Execute("INSERT INTO Hits VALUES (0)");
    const std::string cs = connection_string_;
    t_.server().RegisterPage("/pics.asp", [cs](PageContext&) {
      DataGrid grid;
      grid.CreateConnection(cs);
      grid.Command(kCommand);
      grid.Display();
    });
    // The filter is the user's own choice here, as a filter bar's value is.
    t_.server().RegisterPage("/chosen.asp", [cs](PageContext& page) {
      DataGrid grid;
      GridInternals(grid).req.filter_expression = page.request().QueryString("f");
      grid.CreateConnection(cs);
      grid.Command(kUnorderedCommand);
      grid.DefaultSortOrder("Id");
      grid.Display();
    });
    t_.server().RegisterPage("/filtered.asp", [cs](PageContext&) {
      DataGrid grid;
      GridInternals(grid).req.filter_expression = "Id > 1";
      grid.CreateConnection(cs);
      grid.Command(kCommand);
      grid.Display();
    });
    t_.Start();
    // The browser's session: the grid's page starts it for its links.
    auto page = t_.Client().Get("/pics.asp");
    ASSERT_TRUE(page);
    const std::string set_cookie = page->get_header_value("Set-Cookie");
    cookie_ = set_cookie.substr(0, set_cookie.find(';'));
    session_ = cookie_.substr(cookie_.find('=') + 1);
    ASSERT_FALSE(session_.empty());
  }

  // A request of the browser holding the session cookie.
  httplib::Result Get(const std::string& path) {
    return t_.Client().Get(path, httplib::Headers{{"Cookie", cookie_}});
  }
  httplib::Result Post(const std::string& path, const httplib::Params& params) {
    return t_.Client().Post(path, httplib::Headers{{"Cookie", cookie_}}, params);
  }

  // A token for the browser's session, good for an hour.
  std::string Seal(const std::string& command, const std::string& connection_string,
                   size_t column) {
    return SealDownloadLink(command, connection_string, column, session_,
                            DownloadClockSeconds() + 3600);
  }

  // The first picture link on the page at `path`, as a browser follows it.
  std::string FirstPictureLink(const std::string& path) {
    auto page = Get(path);
    if (!page || page->status != 200) return "";
    const size_t start = page->body.find("<img src=\"");
    if (start == std::string::npos) return "";
    std::string link = page->body.substr(start + 10, page->body.find('"', start + 10) - start - 10);
    for (size_t at = link.find("&amp;"); at != std::string::npos; at = link.find("&amp;", at)) {
      link.replace(at, 5, "&");
    }
    return link;
  }

  // The download link for a row with the given token.
  std::string Link(int row, const std::string& token, const std::string& ext = "") {
    std::string url = "/pics.asp?a=i";
    if (!ext.empty()) url += "&ext=" + ext;
    return url + "&r=" + std::to_string(row) + "&cell=" + encode_query_param(token);
  }

  std::string SealedLink(int row, int column, const std::string& ext = "") {
    return Link(row, Seal(kCommand, connection_string_, column), ext);
  }

  int64_t Hits() {
    Recordset rs = db_.Execute("SELECT n FROM Hits");
    return rs.Fields(0).Value().AsInt64();
  }

  testing::TestServer t_;
  std::string cookie_, session_;
  std::string connection_string_;
  Connection db_;
};

TEST_F(FieldDownloadTest, TheGridsPictureLinksServeTheirRowsOfTheFilteredResult) {
  for (const auto& [path, bytes] : {std::pair{"/pics.asp", kPng}, {"/filtered.asp", kGif}}) {
    const std::string link = FirstPictureLink(path);
    EXPECT_THAT(link, HasSubstr("&r=0&"));
    auto picture = Get(link);
    ASSERT_TRUE(picture);
    EXPECT_EQ(picture->status, 200) << picture->body;
    EXPECT_EQ(picture->body, bytes);
  }
}

// By row, column and extension: the bytes with the type their signature
// names (an OLE header skipped), else a known extension's type, never one
// the browser would run as a page; 404 outside the result or without
// bytes.
TEST_F(FieldDownloadTest, LinksAnswerWithTheFieldsBytesOr404) {
  const struct {
    int row, column;
    const char* ext;
    int status;
    const char* type;
    std::string body;
  } cases[] = {
      {1, 1, "", 200, "image/gif", kGif},
      {2, 1, "PDF", 200, "application/pdf", kUnknown},
      {2, 1, "html", 200, "application/octet-stream", kUnknown},
      {0, 1, "bmp", 200, "image/png", kPng},
      {4, 1, "", 404, "text/plain", "No such field."},
      {0, 2, "", 404, "text/plain", "No such field."},
      {0, 0, "", 404, "text/plain", "The field holds no file."},
      {3, 1, "", 404, "text/plain", "The field is empty."},
      {-1, 1, "", 400, "text/plain", "The download link is not valid."},
  };
  for (const auto& c : cases) {
    // Column 1 asked for beside the token changes nothing: no column the
    // grid did not link can be had.
    auto res = Get(SealedLink(c.row, c.column, c.ext) + "&c=1");
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, c.status) << c.row << "," << c.column << c.ext;
    EXPECT_EQ(res->get_header_value("Content-Type").rfind(c.type, 0), 0u) << c.row << c.ext;
    EXPECT_EQ(res->body, c.body) << c.row << "," << c.column << c.ext;
    if (c.status == 200) {
      EXPECT_EQ(res->get_header_value("X-Content-Type-Options"), "nosniff");
    }
  }
  auto pdf = Get(SealedLink(2, 1, "PDF"));
  EXPECT_EQ(pdf->get_header_value("Content-Disposition"), "attachment; filename=file.pdf");
  // An extension that is not a plain word does not reach the header.
  auto odd = Get(SealedLink(0, 1, "png%0D%0AX-Evil:%201"));
  ASSERT_TRUE(odd);
  EXPECT_EQ(odd->status, 200);
  EXPECT_FALSE(odd->has_header("Content-Disposition"));
  EXPECT_FALSE(odd->has_header("X-Evil"));
}

// A tampered, missing or another server's token (400), or the page's link replayed without
// the page's cookie, from another browser's session or after it expired
// (403): nothing runs. The same link intact does run.
TEST_F(FieldDownloadTest, TamperedReplayedOrExpiredTokensRunNothing) {
  auto other = t_.Client().Get("/pics.asp");
  ASSERT_TRUE(other);
  const std::string other_cookie = other->get_header_value("Set-Cookie");
  const std::string token = Seal(kCountingCommand, connection_string_, 0);
  std::string tampered = token;
  tampered[tampered.size() / 2] = tampered[tampered.size() / 2] == 'A' ? 'B' : 'A';
  const std::string expired = SealDownloadLink(kCountingCommand, connection_string_, 0, session_,
                                               DownloadClockSeconds() - 1);
  const std::string foreign =
      Sealer(Sealer::KeyFromSecret("another server"))
          .Seal(SealPurpose::kFieldDownload, Packed({kCountingCommand, connection_string_, "0",
                                                     session_, std::to_string(INT64_MAX)}));
  const struct {
    std::string path, cookie;
    int status;
  } cases[] = {
      {Link(0, tampered), cookie_, 400},
      {"/pics.asp?a=i&r=0", cookie_, 400},
      {Link(0, foreign), cookie_, 400},
      {Link(0, token), "", 403},
      {Link(0, token), other_cookie.substr(0, other_cookie.find(';')), 403},
      {Link(0, token), "FennickSessionID=0123456789abcdef0123456789abcdef", 403},
      {Link(0, expired), cookie_, 403},
  };
  for (const auto& c : cases) {
    httplib::Headers headers;
    if (!c.cookie.empty()) headers.emplace("Cookie", c.cookie);
    auto refused = t_.Client().Get(c.path, headers);
    ASSERT_TRUE(refused);
    EXPECT_EQ(refused->status, c.status) << c.path << " " << c.cookie;
    if (c.status == 403) {
      EXPECT_EQ(refused->body, "The download link has expired or belongs to another session.");
    }
  }
  EXPECT_EQ(Hits(), 0);
  auto intact = Get(Link(0, token));  // its field is not binary: 404
  ASSERT_TRUE(intact);
  EXPECT_EQ(intact->status, 404);
  EXPECT_EQ(Hits(), 1);
}

// The attacks on the former link, whose command and connection string were
// two separate tokens: the command holds a filter value the user chose,
// written as a connection string to a listener of the attacker's and to a
// database file to be created. Whatever is moved where, the answer is 400,
// nothing connects and no file appears.
TEST_F(FieldDownloadTest, TokensMovedOrRecombinedGet400AndOpenNothing) {
  LoopbackListener listener;
  ASSERT_NE(listener.port(), 0);
  const std::filesystem::path planted = t_.site().root() / "planted.db";
  const std::string chosen_connection =
      "Provider=PostgreSQL;Host=127.0.0.1;Port=" + std::to_string(listener.port()) +
      ";Database=x;Data Source=" + planted.string() + ";Mode=ReadWriteCreate";
  auto page =
      Get("/chosen.asp?f=" + encode_query_param("Id > 0 OR Name = '" + chosen_connection + "'"));
  ASSERT_TRUE(page);
  ASSERT_EQ(page->status, 200) << page->body;
  const size_t cell = page->body.find("&amp;cell=");
  ASSERT_NE(cell, std::string::npos) << page->body;
  const std::string token =
      page->body.substr(cell + 10, page->body.find_first_of("&\"", cell + 10) - cell - 10);
  const std::string sort_token = testing::HiddenValue(page->body, "sortdef");
  ASSERT_FALSE(sort_token.empty());
  // The page's own link does hold the user's text, and it works as written.
  EXPECT_THAT(OpenDownloadLink(token)->command, HasSubstr(chosen_connection));
  auto own = Get("/chosen.asp?a=i&r=0&cell=" + token);
  ASSERT_TRUE(own);
  EXPECT_EQ(own->status, 200);
  EXPECT_EQ(own->body, kPng);

  const std::vector<std::string> attacks = {
      // The former link's two fields, each given the one token.
      "/pics.asp?a=i&r=0&c=1&s=" + token + "&cn=" + token,
      "/pics.asp?a=i&r=0&c=1&s=" + sort_token + "&cn=" + token,
      // A sort default's token where the download token goes.
      "/pics.asp?a=i&r=0&cell=" + sort_token,
      // The download token cut short, or doubled.
      "/pics.asp?a=i&r=0&cell=" + token.substr(0, token.size() / 2),
      "/pics.asp?a=i&r=0&cell=" + token + token,
  };
  for (const std::string& attack : attacks) {
    auto refused = Get(attack);
    ASSERT_TRUE(refused);
    EXPECT_EQ(refused->status, 400) << attack;
    EXPECT_EQ(refused->body, "The download link is not valid.");
  }

  // The download token posted as a sort default or required order: the
  // form is refused, and its connection string never shows in an SQL
  // comment or anywhere else.
  for (const char* field : {"sortdef", "sortreq"}) {
    auto posted = Post("/chosen.asp", httplib::Params{{field, token}, {"pagesize", "10"}});
    ASSERT_TRUE(posted);
    EXPECT_EQ(posted->status, 400) << field;
    EXPECT_EQ(posted->body, "The form is not valid.");
    EXPECT_THAT(posted->body, Not(HasSubstr("Provider")));
  }

  EXPECT_FALSE(listener.Contacted());
  EXPECT_FALSE(std::filesystem::exists(planted));
}

// Even a connection string this server sealed opens only a database that
// exists: a download never creates a file, and a failure's answer does not
// repeat the command or the connection string.
TEST_F(FieldDownloadTest, SealedConnectionStringCreatesNoFileAndFailuresSayNothing) {
  const std::filesystem::path missing = t_.site().root() / "missing.db";
  const std::string create =
      "Provider=SQLite;Data Source=" + missing.string() + ";mode = readwritecreate";
  const std::string uri = "Provider=SQLite;Data Source=file:" + missing.string() + "?mode=rwc";
  const std::string plain = "Provider=SQLite;Data Source=" + missing.string();
  const struct {
    std::string command, connection_string;
    size_t column;
    int status;
    const char* body;
  } cases[] = {
      {kCommand, create, 1, 400, "The download link is not valid."},
      {kCommand, uri, 1, 500, "The field cannot be read."},
      {kCommand, plain, 1, 500, "The field cannot be read."},
      {kCommand, "Provider=SQLite;'secret", 1, 400, "The download link is not valid."},
      {"SELECT secret_column FROM Pics", connection_string_, 0, 500, "The field cannot be read."},
  };
  for (const auto& c : cases) {
    auto res = Get(Link(0, Seal(c.command, c.connection_string, c.column)));
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, c.status) << c.connection_string;
    EXPECT_EQ(res->body, c.body) << c.connection_string;
  }
  EXPECT_FALSE(std::filesystem::exists(missing));
}

}  // namespace
}  // namespace fennick
