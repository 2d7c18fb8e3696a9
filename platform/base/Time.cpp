#include "platform/base/Time.h"

#include <langinfo.h>
#include <locale.h>

#include <unicode/udat.h>

#include <algorithm>
#include <ctime>
#include <vector>

#include "platform/base/Text.h"

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

// The locale of the long form as the Unicode locale data names it: the
// C library's name without its character set ("ru_RU.UTF-8" is "ru_RU"),
// a script modifier as the script ("sr_RS@latin" is "sr_Latn_RS"), other
// modifiers dropped; the C and POSIX locales write English as they do.
std::string UnicodeLocaleId(const std::string& name) {
  std::string id = name.substr(0, name.find_first_of(".@"));
  if (id.empty() || id == "C" || id == "POSIX") return "en_US_POSIX";
  const std::size_t at = name.find('@');
  const std::string modifier = at == std::string::npos ? std::string() : name.substr(at + 1);
  const char* script = modifier == "latin" ? "Latn" : modifier == "cyrillic" ? "Cyrl" : nullptr;
  if (script) {
    const std::size_t underscore = id.find('_');
    id = underscore == std::string::npos ? id + "_" + script
                                         : id.substr(0, underscore) + "_" + script + id.substr(underscore);
  }
  return id;
}

// The locale's own long date ("Dienstag, 3. März 2026", "вторник, 3 марта
// 2026 г.", "mardi 3 mars 2026"): its full date format in the Unicode
// locale data, with the weekday and the month's name in their grammatical
// form. The day is taken as it stands, in no time zone.
std::string LongDate(const std::string& localeName, const CalendarTime& t) {
  using namespace std::chrono;
  const sys_days day = year_month_day{year{t.year}, month{static_cast<unsigned>(t.month)},
                                      std::chrono::day{static_cast<unsigned>(t.day)}};
  const UDate when = static_cast<UDate>(duration_cast<milliseconds>(day.time_since_epoch()).count());
  UErrorCode status = U_ZERO_ERROR;
  const std::string id = UnicodeLocaleId(localeName);
  UDateFormat* format = udat_open(UDAT_NONE, UDAT_FULL, id.c_str(), u"UTC", -1, nullptr, 0, &status);
  if (U_FAILURE(status)) return "";
  std::u16string text(128, u'\0');
  int32_t length = udat_format(format, when, text.data(), static_cast<int32_t>(text.size()), nullptr, &status);
  if (status == U_BUFFER_OVERFLOW_ERROR) {
    status = U_ZERO_ERROR;
    text.resize(static_cast<std::size_t>(length));
    length = udat_format(format, when, text.data(), length, nullptr, &status);
  }
  udat_close(format);
  if (U_FAILURE(status) || length <= 0) return "";
  text.resize(static_cast<std::size_t>(length));
  // The narrow no-break space some locales keep before an abbreviation
  // ("2026 г.") becomes the plain no-break space, which every text font
  // and the PDFs' Latin-1 encoding have.
  std::replace(text.begin(), text.end(), u'\u202F', u'\u00A0');
  return Utf16ToUtf8(text);
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
    const std::string text =
        longForm ? LongDate(nl_langinfo_l(_NL_LOCALE_NAME(LC_TIME), loc), t) : FormatIn(loc, tm, "%x");
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
