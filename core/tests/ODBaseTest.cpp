// The engine driver against the fake engine: one engine call per request,
// the orchestrator's values converted to the engine's, and one failure line
// per failed call with the engine's own text before it where the driver asks
// for it.
#include <functional>

#include "core/ODBase.h"
#include "core/testsupport/ScriptedUi.h"
#include "core/tests/CoreTestSupport.h"
#include "core/tests/FakeEngine.h"

namespace vexa::core::test {
namespace {

using namespace vexa::com;

class ODBaseTest : public CoreTest {
 protected:
  void SetUp() override {
    CoreTest::SetUp();
    script_ = std::make_shared<FakeEngineScript>();
    clock_ = std::make_shared<ManualFlowClock>();
    util_.SetUi(&ui_);
    driver_ = std::make_unique<CVexaODBase>(util_, FakeEngineFactory(script_), clock_);
  }
  void TearDown() override {
    driver_.reset();
    EXPECT_EQ(script_->alive, 0);
    CoreTest::TearDown();
  }
  // The calls the engine got after the engine was started.
  std::vector<std::string> CallsSince(std::size_t from) {
    auto all = script_->Calls();
    return {all.begin() + static_cast<long>(std::min(from, all.size())), all.end()};
  }

  std::shared_ptr<FakeEngineScript> script_;
  std::shared_ptr<ManualFlowClock> clock_;
  ScriptedUi ui_;
  CVexaCoreUtil util_;
  std::unique_ptr<CVexaODBase> driver_;
};

TEST_F(ODBaseTest, StartEngineMakesTheEngineFetchesItsViewsAndTakesTheFirstWriter) {
  EXPECT_EQ(driver_->StartEngine(true), 0);
  EXPECT_TRUE(driver_->ShowStatus());
  EXPECT_EQ(script_->Calls(),
            (std::vector<std::string>{"CreateEngine", "get_StoryboardStillsSlideshow1", "get_Premaster",
                                      "get_PremasterProcessTracker", "get_DriveMgr", "get_Burner",
                                      "get_BurnProcessTracker", "GetNextDrive null|128"}));
  EXPECT_EQ(util_.GetPendingErrors(), "");
}

TEST_F(ODBaseTest, AFailedStartHoldsNoEngineAndNamesTheStepThatFailed) {
  struct Case {
    const char* failing;
    const char* line;
  };
  const Case cases[] = {
      {"CreateEngine", "CVexaODBase::InitializeVEXASDK - Cannot Create SDK engine."},
      {"get_StoryboardStillsSlideshow1", "CVexaODBase::InitializeVEXASDK - get_StoryboardStillsSlideshow1 call failed."},
      {"get_Premaster", "CVexaODBase::InitializeVEXASDK - get_Premaster call failed."},
      {"get_PremasterProcessTracker", "CVexaODBase::InitializeVEXASDK - get_PremasterProcessTracker call failed."},
      {"get_DriveMgr", "CVexaODBase::InitializeVEXASDK - get_DriveMgr call failed."},
      {"get_Burner", "CVexaODBase::InitializeVEXASDK - get_Burner call failed."},
      {"get_BurnProcessTracker", "CVexaODBase::InitializeVEXASDK - get_BurnProcessTracker call failed."},
  };
  for (const Case& c : cases) {
    script_->failing = {c.failing};
    util_.ClearPendingErrors();
    EXPECT_EQ(driver_->StartEngine(false), 1) << c.failing;
    EXPECT_FALSE(driver_->HasEngine());
    EXPECT_EQ(script_->alive, 0) << c.failing;
    EXPECT_EQ(util_.GetPendingErrors(), std::string(c.failing) + " failed in the fake engine\r\n" + c.line + "\r\n");
  }
}

TEST_F(ODBaseTest, NoWriterIsNoFailureOfTheQueryButStartsNoEngine) {
  script_->drives = 0;
  EXPECT_EQ(driver_->StartEngine(true), 2);
  EXPECT_EQ(util_.GetPendingErrors(),
            "CVexaODBase::GetNextDrive - No CD writer found.\r\n" + std::string(kNoWriterLogLine) +
                "\r\nCVEXAOD::GetCDWriter - No capable CD-writer exists.\r\n");
  util_.ClearPendingErrors();
  VARIANT_BOOL present = VARIANT_TRUE;
  EXPECT_TRUE(driver_->GetNextDrive(&present));
  EXPECT_EQ(present, VARIANT_FALSE);

  script_->failing = {"GetNextDrive"};
  util_.ClearPendingErrors();
  EXPECT_FALSE(driver_->GetCDWriter());
  EXPECT_EQ(util_.GetPendingErrors(),
            "GetNextDrive failed in the fake engine\r\n"
            "CVEXAOD::GetNextDrive - SDK GetNextDrive call failed.\r\n"
            "CVEXAOD::GetCDWriter - GetNextDrive call failed.\r\n");
}

TEST_F(ODBaseTest, ValuesReachTheEngineConverted) {
  ASSERT_EQ(driver_->StartEngine(false), 0);
  struct Case {
    std::function<bool(CVexaODBase&)> call;
    const char* engineCall;
  };
  const Case cases[] = {
      {[](CVexaODBase& d) { return d.SetFileSystemSupport(0); }, "SetFileSystemSupport 1"},
      {[](CVexaODBase& d) { return d.SetFileSystemSupport(64); }, "SetFileSystemSupport 64"},
      {[](CVexaODBase& d) { return d.SetFileSystemSupport(65); }, "SetFileSystemSupport 65"},
      {[](CVexaODBase& d) { return d.SetFileSystemSupport(7); }, "SetFileSystemSupport 65"},
      {[](CVexaODBase& d) { return d.SetFileSystemSupport(128); }, "SetFileSystemSupport 128"},
      {[](CVexaODBase& d) { return d.SetTVSystem(0); }, "SetTVSystem 0"},
      {[](CVexaODBase& d) { return d.SetTVSystem(1); }, "SetTVSystem 1"},
      {[](CVexaODBase& d) { return d.SetTVSystem(2); }, "SetTVSystem 2"},
      {[](CVexaODBase& d) { return d.SetTVSystem(3); }, "SetTVSystem 3"},
      {[](CVexaODBase& d) { return d.SetTVSystem(4); }, "SetTVSystem 0"},
      {[](CVexaODBase& d) { return d.SetTVSystem(9); }, "SetTVSystem 0"},
      {[](CVexaODBase& d) { return d.SetPaperSize(1); }, "SetPaperSize 1"},
      {[](CVexaODBase& d) { return d.SetPaperSize(0); }, "SetPaperSize 0"},
      {[](CVexaODBase& d) { return d.SetPaperSize(2); }, "SetPaperSize 0"},
      {[](CVexaODBase& d) { return d.SetStillDelay(5); }, "SetStillDelay 5000"},
      {[](CVexaODBase& d) { return d.SetStillTitleVisibleTime(2); }, "SetStillTitleVisibleTime 2000"},
      {[](CVexaODBase& d) {
         Bstr f(u"/p/a.jpg"), s(u"/src/a.jpg"), t(u"");
         return d.AddStills(f.Get(), s.Get(), t.Get(), 0, VEXACoreCropPicture, 90, VARIANT_TRUE);
       },
       "AddStill /p/a.jpg|/src/a.jpg|1|90|-1"},
      {[](CVexaODBase& d) {
         Bstr f(u"/p/a.jpg"), s(u"/src/a.jpg"), t(u"");
         return d.AddStills(f.Get(), s.Get(), t.Get(), 0, 5, 0, VARIANT_FALSE);
       },
       "AddStill /p/a.jpg|/src/a.jpg|0|0|0"},
      {[](CVexaODBase& d) { return d.StartErase(); }, "StartErase 0"},
      {[](CVexaODBase& d) { return d.CancelBurn(); }, "CancelBurn 0"},
      {[](CVexaODBase& d) { return d.SetBlocking(); }, "SetBlocking 1"},
      {[](CVexaODBase& d) { return d.UnSetBlocking(); }, "SetBlocking 0"},
      {[](CVexaODBase& d) { return d.StartBurn(8, 0, 0, -1); }, "StartBurn 8|0|0|-1"},
  };
  for (const Case& c : cases) {
    const std::size_t before = script_->Calls().size();
    EXPECT_TRUE(c.call(*driver_)) << c.engineCall;
    EXPECT_EQ(CallsSince(before), std::vector<std::string>{c.engineCall});
  }
  EXPECT_EQ(util_.GetPendingErrors(), "");
}

// A still delay too long for the engine's milliseconds reaches it as the
// longest it takes, so that the engine's own limit (the most a disc holds)
// refuses it with its words; a title time is refused before the engine.
TEST_F(ODBaseTest, DelaysThatOverflowInMillisecondsReachTheEngineAsTheLongest) {
  ASSERT_EQ(driver_->StartEngine(false), 0);
  const std::size_t before = script_->Calls().size();
  EXPECT_TRUE(driver_->SetStillDelay(2147484));
  EXPECT_EQ(CallsSince(before), std::vector<std::string>{"SetStillDelay 2147483647"});
  EXPECT_FALSE(driver_->SetStillTitleVisibleTime(-2147484));
  EXPECT_EQ(CallsSince(before).size(), 1u);
  EXPECT_EQ(util_.GetPendingErrors(),
            "CVexaODBase::SetStillTitleVisibleTime - SetStillTitleVisibleTime call failed for value -2147484.\r\n");
  EXPECT_TRUE(driver_->SetStillDelay(2147483));
  EXPECT_EQ(CallsSince(before).back(), "SetStillDelay 2147483000");
}

TEST_F(ODBaseTest, EveryFailedCallAppendsItsOneLine) {
  ASSERT_EQ(driver_->StartEngine(false), 0);
  Bstr path(u"/p/x"), empty(u"");
  struct Case {
    const char* failing;
    std::function<bool(CVexaODBase&)> call;
    const char* line;
  };
  const Case cases[] = {
      {"SetTitleLines", [&](CVexaODBase& d) { return d.SetTitleLines(path.Get(), empty.Get(), empty.Get()); },
       "CVexaODBase::SetTitleLines - SetTitleLines call failed."},
      {"AddStill",
       [&](CVexaODBase& d) { return d.AddStills(path.Get(), path.Get(), empty.Get(), 0, 0, 0, VARIANT_FALSE); },
       "CVexaODBase::AddStills - AddStill call failed on still /p/x."},
      {"AddStill", [&](CVexaODBase& d) { return d.AddStills(nullptr, path.Get(), empty.Get(), 0, 0, 0, VARIANT_FALSE); },
       "CVexaODBase::AddStills - AddStill call failed on still ."},
      {"AddAudioTrack", [&](CVexaODBase& d) { return d.AddAudioTrack(path.Get(), 0); },
       "CVexaODBase::AddAudioTrack - AddAudioTrack call failed for track /p/x."},
      {"SetStillTitleVisibleTime", [](CVexaODBase& d) { return d.SetStillTitleVisibleTime(3); },
       "CVexaODBase::SetStillTitleVisibleTime - SetStillTitleVisibleTime call failed for value 3."},
      {"SetStillDelay", [](CVexaODBase& d) { return d.SetStillDelay(4); },
       "CVexaODBase::SetStillDelay - SetStillDelay call failed for value 4."},
      {"SetTVSystem", [](CVexaODBase& d) { return d.SetTVSystem(4); },
       "CVexaODBase::SetTVSystem - SetTVSystem call failed for 4."},
      {"SetFileSystemSupport", [](CVexaODBase& d) { return d.SetFileSystemSupport(0); },
       "CVexaODBase::SetFileSystemSupport - SetFileSystemSupport call failed for value 1."},
      {"SetPaperSize", [](CVexaODBase& d) { return d.SetPaperSize(1); },
       "CVexaODBase::SetPaperSize - SetPaperSize call failed."},
      {"AddFile", [&](CVexaODBase& d) { return d.AddFile(path.Get(), path.Get(), nullptr, 0); },
       "CVexaODBase::AddFile - SDK AddFile call failed."},
      {"StartRead", [&](CVexaODBase& d) { return d.CDDAToWav(path.Get(), path.Get()); },
       "CVexaODBase::CDDAToWav - StartRead call failed."},
      {"GetTrackInfo",
       [&](CVexaODBase& d) {
         LONG a;
         double b;
         LONG c;
         return d.GetTrackInfo(path.Get(), &a, &b, &c);
       },
       "CVexaODBase::GetTrackInfo - GetTrackInfo call failed."},
      {"SetTempDirectory", [&](CVexaODBase& d) { return d.SetTempDirectory(path.Get()); },
       "CVexaODBase::SetTempDirectory - SDK SetTempDirectory call failed for path /p/x."},
      {"IsPremasterDone",
       [](CVexaODBase& d) {
         bool done;
         return d.IsPremasterDone(&done);
       },
       "CVexaODBase::IsPremasterDone - IsPremasterDone call failed."},
      {"GetProgressPercent",
       [](CVexaODBase& d) {
         LONG p;
         return d.GetPremasterProgressPercent(&p);
       },
       "CVexaODBase::GetPremasterProgressPercent - GetProgressPercent call failed."},
      {"GetEstimatedTimeRemaining",
       [](CVexaODBase& d) {
         LONG p;
         return d.GetPremasterTimeRemaining(&p);
       },
       "CVexaODBase::GetPremasterTimeRemaining - GetEstimatedTimeRemaining call failed."},
      {"GetLastProcessResultCode", [](CVexaODBase& d) { return d.PremasterSucceeded(); },
       "CVexaODBase::PremasterSucceeded - GetLastProcessResultCode call failed."},
      {"StartBurn", [](CVexaODBase& d) { return d.StartBurn(4, 0, 0, -1); },
       "CVexaODBase::StartBurn - StartBurn call failed."},
      {"IsBurnDone",
       [](CVexaODBase& d) {
         bool done;
         return d.IsBurnDone(&done);
       },
       "CVexaODBase::IsBurnDone - IsBurnDone call failed."},
      {"CancelBurn", [](CVexaODBase& d) { return d.CancelBurn(); }, "CVexaODBase::CancelBurn - CancelBurn call failed."},
      {"GetProgressPercent",
       [](CVexaODBase& d) {
         LONG p;
         return d.GetBurnProgressPercent(&p);
       },
       "CVexaODBase::GetBurnProgressPercent - GetProgressPercent call failed."},
      {"GetEstimatedTimeRemaining",
       [](CVexaODBase& d) {
         LONG p;
         return d.GetBurnTimeRemaining(&p);
       },
       "CVexaODBase::GetBurnTimeRemaining - GetEstimatedTimeRemaining call failed."},
      {"GetLastProcessResultCode", [](CVexaODBase& d) { return d.BurnSucceeded(); },
       "CVexaODBase::BurnSucceeded - GetLastProcessResultCode call failed."},
      {"StartErase", [](CVexaODBase& d) { return d.StartErase(); }, "CVexaODBase::StartErase - StartErase call failed."},
      {"GetDriveStatus",
       [](CVexaODBase& d) {
         LONG s;
         return d.GetDriveStatus(&s);
       },
       "CVexaODBase::GetDriveStatus - GetDriveStatus call failed."},
      {"GetDiscType",
       [](CVexaODBase& d) {
         LONG t;
         return d.GetDiscType(&t);
       },
       "CVexaODBase::IsDiscBlank - GetDiscType call failed."},
      {"IsDiscBlank",
       [](CVexaODBase& d) {
         bool b;
         return d.IsDiscBlank(&b);
       },
       "CVexaODBase::IsDiscBlank - GetDiscIsBlank call failed."},
      {"Eject", [](CVexaODBase& d) { return d.Eject(); }, "CvexaODBase::Eject - Eject call failed."},
      {"SetBlocking", [](CVexaODBase& d) { return d.SetBlocking(); },
       "CvexaODBase::SetBlocking - SetBlocking ON call failed."},
      {"SetBlocking", [](CVexaODBase& d) { return d.UnSetBlocking(); },
       "CvexaODBase::UnSetBlocking - UnSetBlocking ON call failed."},
      {"GetMaxBurnSpeed",
       [](CVexaODBase& d) {
         LONG s;
         return d.GetMaxBurnSpeed(&s);
       },
       "CVexaODBase::GetMaxBurnSpeed - GetMaxBurnSpeed call failed."},
      {"GetDriveSpeeds",
       [](CVexaODBase& d) {
         Variant v;
         return d.GetDriveSpeeds(&v);
       },
       "CVexaODBase::GetDriveSpeeds - GetDriveSpeeds call failed."},
      {"GetInquiry",
       [](CVexaODBase& d) {
         Bstr s;
         return d.GetInquiry(s.Out());
       },
       "CVexaODBase::GetInquiry - SDK GetInquiry() call failed."},
      {"GetDrivePath",
       [](CVexaODBase& d) {
         Bstr s;
         return d.GetDrivePath(s.Out());
       },
       "CVexaODBase::GetDrivePath - SDK GetDrivePath call failed."},
  };
  for (const Case& c : cases) {
    script_->failing = {c.failing};
    util_.ClearPendingErrors();
    const std::size_t before = script_->Calls().size();
    EXPECT_FALSE(c.call(*driver_)) << c.line;
    EXPECT_EQ(util_.GetPendingErrors(), std::string(c.failing) + " failed in the fake engine\r\n" + c.line + "\r\n");
    // One engine call per request (the tracker's result read is that one
    // call); a refused burn also asks the engine why (a disc too small).
    EXPECT_EQ(CallsSince(before).size(), std::string(c.failing) == "StartBurn" ? 2u : 1u) << c.line;
  }
}

TEST_F(ODBaseTest, UnsuccessfulWorkersReportTheirEngineResult) {
  ASSERT_EQ(driver_->StartEngine(false), 0);
  script_->premasterResult = VEXAEngineResultBrellWriteFail;
  bool shortOfSpace = true;
  ASSERT_TRUE(driver_->StartPremaster(&shortOfSpace));
  EXPECT_FALSE(shortOfSpace);
  EXPECT_FALSE(driver_->PremasterSucceeded());
  EXPECT_EQ(util_.GetPendingErrors(), "CVexaODBase::PremasterSucceeded - Premaster failed with error code 1003.\r\n");
  util_.ClearPendingErrors();
  script_->burnResult = VEXAEngineResultBrellCancel;
  ASSERT_TRUE(driver_->StartBurn(4, 0, 0, -1));
  EXPECT_FALSE(driver_->BurnSucceeded());
  EXPECT_EQ(util_.GetPendingErrors(), "CVexaODBase::BurnSucceeded - Burn failed with error code 1004.\r\n");
  util_.ClearPendingErrors();
  script_->burnResult = VEXAEngineResultSuccess;
  EXPECT_TRUE(driver_->BurnSucceeded());
}

TEST_F(ODBaseTest, APremasterRefusedForTempSpaceSaysSo) {
  ASSERT_EQ(driver_->StartEngine(false), 0);
  struct Case {
    VEXAEngineResult last;
    bool lastFails;
    bool shortOfSpace;
    const char* line;
  };
  const Case cases[] = {
      {VEXAEngineResultTempSpaceLimitReached, false, true,
       "CVexaODBase::StartPremaster - Insufficient temp space received from Core."},
      {VEXAEngineResultGeneralIOFail, false, false, "CVexaODBase::StartPremaster - StartPremaster call failed."},
      {VEXAEngineResultTempSpaceLimitReached, true, false, "CVexaODBase::StartPremaster - StartPremaster call failed."},
  };
  for (const Case& c : cases) {
    script_->failing = {"StartPremaster"};
    if (c.lastFails) script_->failing.insert("GetLastResultCode");
    script_->lastResult = c.last;
    util_.ClearPendingErrors();
    bool shortOfSpace = !c.shortOfSpace;
    EXPECT_FALSE(driver_->StartPremaster(&shortOfSpace));
    EXPECT_EQ(shortOfSpace, c.shortOfSpace);
    EXPECT_NE(util_.GetPendingErrors().find(std::string(c.line) + "\r\n"), std::string::npos) << util_.GetPendingErrors();
  }
}

TEST_F(ODBaseTest, TheEnginesEndOfWorkIsHeardWhileTheEngineIsHeld) {
  ASSERT_EQ(driver_->StartEngine(false), 0);
  ASSERT_NE(driver_->ProcessEnd(), nullptr);
  EXPECT_TRUE(script_->sink);
  // Each start clears the end of the run before; the engine's end sets it.
  bool shortOfSpace = false;
  ASSERT_TRUE(driver_->StartPremaster(&shortOfSpace));
  EXPECT_FALSE(driver_->ProcessEnd()->IsSet());
  script_->EndWorkNow();
  EXPECT_TRUE(driver_->ProcessEnd()->IsSet());
  ASSERT_TRUE(driver_->StartBurn(8, VARIANT_FALSE, VARIANT_FALSE, VARIANT_TRUE));
  EXPECT_FALSE(driver_->ProcessEnd()->IsSet());
  // Released, the engine keeps no sink (and so no way back to the driver).
  driver_->ReleaseEngine();
  EXPECT_FALSE(script_->sink);
  EXPECT_EQ(driver_->ProcessEnd(), nullptr);

  // An engine that cannot tell is polled: no completion to wait on.
  script_->tellsEnd = false;
  ASSERT_EQ(driver_->StartEngine(false), 0);
  EXPECT_EQ(driver_->ProcessEnd(), nullptr);
}

TEST_F(ODBaseTest, ABusyDriveIsReadAgainAfterSevenSeconds) {
  ASSERT_EQ(driver_->StartEngine(false), 0);
  script_->driveStatus = {VEXADriveStatusBusy, VEXADriveStatusOK};
  LONG status = -1;
  const auto waited = clock_->Waited();
  EXPECT_TRUE(driver_->GetDriveStatus(&status));
  EXPECT_EQ(status, VEXADriveStatusOK);
  EXPECT_EQ(clock_->Waited() - waited, 7000u);

  script_->driveStatus = {VEXADriveStatusBusy};
  EXPECT_TRUE(driver_->GetDriveStatus(&status));
  EXPECT_EQ(status, VEXADriveStatusBusy);

  script_->driveStatus = {VEXADriveStatusOK};
  const auto before = clock_->Waited();
  EXPECT_TRUE(driver_->GetDriveStatus(&status));
  EXPECT_EQ(status, VEXADriveStatusOK);
  EXPECT_EQ(clock_->Waited(), before);
}

TEST_F(ODBaseTest, BooleansAreTrueOnlyForVariantTrueAndTextsHandOver) {
  ASSERT_EQ(driver_->StartEngine(false), 0);
  script_->blank = {false};
  bool blank = true;
  EXPECT_TRUE(driver_->IsDiscBlank(&blank));
  EXPECT_FALSE(blank);

  Bstr inquiry;
  EXPECT_TRUE(driver_->GetInquiry(inquiry.Out()));
  EXPECT_EQ(inquiry.Utf8(), "VEXA     SIMULATED CDRW 1.00");
  script_->inquiry.clear();
  EXPECT_TRUE(driver_->GetInquiry(inquiry.Out()));
  EXPECT_FALSE(inquiry.IsNull());
  EXPECT_EQ(inquiry.Length(), 0u);
  EXPECT_EQ(util_.GetPendingErrors(), "CVexaODBase::GetInquiry - Empty description returned by SDK.\r\n");
  util_.ClearPendingErrors();

  Bstr path;
  EXPECT_TRUE(driver_->GetDrivePath(path.Out()));
  EXPECT_EQ(path.Utf8(), "/dev/sr0");
  script_->drivePath.clear();
  EXPECT_FALSE(driver_->GetDrivePath(path.Out()));
  EXPECT_EQ(util_.GetPendingErrors(), "CVexaODBase::GetDrivePath - Empty path returned by SDK.\r\n");

  Variant speeds;
  EXPECT_TRUE(driver_->GetDriveSpeeds(&speeds));
  EXPECT_EQ(speeds.vt, VT_ARRAY | VT_I4);
  LONG max = 0;
  EXPECT_TRUE(driver_->GetMaxBurnSpeed(&max));
  EXPECT_EQ(max, 16);
}

TEST_F(ODBaseTest, EraseTimeIsCountedFromTheStartInWholeSeconds) {
  ASSERT_EQ(driver_->StartEngine(false), 0);
  ASSERT_TRUE(driver_->StartErase());
  clock_->Advance(std::chrono::milliseconds(61999));
  LONG seconds = 0;
  EXPECT_TRUE(driver_->GetEraseElapsedTime(&seconds));
  EXPECT_EQ(seconds, 61);
  bool done = true;
  EXPECT_TRUE(driver_->IsEraseDone(&done));
  EXPECT_FALSE(done);
}

TEST_F(ODBaseTest, AnotherWriterReplacesTheCurrentOne) {
  script_->drives = 2;
  ASSERT_EQ(driver_->StartEngine(false), 0);
  VARIANT_BOOL present = VARIANT_FALSE;
  EXPECT_TRUE(driver_->GetNextDrive(&present));
  EXPECT_EQ(present, VARIANT_TRUE);
  EXPECT_EQ(script_->Calls().back(), "GetNextDrive drive|128");
  // No further writer: the current one stays.
  EXPECT_TRUE(driver_->GetNextDrive(&present));
  EXPECT_EQ(present, VARIANT_FALSE);
  LONG status = -1;
  EXPECT_TRUE(driver_->GetDriveStatus(&status));
}

}  // namespace
}  // namespace vexa::core::test
