// Designer files in the site are never served as static files: by their
// root element from the first request on, and by path once a designer
// object has used them.
#include "platform/web/private_files.h"

#include <gtest/gtest.h>

#include "test_server.h"

namespace fennick {
namespace {

using testing::TestServer;

TEST(PrivateFilesTest, RootNameSkipsPrologue) {
  EXPECT_EQ(XmlRootName("<quillon version=\"2\"/>"), "quillon");
  EXPECT_EQ(XmlRootName("\xEF\xBB\xBF<?xml version=\"1.0\"?>\n<!-- a <b> -->\n"
                        "<!DOCTYPE Locale [<!ENTITY x \"y\">]>\n<Locale>"),
            "Locale");
  EXPECT_EQ(XmlRootName("<?xml version=\"1.0\"?><q:quillon xmlns:q=\"u\"/>"), "quillon");
  EXPECT_EQ(XmlRootName("<rss/>"), "rss");
  // Brackets and ">" inside the doctype's literals, comments and
  // instructions do not end it early.
  EXPECT_EQ(XmlRootName("<!DOCTYPE q [<!ENTITY e \"]><Other>\"><!-- ]> --><?pi ]>?>]>"
                        "<quillon/>"),
            "quillon");
  EXPECT_EQ(XmlRootName("no markup"), "");
  EXPECT_EQ(XmlRootName("<!-- unterminated"), "");
}

TEST(PrivateFilesTest, DesignerFilesAnswer404FromAFreshServer) {
  TestServer t;
  t.site().Write("reports.xml",
                 "<quillon version=\"2\"><groups/><reports><report rpwd=\"x\"/></reports></quillon>");
  t.site().Write("pages/locale_fr.xml",
                 "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!-- fr -->\n<Locale version=\"1.0\"/>");
  t.site().Write("REPORTS.XML", "<quillon/>");
  t.site().Write("feed.xml", "<rss version=\"2.0\"/>");
  t.site().Write("kept.txt", "used by a designer");
  t.Start();
  auto c = t.Client();
  for (const char* path : {"/reports.xml", "/pages/locale_fr.xml", "/REPORTS.XML",
                           "/reports.xml?x=1"}) {
    auto res = c.Get(path);
    ASSERT_TRUE(res) << path;
    EXPECT_EQ(res->status, 404) << path;
    EXPECT_EQ(res->body.find("quillon"), std::string::npos) << path;
  }
  auto feed = c.Get("/feed.xml");
  ASSERT_TRUE(feed);
  EXPECT_EQ(feed->status, 200);

  // A file a designer used, whatever its name and content.
  auto before = c.Get("/kept.txt");
  ASSERT_TRUE(before);
  EXPECT_EQ(before->status, 200);
  MarkPrivateFile(t.site().root() / "kept.txt");
  auto after = c.Get("/kept.txt");
  ASSERT_TRUE(after);
  EXPECT_EQ(after->status, 404);
}

}  // namespace
}  // namespace fennick
