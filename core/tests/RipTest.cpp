// Audio-CD tracks: the rip on a worker thread with an engine of its own,
// while the caller waits with its user interface alive; and the two
// interface methods for tracks.
#include "core/tests/CoreFixture.h"
#include "platform/base/Path.h"

namespace vexa::core::test {
namespace {

using namespace vexa::com;

class RipTest : public CoreFixture {};

TEST_F(RipTest, ACDTrackIsRippedToAWavFileThatBecomesTheMusic) {
  scriptUi_ = [](ScriptedUi&) {};
  ASSERT_EQ(MakeAndInit(VEXACoreShowStatusAll), S_OK);
  Bstr track(u"/dev/sr0/Track03.cda");
  ASSERT_EQ(core_->AddAudioTrack(track.Get(), track.Get(), 0.0), S_OK) << ErrorText();
  // The worker used an engine of its own; the object's engine was never
  // touched from another thread.
  EXPECT_EQ(engine_->made, 2);
  const auto reads = EngineCalls("StartRead");
  ASSERT_EQ(reads.size(), 1u);
  const std::string wav = reads[0].substr(reads[0].find('|') + 1);
  EXPECT_EQ(base::DirName(wav), Object(core_.Get())->WorkDirectory());
  EXPECT_EQ(base::Extension(wav), ".wav");
  EXPECT_EQ(EngineCalls("AddAudioTrack"), std::vector<std::string>{"AddAudioTrack " + wav});
  EXPECT_TRUE(log_->Has("INFO", "AUDIO Real Track = " + wav + "."));
  EXPECT_TRUE(log_->Has("INFO", "AUDIO Original Track = /dev/sr0/Track03.cda."));
  EXPECT_NE(std::find(ui_->Dialog()->texts.begin(), ui_->Dialog()->texts.end(),
                      "Generating audio track from CD - This may take a few minutes."),
            ui_->Dialog()->texts.end());
}

TEST_F(RipTest, AFailedRipIsLoggedByTheWorkerAndReported) {
  ASSERT_EQ(MakeAndInit(VEXACoreShowStatusNothing), S_OK);
  engine_->failing = {"StartRead"};
  Bstr track(u"/dev/sr0/Track03.cda");
  EXPECT_EQ(core_->AddAudioTrack(track.Get(), track.Get(), 0.0), E_FAIL);
  // The audio problem is logged at once, with the texts gathered before it.
  EXPECT_EQ(ErrorText(), "CVEXACore1::AddAudioTrack - .cda audio file ripping failed for /dev/sr0/Track03.cda.\r\n");
  EXPECT_TRUE(log_->Has("ERROR", "CVEXACore1::RipAudio - Cannot rip audio file from CD."));
  EXPECT_TRUE(log_->Has("ERROR", "CVEXACore1::RipAudioTrackFromCD - CDDAToWav call failed.\r\n"));

  engine_->failing.clear();
  engine_->ripWritesFile = false;
  EXPECT_EQ(core_->AddAudioTrack(track.Get(), track.Get(), 0.0), E_FAIL);
  EXPECT_EQ(ErrorText(), "CVEXACore1::AddAudioTrack - .cda audio file ripping failed for /dev/sr0/Track03.cda.\r\n");
  EXPECT_TRUE(log_->Has("ERROR", "CVEXACore1::RipAudioTrackFromCD - Ripped .wav file does not exist.\r\n"));

  // A track the engine does not know is not there.
  engine_->failing = {"GetTrackInfo"};
  EXPECT_EQ(core_->AddAudioTrack(track.Get(), track.Get(), 0.0), E_FAIL);
  EXPECT_EQ(ErrorText(), "CVEXACore::AddAudioTrack - Audio File does not exist.\r\n");
}

TEST_F(RipTest, TrackMethodsCheckTheirArgumentsAndPassTheEnginesFigures) {
  ASSERT_EQ(MakeAndInit(VEXACoreShowStatusNothing), S_OK);
  Bstr none(u""), track(u"/dev/sr0/Track01.cda"), wav = Bstr::FromUtf8(Path("out.wav"));
  LONG size = 0, rip = 0;
  double play = 0;
  EXPECT_EQ(core_->GetTrackInfo(none.Get(), &size, &play, &rip), E_FAIL);
  EXPECT_EQ(Code(), VEXACoreInvalidFile);
  EXPECT_EQ(ErrorText(), "CVEXACore1::GetTrackInfo - Empty CDDA track argument.\r\n");
  ASSERT_EQ(core_->GetTrackInfo(track.Get(), &size, &play, &rip), S_OK);
  EXPECT_EQ(size, 1234567);
  EXPECT_EQ(play, 7.5);
  EXPECT_EQ(rip, 3);
  engine_->failing = {"GetTrackInfo"};
  EXPECT_EQ(core_->GetTrackInfo(track.Get(), &size, &play, &rip), E_FAIL);
  EXPECT_EQ(Code(), VEXACoreInvalidFile);
  TakeError();

  EXPECT_EQ(core_->CDDAToWav(none.Get(), wav.Get()), E_FAIL);
  EXPECT_EQ(ErrorText(), "CVEXACore1::CDDAToWav - Empty CDDA track argument.\r\n");
  EXPECT_EQ(core_->CDDAToWav(track.Get(), none.Get()), E_FAIL);
  EXPECT_EQ(ErrorText(), "CVEXACore1::CDDAToWav - Empty Out Wav file argument.\r\n");
  EXPECT_EQ(Code(), VEXACoreInvalidFile);
  ASSERT_EQ(core_->CDDAToWav(track.Get(), wav.Get()), S_OK);
  EXPECT_TRUE(base::FileExists(Path("out.wav")));
  engine_->failing = {"StartRead"};
  EXPECT_EQ(core_->CDDAToWav(track.Get(), wav.Get()), E_FAIL);
  EXPECT_EQ(Code(), VEXACoreFailure);
  EXPECT_NE(ErrorText().find("CVEXACore1::CDDAToWav - ODBase CDDAToWav call failed.\r\n"), std::string::npos);
}

}  // namespace
}  // namespace vexa::core::test
