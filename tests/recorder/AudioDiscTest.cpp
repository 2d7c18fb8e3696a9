// Audio discs from WAV files written session-at-once and raw by cdr-cli on
// the simulated recorder: cd-info reads the same tracks and CD-TEXT from
// both, the indexes agree between the .cue and the Q subcode of the .sub,
// and the audio is the WAV input sample for sample.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "disclib/recorder/tests/RecorderTestUtil.h"
#include "tests/recorder/Ecma130.h"

namespace {

using namespace rectest;

std::string Wav(const std::string& path, int frames, double frequency) {
  std::string pcm;
  for (int i = 0; i < frames; ++i) {
    const auto l = static_cast<short>(9000 * std::sin(2 * M_PI * frequency * i / 44100.0));
    const auto r = static_cast<short>(7000 * std::sin(2 * M_PI * frequency * 1.5 * i / 44100.0));
    pcm.append(reinterpret_cast<const char*>(&l), 2);
    pcm.append(reinterpret_cast<const char*>(&r), 2);
  }
  auto le32 = [](unsigned v) { return std::string(reinterpret_cast<const char*>(&v), 4); };
  auto le16 = [](unsigned short v) { return std::string(reinterpret_cast<const char*>(&v), 2); };
  const std::string file = "RIFF" + le32(36 + static_cast<unsigned>(pcm.size())) + "WAVEfmt " + le32(16) + le16(1) +
                           le16(2) + le32(44100) + le32(176400) + le16(4) + le16(16) + "data" +
                           le32(static_cast<unsigned>(pcm.size())) + pcm;
  vexa::base::WriteFileAtomic(path, file);
  return pcm;
}

class AudioDisc : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = vexa::base::MakeTempDir(vexa::base::TempDirectory(), "audiodisc");
    setenv("VEXA_REGISTRY_DIR", (dir_ + "/registry").c_str(), 1);
  }
  void TearDown() override {
    unsetenv("VEXA_REGISTRY_DIR");
    vexa::base::RemoveAll(dir_);
  }
  std::string dir_;
};

TEST_F(AudioDisc, SessionAtOnceAndRawGiveTheSameDisc) {
  RECORDER_NEED_TOOL("cd-info");
  const std::string bin = std::string(VEXA_BUILD_DIR) + "/bin/";
  const std::string pcm1 = Wav(dir_ + "/one.wav", 44100 * 5 - 300, 440);  // not a whole number of sectors
  const std::string pcm2 = Wav(dir_ + "/two.wav", 44100 * 6, 660);
  std::vector<std::string> listings;
  for (const char* mode : {"--sao", "--raw"}) {
    SCOPED_TRACE(mode);
    const std::string sim = dir_ + "/drive" + mode;
    int status = 0;
    Shell(bin + "cdrsim create " + sim + " 2>&1", &status);
    ASSERT_EQ(status, 0);
    const std::string out =
        Shell(bin + "cdr-cli --sim " + sim + " audio " + mode + " --title 'Test Album' --performer 'The Sims' " + dir_ +
                  "/one.wav='Opening/First Voice' " + dir_ + "/two.wav='Closing/Second Voice' 2>&1",
              &status);
    ASSERT_EQ(status, 0) << out;
    const std::string cue = sim + "/disc-0001.cue";
    std::string cueText;
    ASSERT_TRUE(vexa::base::ReadFile(cue, &cueText));
    EXPECT_NE(cueText.find("  TRACK 02 AUDIO\n    TITLE \"Closing\"\n    PERFORMER \"Second Voice\"\n"
                           "    INDEX 00 00:05:00\n    INDEX 01 00:07:00\n"),
              std::string::npos)
        << cueText;
    std::string info = Shell("cd-info --no-device-info --no-header --cue-file " + cue + " 2>&1");
    for (const char* want : {"  1: 00:02:00  000000 audio", "  2: 00:09:00  000525 audio",
                             "170: 00:15:00  000975 leadout", "TITLE: Test Album", "PERFORMER: The Sims",
                             "TITLE: Opening", "PERFORMER: First Voice", "TITLE: Closing", "PERFORMER: Second Voice"}) {
      EXPECT_NE(info.find(want), std::string::npos) << want << "\n" << info;
    }
    listings.push_back(info.substr(info.find("CD-ROM Track List")));
    // The Q subcode of the .sub: index 0 from 375, index 1 from 525, CRCs good.
    std::string sub, audio;
    ASSERT_TRUE(vexa::base::ReadFile(sim + "/disc-0001.sub", &sub));
    ASSERT_TRUE(vexa::base::ReadFile(sim + "/disc-0001.bin", &audio));
    ASSERT_GE(sub.size(), 975u * 96);
    for (int a = 0; a < 975; ++a) {
      const auto* q = reinterpret_cast<const std::uint8_t*>(sub.data()) + a * 96 + 12;
      ASSERT_TRUE(ecma130::QCrcOk(q, 10)) << a;
      ASSERT_EQ(q[1], a < 375 ? 0x01 : 0x02) << a;
      ASSERT_EQ(q[2], (a >= 375 && a < 525) ? 0x00 : 0x01) << a;
      const int abs = a + 150;
      ASSERT_EQ(q[9], ecma130::Bcd(abs % 75)) << a;
    }
    EXPECT_EQ(audio.compare(0, pcm1.size(), pcm1), 0);
    EXPECT_GE(audio.find_first_not_of('\0', pcm1.size()), 525u * 2352);  // silence to the next track
    EXPECT_EQ(audio.compare(525 * 2352, pcm2.size(), pcm2), 0);
  }
  ASSERT_EQ(listings.size(), 2u);
  EXPECT_EQ(listings[0], listings[1]);
}

}  // namespace
