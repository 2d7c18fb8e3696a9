// The engine's media utilities: the record in a JPEG's comment segment and
// audio-CD tracks read into WAV files (from the test's own drives).
#include <cmath>
#include <filesystem>
#include <fstream>

#include "engine/tests/EngineFixture.h"

namespace vexa::engine::test {
namespace {

std::string ReadAll(const std::string& path) {
  std::string s;
  base::ReadFile(path, &s);
  return s;
}

// PCM of a CD: 2352 bytes a sector, a different tone per track.
std::vector<std::uint8_t> MakeAudio(const std::vector<std::int32_t>& starts) {
  const std::int32_t end = starts.back();
  std::vector<std::uint8_t> pcm(static_cast<std::size_t>(end) * 2352);
  std::size_t track = 0;
  for (std::int32_t s = 0; s < end; ++s) {
    while (track + 1 < starts.size() && s >= starts[track + 1]) ++track;
    for (int i = 0; i < 588; ++i) {
      const double t = (static_cast<double>(s) * 588 + i) / 44100.0;
      const auto v = static_cast<std::int16_t>(8000 * std::sin(2 * M_PI * (220.0 * (track + 1)) * t));
      std::uint8_t* p = pcm.data() + static_cast<std::size_t>(s) * 2352 + static_cast<std::size_t>(i) * 4;
      p[0] = static_cast<std::uint8_t>(v);
      p[1] = static_cast<std::uint8_t>(v >> 8);
      p[2] = static_cast<std::uint8_t>(v);
      p[3] = static_cast<std::uint8_t>(v >> 8);
    }
  }
  return pcm;
}

class MediaTest : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    fake_->specs[0] = BlankWriter("/dev/sr0");
    FakeDriveSpec audio = Reader(Path("cd"));
    audio.disc.tracks = {0, 750, 14250, 15000};  // 10 s, 180 s, 10 s
    audio.disc.audio = MakeAudio(audio.disc.tracks);
    fake_->specs[1] = audio;
    ASSERT_EQ(Create(), S_OK);
    ASSERT_EQ(engine_->SetTempDirectory(B(dir_).Get()), S_OK);
    com::ComPtr<IVEXAStoryboardStillsSlideshow1> sb;
    ASSERT_EQ(engine_->get_StoryboardStillsSlideshow1(sb.Put()), S_OK);
    storyboard_ = sb;
  }
  void TearDown() override {
    storyboard_.Reset();
    EngineTest::TearDown();
  }
  std::string Track(int n) const {
    char name[32];
    std::snprintf(name, sizeof name, "/Track%02d.cda", n);
    return dir_ + "/cd" + name;
  }
  com::ComPtr<IVEXAStoryboardStillsSlideshow1> storyboard_;
};

TEST_F(MediaTest, TrackFiguresOfAThreeMinuteTrack) {
  LONG size = 0, rip = 0;
  double play = 0;
  ASSERT_EQ(storyboard_->GetTrackInfo(B(Track(2)).Get(), &size, &play, &rip), S_OK) << ErrorDescription();
  EXPECT_EQ(size, 31752036);
  EXPECT_DOUBLE_EQ(play, 180.0);
  EXPECT_EQ(rip, 31752036 / 600000);
  EXPECT_EQ(LastMethod(), "IVEXAStoryboardStillsSlideshow1::RipAudio");
  fake_->specs[1].readSpeed = 8;
  ASSERT_EQ(storyboard_->GetTrackInfo(B(Track(2)).Get(), &size, &play, &rip), S_OK);
  EXPECT_EQ(rip, 31752036 / (8 * 30000));
  // The search's drives are let go.
  EXPECT_EQ(fake_->live.load(), 0);
}

TEST_F(MediaTest, BadTrackNames) {
  struct Case {
    std::string name;
    VEXAEngineResult code;
    const char* message;
  } cases[] = {
      {dir_ + "/cd/Track02.wav", VEXAEngineResultInvalidFileFormat, "IVEXAStoryboardStillsSlideshow1::GetTrackInfo - invalid .cda track"},
      {dir_ + "/cd/T.cda", VEXAEngineResultParameterInvalid, "IVEXAStoryboardStillsSlideshow1::GetTrackInfo - invalid .cda track"},
      {dir_ + "/cd/Track00.cda", VEXAEngineResultParameterInvalid, "IVEXAStoryboardStillsSlideshow1::RipAudio - invalid .cda track"},
      {dir_ + "/elsewhere/Track02.cda", VEXAEngineResultSubmoduleRipAudioFail, "IVEXAStoryboardStillsSlideshow1::GetTrackInfo - unable to query disc"},
      {dir_ + "/cd/Track09.cda", VEXAEngineResultSubmoduleRipAudioFail, "IVEXAStoryboardStillsSlideshow1::RipAudio - unable to query disc"},
  };
  for (const auto& c : cases) {
    LONG size = 0, rip = 0;
    double play = 0;
    EXPECT_EQ(storyboard_->GetTrackInfo(B(c.name).Get(), &size, &play, &rip), E_FAIL) << c.name;
    EXPECT_EQ(LastCode(), c.code) << c.name;
    EXPECT_EQ(LastMessage(), c.message);
    EXPECT_EQ(ErrorDescription(), c.message);
    EXPECT_EQ(LastMethod(), "IVEXAStoryboardStillsSlideshow1::RipAudio");
  }
}

TEST_F(MediaTest, RippedTrackEqualsTheDiscAfterItsHeader) {
  const std::string wav = Path("track2.wav");
  ASSERT_EQ(storyboard_->StartRead(B(Track(2)).Get(), B(wav).Get()), S_OK) << ErrorDescription();
  const std::string data = ReadAll(wav);
  ASSERT_EQ(data.size(), 31752036u + 8u);
  const auto& pcm = fake_->specs[1].disc.audio;
  EXPECT_EQ(data.compare(44, std::string::npos, std::string(pcm.begin() + 750 * 2352, pcm.begin() + 14250 * 2352)), 0);
  EXPECT_EQ(data.substr(0, 4), "RIFF");
  EXPECT_EQ(fake_->blockingCalls, (std::vector<std::int32_t>{1, 0}));
  EXPECT_EQ(LastMethod(), "IVEXAStoryboardStillsSlideshow1::StartRead");
  std::string out;
  if (HaveTool("soxi")) {
    ASSERT_EQ(Shell("soxi -D '" + wav + "'", &out), 0) << out;
    EXPECT_DOUBLE_EQ(std::stod(out), 180.0);
    ASSERT_EQ(Shell("soxi -c '" + wav + "'", &out), 0);
    EXPECT_EQ(std::stoi(out), 2);
  } else if (CheckersRequired()) {
    FAIL() << "soxi missing";
  }
}

TEST_F(MediaTest, AFailedReadLeavesNoFile) {
  fake_->specs[1].disc.readErrorAt = 9000;
  const std::string wav = Path("broken.wav");
  EXPECT_EQ(storyboard_->StartRead(B(Track(2)).Get(), B(wav).Get()), E_FAIL);
  EXPECT_EQ(LastCode(), VEXAEngineResultSubmoduleRipAudioFail);
  EXPECT_EQ(LastMessage(), "IVEXAStoryboardStillsSlideshow1::StartRead - unable to read CDA and write to a WAV.");
  EXPECT_FALSE(base::FileExists(wav));
  EXPECT_EQ(fake_->blockingCalls, (std::vector<std::int32_t>{1, 0}));
  // Nothing else was left in the folder either.
  std::size_t files = 0;
  for (const auto& e : std::filesystem::directory_iterator(dir_)) files += e.is_regular_file();
  EXPECT_EQ(files, 0u);
  // A file that was there before is left as it was.
  base::WriteFileAtomic(wav, "keep");
  EXPECT_EQ(storyboard_->StartRead(B(Track(2)).Get(), B(wav).Get()), E_FAIL);
  EXPECT_EQ(ReadAll(wav), "keep");
}

TEST_F(MediaTest, JpegRecordKeepsTheResolutionAskedFor) {
  const std::string jpeg = Path("photo.jpg");
  VEXA_REQUIRE_TOOL("convert");
  ASSERT_EQ(Shell("convert -size 64x48 gradient:red-blue '" + jpeg + "'"), 0);
  const std::string original = ReadAll(jpeg);

  // A photo without the record has none: no failure.
  std::string id;
  LONG resolution = -1;
  ASSERT_EQ(object_->GetJPEGCOMMarker(jpeg, &id, &resolution), S_OK) << ErrorDescription();
  EXPECT_EQ(id, "");
  EXPECT_EQ(resolution, 0);
  EXPECT_EQ(ReadAll(jpeg), original);

  for (LONG res : {1, 2, 3, 4}) {
    std::string given = "id-" + std::to_string(res);
    LONG r = res;
    VARIANT_BOOL written = 0;
    ASSERT_EQ(object_->InsertJPEGCOMMaker(jpeg, &given, &r, VARIANT_TRUE, &written), S_OK) << ErrorDescription();
    EXPECT_EQ(written, VARIANT_TRUE);
    ASSERT_EQ(object_->GetJPEGCOMMarker(jpeg, &id, &resolution), S_OK);
    EXPECT_EQ(id, "id-" + std::to_string(res));
    EXPECT_EQ(resolution, res);
  }

  // A stored identifier and no overwrite: the stored one comes back and the
  // file is untouched.
  const std::string before = ReadAll(jpeg);
  std::string mine = "other";
  LONG r = 2;
  VARIANT_BOOL written = VARIANT_TRUE;
  ASSERT_EQ(object_->InsertJPEGCOMMaker(jpeg, &mine, &r, VARIANT_FALSE, &written), S_OK);
  EXPECT_EQ(mine, "id-4");
  EXPECT_EQ(r, 4);
  EXPECT_EQ(written, VARIANT_FALSE);
  EXPECT_EQ(ReadAll(jpeg), before);
  // Only the known resolutions are written.
  LONG bad = 9;
  EXPECT_EQ(object_->InsertJPEGCOMMaker(jpeg, &mine, &bad, VARIANT_TRUE, &written), E_FAIL);
  EXPECT_EQ(LastCode(), VEXAEngineResultParameterInvalid);
}

}  // namespace
}  // namespace vexa::engine::test
