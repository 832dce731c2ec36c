// Report and group ids: the ids the designer gives new reports, and the
// ids users may type.
//
// A new report id is ten digits: the last digit of the year, month, day,
// hour and minute (two digits each) and a digit 1 to 9. Nine ids a minute
// and a repeat every ten years would let one report overwrite another, so
// the reports file asks for the next candidate while an id is taken: the
// next digit, then the next minute, for at most kMaxIdTries candidates.
#ifndef FENNICK_DESIGNER_REPORT_ID_H_
#define FENNICK_DESIGNER_REPORT_ID_H_

#include <ctime>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace fennick::designer {

inline constexpr int kMaxIdTries = 60;

// The id for local time `when` and last digit `digit` (1 to 9).
std::string ReportIdFor(const std::tm& when, int digit);

// The first id from (`when`, `digit`) on for which `taken` is false,
// stepping digit by digit and then minute by minute; nullopt after
// kMaxIdTries taken candidates.
std::optional<std::string> UniqueReportId(const std::tm& when, int digit,
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
