// Report and group ids: the ids the designer gives new reports, and the
// ids users may type.
//
// A new report id is ten digits: the last digit of the year, month, day,
// hour and minute (two digits each) and a digit 1 to 9. Nine ids a minute
// and a repeat every ten years would let one report overwrite another, so
// the reports file asks for the next candidate while an id is taken: the
// other digits of the minute, then, when all nine are taken, the id widened
// by two more random digits, then by four, and so on. New ids never run out
// and never borrow a later minute's; every id form already stored (ten
// digits, wider ones, typed ones) is read as it is.
#ifndef FENNICK_DESIGNER_REPORT_ID_H_
#define FENNICK_DESIGNER_REPORT_ID_H_

#include <ctime>
#include <functional>
#include <string>
#include <string_view>

namespace fennick::designer {

// The id for local time `when` and last digit `digit` (1 to 9).
std::string ReportIdFor(const std::tm& when, int digit);

// The first id of the minute of `when`, from digit `digit` on (wrapping
// after 9), for which `taken` is false; when the minute's nine are taken, a
// widened one (see the file comment). Always returns an id.
std::string UniqueReportId(const std::tm& when, int digit,
                           const std::function<bool(std::string_view)>& taken);

// A random digit 1 to 9.
int RandomIdDigit();

// Whether a new id typed by a user may be stored: 1 to 64 ASCII letters,
// digits, "-" and "_". Stored reports keep whatever ids they have.
bool IsAcceptableNewId(std::string_view id);

// An id as requests are matched against stored ones: blanks trimmed, upper
// case.
std::string NormalizeId(std::string_view id);

}  // namespace fennick::designer

#endif  // FENNICK_DESIGNER_REPORT_ID_H_
