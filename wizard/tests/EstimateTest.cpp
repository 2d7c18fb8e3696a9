// The disc-usage estimate: the worked examples, the size bands, titles and
// music, the picture limit, and sums past 2 GiB.
#include <gtest/gtest.h>

#include "wizard/common/WizUtil.h"
#include "wizard/session/DiscEstimate.h"
#include "wizard/session/ODVisual.h"
#include "wizard/session/WizXML.h"
#include "wizard/tests/PlainTestSupport.h"

using namespace vexa::wiz;
using vexa::wiz::testing::PlainTest;

namespace {

class EstimateTest : public PlainTest {
 protected:
  void SetUp() override {
    PlainTest::SetUp();
    Fake();
    ASSERT_EQ(CoCreateInstance(CLSID_VexaLogger, nullptr, CLSCTX_ALL, IID_IVexaLogger, Wiz().logger.PutVoid()),
              S_OK);
    Wiz().sessionAlbum = std::make_unique<CVexaWizXML>(Wiz());
    ASSERT_TRUE(Wiz().sessionAlbum->Init(m_temp.Path("lastAlbum.xml"), true));
  }
  CVexaWizXML& Album() { return *Wiz().sessionAlbum; }
  void Add(const std::string& path) { ASSERT_TRUE(Album().AddStill(path, 0, 0.0, "", 0, VARIANT_FALSE)); }
};

TEST_F(EstimateTest, TheWorkedExamples) {
  EXPECT_EQ(GetDiscSpaceUsed(Wiz(), nullptr), 1711645);
  EXPECT_EQ(GetPercentDiscSpaceUsed(Wiz(), nullptr, kDefaultDiscCapacity), 0);

  Add(FileOfSize("one.jpg", 100000));
  EXPECT_EQ(GetDiscSpaceUsed(Wiz(), nullptr), 3503444);

  // b of exactly 6,500,000 bytes: 1 %, not a whole multiple, so 2 %.
  Wiz().sessionAlbum = std::make_unique<CVexaWizXML>(Wiz());
  ASSERT_TRUE(Album().Init(m_temp.Path("x.xml"), true));
  const std::int64_t fixed = 1711645 + 5 * 172000 + 711799;  // one picture of a kind with no derivatives
  Add(FileOfSize("pad.xyz", static_cast<std::size_t>(6500000 - fixed)));
  ASSERT_EQ(GetDiscSpaceUsed(Wiz(), nullptr), 6500000);
  EXPECT_EQ(GetPercentDiscSpaceUsed(Wiz(), nullptr, kDefaultDiscCapacity), 2);
}

TEST_F(EstimateTest, PercentRoundsUpUnlessExact) {
  Add(FileOfSize("a.xyz", 100));
  const std::int64_t b = GetDiscSpaceUsed(Wiz(), nullptr);
  // A capacity the bytes fill exactly: no rounding up.
  EXPECT_EQ(GetPercentDiscSpaceUsed(Wiz(), nullptr, b), 100);
  // Otherwise any truncated percentage above 0 is rounded up.
  EXPECT_EQ(GetPercentDiscSpaceUsed(Wiz(), nullptr, b * 100), 2);
  // Below 1 % of the bytes, the one picture's share of the limit counts.
  EXPECT_EQ(GetPercentDiscSpaceUsed(Wiz(), nullptr, b * 1000), 1);
  // A capacity of 0 gives no usable percentage: the disc's own is used.
  EXPECT_EQ(GetPercentDiscSpaceUsed(Wiz(), nullptr, 0), GetPercentDiscSpaceUsed(Wiz(), nullptr, kDefaultDiscCapacity));
}

TEST_F(EstimateTest, SizeBandsUseTheirFactors) {
  struct Case {
    const char* ext;
    std::int64_t size;
    double factor;
  } cases[] = {{"jpg", 102399, double(1.2f)},  {"JPG", 102400, 1.0},         {"jpeg", 2047999, 0.5},
               {"jpg", 2048000, double(0.4f)}, {"tif", 15728639, double(0.05f)}, {"TIFF", 15728640, double(0.04f)},
               {"bmp", 1000, 0.09},             {"png", 1000, 0.2},          {"pict", 1000, 0.14},
               {"xyz", 1000, 0.0}};
  for (const Case& c : cases) EXPECT_DOUBLE_EQ(DerivedFactor(c.ext, c.size), c.factor) << c.ext << " " << c.size;
  Add(FileOfSize("edge.jpg", 2048000));
  EXPECT_EQ(GetDiscSpaceUsed(Wiz(), nullptr), 1711645 + 5 * 172000 + 711799 + 2048000 + 819200);
}

TEST_F(EstimateTest, TitlesAndMusicCount) {
  Add(FileOfSize("a.xyz", 0));
  const std::int64_t plain = GetDiscSpaceUsed(Wiz(), nullptr);
  ASSERT_TRUE(Album().SetTitleLines("", "Title", ""));
  EXPECT_EQ(GetDiscSpaceUsed(Wiz(), nullptr), plain + 5 * 172000 + 711799);
  ASSERT_TRUE(Album().SetTitleLines("", "", ""));
  ASSERT_TRUE(Album().SetStillDelay(8));
  EXPECT_EQ(GetDiscSpaceUsed(Wiz(), nullptr), plain + 3 * 172000);

  ASSERT_TRUE(Album().AddAudioTrack(FileOfSize("song.mp3", 3000000), 0));
  EXPECT_EQ(GetDiscSpaceUsed(Wiz(), nullptr), plain + 3 * 172000 + 3000000);

  // An audio-CD track takes its size from the orchestrator's track facts.
  Fake().trackSize = 42000000;
  Wiz().burner = std::make_unique<CVexaODVisual>(Wiz());
  ASSERT_TRUE(Wiz().burner->Init());
  ASSERT_TRUE(Album().AddAudioTrack(FileOfSize("Track01.CDA", 44), 0));
  EXPECT_EQ(GetDiscSpaceUsed(Wiz(), nullptr), plain + 3 * 172000 + 42000000);
  ASSERT_EQ(Fake().Calls("GetTrackInfo").size(), 1u);
}

TEST_F(EstimateTest, PicturesCountAgainstTheLimit) {
  SetProductDword("MAX_IMAGES", 200);
  const std::string p = FileOfSize("p.xyz", 10);
  for (int i = 0; i < 201; ++i) Add(p);
  EXPECT_EQ(GetPercentDiscSpaceUsed(Wiz(), nullptr, kDefaultDiscCapacity), 101);
  // A limit of 0 is no limit: the default of 200 applies, with its line.
  SetProductDword("MAX_IMAGES", 0);
  EXPECT_EQ(GetPercentDiscSpaceUsed(Wiz(), nullptr, kDefaultDiscCapacity), 101);
  EXPECT_TRUE(Fake().Logged("CvexaPropSheet::GetPercentDiscSpaceUsed - Cannot get MAX_IMAGES from the registry, using 200"));
}

// The title picture counts as one of the pictures: the limit's photos and a
// title are one too many.
TEST_F(EstimateTest, TheTitlePictureCountsAgainstTheLimit) {
  SetProductDword("MAX_IMAGES", 200);
  const std::string p = FileOfSize("p.xyz", 10);
  for (int i = 0; i < 200; ++i) Add(p);
  EXPECT_EQ(GetPercentDiscSpaceUsed(Wiz(), nullptr, kDefaultDiscCapacity), 100);
  ASSERT_TRUE(Album().SetTitleLines("", "Title", ""));
  EXPECT_EQ(GetPercentDiscSpaceUsed(Wiz(), nullptr, kDefaultDiscCapacity), 101);
}

TEST_F(EstimateTest, SumsPastTwoGibibytes) {
  // Three sparse 1 GiB files: the sums need 64 bits.
  for (const char* name : {"a.xyz", "b.xyz", "c.xyz"}) Add(FileOfSize(name, 1ull << 30));
  const std::int64_t expected = 3 * (1ll << 30) + 3 * 5 * 172000 + 3 * 711799 + 1711645;
  EXPECT_EQ(GetDiscSpaceUsed(Wiz(), nullptr), expected);
  EXPECT_EQ(GetPercentDiscSpaceUsed(Wiz(), nullptr, kDefaultDiscCapacity), 497);
}

}  // namespace
