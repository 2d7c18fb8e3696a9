#include "platform/base/Queue.h"

#include <gtest/gtest.h>
#include <locale.h>

#include <cstdlib>
#include <filesystem>
#include <thread>
#include <vector>

#include "platform/base/Time.h"
#include "tests/support/Checkers.h"

using namespace vexa::base;

TEST(ClosableQueue, DeliversEverythingInOrderThenEnds) {
  ClosableQueue<int> q(4);
  std::vector<int> got;
  const vexa::testsupport::Watchdog dog("the consumer to take everything and end on Close");
  std::jthread consumer([&] {
    while (auto v = q.Pop()) got.push_back(*v);
  });
  for (int i = 0; i < 1000; ++i) ASSERT_TRUE(q.Push(i));
  q.Close();
  consumer.join();
  ASSERT_EQ(got.size(), 1000u);
  for (int i = 0; i < 1000; ++i) EXPECT_EQ(got[i], i);
}

TEST(ClosableQueue, CloseWakesBlockedProducerAndConsumer) {
  ClosableQueue<int> full(1);
  ASSERT_TRUE(full.Push(1));
  const vexa::testsupport::Watchdog dog("Abort and Close to wake the blocked producer and consumer");
  bool pushed = true;
  std::jthread producer([&] { pushed = full.Push(2); });  // blocks: full
  ClosableQueue<int> empty(1);
  bool gotValue = true;
  std::jthread consumer([&] { gotValue = empty.Pop().has_value(); });  // blocks: empty
  full.Abort();
  empty.Close();
  producer.join();
  consumer.join();
  EXPECT_FALSE(pushed);
  EXPECT_FALSE(gotValue);
  EXPECT_FALSE(full.Pop().has_value());  // aborted: nothing left
}

TEST(Time, CalendarFieldsAndFormat) {
  using namespace std::chrono;
  // 2002-09-13 00:01:03.250 UTC
  const system_clock::time_point t = system_clock::time_point(seconds(1031875263)) + milliseconds(250);
  CalendarTime c = ToUtcTime(t);
  EXPECT_EQ(c.year, 2002);
  EXPECT_EQ(c.month, 9);
  EXPECT_EQ(c.day, 13);
  EXPECT_EQ(c.dayOfWeek, 5);
  EXPECT_EQ(c.hour, 0);
  EXPECT_EQ(c.minute, 1);
  EXPECT_EQ(c.second, 3);
  EXPECT_EQ(c.milliseconds, 250);
  EXPECT_EQ(FormatTime(c, "%Y/%m/%d %H:%M:%S"), "2002/09/13 00:01:03");
  // Before 1970 the milliseconds stay positive.
  CalendarTime before = ToUtcTime(system_clock::time_point(milliseconds(-1)));
  EXPECT_EQ(before.year, 1969);
  EXPECT_EQ(before.second, 59);
  EXPECT_EQ(before.milliseconds, 999);
  ManualClock clock(t);
  clock.Advance(milliseconds(1500));
  EXPECT_EQ(ToUtcTime(clock.Now()).second, 4);
  EXPECT_EQ(ToUtcTime(clock.Now()).milliseconds, 750);
}

// Dates as the user's LC_TIME writes them, short and long, in UTF-8; the
// locales the table needs are compiled for the test when the system lacks
// them (and that row is skipped when it cannot be). The long form is each
// locale's own: two locales with the same short form ("%d.%m.%Y") differ
// in order, punctuation and the case of the month's name.
TEST(LocaleDate, FollowsLCTime) {
  using namespace std::chrono;
  const CalendarTime c = ToUtcTime(system_clock::time_point(seconds(1772539200)));  // Tuesday 2026-03-03
  struct Row {
    const char* locale;
    const char* shortDate;
    const char* longDate;
  } rows[] = {
      {"C", "03/03/26", "Tuesday, March 3, 2026"},
      {"de_DE.UTF-8", "03.03.2026", "Dienstag, 3. März 2026"},
      {"ru_RU.UTF-8", "03.03.2026", "вторник, 3 марта 2026\u00A0г."},  // a no-break space before "г."
      {"fr_FR.UTF-8", "03/03/2026", "mardi 3 mars 2026"},
      {"zh_CN.UTF-8", "2026年03月03日", "2026年3月3日星期二"},
      {"sr_RS.UTF-8@latin", "03.03.2026.", "utorak, 3. mart 2026."},
  };
  ::unsetenv("LC_ALL");  // it would win over LC_TIME
  const std::string folder = std::string(::testing::TempDir()) + "/vexa-locales";
  std::filesystem::create_directories(folder);
  // Compiled before any is looked up: the C library remembers a locale it
  // did not find.
  std::vector<bool> usable;
  for (const Row& r : rows) {
    const std::string name(r.locale);
    // The source is the name without its character set ("sr_RS@latin").
    const std::size_t dot = name.find('.'), at = name.find('@');
    const std::string source = name.substr(0, dot) + (at == std::string::npos ? "" : name.substr(at));
    const std::string command =
        "localedef -i " + source + " -f UTF-8 '" + folder + "/" + name + "' >/dev/null 2>&1";
    const int status = name == "C" ? 0 : vexa::testsupport::Shell(command);
    usable.push_back(status == 0 || status == 1);  // exit 1: warnings only
  }
  ::setenv("LOCPATH", folder.c_str(), 1);
  for (std::size_t i = 0; i < std::size(rows); ++i) {
    const Row& r = rows[i];
    SCOPED_TRACE(r.locale);
    if (!usable[i]) continue;  // no locale sources here: nothing to show
    ::setenv("LC_TIME", r.locale, 1);
    EXPECT_EQ(LocaleDate(c, false), r.shortDate);
    EXPECT_EQ(LocaleDate(c, true), r.longDate);
  }
  ::unsetenv("LC_TIME");
  ::unsetenv("LOCPATH");
}
