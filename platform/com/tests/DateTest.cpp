#include <gtest/gtest.h>

#include <cmath>

#include "platform/com/Com.h"

// Expected values were computed independently with Python's datetime
// (days since 1899-12-30; for earlier dates the time of day counts
// forwards from the negative day).
TEST(Date, CalendarTable) {
  struct Case {
    WORD y, mo, d, h, mi, s, ms;
    WORD dow;  // 0 = Sunday
    DATE date;
  } cases[] = {
      {1899, 12, 30, 0, 0, 0, 0, 6, 0.0},
      {1900, 1, 1, 0, 0, 0, 0, 1, 2.0},
      {2002, 9, 13, 0, 1, 3, 0, 5, 37512.00072916667},
      {1970, 1, 1, 0, 0, 0, 0, 4, 25569.0},
      {2000, 2, 29, 12, 0, 0, 0, 2, 36585.5},
      {100, 1, 1, 0, 0, 0, 0, 5, -657434.0},
      {100, 1, 1, 12, 0, 0, 0, 5, -657434.5},
      {9999, 12, 31, 0, 0, 0, 0, 5, 2958465.0},
      {9999, 12, 31, 23, 59, 59, 0, 5, 2958465.999988426},
      {2026, 12, 9, 19, 16, 10, 500, 3, 46365.802899305556},
      {1899, 12, 29, 6, 0, 0, 0, 5, -1.25},
      {1800, 6, 15, 18, 0, 0, 0, 0, -36357.75},
  };
  for (const Case& c : cases) {
    SYSTEMTIME st{c.y, c.mo, 0, c.d, c.h, c.mi, c.s, c.ms};
    DATE d = 0;
    ASSERT_TRUE(SystemTimeToVariantTime(&st, &d)) << c.y << "-" << c.mo << "-" << c.d;
    EXPECT_NEAR(d, c.date, 1e-9) << c.y << "-" << c.mo << "-" << c.d;

    SYSTEMTIME back{};
    ASSERT_TRUE(VariantTimeToSystemTime(c.date, &back)) << c.date;
    EXPECT_EQ(back.wYear, c.y) << c.date;
    EXPECT_EQ(back.wMonth, c.mo) << c.date;
    EXPECT_EQ(back.wDay, c.d) << c.date;
    EXPECT_EQ(back.wHour, c.h) << c.date;
    EXPECT_EQ(back.wMinute, c.mi) << c.date;
    EXPECT_EQ(back.wSecond, c.s) << c.date;
    EXPECT_EQ(back.wMilliseconds, c.ms) << c.date;
    EXPECT_EQ(back.wDayOfWeek, c.dow) << c.date;
  }
}

TEST(Date, RangeAndInvalidFields) {
  SYSTEMTIME st{};
  EXPECT_FALSE(VariantTimeToSystemTime(kNoDate, &st));  // the no-date marker
  EXPECT_FALSE(VariantTimeToSystemTime(2958466.0, &st));
  EXPECT_FALSE(VariantTimeToSystemTime(std::nan(""), &st));
  EXPECT_TRUE(VariantTimeToSystemTime(kMinDate, &st));
  EXPECT_TRUE(VariantTimeToSystemTime(kMaxDate, &st));

  DATE d;
  const SYSTEMTIME bad[] = {
      {99, 12, 0, 31, 0, 0, 0, 0},     // year below 100
      {10000, 1, 0, 1, 0, 0, 0, 0},    // year above 9999
      {2001, 2, 0, 29, 0, 0, 0, 0},    // not a leap year
      {2000, 13, 0, 1, 0, 0, 0, 0},    // month
      {2000, 1, 0, 1, 24, 0, 0, 0},    // hour
      {2000, 1, 0, 1, 0, 0, 0, 1000},  // milliseconds
  };
  for (const SYSTEMTIME& b : bad) EXPECT_FALSE(SystemTimeToVariantTime(&b, &d)) << b.wYear;
  // Just below midnight rounds to the next day, not to 24:00.
  ASSERT_TRUE(VariantTimeToSystemTime(1.0 - 1e-10, &st));
  EXPECT_EQ(st.wDay, 31);
  EXPECT_EQ(st.wHour, 0);
}
