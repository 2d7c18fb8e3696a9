// The engine as its client makes it (class creation, the disc library by
// name) over the simulated recorder: drives, erase, audio-CD tracks read
// into WAV files, and the drive's failures.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/file.h>
#include <unistd.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <thread>

#include "disclib/recorder/CDR4COMS.h"
#include "disclib/vcd/DiscpakLibrary.h"
#include "engine/tests/EngineFixture.h"
#include "platform/base/Module.h"

namespace vexa::engine::test {
namespace {

// Closes the transport, so the next drive opens the recorder named now.
void CloseTransport() {
  base::Module m = base::Module::Load("discpakm2");
  auto get = m.Function<DLL_LL_GetLibObjectFn>("DLL_LL_GetLibObject");
  auto release = m.Function<DLL_LL_ReleaseObjectFn>("DLL_LL_ReleaseObject");
  if (!get || !release) return;
  auto* coms = static_cast<CDR4COMS*>(get("CDR4COMS"));
  if (coms) {
    coms->COMS_Close();
    release(coms);
  }
  m.Release();
}

class SimEngineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = base::MakeTempDir(base::TempDirectory(), "vexa-simengine-");
    ASSERT_FALSE(dir_.empty());
    ::setenv("VEXA_REGISTRY_DIR", (dir_ + "/registry").c_str(), 1);
    ::setenv("XDG_DATA_HOME", (dir_ + "/data").c_str(), 1);
    drive_ = dir_ + "/drive";
    ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
  }
  void TearDown() override {
    drive.Reset();
    engine.Reset();
    CloseTransport();
    ::unsetenv("VEXA_SCSI_TRANSPORT");
    com::TakeError();
    CoUninitialize();
    base::RemoveAll(dir_);
  }

  // A simulated writer with this drive.conf, and the engine over it.
  void Start(const std::string& conf) {
    base::MakeDirs(drive_);
    base::WriteFileAtomic(drive_ + "/drive.conf", conf);
    CloseTransport();
    ::setenv("VEXA_SCSI_TRANSPORT", ("sim:" + drive_).c_str(), 1);
    ASSERT_EQ(CoCreateInstance(CLSID_VEXAVCDEngine, nullptr, CLSCTX_INPROC_SERVER, com::IidOf<IVEXAEngine>(),
                               engine.PutVoid()),
              S_OK)
        << com::TakeError().Utf8Description();
    com::ComPtr<IVEXADriveMgr> manager;
    ASSERT_EQ(engine->get_DriveMgr(manager.Put()), S_OK);
    ASSERT_EQ(manager->GetNextDrive(nullptr, VEXAMediaVCD, drive.Put()), S_OK);
    ASSERT_TRUE(drive);
  }
  template <typename I>
  com::ComPtr<I> As() {
    com::ComPtr<I> out;
    EXPECT_EQ(engine->QueryInterface(com::IidOf<I>(), out.PutVoid()), S_OK);
    return out;
  }
  std::string LastMessage() {
    com::Bstr s;
    engine->GetLastResultMsg(s.Out());
    return s.Utf8();
  }

  std::string dir_, drive_;
  com::ComPtr<IVEXAEngine> engine;
  com::ComPtr<IVEXADrive> drive;
};

TEST_F(SimEngineTest, TheSimulatedWriterWithItsCapabilities) {
  Start("profile = cdrw-writer\nmedia = cdr\n");
  com::Bstr path, inquiry;
  ASSERT_EQ(drive->GetDrivePath(path.Out()), S_OK);
  EXPECT_EQ(path.Utf8(), drive_);
  ASSERT_EQ(drive->GetInquiry(inquiry.Out()), S_OK);
  EXPECT_NE(inquiry.Utf8().find("VEXASIM"), std::string::npos) << inquiry.Utf8();
  LONG caps = 0;
  ASSERT_EQ(drive->GetDriveCaps(&caps), S_OK);
  EXPECT_EQ(caps & (VEXACapCDR | VEXACapCDRW | VEXACapWriteTAO | VEXACapCDDA),
            VEXACapCDR | VEXACapCDRW | VEXACapWriteTAO | VEXACapCDDA);
  LONG max = 0;
  ASSERT_EQ(drive->GetMaxBurnSpeed(&max), S_OK);
  EXPECT_EQ(max, 52);
  com::Variant speeds;
  ASSERT_EQ(drive->GetDriveSpeeds(&speeds), S_OK);
  ASSERT_EQ(speeds.vt, VT_ARRAY | VT_I4);
  EXPECT_GE(speeds.parray->rgsabound[0].cElements, 3u);
  VEXADiscType type{};
  ASSERT_EQ(drive->GetDiscType(&type), S_OK);
  EXPECT_EQ(type, VEXADiscTypeR);
  VARIANT_BOOL blank = 0;
  ASSERT_EQ(drive->IsDiscBlank(&blank), S_OK);
  EXPECT_EQ(blank, VARIANT_TRUE);
  VEXADriveStatus status{};
  ASSERT_EQ(drive->GetDriveStatus(&status), S_OK);
  EXPECT_EQ(status, VEXADriveStatusOK);
  // The blocking answers match the engine's test.
  EXPECT_EQ(drive->SetBlocking(VEXADriveBlockingAll), S_OK) << com::TakeError().Utf8Description();
  EXPECT_EQ(drive->SetBlocking(VEXADriveBlockingNone), S_OK) << com::TakeError().Utf8Description();
}

// The engine cannot reach a writer: it says why, instead of finding none.
TEST_F(SimEngineTest, AWriterThatCannotBeReachedIsFailedWithTheReason) {
  struct Case {
    const char* setting;  // %s: the drive folder
    const char* expected;
  } cases[] = {
      {"sim:%s/missing", "simulator folder "},
      {"floppy:%s", "unknown SCSI transport 'floppy:"},
      // Held by another user of the recorder (here: this process).
      {"sim:%s", " is busy: process "},
  };
  base::MakeDirs(drive_);
  // Another user of the recorder: the lock its drive object takes.
  const int held = ::open((drive_ + "/drive.lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  ASSERT_GE(held, 0);
  ASSERT_EQ(::flock(held, LOCK_EX | LOCK_NB), 0);
  const std::string pid = std::to_string(::getpid());
  ASSERT_EQ(::write(held, pid.data(), pid.size()), static_cast<ssize_t>(pid.size()));
  struct Unlock {
    int fd;
    ~Unlock() { ::close(fd); }
  } unlock{held};
  for (const Case& c : cases) {
    char setting[512];
    std::snprintf(setting, sizeof setting, c.setting, drive_.c_str());
    SCOPED_TRACE(setting);
    CloseTransport();
    ::setenv("VEXA_SCSI_TRANSPORT", setting, 1);
    ASSERT_EQ(CoCreateInstance(CLSID_VEXAVCDEngine, nullptr, CLSCTX_INPROC_SERVER, com::IidOf<IVEXAEngine>(),
                               engine.PutVoid()),
              S_OK);
    com::ComPtr<IVEXADriveMgr> manager;
    ASSERT_EQ(engine->get_DriveMgr(manager.Put()), S_OK);
    EXPECT_EQ(manager->GetNextDrive(nullptr, VEXAMediaVCD, drive.Put()), E_FAIL);
    EXPECT_FALSE(drive);
    const std::string described = com::TakeError().Utf8Description();
    EXPECT_EQ(described.rfind("IVEXADriveMgr::GetNextDrive - No CD writer can be used: ", 0), 0u) << described;
    EXPECT_NE(described.find(c.expected), std::string::npos) << described;
    if (std::string(c.setting).rfind("sim:%s", 0) == 0 && std::strstr(c.setting, "missing") == nullptr) {
      EXPECT_NE(described.find("the recorder " + drive_ + " is busy: process " + pid + " is using it"),
                std::string::npos)
          << described;
    } else {
      EXPECT_NE(described.find(std::string("VEXA_SCSI_TRANSPORT=\"") + setting + "\""), std::string::npos)
          << described;
    }
    engine.Reset();
  }
}

TEST_F(SimEngineTest, EraseBlanksARewritableAndRefusesACDR) {
  Start("profile = cdrw-writer\nmedia = cdrw\n");
  auto burner = As<IVEXABurner>();
  ASSERT_EQ(burner->StartErase(VARIANT_FALSE), S_OK) << com::TakeError().Utf8Description();
  // The drive blanks on its own; every call made meanwhile answers.
  VARIANT_BOOL done = VARIANT_FALSE;
  int polls = 0;
  for (; polls < 1000 && done != VARIANT_TRUE; ++polls) {
    ASSERT_EQ(burner->IsEraseDone(&done), S_OK);
    VEXADriveStatus status{};
    ASSERT_EQ(drive->GetDriveStatus(&status), S_OK);
  }
  EXPECT_EQ(done, VARIANT_TRUE);
  VARIANT_BOOL blank = 0;
  ASSERT_EQ(drive->IsDiscBlank(&blank), S_OK);
  EXPECT_EQ(blank, VARIANT_TRUE);
  VEXADiscType type{};
  ASSERT_EQ(drive->GetDiscType(&type), S_OK);
  EXPECT_EQ(type, VEXADiscTypeRW);
}

TEST_F(SimEngineTest, EraseOfACDRReportsTheDrivesRefusal) {
  Start("profile = cdrw-writer\nmedia = cdr\n");
  auto burner = As<IVEXABurner>();
  EXPECT_EQ(burner->StartErase(VARIANT_FALSE), E_FAIL);
  VEXAEngineResult code{};
  engine->GetLastResultCode(&code);
  EXPECT_EQ(code, VEXAEngineResultBrellWriteFail);
  EXPECT_EQ(LastMessage().rfind("IVEXABurner::StartErase - ", 0), 0u) << LastMessage();
}

TEST_F(SimEngineTest, NoMediumIsReported) {
  Start("profile = cdrw-writer\nmedia = none\n");
  VEXADriveStatus status{};
  ASSERT_EQ(drive->GetDriveStatus(&status), S_OK);
  EXPECT_EQ(status, VEXADriveStatusNotReady);
  VARIANT_BOOL blank = 0;
  EXPECT_EQ(drive->IsDiscBlank(&blank), E_FAIL);
  EXPECT_EQ(com::TakeError().Utf8Description(), "IVEXADrive::get_DiscType - get_DiscType failed.");
}

// An audio CD of three tracks (10 s, 180 s, 10 s) made from generated PCM.
class SimAudioCdTest : public SimEngineTest {
 protected:
  void SetUp() override {
    SimEngineTest::SetUp();
    starts_ = {0, 750, 14250, 15000};
    pcm_.resize(static_cast<std::size_t>(starts_.back()) * 2352);
    for (std::size_t s = 0; s < pcm_.size() / 4; ++s) {
      const std::size_t track = s / 588 < 750 ? 0 : s / 588 < 14250 ? 1 : 2;
      const auto v = static_cast<std::int16_t>(9000 * std::sin(2 * M_PI * 330.0 * (track + 1) * s / 44100.0));
      const auto w = static_cast<std::int16_t>((s * 7919) & 0x3FFF);  // the right channel differs
      std::memcpy(&pcm_[s * 4], &v, 2);
      std::memcpy(&pcm_[s * 4 + 2], &w, 2);
    }
    const std::string bin = dir_ + "/audio.bin";
    base::WriteFileAtomic(bin, std::string(reinterpret_cast<const char*>(pcm_.data()), pcm_.size()));
    std::string cue = "FILE \"audio.bin\" BINARY\n";
    for (int t = 0; t < 3; ++t) {
      const int start = starts_[static_cast<std::size_t>(t)];
      char line[128];
      std::snprintf(line, sizeof line, "  TRACK %02d AUDIO\n    INDEX 01 %02d:%02d:%02d\n", t + 1, start / 4500,
                    start / 75 % 60, start % 75);
      cue += line;
    }
    base::WriteFileAtomic(dir_ + "/audio.cue", cue);
  }
  void StartWith(const std::string& faults) {
    Start("profile = cdrw-writer\nmedia = rom:" + dir_ + "/audio.cue\n" + faults);
    ASSERT_EQ(engine->get_StoryboardStillsSlideshow1(storyboard.Put()), S_OK);
  }
  void TearDown() override {
    storyboard.Reset();
    SimEngineTest::TearDown();
  }
  std::string Track(int n) {
    char name[32];
    std::snprintf(name, sizeof name, "/Track%02d.cda", n);
    return drive_ + name;
  }
  std::vector<int> starts_;
  std::vector<std::uint8_t> pcm_;
  com::ComPtr<IVEXAStoryboardStillsSlideshow1> storyboard;
};

TEST_F(SimAudioCdTest, ATrackReadIntoAWavEqualsItsSource) {
  StartWith("");
  LONG size = 0, rip = 0;
  double play = 0;
  ASSERT_EQ(storyboard->GetTrackInfo(B(Track(2)).Get(), &size, &play, &rip), S_OK)
      << com::TakeError().Utf8Description();
  EXPECT_EQ(size, 31752036);
  EXPECT_DOUBLE_EQ(play, 180.0);
  const std::string wav = dir_ + "/track02.wav";
  ASSERT_EQ(storyboard->StartRead(B(Track(2)).Get(), B(wav).Get()), S_OK) << com::TakeError().Utf8Description();
  std::string data;
  ASSERT_TRUE(base::ReadFile(wav, &data));
  ASSERT_EQ(data.size(), 31752036u + 8u);
  EXPECT_EQ(std::memcmp(data.data() + 44, pcm_.data() + 750 * 2352, 13500u * 2352u), 0);
  if (HaveTool("soxi")) {
    std::string out;
    ASSERT_EQ(Shell("soxi -D '" + wav + "'", &out), 0) << out;
    EXPECT_DOUBLE_EQ(std::stod(out), 180.0);
    ASSERT_EQ(Shell("soxi -r '" + wav + "'", &out), 0);
    EXPECT_EQ(std::stoi(out), 44100);
  } else if (CheckersRequired()) {
    FAIL() << "soxi missing";
  }
  // The first track too, read by a second call.
  ASSERT_EQ(storyboard->StartRead(B(Track(1)).Get(), B(dir_ + "/track01.wav").Get()), S_OK);
}

TEST_F(SimAudioCdTest, AReadErrorLeavesNoFile) {
  StartWith("fault = check op=BE lba=9000 sense=03/11/00 count=-1\n");
  const std::string wav = dir_ + "/broken.wav";
  EXPECT_EQ(storyboard->StartRead(B(Track(2)).Get(), B(wav).Get()), E_FAIL);
  EXPECT_EQ(LastMessage(), "IVEXAStoryboardStillsSlideshow1::StartRead - unable to read CDA and write to a WAV.");
  VEXAEngineResult code{};
  engine->GetLastResultCode(&code);
  EXPECT_EQ(code, VEXAEngineResultSubmoduleRipAudioFail);
  EXPECT_FALSE(base::FileExists(wav));
  // Nor a temporary file beside it.
  for (const auto& e : std::filesystem::directory_iterator(dir_)) {
    EXPECT_EQ(e.path().filename().string().find("broken"), std::string::npos) << e.path();
  }
}

}  // namespace
}  // namespace vexa::engine::test
