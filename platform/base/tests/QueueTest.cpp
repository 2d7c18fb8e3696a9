#include "platform/base/Queue.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "platform/base/Time.h"

using namespace vexa::base;

TEST(ClosableQueue, DeliversEverythingInOrderThenEnds) {
  ClosableQueue<int> q(4);
  std::vector<int> got;
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
