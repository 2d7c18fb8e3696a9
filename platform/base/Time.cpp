#include "platform/base/Time.h"

#include <ctime>
#include <vector>

namespace vexa::base {
namespace {

CalendarTime FromTm(const std::tm& tm, int ms, int offsetMinutes) {
  CalendarTime c;
  c.year = tm.tm_year + 1900;
  c.month = tm.tm_mon + 1;
  c.dayOfWeek = tm.tm_wday;
  c.day = tm.tm_mday;
  c.hour = tm.tm_hour;
  c.minute = tm.tm_min;
  c.second = tm.tm_sec;
  c.milliseconds = ms;
  c.utcOffsetMinutes = offsetMinutes;
  c.isDst = tm.tm_isdst > 0;
  return c;
}

void Split(std::chrono::system_clock::time_point t, std::time_t* secs, int* ms) {
  using namespace std::chrono;
  auto total = duration_cast<milliseconds>(t.time_since_epoch()).count();
  auto s = total / 1000;
  auto rem = total % 1000;
  if (rem < 0) {
    rem += 1000;
    --s;
  }
  *secs = static_cast<std::time_t>(s);
  *ms = static_cast<int>(rem);
}

class RealClock : public Clock {
 public:
  std::chrono::system_clock::time_point Now() const override {
    return std::chrono::system_clock::now();
  }
  std::chrono::steady_clock::time_point Monotonic() const override {
    return std::chrono::steady_clock::now();
  }
};

}  // namespace

CalendarTime ToLocalTime(std::chrono::system_clock::time_point t) {
  std::time_t secs;
  int ms;
  Split(t, &secs, &ms);
  std::tm tm{};
  localtime_r(&secs, &tm);
  return FromTm(tm, ms, static_cast<int>(tm.tm_gmtoff / 60));
}

CalendarTime ToUtcTime(std::chrono::system_clock::time_point t) {
  std::time_t secs;
  int ms;
  Split(t, &secs, &ms);
  std::tm tm{};
  gmtime_r(&secs, &tm);
  return FromTm(tm, ms, 0);
}

std::string FormatTime(const CalendarTime& t, const char* format) {
  std::tm tm{};
  tm.tm_year = t.year - 1900;
  tm.tm_mon = t.month - 1;
  tm.tm_mday = t.day;
  tm.tm_hour = t.hour;
  tm.tm_min = t.minute;
  tm.tm_sec = t.second;
  tm.tm_wday = t.dayOfWeek;
  tm.tm_isdst = -1;
  std::vector<char> buf(256);
  for (int tries = 0; tries < 6; ++tries) {
    std::size_t n = std::strftime(buf.data(), buf.size(), format, &tm);
    if (n > 0 || format[0] == '\0') return std::string(buf.data(), n);
    buf.resize(buf.size() * 4);
  }
  return "";
}

const Clock& Clock::Real() {
  static const RealClock clock;
  return clock;
}

}  // namespace vexa::base
