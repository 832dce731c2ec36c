// The binary cell's download request over real HTTP: the link the grid
// writes serves the field's bytes with the type they carry; tokens that do
// not open as this server's download links, moved from another field or
// recombined, run nothing and connect nowhere.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include <cctype>
#include <memory>
#include <string>

#include "fennick/data.h"
#include "fennick/data_grid.h"
#include "grid/download_link.h"
#include "grid/grid_object.h"
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

std::string QueryEncode(const std::string& text) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : text) {
    if (std::isalnum(c) || c == '-' || c == '_' || c == '.') {
      out.push_back(static_cast<char>(c));
    } else {
      out.push_back('%');
      out.push_back(kDigits[c >> 4]);
      out.push_back(kDigits[c & 15]);
    }
  }
  return out;
}

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
  }

  // The first picture link on the page at `path`, as a browser follows it.
  std::string FirstPictureLink(httplib::Client& c, const std::string& path) {
    auto page = c.Get(path);
    if (!page || page->status != 200) return "";
    const size_t start = page->body.find("<img src=\"");
    if (start == std::string::npos) return "";
    std::string link =
        page->body.substr(start + 10, page->body.find('"', start + 10) - start - 10);
    for (size_t at = link.find("&amp;"); at != std::string::npos; at = link.find("&amp;", at)) {
      link.replace(at, 5, "&");
    }
    return link;
  }

  // The download link for a row with the given token.
  std::string Link(int row, const std::string& token, const std::string& ext = "") {
    std::string url = "/pics.asp?a=i";
    if (!ext.empty()) url += "&ext=" + ext;
    return url + "&r=" + std::to_string(row) + "&cell=" + QueryEncode(token);
  }

  std::string SealedLink(int row, int column, const std::string& ext = "") {
    return Link(row, SealDownloadLink(kCommand, connection_string_, column), ext);
  }

  int64_t Hits() {
    Recordset rs = db_.Execute("SELECT n FROM Hits");
    return rs.Fields(0).Value().AsInt64();
  }

  testing::TestServer t_;
  std::string connection_string_;
  Connection db_;
};

TEST_F(FieldDownloadTest, TheGridsPictureLinkServesPngBytesAsPng) {
  auto c = t_.Client();
  const std::string link = FirstPictureLink(c, "/pics.asp");
  ASSERT_NE(link, "");
  auto picture = c.Get(link);
  ASSERT_TRUE(picture);
  EXPECT_EQ(picture->status, 200) << picture->body;
  EXPECT_EQ(picture->get_header_value("Content-Type"), "image/png");
  EXPECT_EQ(picture->body, kPng);
}

TEST_F(FieldDownloadTest, LinkRowsCountTheFilteredResult) {
  auto c = t_.Client();
  const std::string link = FirstPictureLink(c, "/filtered.asp");
  ASSERT_NE(link, "");
  EXPECT_NE(link.find("&r=0&"), std::string::npos) << link;
  auto picture = c.Get(link);
  ASSERT_TRUE(picture);
  EXPECT_EQ(picture->status, 200) << picture->body;
  EXPECT_EQ(picture->body, kGif);
}

TEST_F(FieldDownloadTest, OleWrappedPictureHasItsHeaderSkipped) {
  auto c = t_.Client();
  auto picture = c.Get(SealedLink(1, 1));
  ASSERT_TRUE(picture);
  EXPECT_EQ(picture->status, 200) << picture->body;
  EXPECT_EQ(picture->get_header_value("Content-Type"), "image/gif");
  EXPECT_EQ(picture->body, kGif);
}

TEST_F(FieldDownloadTest, ExtensionNamesTheFileAndOnlyKnownTypes) {
  auto c = t_.Client();
  auto pdf = c.Get(SealedLink(2, 1, "PDF"));
  ASSERT_TRUE(pdf);
  EXPECT_EQ(pdf->status, 200);
  EXPECT_EQ(pdf->get_header_value("Content-Type"), "application/pdf");
  EXPECT_EQ(pdf->get_header_value("Content-Disposition"), "attachment; filename=file.pdf");
  EXPECT_EQ(pdf->body, kUnknown);

  // Stored bytes are never served as a page the browser would run.
  auto html = c.Get(SealedLink(2, 1, "html"));
  ASSERT_TRUE(html);
  EXPECT_EQ(html->get_header_value("Content-Type"), "application/octet-stream");
  EXPECT_EQ(html->get_header_value("X-Content-Type-Options"), "nosniff");

  // The signature wins over the extension.
  auto png = c.Get(SealedLink(0, 1, "bmp"));
  ASSERT_TRUE(png);
  EXPECT_EQ(png->get_header_value("Content-Type"), "image/png");
  EXPECT_EQ(png->body, kPng);

  // An extension that is not a plain word does not reach the header.
  auto odd = c.Get(SealedLink(0, 1, "png%0D%0AX-Evil:%201"));
  ASSERT_TRUE(odd);
  EXPECT_EQ(odd->status, 200);
  EXPECT_FALSE(odd->has_header("Content-Disposition"));
  EXPECT_FALSE(odd->has_header("X-Evil"));
}

TEST_F(FieldDownloadTest, TamperedTokenGets400AndRunsNothing) {
  auto c = t_.Client();
  const std::string token = SealDownloadLink(kCountingCommand, connection_string_, 0);

  std::string tampered = token;
  tampered[tampered.size() / 2] = tampered[tampered.size() / 2] == 'A' ? 'B' : 'A';
  auto refused = c.Get(Link(0, tampered));
  ASSERT_TRUE(refused);
  EXPECT_EQ(refused->status, 400);
  EXPECT_EQ(Hits(), 0);

  auto missing = c.Get("/pics.asp?a=i&r=0");
  ASSERT_TRUE(missing);
  EXPECT_EQ(missing->status, 400);
  EXPECT_EQ(Hits(), 0);

  // The same link untouched does run (its field is not binary: 404).
  auto intact = c.Get(Link(0, token));
  ASSERT_TRUE(intact);
  EXPECT_EQ(intact->status, 404);
  EXPECT_EQ(Hits(), 1);
}

TEST_F(FieldDownloadTest, ForeignSecretTokenGets400) {
  const Sealer foreign(Sealer::KeyFromSecret("another server"));
  auto c = t_.Client();
  const std::string packed = Packed({kCommand, connection_string_, "1"});
  auto refused = c.Get(Link(0, foreign.Seal(SealPurpose::kFieldDownload, packed)));
  ASSERT_TRUE(refused);
  EXPECT_EQ(refused->status, 400);
  EXPECT_EQ(refused->body, "The download link is not valid.");
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
  const std::string chosen_connection = "Provider=PostgreSQL;Host=127.0.0.1;Port=" +
                                        std::to_string(listener.port()) +
                                        ";Database=x;Data Source=" + planted.string() +
                                        ";Mode=ReadWriteCreate";
  auto c = t_.Client();
  auto page = c.Get("/chosen.asp?f=" + QueryEncode("Id > 0 OR Name = '" + chosen_connection + "'"));
  ASSERT_TRUE(page);
  ASSERT_EQ(page->status, 200) << page->body;
  const size_t cell = page->body.find("&amp;cell=");
  ASSERT_NE(cell, std::string::npos) << page->body;
  const std::string token =
      page->body.substr(cell + 10, page->body.find_first_of("&\"", cell + 10) - cell - 10);
  const size_t sortdef = page->body.find("name=sortdef value=\"");
  ASSERT_NE(sortdef, std::string::npos);
  const std::string sort_token =
      page->body.substr(sortdef + 20, page->body.find('"', sortdef + 20) - sortdef - 20);
  ASSERT_FALSE(sort_token.empty());
  // The page's own link does hold the user's text, and it works as written.
  EXPECT_NE(OpenDownloadLink(token)->command.find(chosen_connection), std::string::npos)
      << OpenDownloadLink(token)->command;
  auto own = c.Get("/chosen.asp?a=i&r=0&cell=" + token);
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
    auto refused = c.Get(attack);
    ASSERT_TRUE(refused);
    EXPECT_EQ(refused->status, 400) << attack;
    EXPECT_EQ(refused->body, "The download link is not valid.");
  }

  // The download token posted as a sort default or required order: the
  // form is refused, and its connection string never shows in an SQL
  // comment or anywhere else.
  for (const char* field : {"sortdef", "sortreq"}) {
    auto posted = c.Post("/chosen.asp", httplib::Params{{field, token}, {"pagesize", "10"}});
    ASSERT_TRUE(posted);
    EXPECT_EQ(posted->status, 400) << field;
    EXPECT_EQ(posted->body, "The form is not valid.");
    EXPECT_EQ(posted->body.find("Provider"), std::string::npos);
  }

  EXPECT_FALSE(listener.Contacted());
  EXPECT_FALSE(std::filesystem::exists(planted));
}

TEST_F(FieldDownloadTest, TheColumnComesOnlyFromTheToken) {
  auto c = t_.Client();
  // Column 0 (Id) holds no file; asking for column 1 beside the token does
  // not reach the picture, so no column the grid did not link can be had.
  const std::string token = SealDownloadLink(kCommand, connection_string_, 0);
  auto asked = c.Get(Link(0, token) + "&c=1");
  ASSERT_TRUE(asked);
  EXPECT_EQ(asked->status, 404);
  EXPECT_EQ(asked->body, "The field holds no file.");
}

// Even a connection string this server sealed opens only a database that
// exists: a download never creates a file, and a failure's answer does not
// repeat the command or the connection string.
TEST_F(FieldDownloadTest, SealedConnectionStringCreatesNoFileAndFailuresSayNothing) {
  auto c = t_.Client();
  const std::filesystem::path missing = t_.site().root() / "missing.db";
  const std::string create = "Provider=SQLite;Data Source=" + missing.string() +
                             ";mode = readwritecreate";
  auto refused = c.Get(Link(0, SealDownloadLink(kCommand, create, 1)));
  ASSERT_TRUE(refused);
  EXPECT_EQ(refused->status, 400);
  EXPECT_EQ(refused->body, "The download link is not valid.");

  const std::string uri = "Provider=SQLite;Data Source=file:" + missing.string() + "?mode=rwc";
  const std::string plain = "Provider=SQLite;Data Source=" + missing.string();
  for (const std::string& cs : {uri, plain}) {
    auto failed = c.Get(Link(0, SealDownloadLink(kCommand, cs, 1)));
    ASSERT_TRUE(failed);
    EXPECT_EQ(failed->status, 500) << cs;
    EXPECT_EQ(failed->body, "The field cannot be read.");
  }
  EXPECT_FALSE(std::filesystem::exists(missing));

  auto malformed = c.Get(Link(0, SealDownloadLink(kCommand, "Provider=SQLite;'secret", 1)));
  ASSERT_TRUE(malformed);
  EXPECT_EQ(malformed->status, 400);
  EXPECT_EQ(malformed->body, "The download link is not valid.");

  auto bad_command =
      c.Get(Link(0, SealDownloadLink("SELECT secret_column FROM Pics", connection_string_, 0)));
  ASSERT_TRUE(bad_command);
  EXPECT_EQ(bad_command->status, 500);
  EXPECT_EQ(bad_command->body, "The field cannot be read.");
}

TEST_F(FieldDownloadTest, RowOrColumnOutsideTheResultOrNoBytesGets404) {
  auto c = t_.Client();
  auto past_rows = c.Get(SealedLink(4, 1));
  ASSERT_TRUE(past_rows);
  EXPECT_EQ(past_rows->status, 404);
  EXPECT_EQ(past_rows->body, "No such field.");

  auto past_columns = c.Get(SealedLink(0, 2));
  ASSERT_TRUE(past_columns);
  EXPECT_EQ(past_columns->status, 404);

  auto not_binary = c.Get(SealedLink(0, 0));
  ASSERT_TRUE(not_binary);
  EXPECT_EQ(not_binary->status, 404);
  EXPECT_EQ(not_binary->body, "The field holds no file.");

  auto null_value = c.Get(SealedLink(3, 1));
  ASSERT_TRUE(null_value);
  EXPECT_EQ(null_value->status, 404);

  auto negative = c.Get(Link(-1, SealDownloadLink(kCommand, connection_string_, 1)));
  ASSERT_TRUE(negative);
  EXPECT_EQ(negative->status, 400);
}

}  // namespace
}  // namespace fennick
