// Drives through the engine: the drive manager's choice, the current
// drive's answers, speeds, blank and erase, the burner's checks and the
// trackers before any run. The drives are the test's own (FakeDrives.h).
#include <condition_variable>
#include <mutex>
#include <thread>

#include "engine/tests/EngineFixture.h"

namespace vexa::engine::test {
namespace {

class DrivesTest : public EngineTest {
 protected:
  com::ComPtr<IVEXADrive> NextDrive(IVEXADrive* previous) {
    com::ComPtr<IVEXADrive> drive;
    EXPECT_EQ(As<IVEXADriveMgr>()->GetNextDrive(previous, VEXAMediaVCD, drive.Put()), S_OK);
    return drive;
  }
  LONG Number(IVEXADrive* d) {
    LONG n = -1;
    EXPECT_EQ(d->GetDriveNum(&n), S_OK);
    return n;
  }
};

TEST_F(DrivesTest, TheOnlyWriterIsFoundFromEveryStart) {
  for (int i = 0; i < 3; ++i) fake_->specs[i] = Reader("/dev/sr" + std::to_string(i));
  fake_->specs[3] = BlankWriter("/dev/sr3");
  ASSERT_EQ(Create(), S_OK);
  auto first = NextDrive(nullptr);
  ASSERT_TRUE(first);
  EXPECT_EQ(Number(first.Get()), 3);
  auto again = NextDrive(first.Get());
  ASSERT_TRUE(again);
  EXPECT_EQ(again.Get(), first.Get());  // the engine's one view
  EXPECT_EQ(Number(again.Get()), 3);
  auto third = NextDrive(nullptr);
  EXPECT_EQ(Number(third.Get()), 3);
  // Each choice lets the former drive object go.
  EXPECT_EQ(fake_->live.load(), 1);
  com::Bstr path;
  ASSERT_EQ(first->GetDrivePath(path.Out()), S_OK);
  EXPECT_EQ(path.Utf8(), "/dev/sr3");
  first.Reset();
  again.Reset();
  third.Reset();
  engine_.Reset();
  EXPECT_EQ(fake_->live.load(), 0);
}

TEST_F(DrivesTest, WithoutAWriterTheEngineAnswersAsItShould) {
  fake_->specs[0] = Reader("/dev/sr0");
  ASSERT_EQ(Create(), S_OK);
  EXPECT_FALSE(NextDrive(nullptr));
  EXPECT_EQ(LastCode(), VEXAEngineResultSuccess);
  EXPECT_EQ(fake_->live.load(), 0);

  auto burner = As<IVEXABurner>();
  EXPECT_EQ(burner->StartBurn(0, VARIANT_FALSE, VARIANT_FALSE, VARIANT_TRUE), E_FAIL);
  EXPECT_EQ(ErrorDescription(), "IVEXABurner::StartBurn - Drive Object not initialized.");
  VEXAEngineState state{};
  engine_->get_EngineState(&state);
  EXPECT_EQ(state, VEXAEngineMaster);
  EXPECT_EQ(burner->StartErase(VARIANT_FALSE), E_FAIL);
  EXPECT_EQ(ErrorDescription(), "IVEXABurner::StartErase - Drive Object not initialized.");
  VEXADiscType type{};
  EXPECT_EQ(As<IVEXADrive>()->GetDiscType(&type), E_FAIL);
  EXPECT_EQ(ErrorDescription(), "IVEXADrive::get_DiscType - Drive Object not initialized.");

  com::ComPtr<IVEXADrive> drive;
  auto manager = As<IVEXADriveMgr>();
  EXPECT_EQ(manager->GetDrive(0, drive.Put()), E_FAIL);
  EXPECT_EQ(ErrorDescription(), "IVEXADriveMgr::GetDrive - Drive number 0 does not support VEXACapWriteTAO");
  EXPECT_EQ(manager->GetDrive(7, drive.Put()), E_FAIL);
  EXPECT_EQ(LastMessage(), "IVEXADriveMgr::GetDrive - Drive number 7 not valid");
  EXPECT_EQ(manager->EnumDrives(0, nullptr), E_NOTIMPL);
  EXPECT_EQ(burner->CancelErase(VARIANT_FALSE), E_NOTIMPL);
  EXPECT_EQ(burner->UseDrive(nullptr), E_NOTIMPL);
  EXPECT_EQ(As<IVEXAProcessTracker>()->CancelProcess(VARIANT_FALSE), E_NOTIMPL);
}

TEST_F(DrivesTest, DiscTypeAndBlankness) {
  struct Case {
    const char* what;
    std::uint8_t status;  // byte 2 of the disc information
    std::uint8_t sessions;
    VEXADiscType type;
    bool blank;
    int reads;            // disc-information reads for IsDiscBlank
  } cases[] = {
      {"pressed CD", 0x0E, 1, VEXADiscTypeROM, false, 1},
      {"blank CD-R", 0x00, 1, VEXADiscTypeR, true, 2},
      {"open CD-R", 0x01, 1, VEXADiscTypeR, false, 2},
      {"blank CD-RW", 0x10, 1, VEXADiscTypeRW, true, 2},
      {"written CD-RW", 0x1E, 1, VEXADiscTypeRW, false, 2},
      {"second session", 0x00, 2, VEXADiscTypeR, false, 2},
  };
  for (const auto& c : cases) {
    fake_->specs.clear();
    fake_->specs[0] = BlankWriter("/dev/sr0");
    fake_->specs[0].disc.info[2] = c.status;
    fake_->specs[0].disc.info[4] = c.sessions;
    ASSERT_EQ(Create(), S_OK);
    auto drive = NextDrive(nullptr);
    ASSERT_TRUE(drive);
    VEXADiscType type{};
    ASSERT_EQ(drive->GetDiscType(&type), S_OK) << c.what;
    EXPECT_EQ(type, c.type) << c.what;
    fake_->discInfoReads = 0;
    VARIANT_BOOL blank = 0;
    ASSERT_EQ(drive->IsDiscBlank(&blank), S_OK) << c.what;
    EXPECT_EQ(blank, c.blank ? VARIANT_TRUE : VARIANT_FALSE) << c.what;
    EXPECT_EQ(fake_->discInfoReads.load(), c.reads) << c.what;
    EXPECT_EQ(LastMethod(), "IVEXADrive::IsDiscBlank");
    drive.Reset();
    engine_.Reset();
  }
  // A drive that cannot read its disc: the failure is reported.
  fake_->specs[0].status = 5;
  ASSERT_EQ(Create(), S_OK);
  auto drive = NextDrive(nullptr);
  VARIANT_BOOL blank = 0;
  EXPECT_EQ(drive->IsDiscBlank(&blank), E_FAIL);
  EXPECT_EQ(ErrorDescription(), "IVEXADrive::get_DiscType - get_DiscType failed.");
}

TEST_F(DrivesTest, DriveSpeedsTriesOneAndTheEvenSpeeds) {
  fake_->specs[0] = BlankWriter("/dev/sr0", {1, 2, 4, 8});
  ASSERT_EQ(Create(), S_OK);
  auto drive = NextDrive(nullptr);
  ASSERT_TRUE(drive);
  LONG max = 0;
  com::ComPtr<IVEXADrive> d = drive;
  fake_->speedQueries.clear();
  ASSERT_EQ(d->GetMaxBurnSpeed(&max), S_OK);
  EXPECT_EQ(max, 8);
  com::Variant speeds;
  fake_->speedQueries.clear();
  ASSERT_EQ(d->GetDriveSpeeds(&speeds), S_OK);
  ASSERT_EQ(speeds.vt, VT_ARRAY | VT_I4);
  std::vector<LONG> got;
  for (LONG i = 0; i < static_cast<LONG>(speeds.parray->rgsabound[0].cElements); ++i) {
    LONG v = 0;
    SafeArrayGetElement(speeds.parray, &i, &v);
    got.push_back(v);
  }
  EXPECT_EQ(got, (std::vector<LONG>{1, 2, 4, 8}));
  std::vector<std::int32_t> tried;
  for (auto q : fake_->speedQueries) {
    if (q & 0x1000) tried.push_back(q & 0xFFF);
  }
  EXPECT_EQ(tried, (std::vector<std::int32_t>{1, 2, 4, 6, 8}));
  // The remembered speed was set again last.
  EXPECT_EQ(fake_->speedQueries[0], 2048);
  EXPECT_EQ(LastMethod(), "IVEXADriveMgr::GetDriveSpeeds");
}

TEST_F(DrivesTest, BlockingAndEraseReportTheDrivesAnswer) {
  fake_->specs[0] = BlankWriter("/dev/sr0");
  ASSERT_EQ(Create(), S_OK);
  auto drive = NextDrive(nullptr);
  ASSERT_EQ(drive->SetBlocking(VEXADriveBlockingAll), S_OK);
  fake_->specs[0].blockingAnswer = 6;
  EXPECT_EQ(drive->SetBlocking(VEXADriveBlockingAll), E_FAIL);
  EXPECT_EQ(ErrorDescription(), "IVEXADrive::put_Blocking - SetBlocking call failed for value 1.");
  fake_->specs[0].blockingAnswer = 1;
  EXPECT_EQ(drive->SetBlocking(VEXADriveBlockingNone), E_FAIL);
  EXPECT_EQ(ErrorDescription(), "IVEXADrive::put_Blocking - SetBlocking call failed for value 0.");

  auto burner = As<IVEXABurner>();
  ASSERT_EQ(burner->StartErase(VARIANT_TRUE), S_OK);
  VARIANT_BOOL done = 0;
  ASSERT_EQ(burner->IsEraseDone(&done), S_OK);
  EXPECT_EQ(done, VARIANT_TRUE);
  fake_->specs[0].blankAnswer = 1;
  fake_->specs[0].lastError = "Blank failed: MEDIUM NOT PRESENT";
  EXPECT_EQ(burner->StartErase(VARIANT_FALSE), E_FAIL);
  EXPECT_EQ(LastCode(), VEXAEngineResultBrellWriteFail);
  EXPECT_EQ(LastMessage(), "IVEXABurner::StartErase - BlankDisc call failed. Blank failed: MEDIUM NOT PRESENT");
  fake_->specs[0].blankAnswer = 6;
  fake_->specs[0].lastError.clear();
  EXPECT_EQ(burner->StartErase(VARIANT_FALSE), E_FAIL);
  EXPECT_EQ(LastMessage(), "IVEXABurner::StartErase - The drive cannot erase this disc.");
}

TEST_F(DrivesTest, DriveAnswers) {
  fake_->specs[0] = BlankWriter("/dev/sr0");
  fake_->specs[0].status = 3;
  ASSERT_EQ(Create(), S_OK);
  auto drive = NextDrive(nullptr);
  LONG caps = 0;
  ASSERT_EQ(drive->GetDriveCaps(&caps), S_OK);
  EXPECT_EQ(caps, 1 | 64 | 128 | 256);
  com::Bstr inquiry;
  ASSERT_EQ(drive->GetInquiry(inquiry.Out()), S_OK);
  EXPECT_EQ(inquiry.Utf8(), "VEXASIM CD-RW FAKE      1.00");
  VEXADriveStatus status{};
  ASSERT_EQ(drive->GetDriveStatus(&status), S_OK);
  EXPECT_EQ(status, VEXADriveStatusLoading);
  VARIANT_BOOL b = 0;
  ASSERT_EQ(drive->Eject(&b), S_OK);
  EXPECT_EQ(b, VARIANT_TRUE);
  LONG capacity = -1;
  ASSERT_EQ(drive->GetDiscCapacity(&capacity), S_OK);
  EXPECT_EQ(capacity, 0);
  fake_->specs[0].inquiry.clear();
  EXPECT_EQ(drive->GetInquiry(inquiry.Out()), E_FAIL);
  EXPECT_EQ(ErrorDescription(), "IVEXADrive::Inquiry - GetInquiry call failed");

  // The command log follows the drive's calls.
  ASSERT_EQ(drive->SetCOMSLog(B(Path("mylog.txt")).Get()), S_OK);
  ASSERT_EQ(drive->StartCOMSLogging(VARIANT_TRUE), S_OK);
  EXPECT_EQ(fake_->logPath, Path("mylog.txt"));
  EXPECT_TRUE(fake_->logAppend);
  ASSERT_EQ(drive->StopCOMSLogging(), S_OK);
  EXPECT_FALSE(fake_->logging);
  EXPECT_EQ(LastMethod(), "IVEXACOMSDebug::StopCOMSLogging");
}

TEST_F(DrivesTest, TrackersBeforeAnyRun) {
  ASSERT_EQ(Create(), S_OK);
  auto tracker = As<IVEXABurnProcessTracker>();
  LONG v = -1;
  ASSERT_EQ(tracker->GetProgressPercent(&v), S_OK);
  EXPECT_EQ(v, 0);
  ASSERT_EQ(tracker->GetWriteSpeed(&v), S_OK);
  EXPECT_EQ(v, 8);
  EXPECT_EQ(LastMethod(), "IVEXABurnProcessTracker::GetWriteSpeed");
  ASSERT_EQ(tracker->GetEstimatedTimeRemaining(&v), S_OK);
  EXPECT_EQ(v, 0);
  ASSERT_EQ(tracker->GetElapsedTime(&v), S_OK);
  EXPECT_EQ(v, 0);
  VEXAEngineResult code{};
  ASSERT_EQ(tracker->GetLastProcessResultCode(&code), S_OK);
  EXPECT_EQ(code, VEXAEngineResultSuccess);
  // Reading the worker's result leaves the engine's own last result.
  EXPECT_EQ(LastMethod(), "IVEXAProcessTracker::GetElapsedTime");
}


// A writer whose writes wait until the test lets them go, and which counts
// the writing commands that reach it after the tray was opened.
class HeldWriter : public FakeDriveAccess {
 public:
  std::atomic<int> writes{0};
  std::atomic<int> afterEject{0};
  std::atomic<bool> ejected{false};

  void Hold() {
    std::lock_guard lock(m_);
    hold_ = true;
  }
  // False, with the writes let go and a failure, when no write has reached
  // the drive within the bound.
  bool WaitHeld() {
    std::unique_lock lock(m_);
    if (cv_.wait_for(lock, testsupport::kWaitBound, [&] { return holding_; })) return true;
    hold_ = false;
    cv_.notify_all();
    ADD_FAILURE() << testsupport::InVain("the burn to reach its first write");
    return false;
  }
  void Release() {
    {
      std::lock_guard lock(m_);
      hold_ = false;
    }
    cv_.notify_all();
  }

  std::int32_t WriteTAO(DriveHandle*, std::int32_t, std::int32_t, const std::uint8_t*) override {
    Note();
    std::unique_lock lock(m_);
    holding_ = true;
    cv_.notify_all();
    cv_.wait(lock, [&] { return !hold_; });
    holding_ = false;
    ++writes;
    return 0;
  }
  std::int32_t FinishTAO(DriveHandle*) override {
    Note();
    return 0;
  }
  std::int32_t CloseSession(DriveHandle*, std::int32_t, std::int32_t) override {
    Note();
    return 1;
  }
  std::int32_t Eject(DriveHandle*) override {
    ejected = true;
    return 1;
  }

 private:
  void Note() {
    if (ejected) ++afterEject;
  }
  std::mutex m_;
  std::condition_variable cv_;
  bool hold_ = false;
  bool holding_ = false;
};

// While the worker is stuck in a write, every call the client makes to
// follow or stop the burn answers at once (none waits for the drive); a
// cancel answers without waiting, and the eject that follows lets the
// worker end first, so nothing is written after the tray opens.
TEST_F(DrivesTest, TheClientStaysResponsiveWhileTheDriveIsBusy) {
  auto held = std::make_shared<HeldWriter>();
  fake_ = held;
  InstallEnvironment(true);
  held->specs[0] = BlankWriter("/dev/sr0", {4, 8, 16});
  ASSERT_EQ(Create(), S_OK);
  auto drive = NextDrive(nullptr);
  ASSERT_TRUE(drive);
  auto burner = As<IVEXABurner>();
  auto tracker = As<IVEXABurnProcessTracker>();

  held->Hold();
  // A test that ends early lets the held write go, so the engine can end.
  struct LetGo {
    HeldWriter* writer;
    ~LetGo() { writer->Release(); }
  } letGo{held.get()};
  ASSERT_EQ(burner->StartBurn(8, VARIANT_FALSE, VARIANT_FALSE, VARIANT_TRUE), S_OK) << ErrorDescription();
  ASSERT_TRUE(held->WaitHeld());
  for (int round = 0; round < 2; ++round) {
    VARIANT_BOOL done = VARIANT_TRUE;
    ASSERT_EQ(burner->IsBurnDone(&done), S_OK);
    EXPECT_EQ(done, VARIANT_FALSE);
    ASSERT_EQ(tracker->IsProcessDone(&done), S_OK);
    EXPECT_EQ(done, VARIANT_FALSE);
    LONG v = -1;
    ASSERT_EQ(tracker->GetProgressPercent(&v), S_OK);
    EXPECT_GE(v, 0);
    EXPECT_LE(v, 100);
    ASSERT_EQ(tracker->GetElapsedTime(&v), S_OK);
    ASSERT_EQ(tracker->GetEstimatedTimeRemaining(&v), S_OK);
    EXPECT_GE(v, 0);
    ASSERT_EQ(tracker->GetWriteSpeed(&v), S_OK);
    EXPECT_EQ(v, 8);
    VEXAEngineState state{};
    ASSERT_EQ(engine_->get_EngineState(&state), S_OK);
    VEXADriveStatus status{};
    ASSERT_EQ(drive->GetDriveStatus(&status), S_OK);
    clock_.Advance(5000);
    // The first round before the cancel, the second after it.
    if (round == 0) {
      ASSERT_EQ(burner->CancelBurn(VARIANT_FALSE), S_OK);
    }
  }
  VEXAEngineResult code{};
  ASSERT_EQ(tracker->GetLastProcessResultCode(&code), S_OK);

  // The worker is still in its write; the eject waits for it to end.
  std::thread release([&] { held->Release(); });
  VARIANT_BOOL ejected = 0;
  {
    const testsupport::Watchdog dog("the eject to let the held write end first");
    ASSERT_EQ(drive->Eject(&ejected), S_OK);
  }
  release.join();
  EXPECT_EQ(held->afterEject.load(), 0);
  VARIANT_BOOL done = 0;
  ASSERT_EQ(burner->IsBurnDone(&done), S_OK);
  EXPECT_EQ(done, VARIANT_TRUE);
  ASSERT_EQ(tracker->GetLastProcessResultCode(&code), S_OK);
  EXPECT_EQ(code, VEXAEngineResultBrellCancel);
}

}  // namespace
}  // namespace vexa::engine::test
