#include "platform/com/Date.h"

#include <cmath>

namespace vexa::com {

// Proleptic Gregorian calendar arithmetic on day counts (era-based, exact for
// every year of the DATE range).
long long DaysFromCivil(int y, unsigned m, unsigned d) {
  y -= m <= 2;
  const long long era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<long long>(doe) - 719468;
}

void CivilFromDays(long long z, int* year, unsigned* month, unsigned* day) {
  z += 719468;
  const long long era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const long long y = static_cast<long long>(yoe) + era * 400;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  *day = doy - (153 * mp + 2) / 5 + 1;
  *month = mp < 10 ? mp + 3 : mp - 9;
  *year = static_cast<int>(y + (*month <= 2));
}

}  // namespace vexa::com

namespace {
// 1899-12-30 counted from 1970-01-01.
constexpr long long kEpochOffset = -25569;
constexpr long long kMsPerDay = 86400000;

bool IsLeap(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }
unsigned DaysInMonth(int y, unsigned m) {
  static constexpr unsigned kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && IsLeap(y) ? 29 : kDays[m - 1];
}
}  // namespace

INT VariantTimeToSystemTime(DATE date, SYSTEMTIME* out) {
  if (!out || std::isnan(date) || !(date > kMinDate - 1.0) || !(date < kMaxDate + 1.0)) {
    return FALSE;
  }
  double whole = std::trunc(date);
  long long days = static_cast<long long>(whole);
  long long ms = std::llround(std::fabs(date - whole) * static_cast<double>(kMsPerDay));
  if (ms >= kMsPerDay) {  // rounds up into the next day
    ms -= kMsPerDay;
    days += 1;
  }
  int y;
  unsigned m, d;
  vexa::com::CivilFromDays(days + kEpochOffset, &y, &m, &d);
  if (y < 100 || y > 9999) return FALSE;
  out->wYear = static_cast<WORD>(y);
  out->wMonth = static_cast<WORD>(m);
  out->wDay = static_cast<WORD>(d);
  // 1970-01-01 was a Thursday.
  long long dow = (days + kEpochOffset + 4) % 7;
  if (dow < 0) dow += 7;
  out->wDayOfWeek = static_cast<WORD>(dow);
  out->wHour = static_cast<WORD>(ms / 3600000);
  out->wMinute = static_cast<WORD>(ms / 60000 % 60);
  out->wSecond = static_cast<WORD>(ms / 1000 % 60);
  out->wMilliseconds = static_cast<WORD>(ms % 1000);
  return TRUE;
}

INT SystemTimeToVariantTime(const SYSTEMTIME* st, DATE* out) {
  if (!st || !out) return FALSE;
  if (st->wYear < 100 || st->wYear > 9999 || st->wMonth < 1 || st->wMonth > 12 ||
      st->wDay < 1 || st->wDay > DaysInMonth(st->wYear, st->wMonth) || st->wHour > 23 ||
      st->wMinute > 59 || st->wSecond > 59 || st->wMilliseconds > 999) {
    return FALSE;
  }
  const long long days = vexa::com::DaysFromCivil(st->wYear, st->wMonth, st->wDay) - kEpochOffset;
  const double fraction =
      (st->wHour * 3600000.0 + st->wMinute * 60000.0 + st->wSecond * 1000.0 + st->wMilliseconds) /
      static_cast<double>(kMsPerDay);
  *out = days >= 0 ? static_cast<double>(days) + fraction : static_cast<double>(days) - fraction;
  return TRUE;
}
