// FormatDateTime's named formats, month and weekday names.
#include <gtest/gtest.h>
#include <unicode/smpdtfmt.h>

#include "fennick/error.h"
#include "fennick/variant.h"
#include "platform/intl/format.h"
#include "platform/intl/icu_support.h"

namespace fennick::intl {
namespace {

double Date(int year, int month, int day, int hour = 0, int minute = 0, int second = 0) {
  return MakeOleDate({year, month, day, hour, minute, second});
}

const double kFriday = Date(2004, 3, 5, 14, 7, 9);

// The named formats in several locales; the general date leaves out
// midnight and day zero; dates before 1900 and before the Gregorian reform.
TEST(DateFormatTest, NamedFormats) {
  const struct {
    double date;
    int format;
    const char* locale;
    const char* expected;
  } cases[] = {
      {kFriday, 0, "en_US", "3/5/2004 2:07:09 PM"},
      {kFriday, 1, "en_US", "Friday, March 5, 2004"},
      {kFriday, 2, "en_US", "3/5/2004"},
      {kFriday, 3, "en_US", "2:07:09 PM"},
      {kFriday, 4, "en_US", "14:07"},
      {kFriday, 0, "fr_FR", "05/03/2004 14:07:09"},
      {kFriday, 1, "fr_FR", "vendredi 5 mars 2004"},
      {kFriday, 2, "fr_FR", "05/03/2004"},
      {kFriday, 3, "fr_FR", "14:07:09"},
      {kFriday, 4, "fr_FR", "14:07"},
      {kFriday, 1, "de_DE", "Freitag, 5. März 2004"},
      {kFriday, 2, "de_DE", "05.03.2004"},
      {kFriday, 1, "es_ES", "viernes, 5 de marzo de 2004"},
      {kFriday, 0, "en_GB", "05/03/2004 14:07:09"},
      {kFriday, 2, "nl_NL", "5-3-2004"},
      // A locale without fixed patterns: ICU's styles with a four-digit year and
      // a plain blank before the AM/PM marker.
      {kFriday, 0, "en_AU", "5/3/2004 2:07:09 pm"},
      {kFriday, 2, "sv_SE", "2004-03-05"},
      {Date(2004, 3, 5), 0, "en_US", "3/5/2004"},
      {Date(2004, 3, 5, 14), 0, "en_US", "3/5/2004 2:00:00 PM"},  // a whole hour is a time
      {0.5, 0, "en_US", "12:00:00 PM"},
      {0, 0, "en_US", "12:00:00 AM"},
      // Half a second before midnight is the next day.
      {Date(2004, 3, 5) + 0.99999999, 0, "en_US", "3/6/2004"},
      {Date(1800, 7, 4, 6, 30), 0, "en_US", "7/4/1800 6:30:00 AM"},
      // OLE day numbers are Gregorian all the way back: no Julian dates in 1500.
      {Date(1500, 3, 1), 1, "en_US", "Thursday, March 1, 1500"},
      {Date(100, 1, 1), 2, "en_US", "1/1/100"},
      {Date(9999, 12, 31, 23, 59, 59), 0, "en_US", "12/31/9999 11:59:59 PM"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FormatDateTime(c.date, c.format, c.locale), c.expected)
        << c.format << " " << c.locale << " " << c.date;
  }
}

TEST(DateFormatTest, RejectsOutOfRangeDatesAndUnknownFormats) {
  for (double bad : {Date(9999, 12, 31) + 1, Date(100, 1, 1) - 1, 1e300}) {
    try {
      FormatDateTime(bad, 0, "en_US");
      ADD_FAILURE() << bad;
    } catch (const Error& e) {
      EXPECT_EQ(e.number(), kErrOverflow);
    }
  }
  EXPECT_THROW(FormatDateTime(kFriday, 5, "en_US"), Error);
  EXPECT_THROW(FormatDateTime(kFriday, -1, "en_US"), Error);
}

TEST(DateFormatTest, CompiledPatternsWriteWhatIcuWrites) {
  // Named formats whose patterns Fennick compiles for speed must read exactly
  // as ICU's formatter would write them, in every locale, at every hour.
  std::vector<double> dates;
  for (int i = 0; i < 300; ++i) dates.push_back(-656999.6 + i * 12000.123457);
  for (int hour = 0; hour < 24; ++hour) dates.push_back(Date(2004, 3, 5, hour, 7, 9));
  for (const char* name : {"en_US", "en_GB", "fr_FR", "de_DE", "es_ES", "it_IT", "pt_BR",
                           "nl_NL", "en_AU", "sv_SE", "ja_JP", "ru_RU", "pl_PL", "ko_KR",
                           "zh_CN", "ar_EG", "hi_IN", "fa_IR", "th_TH", "el_GR", "tr_TR"}) {
    const icu::Locale locale = detail::ToIcuLocale(name);
    for (int named = 0; named <= 4; ++named) {
      UErrorCode status = U_ZERO_ERROR;
      icu::SimpleDateFormat icu_format(detail::NamedDatePattern(locale, named), locale, status);
      ASSERT_TRUE(U_SUCCESS(status)) << name;
      icu_format.adoptCalendar(detail::NewUtcGregorian(locale).release());
      for (double date : dates) {
        icu::UnicodeString expected;
        icu_format.format(detail::OleToUDate(date), expected);
        // The general date writes both parts here: no date is at midnight.
        ASSERT_EQ(FormatDateTime(date, named, name), detail::ToUtf8(expected))
            << name << " format " << named << " date " << date;
      }
    }
  }
}

TEST(DateFormatTest, MonthAndWeekdayNames) {
  EXPECT_EQ(MonthName(1, false, "en_US"), "January");
  EXPECT_EQ(MonthName(12, true, "en_US"), "Dec");
  EXPECT_EQ(MonthName(2, false, "fr_FR"), "février");
  EXPECT_EQ(MonthName(2, true, "fr_FR"), "févr.");
  EXPECT_EQ(WeekdayName(1, false, "en_US"), "Sunday");
  EXPECT_EQ(WeekdayName(7, true, "en_US"), "Sat");
  EXPECT_EQ(WeekdayName(6, false, "fr_FR"), "vendredi");
  EXPECT_EQ(WeekdayName(2, false, "de_DE"), "Montag");
  // On its own a month is named in its plain form.
  EXPECT_EQ(MonthName(3, false, "ru_RU"), "март");
  EXPECT_THROW(MonthName(0, false, "en_US"), Error);
  EXPECT_THROW(MonthName(13, false, "en_US"), Error);
  EXPECT_THROW(WeekdayName(8, false, "en_US"), Error);
}

}  // namespace
}  // namespace fennick::intl
