// FormatDatePicture: each field of a picture, weeks, the minutes-after-hour
// rule, AM/PM markers and literal text.
#include <gtest/gtest.h>

#include <cmath>

#include "fennick/error.h"
#include "fennick/variant.h"
#include "platform/intl/format.h"

namespace fennick::intl {
namespace {

double Date(int year, int month, int day, int hour = 0, int minute = 0, int second = 0) {
  return MakeOleDate({year, month, day, hour, minute, second});
}

std::string Us(double date, std::string_view picture) {
  return FormatDatePicture(date, picture, "en_US");
}

const double kFriday = Date(2004, 3, 5, 14, 7, 9);

// Day, month and year fields; time fields and the minutes-after-an-hour
// rule; AM/PM markers; weeks, quarters and days of the year; literal text;
// names from the locale.
TEST(DatePictureTest, EachFieldOfAPicture) {
  const struct {
    double date;
    const char* picture;
    const char* expected;
    const char* locale = "en_US";
  } cases[] = {
      {kFriday, "d/m/yy", "5/3/04"},
      {kFriday, "dd/mm/yyyy", "05/03/2004"},
      {kFriday, "ddd, mmm d", "Fri, Mar 5"},
      {kFriday, "dddd mmmm", "Friday March"},
      {kFriday, "ddddd", "3/5/2004"},
      {kFriday, "dddddd", "Friday, March 5, 2004"},
      // Fields are read in any case.
      {kFriday, "DD/MM/YYYY", "05/03/2004"},
      {Date(2009, 11, 25), "d-mmm-yy", "25-Nov-09"},
      {Date(987, 1, 2), "yyyy yy", "987 87"},
      {kFriday, "hh:nn:ss", "14:07:09"},
      {kFriday, "h:n:s", "14:7:9"},
      // "m" right after an hour (separators between do not count) is minutes;
      // anywhere else it is the month.
      {kFriday, "hh:mm:ss", "14:07:09"},
      {kFriday, "h m", "14 7"},
      {kFriday, "mm:ss", "03:09"},
      {kFriday, "hh:mm mm/dd", "14:07 03/05"},
      {Date(2004, 3, 5, 9, 5, 3), "hh:nn:ss", "09:05:03"},
      {kFriday, "h:nn AM/PM", "2:07 PM"},
      {kFriday, "hh:nn am/pm", "02:07 pm"},
      {kFriday, "h A/P", "2 P"},
      {kFriday, "h a/p", "2 p"},
      {Date(2004, 3, 5, 0, 30), "h:nn AM/PM", "12:30 AM"},
      {Date(2004, 3, 5, 12, 0), "h:nn AM/PM", "12:00 PM"},
      {Date(2004, 3, 5, 11, 59), "h AMPM", "11 AM"},
      {kFriday, "h AMPM", "2 p.\u00A0m.", "es_ES"},
      {kFriday, "w q y", "6 1 65"},
      // 1 January 2004 was a Thursday: that week is week 1, the Sunday after
      // starts week 2, and 31 December falls in week 53.
      {Date(2004, 1, 1), "ww", "1"},
      {Date(2004, 1, 3), "ww", "1"},
      {Date(2004, 1, 4), "ww", "2"},
      {Date(2004, 12, 31), "ww y", "53 366"},
      // 2000 began on a Saturday, so its last day (a Sunday) is in week 54.
      {Date(2000, 12, 31), "ww w", "54 1"},
      {Date(2005, 1, 2), "ww", "2"},
      {Date(2004, 10, 1), "q", "4"},
      {Date(1899, 12, 29), "dddd ww", "Friday 52"},
      {kFriday, "\"Week \"ww\", day \"d", "Week 10, day 5"},
      {kFriday, "\\d\\a\\y d", "day 5"},
      {kFriday, "yyyy\"\"", "2004"},
      {kFriday, "\"unterminated dd", "unterminated dd"},
      {kFriday, "d·m—yyyy à", "5·3—2004 à"},
      {kFriday, "", ""},
      {kFriday, "dddd d mmmm yyyy", "vendredi 5 mars 2004", "fr_FR"},
      {kFriday, "ddd d mmm", "Fr. 5 März", "de_DE"},
      // A month named beside its day takes the in-date form where the language
      // has one.
      {kFriday, "d mmmm yyyy", "5 марта 2004", "ru_RU"},
      {kFriday, "mmmm yyyy", "март 2004", "ru_RU"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FormatDatePicture(c.date, c.picture, c.locale), c.expected)
        << c.picture << " " << c.locale << " " << c.date;
  }
}

TEST(DatePictureTest, RejectsOutOfRangeDates) {
  EXPECT_THROW(Us(Date(9999, 12, 31) + 1, "d"), Error);
  EXPECT_THROW(Us(std::nan(""), "d"), Error);
}

}  // namespace
}  // namespace fennick::intl
