// LCIDs to ICU locales, and the locale of the page being served.
#include <gtest/gtest.h>

#include "fennick/page.h"
#include "platform/intl/format.h"

namespace fennick::intl {
namespace {

TEST(LocalesTest, MapsTheLcidsPagesSet) {
  EXPECT_EQ(LocaleForLcid(1033), "en_US");
  EXPECT_EQ(LocaleForLcid(2057), "en_GB");
  EXPECT_EQ(LocaleForLcid(1036), "fr_FR");
  EXPECT_EQ(LocaleForLcid(1031), "de_DE");
  EXPECT_EQ(LocaleForLcid(3082), "es_ES");
  // 1034 is Spanish with the traditional sort order: the same formats.
  EXPECT_EQ(LocaleForLcid(1034), "es_ES");
  EXPECT_EQ(LocaleForLcid(1040), "it_IT");
  EXPECT_EQ(LocaleForLcid(1046), "pt_BR");
  EXPECT_EQ(LocaleForLcid(1043), "nl_NL");
  EXPECT_EQ(LocaleForLcid(0), "");
  EXPECT_EQ(LocaleForLcid(-1), "");
  EXPECT_EQ(LocaleForLcid(9999), "");
}

class PageLocaleTest : public ::testing::Test {
 protected:
  PageLocaleTest()
      : page_(Request(), Session(MakeMemorySessionStore(), "s"), application_,
              Server(".", "/report.asp", {}, "de_DE")) {}

  Application application_;
  PageContext page_;
};

TEST_F(PageLocaleTest, ResponseLcidOverridesTheServerLocale) {
  EXPECT_EQ(CurrentLocale(), "en_US") << "no page bound";
  PageBinding binding(page_);
  EXPECT_EQ(CurrentLocale(), "de_DE");
  page_.response().LCID(1036);
  EXPECT_EQ(CurrentLocale(), "fr_FR");
  EXPECT_EQ(MonthName(3), "mars");
  EXPECT_EQ(FormatNumber(1.5), "1,50");
  page_.response().LCID(2057);
  EXPECT_EQ(CurrentLocale(), "en_GB");
  // An LCID Fennick cannot map leaves the server's locale in charge.
  page_.response().LCID(9999);
  EXPECT_EQ(CurrentLocale(), "de_DE");
  EXPECT_EQ(MonthName(3), "März");
}

}  // namespace
}  // namespace fennick::intl
