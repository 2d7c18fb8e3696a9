#include "platform/base/Time.h"

#include <langinfo.h>
#include <locale.h>

#include <cstring>
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

namespace {

std::string FormatIn(locale_t loc, const std::tm& tm, const std::string& format) {
  std::vector<char> buf(256);
  for (int tries = 0; tries < 6; ++tries) {
    const std::size_t n = strftime_l(buf.data(), buf.size(), format.c_str(), &tm, loc);
    if (n > 0) return std::string(buf.data(), n);
    buf.resize(buf.size() * 4);
  }
  return "";
}

bool IsUtf8(const std::string& s) {
  for (std::size_t i = 0; i < s.size();) {
    const auto b = static_cast<unsigned char>(s[i]);
    const std::size_t n = b < 0x80 ? 1 : (b & 0xE0) == 0xC0 ? 2 : (b & 0xF0) == 0xE0 ? 3 : (b & 0xF8) == 0xF0 ? 4 : 0;
    if (n == 0 || i + n > s.size()) return false;
    for (std::size_t k = 1; k < n; ++k) {
      if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
    }
    i += n;
  }
  return true;
}

// The long form from the order of the locale's short date format.
std::string LongFormat(const std::string& shortFormat) {
  auto at = [&](const char* specs) {
    for (std::size_t i = 0; i + 1 < shortFormat.size(); ++i) {
      if (shortFormat[i] == '%' && std::strchr(specs, shortFormat[i + 1])) return i;
    }
    return std::string::npos;
  };
  const std::size_t day = at("de"), month = at("mbB"), year = at("yY");
  if (day == std::string::npos || month == std::string::npos || year == std::string::npos) return "%A, %x";
  if (year < month && month < day) return shortFormat + " %A";  // year first: the date, then the weekday
  if (month < day) return "%A, %B %-d, %Y";
  const bool dotted = day + 2 < shortFormat.size() && shortFormat[day + 2] == '.';
  return dotted ? "%A, %-d. %B %Y" : "%A, %-d %B %Y";
}

}  // namespace

std::string LocaleDate(const CalendarTime& t, bool longForm) {
  std::tm tm{};
  tm.tm_year = t.year - 1900;
  tm.tm_mon = t.month - 1;
  tm.tm_mday = t.day;
  tm.tm_wday = t.dayOfWeek;
  tm.tm_hour = t.hour;
  tm.tm_min = t.minute;
  tm.tm_sec = t.second;
  tm.tm_isdst = -1;
  for (const char* name : {"", "C"}) {
    locale_t loc = newlocale(LC_TIME_MASK, name, static_cast<locale_t>(nullptr));
    if (!loc) continue;
    const std::string format = longForm ? LongFormat(nl_langinfo_l(D_FMT, loc)) : std::string("%x");
    const std::string text = FormatIn(loc, tm, format);
    freelocale(loc);
    if (!text.empty() && IsUtf8(text)) return text;
  }
  return "";
}

const Clock& Clock::Real() {
  static const RealClock clock;
  return clock;
}

}  // namespace vexa::base
