// The image builder's burn worker on the test's own drive: the image track,
// file tracks, padding, the session close, the drive's failures, progress
// and estimates against a clock the test moves, cancel and its race with
// completion; and the progress of a real premaster.
#include <algorithm>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <thread>
#include <vector>

#include "disclib/recorder/CDR4COMS.h"
#include "engine/DiscLibrary.h"
#include "engine/ThumbnailBrowser2.h"
#include "engine/VCDWizard.h"
#include "engine/tests/EngineFixture.h"

namespace vexa::engine::test {
namespace {

// A writer that counts what it is sent and fails where the test says; its
// writes can be held until the test lets them go.
class ScriptedDrive : public FakeDriveAccess {
 public:
  std::atomic<int> units{0};
  std::atomic<int> tracks{0};
  std::atomic<int> closes{0};
  std::atomic<int> finishes{0};
  std::atomic<int> aborts{0};
  int failWriteAtUnit = -1;  // a WriteTAO covering this unit answers 1
  bool finishFails = false;  // FinishTAO latches "Flush failed"
  std::string latched;
  std::vector<int> trackUnits;
  // Track n (1 the image track) fails at its start (READ TRACK INFORMATION
  // or StartTAO) or at its first write, latching failText.
  enum class Step { kTrackInfo, kStart, kWrite };
  int failTrack = 0;
  Step failStep = Step::kWrite;
  std::string failText;
  bool gone = false;  // the writer answers nothing, not even INQUIRY

  std::mutex m;
  std::condition_variable cv;
  bool hold = false;
  bool holding = false;

  std::int32_t StartTAO(DriveHandle*, std::int32_t, std::int32_t, std::int32_t, const std::uint8_t*,
                        const std::uint8_t*) override {
    latched.clear();
    if (failTrack == tracks + 1 && failStep == Step::kStart) {
      latched = failText;
      return 1;
    }
    ++tracks;
    trackUnits.push_back(0);
    return 0;
  }
  std::int32_t GetInquiry(DriveHandle* d, char* text) override {
    return gone ? 0 : FakeDriveAccess::GetInquiry(d, text);
  }
  std::int32_t WriteTAO(DriveHandle*, std::int32_t size, std::int32_t count, const std::uint8_t*) override {
    {
      std::unique_lock lock(m);
      holding = true;
      cv.notify_all();
      cv.wait(lock, [&] { return !hold; });
      holding = false;
    }
    if (size != 2332) return 1;
    if (failTrack == tracks && failStep == Step::kWrite) {
      latched = failText;
      return 1;
    }
    if (failWriteAtUnit >= units && failWriteAtUnit < units + count) {
      latched = "Write failed: WRITE ERROR";
      return 1;
    }
    units += count;
    trackUnits.back() += count;
    return 0;
  }
  std::int32_t FinishTAO(DriveHandle*) override {
    ++finishes;
    if (finishFails && latched.empty()) latched = "Flush failed";
    return 0;
  }
  std::int32_t AbortTAO(DriveHandle*) override {
    ++aborts;
    return 0;
  }
  std::int32_t CloseSession(DriveHandle*, std::int32_t, std::int32_t) override {
    ++closes;
    return 1;
  }
  std::string GetLastError(DriveHandle*) override { return latched; }
  std::int32_t ReadTrackInfo(DriveHandle*, std::int32_t, std::uint8_t* info) override {
    std::memset(info, 0, 36);
    if (failTrack == tracks + 1 && failStep == Step::kTrackInfo) return 1;
    const std::int32_t next = nextWritable + units;
    std::memcpy(info + 12, &next, 4);
    return 0;
  }
  std::int32_t nextWritable = 0;

  void Hold() {
    std::lock_guard lock(m);
    hold = true;
  }
  // False, with the writes let go and a failure, when no write has reached
  // the drive within the bound.
  bool WaitHeld() {
    std::unique_lock lock(m);
    if (cv.wait_for(lock, testsupport::kWaitBound, [&] { return holding; })) return true;
    hold = false;
    cv.notify_all();
    ADD_FAILURE() << InVain("the burn to reach its first write");
    return false;
  }
  void Release() {
    {
      std::lock_guard lock(m);
      hold = false;
    }
    cv.notify_all();
  }
};

class BuilderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = base::MakeTempDir(base::TempDirectory(), "vexa-builder-");
    ASSERT_FALSE(dir_.empty());
    ::setenv("VEXA_REGISTRY_DIR", (dir_ + "/registry").c_str(), 1);
    ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
    std::string error;
    bindDiscLibrary(&lib_, &error);
    ASSERT_NE(lib_.discpak, nullptr) << error;
    drives_.specs[0] = BlankWriter("/dev/sr0", {4, 8, 16});
    drive_ = drives_.CreateDrive(0);
    wizard_ = std::make_unique<VCDWizard>(lib_.discpak, &drives_, clock_);
    wizard_->SetTempDirectory(dir_.c_str());
    base::WriteFileAtomic(dir_ + "/readme.txt", std::string(100000, 'x'));
    ASSERT_EQ(wizard_->AddFile((dir_ + "/readme.txt").c_str(), "/README.TXT", nullptr, nullptr), 1);
  }
  void TearDown() override {
    drives_.Release();  // a test that ended early must not leave the worker held
    wizard_.reset();
    drives_.DeleteDrive(drive_);
    CoUninitialize();
    base::RemoveAll(dir_);
  }
  std::int32_t Burn(bool test = false) {
    wizard_->StartBurnThread(drive_, test, true, 8);
    if (!Ended(*wizard_, "the burn to end")) return base::kWorkRunning;
    std::string name;
    return wizard_->GetWorkResult(&name);
  }

  std::string dir_;
  DiscLibrary lib_;
  TestClock clock_;
  ScriptedDrive drives_;
  DriveHandle* drive_ = nullptr;
  std::unique_ptr<VCDWizard> wizard_;
};

TEST_F(BuilderTest, ABurnWritesTheImageThePaddingAndClosesTheSession) {
  EXPECT_EQ(Burn(), base::kWorkSuccess);
  ASSERT_EQ(drives_.tracks.load(), 2);  // the image track, then the padding
  EXPECT_GT(drives_.trackUnits[0], 0);
  EXPECT_EQ(drives_.units.load(), VCDWizard::kPaddingTarget);
  EXPECT_EQ(drives_.closes.load(), 1);
  // Test mode: no session close.
  drives_.units = 0;
  drives_.trackUnits.clear();
  EXPECT_EQ(Burn(true), base::kWorkSuccess);
  EXPECT_EQ(drives_.closes.load(), 1);
}

TEST_F(BuilderTest, NoPaddingPastTheTarget) {
  drives_.nextWritable = VCDWizard::kPaddingTarget;
  EXPECT_EQ(Burn(), base::kWorkSuccess);
  EXPECT_EQ(drives_.tracks.load(), 1);
}

TEST_F(BuilderTest, TheDrivesFailuresFailTheBurn) {
  // A write refused late in the image track.
  drives_.failWriteAtUnit = 300;
  EXPECT_EQ(Burn(), base::kWorkBurnFailed);
  std::string name;
  wizard_->GetWorkResult(&name);
  EXPECT_EQ(name, "Write failed: WRITE ERROR");
  EXPECT_EQ(drives_.closes.load(), 0);
  // A flush that failed while FinishTAO answered success.
  drives_.failWriteAtUnit = -1;
  drives_.units = 0;
  drives_.finishFails = true;
  EXPECT_EQ(Burn(), base::kWorkBurnFailed);
  wizard_->GetWorkResult(&name);
  EXPECT_EQ(name, "Flush failed");
}

// A failed burn says what the drive said, also when a write of a file
// track was refused; and a writer that no longer answers at all is said to
// be gone, whichever step met its absence.
TEST_F(BuilderTest, AFailedBurnSaysWhatTheDriveSaidOrThatTheWriterIsGone) {
  const std::string file = dir_ + "/track.mpg";
  base::WriteFileAtomic(file, std::string(2324 * 200, '\0'));
  ASSERT_EQ(wizard_->AddTrackFile(file.c_str(), 1), 1);
  const std::string gone = kComsDriveGoneText;
  using Step = ScriptedDrive::Step;
  struct Case {
    const char* name;
    Step step;
    bool writerGone;
    std::string latched;
    std::string said;
  } cases[] = {
      {"a write of the file track refused", Step::kWrite, false, "Write failed: WRITE ERROR",
       "Write failed: WRITE ERROR"},
      {"unplugged during the file track", Step::kWrite, true, "Write failed: " + gone, "Write failed: " + gone},
      {"unplugged before the file track, nothing latched", Step::kTrackInfo, true, "", gone},
      {"unplugged as the file track starts", Step::kStart, true, "Invalid track number.",
       "Invalid track number: " + gone},
      {"a file track refused at its start by a writer that is there", Step::kStart, false, "Invalid track number.",
       "Invalid track number."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    drives_.units = 0;
    drives_.tracks = 0;
    drives_.trackUnits.clear();
    drives_.failTrack = 2;
    drives_.failStep = c.step;
    drives_.failText = c.latched;
    drives_.gone = c.writerGone;
    EXPECT_EQ(Burn(), base::kWorkBurnFailed);
    std::string name;
    wizard_->GetWorkResult(&name);
    EXPECT_EQ(name, c.said);
    EXPECT_EQ(drives_.closes.load(), 0);
  }
}

TEST_F(BuilderTest, ProgressAndEstimates) {
  std::int32_t percent, elapsed, remaining, done, speed;
  wizard_->GetProgress(&percent, &elapsed, &remaining, &done, &speed);
  EXPECT_EQ(percent, 0);
  EXPECT_EQ(speed, 8);
  EXPECT_EQ(wizard_->EstimateSectors(), VCDWizard::kPaddingTarget);

  drives_.Hold();
  wizard_->StartBurnThread(drive_, false, true, 8);
  ASSERT_TRUE(drives_.WaitHeld());
  // The speed the drive took is shown from the start of the burn.
  wizard_->GetProgress(&percent, &elapsed, &remaining, &done, &speed);
  EXPECT_EQ(speed, 8);
  EXPECT_EQ(done, 0);
  // 50000 sectors at 8x: 83 s, 10 s more, and 320 / 8 s for the close.
  const int total = 50000 / 8 / 75 + 10 + 320 / 8;
  EXPECT_EQ(remaining, total);
  EXPECT_EQ(percent, 0);
  clock_.Advance(total * 1000 / 2);
  wizard_->GetProgress(&percent, &elapsed, &remaining, &done, &speed);
  EXPECT_EQ(percent, 50);
  EXPECT_EQ(elapsed, total / 2);
  clock_.Advance(total * 1000);
  wizard_->GetProgress(&percent, &elapsed, &remaining, &done, &speed);
  EXPECT_EQ(percent, 100);
  EXPECT_EQ(remaining, 0);
  drives_.Release();
  ASSERT_TRUE(Ended(*wizard_, "the run to end"));
  EXPECT_EQ(wizard_->GetWorkResult(nullptr), base::kWorkSuccess);
}

TEST_F(BuilderTest, CancelDuringTheImageTrack) {
  drives_.Hold();
  wizard_->StartBurnThread(drive_, false, true, 8);
  ASSERT_TRUE(drives_.WaitHeld());
  EXPECT_TRUE(wizard_->CancelWork());
  // The drive's writer is told while the worker still waits inside a write.
  EXPECT_GE(drives_.aborts.load(), 1);
  drives_.Release();
  ASSERT_TRUE(Ended(*wizard_, "the run to end"));
  EXPECT_EQ(wizard_->GetWorkResult(nullptr), base::kWorkCancelled);
  EXPECT_EQ(drives_.closes.load(), 0);
  // The track was cut short and then ended; no other track was begun.
  EXPECT_EQ(drives_.aborts.load(), 2);
  EXPECT_EQ(drives_.finishes.load(), 1);
  EXPECT_EQ(drives_.tracks.load(), 1);
  // After the end a cancel changes nothing.
  EXPECT_FALSE(wizard_->CancelWork());
  EXPECT_EQ(wizard_->GetWorkResult(nullptr), base::kWorkCancelled);
}

// A cancel and the end of the run, raced: the run reads as cancelled
// whenever the cancel came first, and a cancel that came late leaves a
// finished run finished.
TEST_F(BuilderTest, CancelRacingCompletionNeverReadsAsSuccess) {
  drives_.nextWritable = VCDWizard::kPaddingTarget;
  for (int i = 0; i < 60; ++i) {
    wizard_->StartBurnThread(drive_, true, true, 8);
    bool took = false;
    std::thread canceller([&] { took = wizard_->CancelWork(); });
    canceller.join();
    ASSERT_TRUE(Ended(*wizard_, "the run to end"));
    const std::int32_t state = wizard_->GetWorkResult(nullptr);
    if (took) {
      EXPECT_EQ(state, base::kWorkCancelled) << i;
    } else {
      EXPECT_EQ(state, base::kWorkSuccess) << i;
    }
  }
}

TEST_F(BuilderTest, ExtraTracksAreLimited) {
  const std::string track = dir_ + "/track.mpg";
  base::WriteFileAtomic(track, std::string(2324 * 10, '\0'));
  for (int i = 0; i < VCDWizard::kMaxExtraTracks; ++i) ASSERT_EQ(wizard_->AddTrackFile(track.c_str(), 1), 1) << i;
  EXPECT_EQ(wizard_->AddTrackFile(track.c_str(), 1), 0);
  EXPECT_EQ(wizard_->AddTrackFile((dir_ + "/missing").c_str(), 1), 0);
}

TEST_F(BuilderTest, TheEndOfEveryRunIsToldOnceItsResultCanBeRead) {
  std::mutex mutex;
  std::condition_variable told;
  std::vector<std::int32_t> states;  // the result each run had when its end was told
  wizard_->SetOnDone([&] {
    std::int32_t percent, elapsed, remaining, done, speed;
    wizard_->GetProgress(&percent, &elapsed, &remaining, &done, &speed);
    std::string name;
    const std::int32_t state = done ? wizard_->GetWorkResult(&name) : base::kWorkRunning;
    std::lock_guard lock(mutex);
    states.push_back(state);
    told.notify_all();
  });
  EXPECT_EQ(Burn(), base::kWorkSuccess);
  drives_.units = 0;
  drives_.failWriteAtUnit = 300;
  EXPECT_EQ(Burn(), base::kWorkBurnFailed);
  wizard_->StartPremasterThread();
  std::unique_lock lock(mutex);
  EXPECT_TRUE(told.wait_for(lock, testsupport::kWaitBound, [&] { return states.size() >= 3; }))
      << InVain("the end of the third run to be told");
  lock.unlock();
  wizard_->Join();
  EXPECT_EQ(states, (std::vector<std::int32_t>{base::kWorkSuccess, base::kWorkBurnFailed, base::kWorkSuccess}));
}

TEST_F(BuilderTest, APremasterWithNothingButMenusEnds) {
  wizard_->StartPremasterThread();
  ASSERT_TRUE(Ended(*wizard_, "the run to end"));
  std::string name;
  EXPECT_EQ(wizard_->GetWorkResult(&name), base::kWorkSuccess) << name;
}

// A real premaster (music, a slide show and the menus through the real
// encoders, on the real clock): eight photos and musicSeconds of music.
class RealPremaster {
 public:
  RealPremaster(DISCPAK_LibObject* discpak, DriveAccess* drives, const std::string& dir, int musicSeconds)
      : menu(discpak, nullptr, base::Clock::Real()), wizard(discpak, drives, base::Clock::Real()) {
    const std::string work = dir + "/work/";
    base::MakeDirs(work);
    const std::string art = base::ShareDir() + "/graphics/";
    menu.SetTitleBackground((art + "HomePageBkgnd576.jpg").c_str());
    MenuGrid grid{52, 86, 126, 209, 208, 128, 130, 98, 33, 6};
    menu.SetMenuGrid(grid, (art + "ThumbsPageThumbMask.jpg").c_str(), nullptr,
                     (art + "ThumbsPageBkgnd576.jpg").c_str(), 9);
    wizard.SetMenuBuilder(&menu);
    wizard.SetTempDirectory(work.c_str());
    wizard.SetVideoFormat(2);
    wizard.SetStillTimes(2000, 0);
    for (int i = 0; i < 8; ++i) {
      const std::string p = dir + "/p" + std::to_string(i) + ".jpg";
      EXPECT_EQ(Shell("convert -size 640x480 plasma:fractal -seed " + std::to_string(i) + " '" + p + "'"), 0);
      EXPECT_EQ(wizard.AddStill(p.c_str(), nullptr, 0), 1);
      EXPECT_EQ(menu.AddPicture(p.c_str(), nullptr, 0), 1);
    }
    const std::string music = dir + "/music.wav";
    EXPECT_EQ(Shell("sox -n -r 44100 -c 2 -b 16 '" + music + "' synth " + std::to_string(musicSeconds) +
                    " sine 330"),
              0);
    EXPECT_EQ(wizard.AddAudioFile(music.c_str(), 1), 1);
  }

  struct Look {
    std::int32_t percent, remaining, done;
  };
  Look Progress() {
    Look l{};
    std::int32_t elapsed, speed;
    wizard.GetProgress(&l.percent, &elapsed, &l.remaining, &l.done, &speed);
    return l;
  }

  ThumbnailBrowser2 menu;
  VCDWizard wizard;
};

// Its percent follows the work done and only rises, never reads 100 before
// the end, and time remains (not 0 s) as long as work does. The image is
// held until the work has visibly begun, so the run is seen under way
// whatever the machine's speed.
TEST_F(BuilderTest, ThePremastersProgressFollowsTheWorkAndTimeRemainsWhileWorkDoes) {
  VEXA_REQUIRE_TOOL("convert");
  VEXA_REQUIRE_TOOL("sox");
  RealPremaster p(lib_.discpak, &drives_, dir_, 8);
  // Seconds of work are not estimated at nothing, however fast the machine.
  EXPECT_GT(p.wizard.EstimateSeconds(), 0);

  p.wizard.HoldImage();
  ASSERT_EQ(p.wizard.StartPremasterThread(), 1);
  std::vector<RealPremaster::Look> working;  // taken while the premaster was not done
  bool held = true;
  const testsupport::Deadline deadline;
  for (;;) {
    const RealPremaster::Look l = p.Progress();
    if (deadline.Passed()) {
      p.wizard.ReleaseImage();
      p.wizard.CancelWork();
      FAIL() << InVain("the premaster to end");
    }
    if (l.done) {
      EXPECT_EQ(l.percent, 100);
      EXPECT_EQ(l.remaining, 0);
      break;
    }
    working.push_back(l);
    if (held && l.percent > 0) {
      held = false;
      p.wizard.ReleaseImage();
    }
    p.wizard.WaitDone(20);  // the next look, or the end
  }
  std::string name;
  ASSERT_EQ(p.wizard.GetWorkResult(&name), base::kWorkSuccess) << name;
  ASSERT_FALSE(working.empty());
  for (std::size_t i = 0; i < working.size(); ++i) {
    EXPECT_LT(working[i].percent, 100) << i;
    EXPECT_GE(working[i].remaining, 1) << i;
    if (i > 0) {
      EXPECT_GE(working[i].percent, working[i - 1].percent) << i;
    }
  }
  EXPECT_TRUE(std::any_of(working.begin(), working.end(), [](const RealPremaster::Look& l) { return l.percent > 0; }));
}

// A cancel in the middle of the work (ten minutes of music being encoded,
// the menus made beside it) stops every worker: the run ends cancelled
// without waiting for the music's end, the menu builder has stopped too,
// and nothing of the run is left in the work folder.
TEST_F(BuilderTest, ACancelInTheMiddleOfThePremasterStopsEveryWorker) {
  VEXA_REQUIRE_TOOL("convert");
  VEXA_REQUIRE_TOOL("sox");
  RealPremaster p(lib_.discpak, &drives_, dir_, 600);
  ASSERT_EQ(p.wizard.StartPremasterThread(), 1);
  RealPremaster::Look l = p.Progress();
  const testsupport::Deadline deadline;
  while (!l.done && l.percent == 0 && !deadline.Passed()) {
    p.wizard.WaitDone(20);
    l = p.Progress();
  }
  ASSERT_FALSE(l.done);
  EXPECT_GT(l.percent, 0) << InVain("the premaster's work to show");
  EXPECT_TRUE(p.wizard.CancelWork());
  {
    const testsupport::Watchdog dog("the cancelled premaster to end");
    p.wizard.Join();
  }
  EXPECT_EQ(p.wizard.GetWorkResult(nullptr), base::kWorkCancelled);
  EXPECT_TRUE(p.menu.WaitDone(0));
  EXPECT_EQ(p.menu.GetSegmentCount(), 0);
  std::vector<std::string> left;
  for (const auto& e : std::filesystem::directory_iterator(dir_ + "/work")) left.push_back(e.path().string());
  EXPECT_TRUE(left.empty()) << left.front();
}

}  // namespace
}  // namespace vexa::engine::test
