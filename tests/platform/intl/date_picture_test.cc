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
  DateParts parts;
  parts.year = year;
  parts.month = month;
  parts.day = day;
  parts.hour = hour;
  parts.minute = minute;
  parts.second = second;
  return MakeOleDate(parts);
}

std::string Us(double date, std::string_view picture) {
  return FormatDatePicture(date, picture, "en_US");
}

const double kFriday = Date(2004, 3, 5, 14, 7, 9);

TEST(DatePictureTest, DayMonthYearFields) {
  EXPECT_EQ(Us(kFriday, "d/m/yy"), "5/3/04");
  EXPECT_EQ(Us(kFriday, "dd/mm/yyyy"), "05/03/2004");
  EXPECT_EQ(Us(kFriday, "ddd, mmm d"), "Fri, Mar 5");
  EXPECT_EQ(Us(kFriday, "dddd mmmm"), "Friday March");
  EXPECT_EQ(Us(kFriday, "ddddd"), "3/5/2004");
  EXPECT_EQ(Us(kFriday, "dddddd"), "Friday, March 5, 2004");
  // Fields are read in any case.
  EXPECT_EQ(Us(kFriday, "DD/MM/YYYY"), "05/03/2004");
  EXPECT_EQ(Us(Date(2009, 11, 25), "d-mmm-yy"), "25-Nov-09");
  EXPECT_EQ(Us(Date(987, 1, 2), "yyyy yy"), "987 87");
}

TEST(DatePictureTest, TimeFieldsAndMinutesAfterAnHour) {
  EXPECT_EQ(Us(kFriday, "hh:nn:ss"), "14:07:09");
  EXPECT_EQ(Us(kFriday, "h:n:s"), "14:7:9");
  // "m" right after an hour (separators between do not count) is minutes;
  // anywhere else it is the month.
  EXPECT_EQ(Us(kFriday, "hh:mm:ss"), "14:07:09");
  EXPECT_EQ(Us(kFriday, "h m"), "14 7");
  EXPECT_EQ(Us(kFriday, "mm:ss"), "03:09");
  EXPECT_EQ(Us(kFriday, "hh:mm mm/dd"), "14:07 03/05");
  EXPECT_EQ(Us(Date(2004, 3, 5, 9, 5, 3), "hh:nn:ss"), "09:05:03");
}

TEST(DatePictureTest, HalfOfDayMarkersSwitchToTwelveHours) {
  EXPECT_EQ(Us(kFriday, "h:nn AM/PM"), "2:07 PM");
  EXPECT_EQ(Us(kFriday, "hh:nn am/pm"), "02:07 pm");
  EXPECT_EQ(Us(kFriday, "h A/P"), "2 P");
  EXPECT_EQ(Us(kFriday, "h a/p"), "2 p");
  EXPECT_EQ(Us(Date(2004, 3, 5, 0, 30), "h:nn AM/PM"), "12:30 AM");
  EXPECT_EQ(Us(Date(2004, 3, 5, 12, 0), "h:nn AM/PM"), "12:00 PM");
  EXPECT_EQ(Us(Date(2004, 3, 5, 11, 59), "h AMPM"), "11 AM");
  EXPECT_EQ(FormatDatePicture(kFriday, "h AMPM", "es_ES"), "2 p.\u00A0m.");
}

TEST(DatePictureTest, WeekdayWeekQuarterAndDayOfYear) {
  EXPECT_EQ(Us(kFriday, "w q y"), "6 1 65");
  // 1 January 2004 was a Thursday: that week is week 1, the Sunday after
  // starts week 2, and 31 December falls in week 53.
  EXPECT_EQ(Us(Date(2004, 1, 1), "ww"), "1");
  EXPECT_EQ(Us(Date(2004, 1, 3), "ww"), "1");
  EXPECT_EQ(Us(Date(2004, 1, 4), "ww"), "2");
  EXPECT_EQ(Us(Date(2004, 12, 31), "ww y"), "53 366");
  // 2000 began on a Saturday, so its last day (a Sunday) is in week 54.
  EXPECT_EQ(Us(Date(2000, 12, 31), "ww w"), "54 1");
  EXPECT_EQ(Us(Date(2005, 1, 2), "ww"), "2");
  EXPECT_EQ(Us(Date(2004, 10, 1), "q"), "4");
  EXPECT_EQ(Us(Date(1899, 12, 29), "dddd ww"), "Friday 52");
}

TEST(DatePictureTest, LiteralText) {
  EXPECT_EQ(Us(kFriday, "\"Week \"ww\", day \"d"), "Week 10, day 5");
  EXPECT_EQ(Us(kFriday, "\\d\\a\\y d"), "day 5");
  EXPECT_EQ(Us(kFriday, "yyyy\"\""), "2004");
  EXPECT_EQ(Us(kFriday, "\"unterminated dd"), "unterminated dd");
  EXPECT_EQ(Us(kFriday, "d·m—yyyy à"), "5·3—2004 à");
  EXPECT_EQ(Us(kFriday, ""), "");
}

TEST(DatePictureTest, NamesComeFromTheLocale) {
  EXPECT_EQ(FormatDatePicture(kFriday, "dddd d mmmm yyyy", "fr_FR"), "vendredi 5 mars 2004");
  EXPECT_EQ(FormatDatePicture(kFriday, "ddd d mmm", "de_DE"), "Fr. 5 März");
  // A month named beside its day takes the in-date form where the language
  // has one.
  EXPECT_EQ(FormatDatePicture(kFriday, "d mmmm yyyy", "ru_RU"), "5 марта 2004");
  EXPECT_EQ(FormatDatePicture(kFriday, "mmmm yyyy", "ru_RU"), "март 2004");
}

TEST(DatePictureTest, RejectsOutOfRangeDates) {
  EXPECT_THROW(Us(Date(9999, 12, 31) + 1, "d"), Error);
  EXPECT_THROW(Us(std::nan(""), "d"), Error);
}

}  // namespace
}  // namespace fennick::intl
