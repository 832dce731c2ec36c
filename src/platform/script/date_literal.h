// Dates written between # in an expression, and the date texts the
// evaluator reads when the page's locale does not recognise them.
#ifndef FENNICK_PLATFORM_SCRIPT_DATE_LITERAL_H_
#define FENNICK_PLATFORM_SCRIPT_DATE_LITERAL_H_

#include <string_view>

namespace fennick::script {

// Reads a date and/or time in month-first order whatever the locale:
// "3/5/2004", "3-5-04", "2004-03-05", "March 5, 2004", "5 Mar 2004",
// "Friday, March 5, 2004", "3/5/2004 2:07 PM", "14:07:09", "2 PM". Two-digit
// years 00 to 29 are 2000 to 2029, 30 to 99 are 1930 to 1999; a date without
// a year is in the current year. False when text is none of these or names
// a day that does not exist.
bool ParseDateLiteral(std::string_view text, double& ole_date);

}  // namespace fennick::script

#endif  // FENNICK_PLATFORM_SCRIPT_DATE_LITERAL_H_
