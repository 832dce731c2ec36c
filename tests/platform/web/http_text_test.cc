// The JavaScript string body the designer's pages write their addresses
// and confirmations into: nothing in it can end a string, an attribute or
// a script, whatever the text holds.
#include "platform/web/http_text.h"

#include <gtest/gtest.h>

namespace fennick {
namespace {

TEST(HttpTextTest, JsStringBodyEscapesAllButASmallSafeSet) {
  const struct {
    std::string text, body;
  } cases[] = {
      {"/site/page.asp?x=1", "/site/page.asp?x=1"},
      {"Delete it's <b>\"x\"</b> & more",
       "Delete it\\u0027s \\u003Cb\\u003E\\u0022x\\u0022\\u003C/b\\u003E \\u0026 more"},
      {"a\\b\r\nc\t", "a\\u005Cb\\u000D\\u000Ac\\u0009"},
      {"</script>", "\\u003C/script\\u003E"},
      {"caf\xC3\xA9 \xE2\x80\xA8\xE2\x80\xA9", "caf\\u00E9 \\u2028\\u2029"},
      {"\xF0\x9F\x98\x80", "\\uD83D\\uDE00"},
      {std::string("\0", 1) + "\xFF" + "\xC3", "\\u0000\\uFFFD\\uFFFD"},
      {"\xED\xA0\x80", "\\uFFFD\\uFFFD\\uFFFD"},  // a lone surrogate is no character
  };
  for (const auto& c : cases) EXPECT_EQ(JsStringBody(c.text), c.body) << c.text;
}

}  // namespace
}  // namespace fennick
