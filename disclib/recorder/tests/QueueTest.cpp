// The sector queue: a ring that keeps one entry free, and its waits.
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "disclib/recorder/CDRQueue.h"
#include "tests/support/Waits.h"

namespace {

TEST(CDRQueue, HoldsOneLessThanItsEntries) {
  CDRQueueClass q(64, 16);
  EXPECT_EQ(q.Front(), nullptr);
  BYTE data[16] = {};
  for (DWORD i = 0; i < 63; ++i) {
    data[0] = static_cast<BYTE>(i);
    ASSERT_EQ(q.Put(1, i, 5, 16, data), 2) << i;
  }
  EXPECT_EQ(q.IsFull(), 1);
  EXPECT_EQ(q.Put(1, 63, 5, 16, data), 0);
  EXPECT_EQ(q.Count(), 63u);
  for (DWORD i = 0; i < 63; ++i) {
    CDRQueueEntry* e = q.Front();
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->word2, i);
    EXPECT_EQ(e->data[0], static_cast<BYTE>(i));
    EXPECT_EQ(q.Front(), e);  // stays until released
    q.Release(e);
  }
  EXPECT_TRUE(q.IsEmpty());
}

TEST(CDRQueue, RefusesWhatDoesNotFitAndIgnoresOtherReleases) {
  CDRQueueClass q(4, 8);
  BYTE data[9] = {1, 2, 3, 4, 5, 6, 7, 8, 9};
  EXPECT_EQ(q.Put(0, 0, 0, 9, data), 1);
  EXPECT_TRUE(q.IsEmpty());
  ASSERT_EQ(q.Put(0, 1, 0, 8, data), 2);
  ASSERT_EQ(q.Put(0, 2, 0, 3, data), 2);
  CDRQueueEntry* front = q.Front();
  CDRQueueEntry other = *front;
  q.Release(&other);  // not the tail entry
  EXPECT_EQ(q.Front(), front);
  EXPECT_EQ(q.Count(), 2u);
  q.Release(front);
  EXPECT_EQ(q.Front()->length, 3u);
  EXPECT_THROW(CDRQueueClass(1, 8), long);
  EXPECT_THROW(CDRQueueClass(8, 0), long);
}

// A producer and a consumer waiting on each other, and a stop that ends a
// producer's wait when the consumer has gone.
TEST(CDRQueue, WaitsEndOnDataRoomOrStop) {
  const vexa::testsupport::Watchdog dog("the producer's and the consumer's waits to end on data, room or stop");
  CDRQueueClass q(8, 4);
  std::atomic<bool> finished{false};
  std::vector<DWORD> got;
  std::jthread consumer([&] {
    for (;;) {
      if (!q.WaitNotEmpty([&] { return finished.load(); })) break;
      CDRQueueEntry* e = q.Front();
      got.push_back(e->word2);
      q.Release(e);
    }
  });
  BYTE data[4] = {};
  for (DWORD i = 0; i < 5000; ++i) {
    while (q.Put(0, i, 0, 4, data) == 0) ASSERT_TRUE(q.WaitNotFull([] { return false; }));
  }
  finished = true;
  q.Wake();
  consumer.join();
  ASSERT_EQ(got.size(), 5000u);
  for (DWORD i = 0; i < 5000; ++i) ASSERT_EQ(got[i], i);

  CDRQueueClass full(2, 4);
  ASSERT_EQ(full.Put(0, 0, 0, 4, data), 2);
  std::atomic<bool> gone{false};
  bool room = true;
  std::jthread producer([&] { room = full.WaitNotFull([&] { return gone.load(); }); });
  gone = true;
  full.Wake();
  producer.join();
  EXPECT_FALSE(room);
}

}  // namespace
