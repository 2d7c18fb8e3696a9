#include <gtest/gtest.h>

#include <cstring>
#include <thread>
#include <vector>

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

// Several callers at once (each call then shares the processors with the
// others) give what one thread gives.
TEST(ResampleThreadTest, CallersAtOnceGiveTheSameBytes) {
  const Bitmap src = testing::MakeTestPicture(1632, 1224);
  const std::pair<int, int> sizes[] = {{512, 384}, {1024, 768}, {160, 120}, {2000, 1500}};
  std::vector<Bitmap> expected(std::size(sizes));
  for (std::size_t i = 0; i < std::size(sizes); ++i) {
    ASSERT_TRUE(Resize(src, sizes[i].first, sizes[i].second, &expected[i], {.threads = 1}).ok());
  }
  std::vector<int> failures(4, 0);
  {
    std::vector<std::jthread> callers;
    for (int c = 0; c < 4; ++c) {
      callers.emplace_back([&, c] {
        for (int round = 0; round < 3; ++round) {
          const std::size_t i = static_cast<std::size_t>(c + round) % std::size(sizes);
          Bitmap out;
          const bool same = Resize(src, sizes[i].first, sizes[i].second, &out).ok() &&
                            out.size() == expected[i].size() &&
                            std::memcmp(out.data(), expected[i].data(), out.size()) == 0;
          if (!same) ++failures[static_cast<std::size_t>(c)];
        }
      });
    }
  }
  for (int f : failures) EXPECT_EQ(f, 0);
}

}  // namespace
}  // namespace vexa::imaging

#include <thread>
#include <vector>

#include "platform/imaging/Codec.h"
#include "platform/imaging/Text.h"

namespace vexa::imaging {
namespace {

// The decoders, the encoders and text keep no unguarded shared state:
// several threads at once give what one thread gives.
TEST(ImagingThreadTest, DecodersEncodersAndTextRunInParallel) {
  Bitmap picture = testing::MakeTestPicture(96, 64);
  std::string jpeg, bmp;
  ASSERT_TRUE(EncodeJpeg(picture, {}, &jpeg).ok());
  ASSERT_TRUE(EncodeBmp(picture, &bmp).ok());
  auto bytes = [](const std::string& s) {
    return std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(s.data()), s.size());
  };
  Bitmap expectJpeg;
  ASSERT_TRUE(LoadFromMemory(bytes(jpeg), &expectJpeg).ok());
  TextStyle style;
  style.family = "Arial";
  style.pixelHeight = 20;
  Bitmap expectText;
  ASSERT_TRUE(expectText.Create(120, 30, 24).ok());
  ASSERT_TRUE(DrawText(&expectText, 2, 2, "Threads", style).ok());

  std::vector<int> failures(4, 0);
  {
    std::vector<std::jthread> pool;
    for (int t = 0; t < 4; ++t) {
      pool.emplace_back([&, t] {
        for (int i = 0; i < 5; ++i) {
          Bitmap a, b, text;
          std::string again;
          bool ok = LoadFromMemory(bytes(jpeg), &a).ok() && LoadFromMemory(bytes(bmp), &b).ok() &&
                    EncodeJpeg(b, {}, &again).ok() && text.Create(120, 30, 24).ok() &&
                    DrawText(&text, 2, 2, "Threads", style).ok();
          ok = ok && a.size() == expectJpeg.size() && std::memcmp(a.data(), expectJpeg.data(), a.size()) == 0 &&
               std::memcmp(b.row(5), picture.row(5), 96 * 3) == 0 &&
               std::memcmp(text.data(), expectText.data(), text.size()) == 0;
          if (!ok) ++failures[static_cast<std::size_t>(t)];
        }
      });
    }
  }
  for (int f : failures) EXPECT_EQ(f, 0);
}

}  // namespace
}  // namespace vexa::imaging
