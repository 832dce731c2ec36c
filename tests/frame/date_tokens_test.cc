// FormatDateTokens with the page's locale.
#include "frame/date_tokens.h"

#include <gtest/gtest.h>

#include "fennick/page.h"
#include "fennick/variant.h"

namespace fennick {
namespace {

TEST(DateTokensTest, ReplacesEveryTokenInOrder) {
  const double d = MakeOleDate({2004, 3, 5, 14, 7, 9});
  EXPECT_EQ(FormatDateTokens(d, "%D/%m/%Y %h%n %P"), "05/3/2004 2:07 PM");
  EXPECT_EQ(FormatDateTokens(d, "%A, %B %O %y (%a %b) day %j, weekday %w"),
            "Friday, March 5<sup>th</sup> 04 (Fri Mar) day 65, weekday 6");
  EXPECT_EQ(FormatDateTokens(d, "%H:%N:%S"), "14:07:09");
  EXPECT_EQ(FormatDateTokens(MakeOleDate({2004, 1, 2, 0, 0, 0}), "%h%n %P|%d|%D"), "12 AM|2|02");
  EXPECT_EQ(FormatDateTokens(d, "no tokens"), "no tokens");
  EXPECT_EQ(FormatDateTokens(d, "%m%m"), "33");

  // Names follow the page's locale.
  Application app;
  PageContext page(Request(), Session(MakeMemorySessionStore(), "s"), app,
                   Server("/site", "/p.asp", nullptr, "en_US"));
  page.response().LCID(1036);
  PageBinding bound(page);
  EXPECT_EQ(FormatDateTokens(d, "%A %d %B"), "vendredi 5 mars");
}

}  // namespace
}  // namespace fennick
