// OLE automation dates: a DATE is a count of days since 1899-12-30 00:00,
// the fraction the time of day. For negative values the integer part counts
// days backwards and the fraction still runs forwards within that day
// (-1.25 is 1899-12-29 06:00). Valid dates are the years 100 to 9999, that is
// -657434.0 <= DATE < 2958466.0.
#pragma once

#include "platform/com/Types.h"  // SYSTEMTIME comes from platform/base/WinTypes.h

// The model's "no date" marker: one day below the smallest valid date.
constexpr DATE kNoDate = -657435.0;
constexpr DATE kMinDate = -657434.0;
constexpr DATE kMaxDate = 2958465.0;

// DATE to calendar fields, rounded to the nearest millisecond. FALSE (0) for
// a date outside the valid range or not a number.
VEXA_COM_API INT VariantTimeToSystemTime(DATE date, SYSTEMTIME* out);
// Calendar fields to DATE, milliseconds included. FALSE for fields out of
// range (month 13, 31 February, hour 24, year 99 ...); wDayOfWeek is ignored.
VEXA_COM_API INT SystemTimeToVariantTime(const SYSTEMTIME* st, DATE* out);

namespace vexa::com {
// Days since 1970-01-01 of a proleptic Gregorian date, and back.
VEXA_COM_API long long DaysFromCivil(int year, unsigned month, unsigned day);
VEXA_COM_API void CivilFromDays(long long days, int* year, unsigned* month, unsigned* day);
}  // namespace vexa::com
