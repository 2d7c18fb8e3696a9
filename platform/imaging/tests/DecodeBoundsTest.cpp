// Files whose headers claim far more than they hold: every decoder counts
// what the picture would take from the header and refuses before the memory
// is taken. Each decode runs in a child process, whose peak resident memory
// shows what it really took.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "platform/base/Path.h"
#include "platform/imaging/Codec.h"
#include "platform/imaging/tests/TestSupport.h"

namespace vexa::imaging {
namespace {

std::string Fixture(const std::string& name) {
  std::string bytes;
  EXPECT_TRUE(base::ReadFile(std::string(VEXA_TEST_SOURCE_DIR) + "/tests/data/" + name, &bytes)) << name;
  return bytes;
}

void Put16Be(std::string* s, unsigned v) {
  s->push_back(static_cast<char>(v >> 8));
  s->push_back(static_cast<char>(v));
}
void Put16Le(std::string* s, unsigned v) {
  s->push_back(static_cast<char>(v));
  s->push_back(static_cast<char>(v >> 8));
}

// A progressive JPEG of three full-resolution components, side x side, whose
// first scan (the DC coefficients, one bit a block) has `data` bytes: enough
// for the size by the reader's check of the data, far too few for the
// picture. libjpeg keeps the coefficients of the whole picture (6 bytes a
// pixel) for a progressive file.
std::string ProgressiveJpeg(unsigned side, std::size_t data) {
  std::string s("\xFF\xD8", 2);
  s += std::string("\xFF\xDB", 2);  // one quantisation table of ones
  Put16Be(&s, 67);
  s.push_back(0);
  s += std::string(64, '\x01');
  s += std::string("\xFF\xC2", 2);  // progressive frame
  Put16Be(&s, 17);
  s.push_back(8);
  Put16Be(&s, side);
  Put16Be(&s, side);
  s.push_back(3);
  for (char id : {1, 2, 3}) s += std::string{id, '\x11', '\0'};
  s += std::string("\xFF\xC4", 2);  // a DC table of one code, '0', for 0
  Put16Be(&s, 20);
  s.push_back(0);
  s.push_back(1);
  s += std::string(15, '\0');
  s.push_back(0);
  s += std::string("\xFF\xDA", 2);  // the DC scan of all three
  Put16Be(&s, 12);
  s.push_back(3);
  for (char id : {1, 2, 3}) s += std::string{id, '\0'};
  s += std::string(3, '\0');
  s += std::string(data, '\0');
  s += std::string("\xFF\xD9", 2);
  return s;
}

// A run-length TGA, side x side and 24 bits, of grey runs of 128 pixels:
// a complete picture in 4 bytes a run, for the fallback reader, which
// keeps the whole picture in its own pixel cache (8 bytes a pixel).
std::string RunLengthTga(unsigned side) {
  std::string s;
  s += std::string("\0\0\x0A", 3);  // no id, no colour map, run-length true colour
  s += std::string(9, '\0');         // colour map and origin
  Put16Le(&s, side);
  Put16Le(&s, side);
  s.push_back(24);
  s.push_back(0x20);  // the first row at the top
  const std::uint64_t runs = (std::uint64_t{side} * side + 127) / 128;
  s.reserve(s.size() + runs * 4);
  for (std::uint64_t i = 0; i < runs; ++i) s += "\xFF\x80\x80\x80";
  return s;
}

constexpr std::int64_t kSmall = std::int64_t{32} << 20;

TEST(DecodeBoundsTest, HeadersClaimingMoreThanTheFileHoldsAreRefusedBeforeTheMemoryIsTaken) {
  const struct {
    const char* name;  // also the name the reader is given
    std::string bytes;
    ErrorCode code;
  } cases[] = {
      // 160 x 120, but 65534 samples a pixel: one LZW strip of 1.26 GB.
      {"tiff-65534-samples-per-pixel.tif", Fixture("tiff-65534-samples-per-pixel.tif"), ErrorCode::kImageTooLarge},
      // A 16384 x 16384 frame (and screen) from a few bytes of pixels.
      {"gif-16384-square-frame-without-its-data.gif", Fixture("gif-16384-square-frame-without-its-data.gif"),
       ErrorCode::kFileTruncated},
      // 8 KB would do for 8192 x 8192 at one bit a pixel, not at four bytes.
      {"png-8192-square-rgba-in-8k.png", Fixture("png-8192-square-rgba-in-8k.png"), ErrorCode::kFileTruncated},
      // 12288 x 12288: 906 MB of coefficients and a 453 MB picture.
      {"progressive-12288-square.jpg", ProgressiveJpeg(12288, 150000), ErrorCode::kImageTooLarge},
      // 11000 x 11000: a 968 MB pixel cache and a 363 MB picture.
      {"runs-11000-square.tga", RunLengthTga(11000), ErrorCode::kImageTooLarge},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_FALSE(c.bytes.empty());
    const testing::ChildRun run = testing::RunInChild([&] {
      Bitmap b;
      const Status s = LoadFromMemory({reinterpret_cast<const std::uint8_t*>(c.bytes.data()), c.bytes.size()}, &b,
                                      {}, c.name);
      return s.ok() == b.empty() ? 1 : s.Number();  // a failure leaves no picture, a success one
    });
    ASSERT_TRUE(run.ran) << run.why;
    EXPECT_EQ(run.result, static_cast<int>(c.code)) << ErrorText(static_cast<ErrorCode>(run.result));
    EXPECT_LT(run.peakGrowth, kSmall) << "the decode took " << (run.peakGrowth >> 20) << " MiB";
  }
}

}  // namespace
}  // namespace vexa::imaging
