// The binary cell's download request over real HTTP: the link the grid
// writes serves the field's bytes with the type they carry; sealed values
// that do not open with this server's secret run nothing.
#include <gtest/gtest.h>

#include <cctype>
#include <memory>
#include <string>

#include "fennick/data.h"
#include "fennick/data_grid.h"
#include "grid/grid_object.h"
#include "platform/crypto/seal.h"
#include "platform/web/test_server.h"

namespace fennick {
namespace {

const std::string kPng = std::string("\x89PNG\r\n\x1a\n", 8) + std::string("\0\0\0\rIHDRpng", 11);
const std::string kGif = "GIF89a-picture-bytes";
const std::string kUnknown = "just some bytes";
constexpr char kCommand[] = "SELECT Id, Pic FROM Pics ORDER BY Id";
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
    db_.Execute("CREATE TABLE Hits (n INTEGER)");
    db_.Execute("INSERT INTO Hits VALUES (0)");
    const std::string cs = connection_string_;
    t_.server().RegisterPage("/pics.asp", [cs](PageContext&) {
      DataGrid grid;
      grid.CreateConnection(cs);
      grid.Command(kCommand);
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

  // The download link for row and column with the given sealed values.
  std::string Link(int row, int column, const std::string& s, const std::string& cn,
                   const std::string& ext = "") {
    std::string url = "/pics.asp?a=i";
    if (!ext.empty()) url += "&ext=" + ext;
    return url + "&r=" + std::to_string(row) + "&c=" + std::to_string(column) +
           "&s=" + QueryEncode(s) + "&cn=" + QueryEncode(cn);
  }

  std::string SealedLink(int row, int column, const std::string& ext = "") {
    return Link(row, column, SealText(kCommand), SealText(connection_string_), ext);
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
  const std::string s = SealText(kCountingCommand);
  const std::string cn = SealText(connection_string_);

  std::string tampered_cn = cn;
  tampered_cn[tampered_cn.size() / 2] = tampered_cn[tampered_cn.size() / 2] == 'A' ? 'B' : 'A';
  auto refused = c.Get(Link(0, 0, s, tampered_cn));
  ASSERT_TRUE(refused);
  EXPECT_EQ(refused->status, 400);
  EXPECT_EQ(Hits(), 0);

  std::string tampered_s = s;
  tampered_s[tampered_s.size() / 2] = tampered_s[tampered_s.size() / 2] == 'A' ? 'B' : 'A';
  auto refused_s = c.Get(Link(0, 0, tampered_s, cn));
  ASSERT_TRUE(refused_s);
  EXPECT_EQ(refused_s->status, 400);

  auto missing = c.Get("/pics.asp?a=i&r=0&c=0&cn=" + QueryEncode(cn));
  ASSERT_TRUE(missing);
  EXPECT_EQ(missing->status, 400);
  EXPECT_EQ(Hits(), 0);

  // The same link untouched does run (its field is not binary: 404).
  auto intact = c.Get(Link(0, 0, s, cn));
  ASSERT_TRUE(intact);
  EXPECT_EQ(intact->status, 404);
  EXPECT_EQ(Hits(), 1);
}

TEST_F(FieldDownloadTest, ForeignSecretTokenGets400) {
  const Sealer foreign(Sealer::KeyFromSecret("another server"));
  auto c = t_.Client();
  auto refused = c.Get(Link(0, 1, foreign.Seal(kCommand), foreign.Seal(connection_string_)));
  ASSERT_TRUE(refused);
  EXPECT_EQ(refused->status, 400);
  EXPECT_EQ(refused->body, "The download link is not valid.");
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

  auto negative = c.Get(Link(-1, 1, SealText(kCommand), SealText(connection_string_)));
  ASSERT_TRUE(negative);
  EXPECT_EQ(negative->status, 400);
}

}  // namespace
}  // namespace fennick
