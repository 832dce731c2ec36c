// The day arithmetic under the OLE date: civil dates to day numbers and
// back, day 0 being 1899-12-30 (Howard Hinnant's algorithms, exact over the
// whole proleptic Gregorian calendar).
//
// MakeOleDate and SplitOleDate (fennick/variant.h) build on these; readers
// of dates that engines write (always valid civil dates) call them directly
// and skip MakeOleDate's month and day roll-over. Pure, thread-safe.
#ifndef FENNICK_BASE_OLE_DATE_H_
#define FENNICK_BASE_OLE_DATE_H_

#include <cstdint>

namespace fennick {

// Days from 1899-12-30 to the civil date year-month-day (month 1..12).
int64_t DaysFromCivil(int64_t year, int64_t month, int64_t day);
// The civil date of a day number.
void CivilFromDays(int64_t days, int& year, int& month, int& day);

}  // namespace fennick

#endif  // FENNICK_BASE_OLE_DATE_H_
