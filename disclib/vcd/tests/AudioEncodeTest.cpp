#include <chrono>
#include <cmath>
#include <filesystem>

#include "disclib/vcd/AudioEncode.h"
#include "disclib/vcd/Bindings.h"
#include "disclib/vcd/VideoEncode.h"
#include "disclib/vcd/tests/EncodeFixtures.h"
#include "platform/base/Path.h"
#include "tests/support/Waits.h"

namespace vexa::vcd::testing {
namespace {

using namespace std::chrono_literals;

class AudioEncodeTest : public ScratchTest {
 protected:
  void SetUp() override {
    ScratchTest::SetUp();
    ASSERT_EQ(VCDBindHelperLibraries(), 1);
    FakeAudio::Install();
  }
  void TearDown() override {
    FakeAudio::Uninstall();
    ScratchTest::TearDown();
  }
  // Runs a conversion to its end.
  std::int32_t Run(VCDClassMPG1L2AudioEncode& e, const std::string& out, std::string* name = nullptr) {
    e.StartConversion(out.c_str());
    EXPECT_TRUE(e.WaitDone(testsupport::kWaitBound)) << testsupport::InVain("the audio encoding to end");
    std::int32_t percent = -1, remaining = -1, done = 0;
    EXPECT_EQ(e.GetProgress(&percent, &remaining, &done), 1);
    EXPECT_EQ(done, 1);
    EXPECT_EQ(percent, 100);
    EXPECT_EQ(remaining, 0);
    const char* n = nullptr;
    const std::int32_t state = e.GetResult(&n);
    if (name) *name = n ? n : "";
    return state;
  }
};

TEST_F(AudioEncodeTest, AddingFilesAndTheEstimates) {
  VCDClassMPG1L2AudioEncode e;
  EXPECT_EQ(e.AddAudioFile(nullptr), 0);
  EXPECT_EQ(e.AddAudioFile("a.b"), 0);              // 3 characters
  EXPECT_EQ(e.AddAudioFile("fake:0"), 0);           // no duration
  EXPECT_EQ(e.AddAudioFile("fake:1000:0:noopen"), 0);  // does not open: refused, not dropped silently
  EXPECT_EQ(e.AddAudioFile(Path("missing.mp3").c_str()), 0);
  EXPECT_EQ(e.AddAudioFileW(u"fake:60000"), 1);
  EXPECT_EQ(e.AddAudioFile("fake:30000"), 1);
  EXPECT_EQ(e.EstimateBytes(), 91 * 28000);
  EXPECT_EQ(e.EstimateSectors(), 1089);
  EXPECT_EQ(e.EstimateSeconds(), static_cast<std::int32_t>(std::lround(90 / 5.2 * VCDCPUScale())));
  EXPECT_GT(e.EstimateSeconds(), 0);  // not 0 on a fast processor
  for (std::size_t i = e.FileCount(); i < VCDClassMPG1L2AudioEncode::kMaxFiles; ++i) {
    ASSERT_EQ(e.AddAudioFile("fake:10"), 1);
  }
  EXPECT_EQ(e.AddAudioFile("fake:10"), 0);  // the 513th
  EXPECT_EQ(e.FileCount(), 512u);
}

TEST_F(AudioEncodeTest, FailuresEndTheRunWithAStateAndAName) {
  struct Row {
    const char* what;
    std::vector<std::string> files;
    std::string output;
    std::string refuse;  // a file that stops opening once added
    std::int32_t state;
    std::string name;
    double seconds = 0;  // the music written, when the run succeeds
  };
  const std::string out = Path("out.mp2");
  const Row rows[] = {
      // The Layer II encoder cannot create its file: the encoder failed.
      {"encoder", {"fake:1000"}, Path("no/such/folder/out.mp2"), "", base::kWorkEncoderFailed, ""},
      // A stream that stops opening between adding and converting.
      {"noopen", {"fake:1000", "fake:2000"}, out, "fake:2000", base::kWorkInputFailed, "fake:2000"},
      // A stream that ends well short of its stated length (a file cut
      // short) ends its music there; the next file follows.
      {"short", {"fake:1000", "fake:3000:1000", "fake:500"}, out, "", base::kWorkSuccess, "", 2.5},
      // A stream that gives no sound at all fails.
      {"silent", {"fake:1000", "fake:3000:0"}, out, "", base::kWorkInputFailed, "fake:3000:0"},
      {"rounding", {"fake:1000:990"}, out, "", base::kWorkSuccess, "", 0.99},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.what);
    VCDClassMPG1L2AudioEncode e;
    for (const std::string& f : r.files) ASSERT_EQ(e.AddAudioFile(f.c_str()), 1);
    if (!r.refuse.empty()) FakeAudio::refuseOpen.insert(r.refuse);
    std::string name;
    EXPECT_EQ(Run(e, r.output, &name), r.state);
    EXPECT_EQ(name, r.name);
    const char16_t* wide = nullptr;
    EXPECT_EQ(e.GetResultW(&wide), r.state);
    EXPECT_EQ(std::u16string(wide), std::u16string(r.name.begin(), r.name.end()));
    if (r.seconds > 0) {
      // 224 kbit/s: 28000 bytes a second, within a frame.
      EXPECT_NEAR(static_cast<double>(std::filesystem::file_size(r.output)), 28000.0 * r.seconds, 1500.0);
    }
    FakeAudio::refuseOpen.clear();
  }

  // A real file deleted after it was added: the plug-in gives no stream.
  const std::string wav = Path("gone.wav");
  ASSERT_EQ(Shell("ffmpeg -nostdin -loglevel error -y -f lavfi -i \"sine=d=1\" -ar 44100 -ac 2 '" + wav + "'"), 0);
  VCDClassMPG1L2AudioEncode e;
  ASSERT_EQ(e.AddAudioFile(wav.c_str()), 1);
  ASSERT_TRUE(base::RemoveAll(wav));
  std::string name;
  EXPECT_EQ(Run(e, out, &name), base::kWorkInputFailed);
  EXPECT_EQ(name, wav);

  // With no audio source bound at all, the libraries are missing: 7.
  VCDClassMPG1L2AudioEncode u;
  ASSERT_EQ(u.AddAudioFile("fake:1000"), 1);
  VCDSetARASFactory(nullptr, nullptr);
  EXPECT_EQ(Run(u, out, &name), base::kWorkNotBound);
  EXPECT_EQ(name, "fake:1000");
}

TEST_F(AudioEncodeTest, CancelHalfWayLeavesThePartialFile) {
  VCDClassMPG1L2AudioEncode e;
  ASSERT_EQ(e.AddAudioFile("fake:20000"), 1);
  const std::int64_t half = 20000LL * 1764 / 10 / 2;
  FakeAudio::onRead = [&e, half](std::int64_t delivered) {
    if (delivered >= half) e.Cancel();
  };
  const std::string out = Path("cancel.mp2");
  std::string name;
  EXPECT_EQ(Run(e, out, &name), base::kWorkCancelled);
  EXPECT_TRUE(base::FileExists(out));  // the caller removes it
}

// Real music of three kinds into one Layer II file, checked by ffprobe.
TEST_F(AudioEncodeTest, MusicOfThreeKindsBecomesOneLayerTwoFile) {
  VEXA_REQUIRE_TOOL("ffmpeg");
  VEXA_REQUIRE_TOOL("ffprobe");
  const std::string tone = "-f lavfi -i \"aevalsrc=0.4*sin(440*2*PI*t)|0.4*sin(554*2*PI*t):s=44100:d=";
  const std::string files[] = {Path("one.mp3"), Path("two.wma"), Path("three.wav")};
  ASSERT_EQ(Shell("ffmpeg -nostdin -loglevel error -y " + tone + "4\" -ar 48000 -c:a libmp3lame '" + files[0] + "'"), 0);
  ASSERT_EQ(Shell("ffmpeg -nostdin -loglevel error -y " + tone + "3\" -c:a wmav2 '" + files[1] + "'"), 0);
  ASSERT_EQ(Shell("ffmpeg -nostdin -loglevel error -y " + tone + "2.5\" -ar 22050 -ac 1 '" + files[2] + "'"), 0);
  VCDClassMPG1L2AudioEncode e;
  for (const std::string& f : files) ASSERT_EQ(e.AddAudioFile(f.c_str()), 1) << f;
  const std::string out = Path("DISCPAK.MP2");
  std::string name;
  ASSERT_EQ(Run(e, out, &name), base::kWorkSuccess) << name;
  std::string probe;
  ASSERT_EQ(Shell("ffprobe -v error -show_entries stream=codec_name,sample_rate,channels,bit_rate:format=duration "
                  "-of default=nw=1 '" + out + "'",
                  &probe),
            0);
  EXPECT_NE(probe.find("codec_name=mp2"), std::string::npos) << probe;
  EXPECT_NE(probe.find("sample_rate=44100"), std::string::npos) << probe;
  EXPECT_NE(probe.find("channels=2"), std::string::npos) << probe;
  EXPECT_NE(probe.find("bit_rate=224000"), std::string::npos) << probe;
  const double seconds = std::atof(probe.c_str() + probe.find("duration=") + 9);
  // The summed duration, within one frame (the WMA decode ends a little
  // short of its stated length).
  EXPECT_NEAR(seconds, 9.5, 1152.0 / 44100 + 0.1);
  const double size = static_cast<double>(std::filesystem::file_size(out));
  EXPECT_NEAR(size, 28000.0 * seconds, 732.0);
  EXPECT_LE(size, e.EstimateBytes());
}

// Music shorter than a Layer II frame (a 5 ms WAV) is valid music: it is
// made up to the two frames a stream needs, and the slide show takes it and
// repeats it to its own length as it repeats any short music. Longer music
// is encoded as it is. The WAVs are sox's; ffprobe counts the frames and
// reads the slide show.
TEST_F(AudioEncodeTest, MusicShorterThanTwoFramesIsMadeUpToTwoAndTheShowTakesIt) {
  VEXA_REQUIRE_TOOL("sox");
  VEXA_REQUIRE_TOOL("ffmpeg");
  VEXA_REQUIRE_TOOL("ffprobe");
  const std::string photo = Path("photo.jpg");
  ASSERT_EQ(Shell("ffmpeg -nostdin -loglevel error -y -f lavfi -i testsrc2=size=640x480 -frames:v 1 '" + photo + "'"), 0);
  const struct {
    const char* seconds;  // as sox takes it
    int frames;           // Layer II frames of the music
  } rows[] = {{"0.005", 2}, {"0.02", 2}, {"0.026", 2}, {"0.027", 2}, {"0.06", 3}, {"0.5", 20}};
  for (const auto& r : rows) {
    SCOPED_TRACE(r.seconds);
    const std::string wav = Path(std::string("music ") + r.seconds + ".wav");
    ASSERT_EQ(Shell("sox -n -r 44100 -c 2 -b 16 '" + wav + "' synth " + r.seconds + " sine 440"), 0);
    VCDClassMPG1L2AudioEncode e;
    ASSERT_EQ(e.AddAudioFile(wav.c_str()), 1) << e.GetError();
    const std::string mp2 = Path("music.mp2");
    std::string name;
    ASSERT_EQ(Run(e, mp2, &name), base::kWorkSuccess) << name;
    std::string probe;
    ASSERT_EQ(Shell("ffprobe -v error -count_packets -show_entries stream=codec_name,sample_rate,nb_read_packets "
                    "-of default=nw=1 '" + mp2 + "'",
                    &probe),
              0)
        << probe;
    EXPECT_NE(probe.find("codec_name=mp2"), std::string::npos) << probe;
    EXPECT_NE(probe.find("sample_rate=44100"), std::string::npos) << probe;
    EXPECT_NE(probe.find("nb_read_packets=" + std::to_string(r.frames) + "\n"), std::string::npos) << probe;

    // A slide show of one picture with the music, repeated: a stream with
    // its sound all through the show.
    VCDClassMPG1VideoEncode show;
    show.SetVideoFormat(2);
    show.SetStillTimes(2000, 0);
    ASSERT_EQ(show.AddPicture(photo.c_str(), nullptr, 0), 1);
    ASSERT_EQ(show.SetAudioFile(mp2.c_str(), 1), 1);
    const std::string mpg = Path("show.mpg");
    show.StartConversion(mpg.c_str());
    ASSERT_TRUE(show.WaitDone(600s));
    const char* failed = nullptr;
    ASSERT_EQ(show.GetResult(&failed), base::kWorkSuccess) << (failed ? failed : "");
    ASSERT_EQ(Shell("ffprobe -v error -select_streams a -show_entries stream=codec_name:format=duration "
                    "-of default=nw=1 '" + mpg + "'",
                    &probe),
              0)
        << probe;
    EXPECT_NE(probe.find("codec_name=mp2"), std::string::npos) << probe;
    EXPECT_NEAR(std::atof(probe.c_str() + probe.find("duration=") + 9), 2.0, 0.2) << probe;
    std::string decoded;
    EXPECT_EQ(Shell("ffmpeg -nostdin -v error -xerror -i '" + mpg + "' -f null -", &decoded), 0) << decoded;
  }
}

TEST_F(AudioEncodeTest, TwoEncodersAtOnce) {
  VCDClassMPG1L2AudioEncode a, b;
  ASSERT_EQ(a.AddAudioFile("fake:3000"), 1);
  ASSERT_EQ(b.AddAudioFile("fake:2000"), 1);
  a.StartConversion(Path("a.mp2").c_str());
  b.StartConversion(Path("b.mp2").c_str());
  ASSERT_TRUE(a.WaitDone(testsupport::kWaitBound)) << testsupport::InVain("the audio encoding to end");
  ASSERT_TRUE(b.WaitDone(testsupport::kWaitBound)) << testsupport::InVain("the audio encoding to end");
  EXPECT_EQ(a.GetResult(nullptr), base::kWorkSuccess);
  EXPECT_EQ(b.GetResult(nullptr), base::kWorkSuccess);
  // 224 kbit/s: 28000 bytes a second, within a frame.
  EXPECT_NEAR(static_cast<double>(std::filesystem::file_size(Path("a.mp2"))), 84000.0, 1500.0);
  EXPECT_NEAR(static_cast<double>(std::filesystem::file_size(Path("b.mp2"))), 56000.0, 1500.0);
}

}  // namespace
}  // namespace vexa::vcd::testing
