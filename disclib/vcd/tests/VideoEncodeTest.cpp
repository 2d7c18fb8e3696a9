#include <chrono>
#include <cmath>
#include <filesystem>

#include "disclib/vcd/Bindings.h"
#include "disclib/vcd/CaptionLayout.h"
#include "disclib/vcd/VideoEncode.h"
#include "disclib/vcd/tests/EncodeFixtures.h"
#include "platform/base/Path.h"
#include "platform/base/Text.h"
#include "platform/imaging/Text.h"
#include "tests/support/Waits.h"

namespace vexa::vcd::testing {
namespace {

using namespace std::chrono_literals;

class VideoEncodeTest : public ScratchTest {
 protected:
  void SetUp() override {
    ScratchTest::SetUp();
    ASSERT_EQ(VCDBindHelperLibraries(), 1);
  }
  std::string Photo(const std::string& name, const char* source = "testsrc2=size=800x600") {
    const std::string path = Path(name);
    EXPECT_EQ(Shell("ffmpeg -nostdin -loglevel error -y -f lavfi -i " + std::string(source) +
                    " -frames:v 1 '" + path + "'"),
              0);
    return path;
  }
  std::int32_t Run(VCDClassMPG1VideoEncode& e, const std::string& out, std::string* name = nullptr) {
    e.StartConversion(out.c_str());
    EXPECT_TRUE(e.WaitDone(testsupport::kWaitBound)) << testsupport::InVain("the video encoding to end");
    std::int32_t percent = 0, remaining = 0, done = 0;
    EXPECT_EQ(e.GetProgress(&percent, &remaining, &done), 1);
    const char* n = nullptr;
    const std::int32_t state = e.GetResult(&n);
    if (name) *name = n ? n : "";
    return state;
  }
};

TEST_F(VideoEncodeTest, PicturesBecomeEntries) {
  VEXA_REQUIRE_TOOL("ffmpeg");
  const std::string photo = Photo("p.jpg");
  VCDClassMPG1VideoEncode e;
  e.SetStillTimes(4000, 1500);
  EXPECT_EQ(e.AddPicture(photo.c_str(), "Beach", 0), 1);  // caption 1500 ms, then 2500 ms without
  EXPECT_EQ(e.AddPicture(photo.c_str(), nullptr, 1), 1);  // one entry of 4000 ms
  EXPECT_EQ(e.AddPicture(photo.c_str(), "", 0), 1);       // an empty caption is none
  e.SetStillTimes(3000, 3000);
  EXPECT_EQ(e.AddPictureW(u"missing.jpg", u"x", 0), 0);
  EXPECT_EQ(e.AddPicture(nullptr, nullptr, 0), 0);
  EXPECT_EQ(e.AddPicture(photo.c_str(), "Whole", 0), 1);  // the caption covers the display time
  const auto& x = e.entries();
  ASSERT_EQ(x.size(), 5u);
  EXPECT_EQ(x[0].caption, "Beach");
  EXPECT_EQ(x[0].durationMs, 1500);
  EXPECT_EQ(x[1].caption, "");
  EXPECT_EQ(x[1].durationMs, 2500);
  EXPECT_EQ(x[2].durationMs, 4000);
  EXPECT_EQ(x[2].flag, 1);
  EXPECT_EQ(x[3].durationMs, 4000);
  EXPECT_EQ(x[4].caption, "Whole");
  EXPECT_EQ(x[4].durationMs, 3000);
  EXPECT_EQ(e.GetPCMBytes(), 15 * 176400);
  EXPECT_EQ(e.EstimateSectors(), std::lround(15.0 * 75));

  e.SetStillTimes(2000, 5000);
  EXPECT_EQ(e.captionMs(), 2000);
}

TEST_F(VideoEncodeTest, FormatsAndEstimates) {
  VCDClassMPG1VideoEncode e;
  struct Row {
    int format, width, height, mode;
    float rate;
  };
  const Row rows[] = {{0, 352, 240, 5, 29.97f}, {1, 352, 240, 11, 24.0f}, {2, 352, 288, 6, 25.0f},
                      {3, 704, 480, 7, 29.97f}, {5, 704, 576, 8, 25.0f},  {4, 704, 576, 9, 25.0f}};
  for (const Row& r : rows) {
    e.SetVideoFormat(r.format);
    EXPECT_EQ(e.width(), r.width) << r.format;
    EXPECT_EQ(e.height(), r.height) << r.format;
    EXPECT_EQ(e.modeCode(), r.mode) << r.format;
    EXPECT_FLOAT_EQ(e.frameRate(), r.rate) << r.format;
  }
  e.SetVideoFormat(9);  // unknown: nothing changes
  EXPECT_EQ(e.modeCode(), 9);

  // 10 entries of 4000 ms at 704 wide: round(10 x 2.0) + 40 x 0.125 = 25.
  const std::string photo = Path("p.bmp");
  ASSERT_EQ(Shell("printf 'x' > '" + photo + "'"), 0);
  e.SetVideoFormat(3);
  e.SetStillTimes(4000, 0);
  for (int i = 0; i < 10; ++i) ASSERT_EQ(e.AddPicture(photo.c_str(), "caption unused", 0), 1);
  ASSERT_EQ(e.entries().size(), 10u);
  EXPECT_EQ(e.EstimateSeconds(), static_cast<std::int32_t>(25 * VCDCPUScale()));
  // However fast the processor, seconds of encoding are not estimated at 0.
  EXPECT_GT(e.EstimateSeconds(), 0);
}

TEST_F(VideoEncodeTest, TheTableLimitCountsBothHalvesOfACaptionSplit) {
  const std::string photo = Path("p.bmp");
  ASSERT_EQ(Shell("printf 'x' > '" + photo + "'"), 0);
  VCDClassMPG1VideoEncode e;
  e.SetStillTimes(4000, 1000);
  for (std::size_t i = 0; i < VCDClassMPG1VideoEncode::kMaxEntries - 1; ++i) {
    ASSERT_EQ(e.AddPicture(photo.c_str(), nullptr, 0), 1);
  }
  // One entry is left: a captioned picture needs two and is refused whole.
  EXPECT_EQ(e.AddPicture(photo.c_str(), "two entries", 0), 0);
  EXPECT_EQ(e.entries().size(), VCDClassMPG1VideoEncode::kMaxEntries - 1);
  EXPECT_EQ(e.AddPicture(photo.c_str(), nullptr, 0), 1);
  EXPECT_EQ(e.AddPicture(photo.c_str(), nullptr, 0), 0);
  EXPECT_EQ(e.entries().size(), VCDClassMPG1VideoEncode::kMaxEntries);
}

TEST_F(VideoEncodeTest, StillAndMotionStreamsOfRealPhotos) {
  VEXA_REQUIRE_TOOL("ffmpeg");
  VEXA_REQUIRE_TOOL("ffprobe");
  VEXA_REQUIRE_TOOL("vcdxminfo");
  const std::string a = Photo("a.jpg"), b = Photo("b.jpg", "mandelbrot=size=640x480");
  struct Row {
    int format;
    const char* out;
    int width, height;
  };
  const Row rows[] = {{0, "motion.mpg", 352, 240}, {3, "still.mpg", 704, 480}, {2, "pal.mpg", 352, 288}};
  for (const Row& r : rows) {
    SCOPED_TRACE(r.out);
    VCDClassMPG1VideoEncode e;
    e.SetVideoFormat(r.format);
    e.SetStillTimes(1000, 500);
    e.SetCaptionStyle("Arial", 14, 0, 10, 80);
    ASSERT_EQ(e.AddPicture(a.c_str(), "First", 0), 1);
    ASSERT_EQ(e.AddPicture(b.c_str(), nullptr, 0), 1);
    std::string name;
    ASSERT_EQ(Run(e, Path(r.out), &name), base::kWorkSuccess) << name;
    std::string probe;
    ASSERT_EQ(Shell("ffprobe -v error -show_entries stream=codec_name,width,height -of default=nw=1 '" +
                    Path(r.out) + "'", &probe), 0) << probe;
    EXPECT_NE(probe.find("codec_name=mpeg1video"), std::string::npos) << probe;
    EXPECT_NE(probe.find("width=" + std::to_string(r.width)), std::string::npos) << probe;
    EXPECT_NE(probe.find("height=" + std::to_string(r.height)), std::string::npos) << probe;
    std::string info;
    EXPECT_EQ(Shell("vcdxminfo '" + Path(r.out) + "'", &info), 0) << info;
  }
}

// The bright pixels of a decoded frame: where white caption text was drawn
// on a black picture.
struct Ink {
  int left = 1 << 30, top = 1 << 30, right = -1, bottom = -1;  // right and bottom inclusive
  bool empty() const { return right < 0; }
};
Ink InkOf(const std::string& gray, std::size_t frame, int width, int height) {
  Ink ink;
  const std::size_t base = frame * static_cast<std::size_t>(width * height);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      if (static_cast<unsigned char>(gray[base + static_cast<std::size_t>(y * width + x)]) <= 128) continue;
      ink.left = std::min(ink.left, x);
      ink.right = std::max(ink.right, x);
      ink.top = std::min(ink.top, y);
      ink.bottom = std::max(ink.bottom, y);
    }
  }
  return ink;
}

// Captions decoded from the slide show lie whole inside the television's
// title-safe area, with the style a caller gets without setting one and
// with one that asks for a place near the frame's corner.
TEST_F(VideoEncodeTest, CaptionsStayWholeInsideTheTitleSafeArea) {
  VEXA_REQUIRE_TOOL("ffmpeg");
  const std::string black = Photo("black.jpg", "color=black:size=640x480");
  struct Caption {
    std::string text;
    int lines;  // 1: shown whole on one line; 2: broken onto two
  };
  const Caption captions[] = {
      {"Hello world, a caption", 1},
      {"Лес у озера", 1},
      {"Thirty characters of a captio" "n", 1},
      {"A very long caption that tells the whole story of a day at the lake with all our friends and family", 2},
  };
  struct Row {
    const char* name;
    int format, width, height;
    double rate;
    int xPercent, yPercent;  // -1: the style is left as it is
  };
  const Row rows[] = {{"NTSC", 0, 352, 240, 29.97, -1, -1},
                      {"PAL", 2, 352, 288, 25.0, -1, -1},
                      {"NTSC asked for at 90 %", 0, 352, 240, 29.97, 90, 90}};
  imaging::TextStyle style;
  style.family = kVCDCaptionFont;
  style.pixelHeight = imaging::PointsToPixels(kVCDCaptionPoints);
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    VCDClassMPG1VideoEncode e;
    e.SetVideoFormat(r.format);
    e.SetStillTimes(1500, 1500);
    if (r.xPercent >= 0) e.SetCaptionStyle(kVCDCaptionFont, kVCDCaptionPoints, 0, r.xPercent, r.yPercent);
    for (const Caption& c : captions) ASSERT_EQ(e.AddPicture(black.c_str(), c.text.c_str(), 0), 1);
    const std::string out = Path("captions.mpg"), frames = Path("captions.gray");
    std::string name;
    ASSERT_EQ(Run(e, out, &name), base::kWorkSuccess) << name;
    std::string log;
    ASSERT_EQ(Shell("ffmpeg -nostdin -v error -y -i '" + out + "' -f rawvideo -pix_fmt gray '" + frames + "'", &log), 0)
        << log;
    std::string gray;
    ASSERT_TRUE(base::ReadFile(frames, &gray));
    const std::size_t frameBytes = static_cast<std::size_t>(r.width * r.height);
    const std::size_t count = gray.size() / frameBytes;
    const VCDFrameArea safe = VCDTitleSafeArea(r.width, r.height);
    for (std::size_t i = 0; i < std::size(captions); ++i) {
      const Caption& c = captions[i];
      SCOPED_TRACE(c.text);
      // The middle of the picture's time.
      const auto frame = static_cast<std::size_t>((1.5 * static_cast<double>(i) + 0.75) * r.rate);
      ASSERT_LT(frame, count);
      const Ink ink = InkOf(gray, frame, r.width, r.height);
      ASSERT_FALSE(ink.empty());
      // Inside the safe area, a pixel or two of the coding's ringing aside.
      EXPECT_GE(ink.left, safe.left - 2);
      EXPECT_LT(ink.right, safe.right + 2);
      EXPECT_GE(ink.top, safe.top - 2);
      EXPECT_LT(ink.bottom, safe.bottom + 2);
      imaging::TextExtent whole;
      ASSERT_TRUE(imaging::MeasureText(c.text, style, &whole).ok());
      if (c.lines == 1) {
        // Not cut: the text is as wide as the font draws it.
        EXPECT_GE(ink.right - ink.left + 1, whole.width * 85 / 100);
        EXPECT_LT(ink.bottom - ink.top + 1, whole.height * 3 / 2);
      } else {
        EXPECT_GT(ink.bottom - ink.top + 1, whole.height * 3 / 2);
      }
    }
  }
}

TEST_F(VideoEncodeTest, AMissingPictureOrACancelEndsTheRun) {
  VEXA_REQUIRE_TOOL("ffmpeg");
  const std::string a = Photo("a.jpg"), gone = Photo("gone.jpg");
  {
    VCDClassMPG1VideoEncode e;
    e.SetStillTimes(1000, 0);
    ASSERT_EQ(e.AddPicture(a.c_str(), nullptr, 0), 1);
    ASSERT_EQ(e.AddPicture(gone.c_str(), nullptr, 0), 1);
    ASSERT_TRUE(base::RemoveAll(gone));
    std::string name;
    EXPECT_EQ(Run(e, Path("x.mpg"), &name), base::kWorkInputFailed);
    EXPECT_EQ(name, gone);
    const char16_t* wide = nullptr;
    EXPECT_EQ(e.GetResultW(&wide), base::kWorkInputFailed);
    EXPECT_EQ(std::u16string(wide), std::u16string(gone.begin(), gone.end()));
  }
  {
    // Cancelled before the first picture is asked for.
    VCDClassMPG1VideoEncode e;
    ASSERT_EQ(e.AddPicture(a.c_str(), nullptr, 0), 1);
    e.Cancel();
    e.StartConversion(Path("y.mpg").c_str());  // a new run clears the flag
    e.Cancel();
    ASSERT_TRUE(e.WaitDone(testsupport::kWaitBound)) << testsupport::InVain("the video encoding to end");
    EXPECT_EQ(e.GetResult(nullptr), base::kWorkCancelled);
  }
}

TEST_F(VideoEncodeTest, TwoEncodersInOneProcess) {
  VEXA_REQUIRE_TOOL("ffmpeg");
  const std::string a = Photo("a.jpg");
  VCDClassMPG1VideoEncode x, y;
  for (auto* e : {&x, &y}) {
    e->SetStillTimes(500, 0);
    ASSERT_EQ(e->AddPicture(a.c_str(), nullptr, 0), 1);
  }
  y.SetVideoFormat(2);
  x.StartConversion(Path("x.mpg").c_str());
  y.StartConversion(Path("y.mpg").c_str());
  ASSERT_TRUE(x.WaitDone(testsupport::kWaitBound)) << testsupport::InVain("the video encoding to end");
  ASSERT_TRUE(y.WaitDone(testsupport::kWaitBound)) << testsupport::InVain("the video encoding to end");
  EXPECT_EQ(x.GetResult(nullptr), base::kWorkSuccess);
  EXPECT_EQ(y.GetResult(nullptr), base::kWorkSuccess);
  EXPECT_GT(std::filesystem::file_size(Path("x.mpg")), 1000u);
  EXPECT_GT(std::filesystem::file_size(Path("y.mpg")), 1000u);
}

}  // namespace
}  // namespace vexa::vcd::testing
