// Plumbing shared by the intl routines: UTF-8 conversion, turning ICU
// failures into component errors, and reading OLE dates as ICU instants.
#include "platform/intl/icu_support.h"

#include <unicode/gregocal.h>
#include <unicode/timezone.h>

#include <string>

#include "fennick/error.h"

namespace fennick::intl::detail {

namespace {

// OLE day numbers of 1 January 100 and of the day after 31 December 9999.
constexpr double kFirstOleDay = -657434.0;
constexpr double kEndOleDay = 2958466.0;
// OLE day number of 1970-01-01, where ICU instants count from.
constexpr double kUnixEpochOleDay = 25569.0;
constexpr double kMillisPerDay = 86400000.0;

}  // namespace

void AppendUtf8(const icu::UnicodeString& text, std::string& out) {
  icu::StringByteSink<std::string> sink(&out, text.length());
  text.toUTF8(sink);
}

void CheckIcu(UErrorCode status, std::string_view what) {
  if (U_SUCCESS(status)) return;
  throw Error(kErrInvalidCall,
              std::string(what) + " failed: " + u_errorName(status), "Fennick.Intl");
}

void ThrowInvalidCall(std::string_view detail) {
  throw Error(kErrInvalidCall,
              "Invalid procedure call or argument: " + std::string(detail), "Fennick.Intl");
}

void CheckOleDate(double ole_date) {
  // Written so that NaN fails the test too.
  if (!(ole_date > kFirstOleDay - 1.0 && ole_date < kEndOleDay)) {
    throw Error(kErrOverflow, "Overflow", "Fennick.Intl");
  }
}

UDate OleToUDate(double ole_date) {
  const DateParts parts = SplitOleDate(ole_date);
  DateParts day_only;
  day_only.year = parts.year;
  day_only.month = parts.month;
  day_only.day = parts.day;
  const double day = MakeOleDate(day_only);
  const double seconds = parts.hour * 3600.0 + parts.minute * 60.0 + parts.second;
  return (day - kUnixEpochOleDay) * kMillisPerDay + seconds * 1000.0;
}

std::unique_ptr<icu::Calendar> NewUtcGregorian(const icu::Locale& locale) {
  UErrorCode status = U_ZERO_ERROR;
  auto calendar = std::make_unique<icu::GregorianCalendar>(
      icu::TimeZone::getGMT()->clone(), locale, status);
  CheckIcu(status, "Creating a calendar");
  calendar->setGregorianChange(U_DATE_MIN, status);
  CheckIcu(status, "Setting the calendar");
  return calendar;
}

}  // namespace fennick::intl::detail
