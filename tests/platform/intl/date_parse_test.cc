// ParseLocaleDate: what a user may type as a date or time in en-US and in
// day-first locales, and what is refused.
#include <gtest/gtest.h>

#include <ctime>

#include "platform/intl/format.h"

namespace fennick::intl {
namespace {

// The date as "yyyy-mm-dd hh:nn:ss", or "no" when the text is not a date.
std::string Date(std::string_view text, std::string_view locale = "en_US") {
  double value = 0;
  if (!ParseLocaleDate(text, value, locale)) return "no";
  return FormatDatePicture(value, "yyyy-mm-dd hh:nn:ss", "en_US");
}

// Numeric dates in the locale's order; named months and weekdays; times
// alone and with dates.
TEST(DateParseTest, WhatAUserMayType) {
  const struct {
    const char* text;
    const char* expected;
    const char* locale = "en_US";
  } cases[] = {
      {"3/5/2004", "2004-03-05 00:00:00"},
      {"3/5/2004", "2004-05-03 00:00:00", "en_GB"},
      {"05.03.2004", "2004-03-05 00:00:00", "de_DE"},
      {"5-3-2004", "2004-03-05 00:00:00", "nl_NL"},
      {"3-5-04", "2004-03-05 00:00:00"},
      {"3/5/30", "1930-03-05 00:00:00"},
      // A leading year is year-month-day everywhere.
      {"2004-03-05", "2004-03-05 00:00:00", "fr_FR"},
      {"2004/3/5", "2004-03-05 00:00:00"},
      {"3/2004", "2004-03-01 00:00:00"},
      {"March 5, 2004", "2004-03-05 00:00:00"},
      {"Friday, March 5, 2004", "2004-03-05 00:00:00"},
      {"5-MAR-04", "2004-03-05 00:00:00"},
      {"2004 Mar 5", "2004-03-05 00:00:00"},
      {"March 2004", "2004-03-01 00:00:00"},
      {"vendredi 5 mars 2004", "2004-03-05 00:00:00", "fr_FR"},
      {"5 févr. 2004", "2004-02-05 00:00:00", "fr_FR"},
      {"5 MÄRZ 2004", "2004-03-05 00:00:00", "de_DE"},
      {"viernes, 5 de marzo de 2004", "2004-03-05 00:00:00", "es_ES"},
      {"sexta-feira, 5 de março de 2004", "2004-03-05 00:00:00", "pt_BR"},
      // English names are understood in every locale.
      {"5 March 2004", "2004-03-05 00:00:00", "fr_FR"},
      {"14:07", "1899-12-30 14:07:00"},
      {"2:07:09 PM", "1899-12-30 14:07:09"},
      {"12:30 am", "1899-12-30 00:30:00"},
      {"12 PM", "1899-12-30 12:00:00"},
      {"3/5/2004 2:07 PM", "2004-03-05 14:07:00"},
      {"2004-03-05T14:07:09", "2004-03-05 14:07:09"},
      {"14:07 3/5/2004", "2004-03-05 14:07:00"},
      {"March 5, 2004 2:07:09 pm", "2004-03-05 14:07:09"},
      {"05/03/2004 14:07", "2004-03-05 14:07:00", "fr_FR"},
      {"2:07 p. m.", "1899-12-30 14:07:00", "es_ES"},
  };
  for (const auto& c : cases) EXPECT_EQ(Date(c.text, c.locale), c.expected) << c.text;
  // A date without its year is in the current year of the server's clock.
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  const int year = local.tm_year + 1900;
  EXPECT_EQ(Date("3/5"), std::to_string(year) + "-03-05 00:00:00");
}

TEST(DateParseTest, RefusesWhatIsNoDate) {
  for (const char* text :
       {"", "  ", "5", "2004", "abc", "3.5", "3 5 2004", "13/5/2004", "2/30/2004", "2/29/2003",
        "4/31/2004", "3/5/2004/1", "1/1/10000", "1/1/99999", "24:00", "14:60", "14:07:60",
        "14:07 PM", "2:07 XM", "3/5/2004 14:07 15:00", "March", "March 5 6 2004",
        "Smarch 5, 2004", "3/5-2004", "-3/5/2004", "3/5/2004 PM", "5 % 2004"}) {
    EXPECT_EQ(Date(text), "no") << text;
  }
  EXPECT_EQ(Date("2/29/2004"), "2004-02-29 00:00:00");
  EXPECT_EQ(Date("3/5/2004", "de_DE"), "2004-05-03 00:00:00");
  // Day-first locales refuse a month 13 rather than swapping.
  EXPECT_EQ(Date("5/13/2004", "fr_FR"), "no");
}

}  // namespace
}  // namespace fennick::intl
