// Hidden state fields through a real browser round trip: written encoded,
// posted back decoded, read unchanged.
#include <gtest/gtest.h>

#include "fennick/data_grid.h"
#include "grid/grid_object.h"
#include "grid/state/state_fields.h"
#include "platform/crypto/seal.h"
#include "platform/web/http_text.h"
#include "platform/web/test_server.h"

namespace fennick {
namespace {

// What a browser does with an attribute value it posts back.
std::string DecodeAttribute(std::string text) {
  const std::pair<const char*, const char*> entities[] = {
      {"&quot;", "\""}, {"&lt;", "<"}, {"&gt;", ">"}, {"&amp;", "&"}};
  for (const auto& [from, to] : entities) {
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + 1)) {
      text.replace(at, std::strlen(from), to);
    }
  }
  return text;
}

TEST(StateRoundTripTest, HiddenValuesSurviveARealPost) {
  InstallSealer(Sealer::KeyFromSecret("round trip"));
  testing::TestServer t;
  const std::string tricky = "[Name] = 'a\"b' AND [Note] = '<script>alert(1)</script>&amp;'";
  t.server().RegisterPage("/grid", [&tricky](PageContext& page) {
    DataGrid grid;
    GridObject& g = GridInternals(grid);
    if (page.request().FormFields().Count() == 0) {
      g.req.filter_expression = tricky;
      grid.DefaultSortOrder("Name DESC, \"Id\"");
    }
    page.response().Write("[" + g.req.filter_expression + "|" + g.settings.default_sort_order +
                          "]");
    page.response().Write("<form>");
    WriteStateFields(g);
    page.response().Write("</form>");
  });
  t.Start();
  auto c = t.Client();
  auto first = c.Get("/grid");
  ASSERT_TRUE(first);
  const std::string& html = first->body;
  // The value never closes its attribute or opens a tag.
  EXPECT_EQ(html.find("<script>", html.find("<form>")), std::string::npos);

  // Post every hidden field back as a browser would.
  httplib::Params fields;
  size_t at = html.find("<form>");
  while ((at = html.find("<input type=hidden name=", at)) != std::string::npos) {
    at += 24;
    size_t name_end = html.find(' ', at);
    std::string name = html.substr(at, name_end - at);
    size_t value_start = html.find("value=\"", name_end) + 7;
    size_t value_end = html.find('"', value_start);
    fields.emplace(name, DecodeAttribute(html.substr(value_start, value_end - value_start)));
    at = value_end;
  }
  EXPECT_EQ(fields.count("rsfilter"), 1u);
  auto second = c.Post("/grid", fields);
  ASSERT_TRUE(second);
  EXPECT_EQ(second->body.substr(0, second->body.find("<form>")),
            "[" + tricky + "|Name DESC, \"Id\"]");
}

}  // namespace
}  // namespace fennick
