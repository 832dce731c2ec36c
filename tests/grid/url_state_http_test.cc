// UrlState over real HTTP: the state a postback writes into the address
// shows the same grid on a GET, an address is as untrusted as a post, and
// a page without UrlState neither writes nor reads it.
#include <gtest/gtest.h>

#include <regex>

#include "grid/export_page.h"
#include "grid/state/url_state.h"
#include "platform/crypto/seal.h"
#include "platform/web/http_text.h"

namespace fennick {
namespace {

class UrlStateHttpTest : public testing::ExportPageTest {
 protected:
  void SetUp() override {
    ExportPageTest::SetUp();
    WritePage("people.asp", "SQLite", "g.UrlState = true;\ng.DefaultSortOrder = 'Name';");
    WritePage("plain.asp", "SQLite");
    server_->Start();
  }

  std::string Get(const std::string& path) {
    auto res = server_->Client().Get(path);
    EXPECT_TRUE(res);
    EXPECT_EQ(res->status, 200) << path;
    return res ? res->body : "";
  }
  std::string Post(const std::string& path, const httplib::Params& fields) {
    auto res = server_->Client().Post(path, fields);
    EXPECT_TRUE(res);
    EXPECT_EQ(res->status, 200);
    return res ? res->body : "";
  }

  // The state the page wrote for the address ("" when it wrote none).
  static std::string Token(const std::string& body) {
    std::smatch m;
    static const std::regex kToken("u=new URL\\(location.href\\),v='([^']*)'");
    return std::regex_search(body, m, kToken) ? m[1].str() : "";
  }
  // The page without what differs from one rendering to the next: the
  // sealed values' fresh nonces, and the row count the page carries.
  static std::string Comparable(std::string body) {
    body = std::regex_replace(body, std::regex("v='[^']*'"), "v=''");
    body = std::regex_replace(body, std::regex("<input type=hidden name=rowcount value=\"[^\"]*\">"), "");
    return std::regex_replace(body, std::regex("name=(sortdef|sortreq) value=\"[^\"]*\""),
                              "name=$1 value=\"\"");
  }
  // A token holding `pairs` as written.
  static std::string TokenOf(const std::string& pairs) {
    std::string token = EncodeArgument(pairs);
    for (char& c : token) c = c == '+' ? '-' : c == '/' ? '_' : c;
    return token;
  }
};

TEST_F(UrlStateHttpTest, AGetWithTheStateShowsWhatThePostbackShowed) {
  // Sorted by Price descending, filtered, two rows a page, the second page.
  const std::string posted = Post("/people.asp", {{"sort", "5 desc"},
                                                  {"rsfilter", "Price > 0"},
                                                  {"pagesize", "2"},
                                                  {"start", "3"}});
  ASSERT_THAT(posted, HasSubstr("Page 2 of 2"));
  const std::string token = Token(posted);
  ASSERT_FALSE(token.empty());
  const std::string shown = Get("/people.asp?" + std::string(kUrlStateKey) + "=" + token);
  EXPECT_EQ(Comparable(shown), Comparable(posted));
  // The state is written again for the next reload.
  EXPECT_FALSE(Token(shown).empty());

  // A first request writes none: the address loses the parameter.
  EXPECT_NE(Get("/people.asp").find("var u=new URL(location.href),v=''"), std::string::npos);
}

TEST_F(UrlStateHttpTest, AnAddressIsAsUntrustedAsAPost) {
  const std::string fresh = Comparable(Get("/people.asp"));
  const std::string key = std::string("/people.asp?") + kUrlStateKey + "=";
  // Undecodable, or a sealed order that does not open (forged, or another
  // secret's): ignored as a whole, the grid starts afresh.
  for (const std::string& token :
       {std::string("%%%"), std::string("AAAA"), TokenOf("start=3&sortdef=forged"),
        TokenOf("start=3&sortreq=" +
                SealText(SealPurpose::kSortDefault, "Secret"))}) {
    SCOPED_TRACE(token);
    EXPECT_EQ(Comparable(Get(key + UrlEncodeAsp(token))), fresh);
  }
  // A filter that is no filter: refused the way a posted one is.
  const std::string injected = Get(key + TokenOf("rsfilter=" + UrlEncodeAsp("1=1) OR (Secret")));
  EXPECT_THAT(injected, HasSubstr("Your filter is invalid!"));
  EXPECT_THAT(injected, Not(HasSubstr("TOPSECRET")));
  // A sort list keeps only column numbers; a postback argument or a filter
  // bar submission is never read from an address.
  const std::string odd = Get(key + TokenOf("sort=" + UrlEncodeAsp("(SELECT 1)") +
                                            "&__FARGS=" + EncodeArgument("4fmt:csv;") +
                                            "&search_field=Name&search_condition=%3D"
                                            "&search_text=x"));
  EXPECT_EQ(Comparable(odd), fresh);
}

TEST_F(UrlStateHttpTest, APageWithoutUrlStateNeitherWritesNorReadsIt) {
  const std::string plain = Get("/plain.asp");
  EXPECT_THAT(plain, Not(HasSubstr("replaceState")));
  EXPECT_EQ(Comparable(Get("/plain.asp?" + std::string(kUrlStateKey) + "=" +
                           TokenOf("start=3&pagesize=2"))),
            Comparable(plain));
}

}  // namespace
}  // namespace fennick
