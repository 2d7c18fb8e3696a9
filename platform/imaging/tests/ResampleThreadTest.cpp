#include <gtest/gtest.h>

#include <cstring>

#include "platform/imaging/Resample.h"
#include "platform/imaging/tests/TestSupport.h"

namespace vexa::imaging {
namespace {

// Splitting the rows among threads must not change a byte.
TEST(ResampleThreadTest, ThreadsGiveTheSameBytes) {
  Bitmap src = testing::MakeTestPicture(1203, 797, 32);
  for (auto [w, h] : {std::pair{640, 427}, {1700, 1100}}) {
    Bitmap one, many;
    ASSERT_TRUE(Resize(src, w, h, &one, {.threads = 1}).ok());
    ASSERT_TRUE(Resize(src, w, h, &many, {.threads = 7}).ok());
    ASSERT_EQ(one.size(), many.size());
    EXPECT_EQ(std::memcmp(one.data(), many.data(), one.size()), 0);
  }
}

}  // namespace
}  // namespace vexa::imaging
