// Clocks. Local calendar time with milliseconds, a monotonic clock, and an
// injectable clock so tests of timed behaviour control what "now" is.
#pragma once

#include "platform/base/Export.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

namespace vexa::base {

// Calendar fields in the shape of the system's time record.
struct CalendarTime {
  int year = 0;       // e.g. 2026
  int month = 0;      // 1..12
  int dayOfWeek = 0;  // 0 = Sunday
  int day = 0;        // 1..31
  int hour = 0;
  int minute = 0;
  int second = 0;
  int milliseconds = 0;
  // Offset of this local time from UTC in minutes (east positive), with
  // daylight saving included; 0 for UTC times.
  int utcOffsetMinutes = 0;
  bool isDst = false;
};

// Converts a system-clock point to local or UTC calendar fields.
VEXA_BASE_API CalendarTime ToLocalTime(std::chrono::system_clock::time_point t);
VEXA_BASE_API CalendarTime ToUtcTime(std::chrono::system_clock::time_point t);

// Formats with strftime conversions; fields are taken as they are.
VEXA_BASE_API std::string FormatTime(const CalendarTime& t, const char* format);

// The date of t as the user's locale writes it (LC_TIME), in UTF-8. The
// short form is the locale's own date ("17.05.2024", "05/17/2024"); the
// long form is the locale's own full date, weekday and month's name
// included ("Freitag, 17. Mai 2024", "пятница, 17 мая 2024 г.", "Friday,
// May 17, 2024", "2024年5月17日星期五"). The fields are taken as they are:
// a local time gives the local day. A locale that cannot be had, or whose
// names are not UTF-8, gives the C locale's.
VEXA_BASE_API std::string LocaleDate(const CalendarTime& t, bool longForm);

// Milliseconds of the monotonic clock.
inline std::int64_t MonotonicMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

// A clock a component reads "now" from. The default is the real clock; tests
// install their own. Only Real() leaves the library: the class's type
// information stays within each library that uses it.
class Clock {
 public:
  virtual ~Clock() = default;
  virtual std::chrono::system_clock::time_point Now() const = 0;
  virtual std::chrono::steady_clock::time_point Monotonic() const = 0;

  CalendarTime LocalNow() const { return ToLocalTime(Now()); }

  VEXA_BASE_API static const Clock& Real();
};

// A clock that stands still until the test moves it.
class ManualClock : public Clock {
 public:
  explicit ManualClock(std::chrono::system_clock::time_point start =
                           std::chrono::system_clock::time_point{})
      : now_(start), mono_(std::chrono::steady_clock::time_point{}) {}
  std::chrono::system_clock::time_point Now() const override { return now_; }
  std::chrono::steady_clock::time_point Monotonic() const override { return mono_; }
  void Set(std::chrono::system_clock::time_point t) { now_ = t; }
  template <typename D>
  void Advance(D d) {
    now_ += std::chrono::duration_cast<std::chrono::system_clock::duration>(d);
    mono_ += std::chrono::duration_cast<std::chrono::steady_clock::duration>(d);
  }

 private:
  std::chrono::system_clock::time_point now_;
  std::chrono::steady_clock::time_point mono_;
};

}  // namespace vexa::base
