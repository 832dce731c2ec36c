// Dates written by "%" tokens ("%D/%m/%Y %h%n %P"), for column formats.
#ifndef FENNICK_FRAME_DATE_TOKENS_H_
#define FENNICK_FRAME_DATE_TOKENS_H_

#include <string>
#include <string_view>

namespace fennick {

// Replaces each token everywhere in `format`, in this order: %m month, %B
// full and %b short month name, %d day, %D two-digit day, %O ordinal day,
// %j day of year, %Y year, %y two-digit year, %w weekday (Sunday 1), %a
// short and %A full weekday name, %H hour 0-23, %h 12-hour hour, %N
// two-digit minutes, %n ":" and minutes unless 0, %S seconds, %P AM/PM.
// Names are those of the current page's locale.
std::string FormatDateTokens(double ole_date, std::string_view format);

}  // namespace fennick

#endif  // FENNICK_FRAME_DATE_TOKENS_H_
