// `fennick serve` over a site folder whose data/ folder must stay private:
// every request path is resolved inside the site root, and data/ is out of
// reach by any spelling of its path and through any symbolic link.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "apps/demo_server.h"
#include "platform/web/test_server.h"

namespace {

namespace fs = std::filesystem;

// A page that proves it ran: the marker is assembled, so the page's
// source alone never contains it.
constexpr char kPage[] =
    "<%@ Language=\"JScript\" %><% Response.Write(\"RAN\" + \"-PAGE\"); %>";
constexpr char kSecret[] = "private-bytes-of-data";

struct Reply {
  int status = 0;
  std::string body;
};

// Sends `target` exactly as written (no client normalises or encodes it)
// and reads the whole answer.
Reply RawGet(int port, const std::string& target) {
  Reply reply;
  const std::string raw = fennick::testing::RawRequest(
      port, "GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n", 5);
  if (raw.compare(0, 9, "HTTP/1.1 ") == 0) reply.status = std::atoi(raw.c_str() + 9);
  const size_t head_end = raw.find("\r\n\r\n");
  if (head_end != std::string::npos) reply.body = raw.substr(head_end + 4);
  return reply;
}

// A site folder with private files in data/, links into data/ from the
// public part, and `fennick serve` running over it on a free port.
class ServePathsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    site_.Write("index.html", "<p>home</p>");
    site_.Write("page.asp", kPage);
    site_.Write("css/site.css", "body{}");
    site_.Write("data/secret.txt", kSecret);
    site_.Write("data/page.asp", kPage);
    site_.Write("data/index.html", kSecret);
    fs::create_directory_symlink(root_ / "data", root_ / "pub");
    fs::create_directory_symlink("data", root_ / "relative");
    fs::create_symlink(root_ / "data" / "secret.txt", root_ / "secret.txt");
    fs::create_symlink("../data/page.asp", root_ / "css" / "run.asp");
    fs::create_symlink(root_ / "css" / "site.css", root_ / "alias.css");
    server_ = std::make_unique<fennick::test_support::DemoServer>(
        std::vector<std::string>{"--site", root_.string()});
    port_ = server_->port();
    ASSERT_NE(port_, 0);
  }

  // Asserts that `target` is refused and neither shows a private file nor
  // runs a page of data/.
  void ExpectRefused(const std::string& target) {
    const Reply reply = RawGet(port_, target);
    EXPECT_TRUE(reply.status == 404 || reply.status == 403 || reply.status == 400)
        << target << " answered " << reply.status;
    EXPECT_EQ(reply.body.find(kSecret), std::string::npos) << target;
    EXPECT_EQ(reply.body.find("RAN-PAGE"), std::string::npos) << target;
  }

  fennick::testing::TempSite site_;
  const fs::path root_ = fs::canonical(site_.root());
  std::unique_ptr<fennick::test_support::DemoServer> server_;
  int port_ = 0;
};

TEST_F(ServePathsTest, PublicFilesAndPagesAreServed) {
  EXPECT_EQ(RawGet(port_, "/index.html").body, "<p>home</p>");
  const Reply page = RawGet(port_, "/page.asp");
  EXPECT_EQ(page.status, 200);
  EXPECT_NE(page.body.find("RAN-PAGE"), std::string::npos) << page.body;
  // Doubled slashes inside the site still name its files.
  EXPECT_EQ(RawGet(port_, "//css//site.css").body, "body{}");
  // A link that stays in the public part of the site is followed.
  const Reply alias = RawGet(port_, "/alias.css");
  EXPECT_EQ(alias.status, 200);
  EXPECT_EQ(alias.body, "body{}");
}

// A path beginning with "//" was joined as an absolute file path: the
// site's own absolute path reached data/, and a page there ran.
TEST_F(ServePathsTest, AbsoluteLookingPathsStayInsideTheSite) {
  const std::string absolute_data = "/" + (root_ / "data").string();
  ExpectRefused(absolute_data + "/secret.txt");
  ExpectRefused(absolute_data + "/page.asp");
  ExpectRefused(absolute_data + "/");
  ExpectRefused("///" + (root_ / "data" / "secret.txt").string().substr(1));
  ExpectRefused("/%2F" + (root_ / "data" / "secret.txt").string().substr(1));
  // Other spellings of data/ itself.
  for (const char* target :
       {"/data/secret.txt", "//data/secret.txt", "/%2Fdata/secret.txt", "/DATA/secret.txt",
        "/%64ata/secret.txt", "/data//page.asp", "/./data/secret.txt", "/css/../data/secret.txt",
        "/css/%2E%2E/data/secret.txt", "/data", "/data/"}) {
    ExpectRefused(target);
  }
  // Files outside the site are not reachable by their absolute path either.
  ExpectRefused("//etc/hostname");
}

// Symbolic links inside the site that point into data/ served its files
// and ran its pages.
TEST_F(ServePathsTest, SymbolicLinksIntoDataAreRefused) {
  for (const char* target :
       {"/pub/secret.txt", "/pub/page.asp", "/pub/", "/pub/index.html", "/relative/secret.txt",
        "/relative/page.asp", "/secret.txt", "/css/run.asp", "//pub//secret.txt"}) {
    ExpectRefused(target);
  }
}

}  // namespace
