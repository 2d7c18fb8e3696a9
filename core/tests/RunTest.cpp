// The disc creation run against the fake engine: the defaults applied in
// order, the failure codes of each step, the user's cancel at each point
// where it can come, the erase of a used CD-RW, further copies of the same
// image, and the burn speed.
#include <signal.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>

#include "core/tests/CoreFixture.h"
#include "idl/ProductKey.h"
#include "platform/base/File.h"
#include "platform/base/Path.h"
#include "platform/base/StopRequest.h"
#include "platform/base/Text.h"
#include "platform/registry/Registry.h"

namespace vexa::core::test {
namespace {

using namespace vexa::com;

class RunTest : public CoreFixture {
 protected:
  HRESULT Run() { return core_->CreateVCD(VARIANT_FALSE, VARIANT_FALSE, VARIANT_TRUE); }
  // The engine calls of the run, from the first setting on; a file the run
  // wrote in its work folder shows as "WORK".
  std::vector<std::string> RunCalls() {
    std::vector<std::string> out;
    const std::string dir = core_.Get() ? Object(core_.Get())->WorkDirectory() : std::string();
    const std::string work = dir.empty() ? std::string() : "AddFile " + base::WithTrailingSeparator(dir);
    for (auto c : engine_->Calls()) {
      if (!work.empty() && c.rfind(work, 0) == 0) c = "AddFile WORK" + c.substr(c.find('|'));
      if (c.rfind("Set", 0) == 0 || c.rfind("AddFile", 0) == 0 || c == "StartPremaster" || c.rfind("StartBurn", 0) == 0 ||
          c.rfind("StartErase", 0) == 0 || c.rfind("CancelBurn", 0) == 0 || c == "Eject" || c == "EjectWhileBurning") {
        if (c.rfind("SetTempDirectory", 0) != 0) out.push_back(c);
      }
    }
    return out;
  }
  static bool Marker(const ScriptedStatusDialog& d, int step) { return d.MarkerShown(step); }
};

TEST_F(RunTest, AClientThatGaveOnlyPicturesGetsTheDefaultsInOrder) {
  localeTv_ = 1;     // PAL
  localePaper_ = 0;  // A4
  ASSERT_EQ(MakeAndInit(VEXACoreShowStatusNothing), S_OK);
  const auto photos = AddPhotos(2);
  ASSERT_EQ(Run(), S_OK) << ErrorText();
  EXPECT_EQ(Code(), VEXACoreSuccess);
  const std::vector<std::string> expected = {
      "SetFileSystemSupport 65",      "SetStillDelay 5000",       "SetStillTitleVisibleTime 2000",
      "SetTVSystem 2",                "SetPaperSize 1",
      // The disc's own pages, as this disc's copies.
      "AddFile WORK|/HOMEPAGE.HTM|(null)",
      "AddFile WORK|/README.TXT|(null)",
      "StartPremaster",               "SetBlocking 1",            "StartBurn 8|0|0|-1",
      "Eject",                        "SetBlocking 0"};
  EXPECT_EQ(RunCalls(), expected);
  EXPECT_EQ(Count("StartPremaster"), 1);
  EXPECT_TRUE(log_->Has("INFO", "NUMBER OF IMAGES = 2."));
  EXPECT_TRUE(log_->Has("INFO", "CVEXACore1::DoBurn - starting burn at 8x"));
  // Silent: no window ever, no question.
  EXPECT_FALSE(ui_->HasStatusDialog());
  EXPECT_TRUE(ui_->messages.empty());
}

TEST_F(RunTest, ARefusedDelayAndAFailingLocaleFallBackToTheDefaults) {
  localeFails_ = true;
  ASSERT_EQ(MakeAndInit(VEXACoreShowStatusNothing), S_OK);
  AddPhotos(1);
  EXPECT_EQ(core_->SetStillDelay(1), E_FAIL);
  TakeError();
  ASSERT_EQ(Run(), S_OK) << ErrorText();
  EXPECT_EQ(EngineCalls("SetStillDelay"), std::vector<std::string>{"SetStillDelay 5000"});
  EXPECT_EQ(EngineCalls("SetTVSystem"), std::vector<std::string>{"SetTVSystem 0"});
  EXPECT_EQ(EngineCalls("SetPaperSize"), std::vector<std::string>{"SetPaperSize 0"});
  EXPECT_TRUE(log_->Has("ERROR", "CVEXACore1::CreateVCD - Cannot Get a TV System. Using Default."));
  EXPECT_TRUE(log_->Has("ERROR", "CVEXACore1::CreateVCD - Cannot GetPaperSize. Using default."));
}

TEST_F(RunTest, EveryFailureOfTheRunLeavesItsCode) {
  struct Case {
    const char* name;
    std::function<void(FakeEngineScript&)> script;
    int photos;
    VEXACoreErrorCode code;
    const char* text;
  };
  const Case cases[] = {
      {"no pictures", [](FakeEngineScript&) {}, 0, VEXACoreNoStills,
       "CVEXACore1::DealWithInvalidStills - User had no images.\r\nCVEXACore1:CreateVCD - DealWithInvalidStills call failed."},
      {"used disc", [](FakeEngineScript& s) { s.blank = {false}; }, 1, VEXACoreDiscIsNotBlank,
       "CVEXACore1::IsDiscBlank - The CD-RW disc in the CD writer is not blank: erase it, or put in a blank disc."},
      {"written CD-R", [](FakeEngineScript& s) {
         s.blank = {false};
         s.discType = {VEXADiscTypeR};
       }, 1, VEXACoreDiscIsNotBlank,
       "CVEXACore1::IsDiscBlank - The disc in the CD writer is not blank: a CD-R that has been written to cannot be "
       "written again. Put in a blank CD-R.\r\nCVEXACore1::PrepareVCD - PrepareForWriting call failed."},
      {"closed disc", [](FakeEngineScript& s) {
         s.blank = {false};
         s.discType = {VEXADiscTypeROM};
       }, 1, VEXACoreDiscIsNotBlank,
       "CVEXACore1::IsDiscBlank - The disc in the CD writer is not blank: it is closed and cannot be written to. Put "
       "in a blank CD-R."},
      {"no disc", [](FakeEngineScript& s) { s.driveStatus = {VEXADriveStatusNotReady}; }, 1, VEXACoreSuccess,
       "CVEXACore1::IsDiscOK - Disc is not present."},
      {"premaster refused", [](FakeEngineScript& s) { s.failing = {"StartPremaster"}; }, 1, VEXACoreCannotCreateVideoCD,
       "CVEXACore1::DoPremaster - ODBase StartPremaster call failed."},
      {"no temp space", [](FakeEngineScript& s) {
         s.failing = {"StartPremaster"};
         s.lastResult = VEXAEngineResultTempSpaceLimitReached;
       }, 1, VEXACoreInsufficientTempSpace, "CVEXACore1::DoPremaster - Insufficient temp space returned from Premaster."},
      {"premaster failed", [](FakeEngineScript& s) { s.premasterResult = VEXAEngineResultBrellOtherFail; }, 1,
       VEXACoreCannotCreateVideoCD, "CVexaODBase::PremasterSucceeded - Premaster failed with error code 1006.\r\n"},
      {"premaster failed, saying why", [](FakeEngineScript& s) {
         s.premasterResult = VEXAEngineResultBrellOtherFail;
         s.premasterMessage = u"no space left in /tmp/w";
       }, 1, VEXACoreCannotCreateVideoCD,
       "CVexaODBase::PremasterSucceeded - Premaster failed with error code 1006. no space left in /tmp/w\r\n"},
      {"premaster lost", [](FakeEngineScript& s) { s.failing = {"IsPremasterDone"}; }, 1, VEXACoreCannotCreateVideoCD,
       "CVEXACore1::DoPremaster - ODBase IsPremasterDone call failed."},
      {"burn refused", [](FakeEngineScript& s) { s.failing = {"StartBurn"}; }, 1, VEXACoreCannotBurnVideoCD,
       "CVEXACore1::DoBurn - ODBase StartBurn call failed."},
      {"burn failed", [](FakeEngineScript& s) { s.burnResult = VEXAEngineResultBrellWriteFail; }, 1, VEXACoreBurnFailure,
       "CVexaODBase::BurnSucceeded - Burn failed with error code 1003.\r\n"},
      // The drive's own words, not just a number.
      {"burn failed, the drive saying why", [](FakeEngineScript& s) {
         s.burnResult = VEXAEngineResultBrellWriteFail;
         s.burnMessage = u"Write failed: MEDIUM NOT PRESENT";
       }, 1, VEXACoreBurnFailure,
       "CVexaODBase::BurnSucceeded - Burn failed with error code 1003. The writer reported: Write failed: MEDIUM NOT "
       "PRESENT\r\n"},
      {"burn lost", [](FakeEngineScript& s) { s.failing = {"IsBurnDone"}; }, 1, VEXACoreCannotBurnVideoCD,
       "CVEXACore1::DoBurn - ODBase IsBurnDone call failed."},
      {"disc too small", [](FakeEngineScript& s) { s.burnsTooSmall = 1; }, 1, VEXACoreDiscTooSmall,
       "IVEXABurner::StartBurn - The disc is too small: the disc image needs 100 MB (51200 sectors) and the disc has "
       "58 MB (30000 sectors) free.\r\nCVexaODBase::StartBurn - The disc is too small for the disc image.\r\n"
       "CVEXACore1::DoBurn - The disc is too small for the disc image; nothing was written."},
      // The image estimated before the premaster: refused then, nothing made.
      {"disc too small for the estimate", [](FakeEngineScript& s) { s.premastersTooSmall = 1; }, 1,
       VEXACoreDiscTooSmall,
       "IVEXAPremaster::StartPremaster - The disc is too small: the disc image needs 702 MB (359850 sectors) and the "
       "disc has 702 MB (359849 sectors) free.\r\nCVexaODBase::StartPremaster - The disc is too small for the disc "
       "image.\r\nCVEXACore1::DoPremaster - The disc is too small for the disc image; nothing was made."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    engine_ = std::make_shared<FakeEngineScript>();
    ASSERT_EQ(MakeAndInit(VEXACoreShowStatusNothing), S_OK);
    AddPhotos(c.photos);
    c.script(*engine_);
    EXPECT_EQ(Run(), E_FAIL);
    EXPECT_EQ(Code(), c.code);
    EXPECT_NE(ErrorText().find(c.text), std::string::npos) << ErrorText();
    // A disc found written says so; it is no failed question.
    if (c.code == VEXACoreDiscIsNotBlank) {
      EXPECT_EQ(ErrorText().find("IsDiscBlank call failed"), std::string::npos) << ErrorText();
    }
    // The disc always comes out of a burn that started.
    if (engine_->CalledWith("StartBurn")) {
      EXPECT_TRUE(engine_->CalledWith("Eject"));
    }
    core_.Reset();
  }
}

// A disc holds 599 pictures, the title picture counted. A folder or a list
// that would take the disc past them is refused before any of its pictures
// is added, as too many (not as pictures that cannot be read), with how
// many to remove; as many as fit are all taken.
TEST_F(RunTest, PicturesBeyondWhatADiscHoldsAreRefusedAtOnceWithHowManyToRemove) {
  const std::string jpeg = std::string("\xFF\xD8\xFF\xE0", 4) + "photo" + std::string("\xFF\xD9", 2);
  auto folder = [&](int n) {
    const std::string dir = Path("folder" + std::to_string(n));
    base::MakeDirs(dir);
    std::vector<std::string> files;
    for (int i = 0; i < n; ++i) {
      files.push_back(dir + "/p" + std::to_string(1000 + i) + ".jpg");
      base::WriteFileAtomic(files.back(), jpeg);
    }
    return files;
  };
  // The image-list file: UTF-16LE paths, each ended by a zero.
  auto list = [&](const std::vector<std::string>& files) {
    std::string bytes;
    for (const std::string& f : files) {
      for (char16_t c : base::Utf8ToUtf16(f) + u'\0') {
        bytes += static_cast<char>(c & 0xFF);
        bytes += static_cast<char>(c >> 8);
      }
    }
    const std::string path = Path("pictures.lst");
    base::WriteFileAtomic(path, bytes);
    return path;
  };
  std::vector<std::string> six = folder(600);
  folder(599);
  folder(598);
  struct Row {
    const char* name;
    bool title;
    int photos;
    bool asList;
    int tooMany;  // 0: all are taken
  } rows[] = {
      {"599 photos and the title", true, 599, false, 1},
      {"598 photos and the title", true, 598, false, 0},
      {"599 photos", false, 599, false, 0},
      {"600 photos in a list", false, 600, true, 1},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    engine_ = std::make_shared<FakeEngineScript>();
    scriptUi_ = [](ScriptedUi& ui) { ui.QueueAnswer(kIDOK); };
    ASSERT_EQ(MakeAndInit(VEXACoreShowStatusAll), S_OK);
    Bstr title(u"Summer"), none(u"");
    if (r.title) {
      ASSERT_EQ(core_->SetTitleLines(title.Get(), none.Get(), none.Get()), S_OK) << ErrorText();
    }
    const int before = Count("AddStill");
    HRESULT hr;
    if (r.asList) {
      Bstr path = Bstr::FromUtf8(list(std::vector<std::string>(six.begin(), six.begin() + r.photos)));
      hr = core_->AddImageListFile(path.Get());
    } else {
      Bstr dir = Bstr::FromUtf8(Path("folder" + std::to_string(r.photos)));
      hr = core_->AddImageDirectory(dir.Get());
    }
    if (r.tooMany == 0) {
      EXPECT_EQ(hr, S_OK) << ErrorText();
      EXPECT_EQ(Count("AddStill") - before, r.photos);
      EXPECT_TRUE(ui_->messages.empty());
      core_.Reset();
      continue;
    }
    EXPECT_EQ(hr, E_FAIL);
    EXPECT_EQ(Code(), VEXACoreTooManyStills);
    // Nothing of the call was added, and nothing counts as unreadable.
    EXPECT_EQ(Count("AddStill"), before);
    EXPECT_TRUE(Object(core_.Get())->InvalidStills().empty());
    const std::string wanted = std::to_string(599 + r.tooMany), excess = std::to_string(r.tooMany);
    EXPECT_NE(ErrorText().find(" - Too many pictures: a disc holds at most 599, the title picture included; this disc "
                               "would have " + wanted + " (" + std::to_string(r.photos) + " pictures" +
                               (r.title ? " and the title picture" : "") + "). Remove " + excess +
                               " of the pictures.\r\n"),
              std::string::npos)
        << ErrorText();
    ASSERT_EQ(ui_->messages.size(), 1u);
    EXPECT_EQ(ui_->messages[0].text, "A disc holds at most 599 pictures, the title picture included. This disc would "
                                     "have " + wanted + ": " + excess + " too many.\r\n\r\nRemove " + excess +
                                     " of the pictures, then try again.");
    EXPECT_EQ(ui_->messages[0].text.find("corrupt"), std::string::npos);
    core_.Reset();
  }

  // A title after a full disc's photos is refused the same way.
  engine_ = std::make_shared<FakeEngineScript>();
  ASSERT_EQ(MakeAndInit(VEXACoreShowStatusNothing), S_OK);
  Bstr dir = Bstr::FromUtf8(Path("folder599")), title(u"Summer"), none(u"");
  ASSERT_EQ(core_->AddImageDirectory(dir.Get()), S_OK) << ErrorText();
  EXPECT_EQ(core_->SetTitleLines(title.Get(), none.Get(), none.Get()), E_FAIL);
  EXPECT_EQ(Code(), VEXACoreTooManyStills);
  EXPECT_NE(ErrorText().find("CVEXACore1::SetTitleLines - Too many pictures: a disc holds at most 599, the title "
                             "picture included; this disc would have 600 (599 pictures and the title picture). Remove 1 of the pictures."),
            std::string::npos)
      << ErrorText();
  EXPECT_EQ(Count("AddStill"), 599);
}

TEST_F(RunTest, RejectedPicturesStopTheRunOnlyWhenNoneIsLeft) {
  ASSERT_EQ(MakeAndInit(VEXACoreShowStatusNecessaryErrorsOnly), S_OK);
  Bstr missing = Bstr::FromUtf8(Path("missing.jpg")), none(u"");
  EXPECT_EQ(core_->AddStill(missing.Get(), missing.Get(), none.Get(), 0, VEXACoreResizePicture, 0, VARIANT_FALSE), E_FAIL);
  TakeError();
  EXPECT_EQ(Run(), E_FAIL);
  EXPECT_EQ(Code(), VEXACoreNoValidStills);
  EXPECT_NE(ErrorText().find("CVEXACore1::DealWithInvalidStills - User had no valid images."), std::string::npos);
  core_.Reset();

  // Some good, some bad: the user is shown the bad ones and may go on.
  scriptUi_ = [](ScriptedUi& ui) {
    ui.QueueAnswer(kIDOK);
    ui.PressWhen([](const ScriptedStatusDialog& d) { return d.ButtonEnabled(kButtonOK); }, kButtonOK);
  };
  ASSERT_EQ(MakeAndInit(VEXACoreShowStatusNecessaryErrorsOnly), S_OK);
  AddPhotos(1);
  EXPECT_EQ(core_->AddStill(missing.Get(), missing.Get(), none.Get(), 0, VEXACoreResizePicture, 0, VARIANT_FALSE), E_FAIL);
  TakeError();
  EXPECT_EQ(Run(), S_OK) << ErrorText();
  ASSERT_GE(ui_->messages.size(), 1u);
  EXPECT_EQ(ui_->messages[0].type, kMessageOKCancel);
  EXPECT_NE(ui_->messages[0].text.find("without the following images:\r\n" + Path("missing.jpg")), std::string::npos);
  EXPECT_TRUE(log_->Has("INFO", "CVEXACore1::DealWithInvalidStills - User added some invalid images."));
  core_.Reset();

  // ...or stop there: the user's cancel (code 21), said as information,
  // with no error and no error information.
  engine_ = std::make_shared<FakeEngineScript>();
  scriptUi_ = [](ScriptedUi& ui) { ui.QueueAnswer(kIDCANCEL); };
  ASSERT_EQ(MakeAndInit(VEXACoreShowStatusAll), S_OK);
  AddPhotos(1);
  EXPECT_EQ(core_->AddStill(missing.Get(), missing.Get(), none.Get(), 0, VEXACoreResizePicture, 0, VARIANT_FALSE), E_FAIL);
  TakeError();
  const std::size_t errorsBefore = log_->Texts("ERROR").size();
  EXPECT_EQ(Run(), E_FAIL);
  EXPECT_EQ(Code(), VEXACoreCancelled);
  EXPECT_EQ(ErrorText(), "");
  EXPECT_TRUE(log_->Has("INFO", "CVEXACore1::DealWithInvalidStills - User pressed Cancel."));
  EXPECT_TRUE(log_->Has("INFO", "CVEXACore1:CreateVCD - DealWithInvalidStills call failed."));
  EXPECT_EQ(log_->Texts("ERROR").size(), errorsBefore);
  EXPECT_EQ(engine_->burns, 0);
  core_.Reset();

  // Silent, with some bad: the disc is made of the good ones.
  engine_ = std::make_shared<FakeEngineScript>();
  ASSERT_EQ(MakeAndInit(VEXACoreShowStatusNothing), S_OK);
  AddPhotos(2);
  EXPECT_EQ(core_->AddStill(missing.Get(), missing.Get(), none.Get(), 0, VEXACoreResizePicture, 0, VARIANT_FALSE), E_FAIL);
  TakeError();
  EXPECT_EQ(Run(), S_OK) << ErrorText();
  EXPECT_EQ(Count("AddStill"), 2);
}

TEST_F(RunTest, TheStatusDialogWalksItsSixStepsAndOffersACopyOfTheSameImage) {
  scriptUi_ = [](ScriptedUi& ui) {
    // Two copies, then done.
    for (int i = 0; i < 2; ++i) {
      ui.PressWhen([](const ScriptedStatusDialog& d) { return d.ButtonEnabled(kButtonExtra); }, kButtonExtra);
    }
    ui.PressWhen([](const ScriptedStatusDialog& d) { return d.ButtonEnabled(kButtonOK); }, kButtonOK);
  };
  ASSERT_EQ(MakeAndInit(VEXACoreShowStatusAll), S_OK);
  AddPhotos(3);
  ASSERT_EQ(Run(), S_OK) << ErrorText();
  EXPECT_EQ(engine_->burns, 3) << [&] {
    std::string all;
    for (const auto& e : ui_->Dialog()->events) all += e + "\n";
    return all;
  }();
  EXPECT_EQ(Count("StartPremaster"), 1);
  EXPECT_EQ(Count("Eject"), 3);
  EXPECT_EQ(ui_->PendingPresses(), 0u);
  ScriptedStatusDialog* d = ui_->Dialog();
  // The markers came in their order: disc check, premaster, the two closing
  // steps, burn; no erase.
  std::vector<int> shown;
  for (const std::string& e : d->events) {
    if (e.size() == 9 && e.substr(0, 5) == "step " && e.substr(6) == " on") {
      const int step = e[5] - '0';
      if (shown.empty() || shown.back() != step) shown.push_back(step);
    }
  }
  const std::vector<int> firstDisc(shown.begin(), shown.begin() + 5);
  EXPECT_EQ(firstDisc, (std::vector<int>{1, 3, 4, 5, 6}));
  for (int step = 1; step <= 6; ++step) EXPECT_EQ(d->LabelBlue(step), step != 2) << step;
  EXPECT_NE(std::find(d->texts.begin(), d->texts.end(), "Orlune disc creation process complete!"), d->texts.end());
  EXPECT_NE(std::find(d->texts.begin(), d->texts.end(), "Write speed 8x - Time Remaining: 0:20"), d->texts.end());
  EXPECT_NE(std::find(d->texts.begin(), d->texts.end(), "Time Remaining: 0:30"), d->texts.end());
  // Before the first estimate the burn says there is none yet; a finished
  // phase reads 0:00, never "0:0" or an empty time.
  EXPECT_NE(std::find(d->texts.begin(), d->texts.end(), "Write speed 8x - Time Remaining: estimating"),
            d->texts.end());
  EXPECT_NE(std::find(d->texts.begin(), d->texts.end(), "Time Remaining: 0:00"), d->texts.end());
  for (const std::string& t : d->texts) {
    EXPECT_EQ(t.find("Remaining: :"), std::string::npos) << t;
    EXPECT_FALSE(t.size() >= 4 && t.compare(t.size() - 4, 4, " 0:0") == 0) << t;
  }
  EXPECT_NE(std::find(d->texts.begin(), d->texts.end(), "Starting photo show creation - This may take a few minutes"),
            d->texts.end());
  EXPECT_FALSE(d->IsShown());
  // Every fixed wait ran on the test's clock.
  EXPECT_GT(clock_->Waited(), 10000u);
}

TEST_F(RunTest, NothingWaitsIdleWhereNobodyWatchesAndTheEnginesEndWakesThePoll) {
  // Premaster and burn each take four polls unless the test ends them during
  // the first wait; the poll interval is 2.7 s.
  struct Case {
    const char* name;
    LONG level;
    bool window;     // a person sees the status dialog
    bool tellsEnd;   // the engine tells when its work ends
    bool endEarly;   // the work ends during the first wait of each phase
    std::uint64_t waited;
  };
  const Case cases[] = {
      // Only the poll interval while the work runs, never a pause for show.
      {"silent, polled", VEXACoreShowStatusNothing, false, false, false, 4 * 2700},
      {"silent, told, work ends late", VEXACoreShowStatusNothing, false, true, false, 4 * 2700},
      {"silent, told, work ends early", VEXACoreShowStatusNothing, false, true, true, 0},
      {"status without a window, told", VEXACoreShowStatusAll, false, true, true, 0},
      // With the engine unable to tell, an early end still waits out the poll.
      {"silent, polled, work ends early", VEXACoreShowStatusNothing, false, false, true, 2 * 2700},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    engine_ = std::make_shared<FakeEngineScript>();
    engine_->premasterPolls = 4;
    engine_->burnPolls = 4;
    engine_->tellsEnd = c.tellsEnd;
    clock_ = std::make_shared<ManualFlowClock>();
    if (c.endEarly) clock_->duringWait = [this] { engine_->EndWorkNow(); };
    scriptUi_ = [&c](ScriptedUi& ui) { ui.interactive = c.window; };
    ASSERT_EQ(MakeAndInit(c.level), S_OK);
    AddPhotos(2);
    EXPECT_EQ(Run(), S_OK) << ErrorText();
    EXPECT_EQ(engine_->burns, 1);
    EXPECT_EQ(clock_->Waited(), c.waited);
    core_.Reset();
  }
}

TEST_F(RunTest, OkOrCancelInTheEndStateEndsTheRunWithOneDisc) {
  for (int button : {kButtonOK, kButtonCancel}) {
    engine_ = std::make_shared<FakeEngineScript>();
    scriptUi_ = [button](ScriptedUi& ui) {
      if (button == kButtonOK) {
        ui.PressWhen([](const ScriptedStatusDialog& d) { return d.ButtonEnabled(kButtonOK); }, kButtonOK);
      } else {
        // Cancel is disabled in the end state: a request set by Esc still ends it.
        ui.onPump = [&ui] {
          if (ui.Dialog() && ui.Dialog()->ButtonEnabled(kButtonExtra)) ui.Dialog()->cancelRequested = true;
        };
      }
    };
    ASSERT_EQ(MakeAndInit(VEXACoreShowStatusAll), S_OK);
    AddPhotos(1);
    EXPECT_EQ(Run(), S_OK) << ErrorText();
    EXPECT_EQ(Code(), VEXACoreSuccess);
    EXPECT_EQ(engine_->burns, 1);
    core_.Reset();
  }
}

TEST_F(RunTest, ACancelConfirmedAfterTheDiscCheckOfACopyEndsTheRunAsCancelled) {
  scriptUi_ = [](ScriptedUi& ui) {
    ui.PressWhen([](const ScriptedStatusDialog& d) { return d.ButtonEnabled(kButtonExtra); }, kButtonExtra);
    // The copy's disc check is under way (step 1 again): cancel, and confirm.
    ui.PressWhen([](const ScriptedStatusDialog& d) { return d.MarkerShown(1) && !d.ButtonEnabled(kButtonExtra); },
                 kButtonCancel);
    ui.QueueAnswer(kIDYES);
  };
  ASSERT_EQ(MakeAndInit(VEXACoreShowStatusAll), S_OK);
  AddPhotos(1);
  EXPECT_EQ(Run(), E_FAIL);
  EXPECT_EQ(Code(), VEXACoreCancelled);
  EXPECT_EQ(engine_->burns, 1);
  ASSERT_EQ(ui_->messages.size(), 1u);
  EXPECT_EQ(ui_->messages[0].text, "Are you sure you want to cancel?");
  EXPECT_TRUE(log_->Has("INFO", "CVEXACore1::PrepareForWriting - User pressed Cancel."));
}

TEST_F(RunTest, ACancelGivesCode21BeforeTheBurnAnd11DuringIt) {
  struct Case {
    const char* name;
    std::function<bool(const ScriptedStatusDialog&)> when;
    int answer;
    VEXACoreErrorCode code;
    int burns;
    bool cancelBurn;
  };
  const Case cases[] = {
      {"disc check", [this](const ScriptedStatusDialog&) { return engine_->CalledWith("GetDriveStatus"); }, kIDYES,
       VEXACoreCancelled, 0, false},
      {"closing step", [](const ScriptedStatusDialog& d) { return d.MarkerShown(4); }, kIDYES, VEXACoreCancelled, 0, false},
      {"burn", [](const ScriptedStatusDialog& d) { return d.MarkerShown(6) && d.Progress() >= 4; }, kIDYES,
       VEXACoreBurnCancelled, 1, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    engine_ = std::make_shared<FakeEngineScript>();
    engine_->burnPolls = 4;
    scriptUi_ = [&c](ScriptedUi& ui) {
      ui.PressWhen(c.when, kButtonCancel);
      ui.QueueAnswer(c.answer);
    };
    ASSERT_EQ(MakeAndInit(VEXACoreShowStatusAll), S_OK);
    AddPhotos(1);
    EXPECT_EQ(Run(), E_FAIL);
    EXPECT_EQ(Code(), c.code);
    EXPECT_EQ(engine_->burns, c.burns);
    EXPECT_EQ(engine_->CalledWith("CancelBurn 0"), c.cancelBurn);
    // No partial work: nothing was burned after a cancel before the burn, and
    // the disc came out only after the cancelled burn had stopped.
    EXPECT_FALSE(engine_->CalledWith("EjectWhileBurning"));
    if (c.cancelBurn) {
      EXPECT_NE(std::find(ui_->Dialog()->texts.begin(), ui_->Dialog()->texts.end(), "Cancelling Burn."),
                ui_->Dialog()->texts.end());
      EXPECT_EQ(ui_->messages[0].text.rfind("Are you sure you want to cancel?\r\n\r\nThe orlune disc creator software "
                                            "has started writing",
                                            0),
                0u);
      EXPECT_TRUE(log_->Has("INFO", "Burn Cancelled."));
    }
    core_.Reset();
  }
}

// The CD-R reminder of a first run: no flag is stored yet, which is no
// failure (no error line) and shows the reminder. A flag that is there but
// cannot be read is still said, and the reminder is shown then too.
TEST_F(RunTest, AFirstRunsMissingReminderFlagIsNoError) {
  struct Case {
    const char* name;
    bool storeUnreadable;
    bool errorLine;
  };
  for (const Case& c : {Case{"first run", false, false}, Case{"a flag of the wrong type", true, true}}) {
    SCOPED_TRACE(c.name);
    reg::DeleteValue(reg::Hive::CurrentUser, kProductKey, "CD-R_VS_CD-RW_NAG");
    if (c.storeUnreadable) {
      ASSERT_EQ(reg::SetValue(reg::Hive::CurrentUser, kProductKey, "CD-R_VS_CD-RW_NAG", reg::Value::Dword(1)),
                reg::Status::Ok);
    }
    engine_ = std::make_shared<FakeEngineScript>();
    engine_->discType = {VEXADiscTypeR};
    scriptUi_ = [](ScriptedUi& ui) {
      ui.QueueAnswer(kIDOK);
      ui.PressWhen([](const ScriptedStatusDialog& d) { return d.ButtonEnabled(kButtonOK); }, kButtonOK);
    };
    log_->lines.clear();
    ASSERT_EQ(MakeAndInit(VEXACoreShowStatusAll), S_OK);
    // Every error line to the log at once, as vexa runs the object.
    core_->SetLoggingLevel(VARIANT_TRUE);
    AddPhotos(1);
    ASSERT_EQ(Run(), S_OK) << ErrorText();
    const bool reminded = std::any_of(ui_->messages.begin(), ui_->messages.end(), [](const ScriptedUi::Message& m) {
      return m.text.rfind("You have inserted CD-R media", 0) == 0;
    });
    EXPECT_TRUE(reminded);
    EXPECT_EQ(log_->Has("ERROR", "CVEXACore1::PrepareForWriting - CVexaCoreUtil::GetCDRvsCDRW_NagFlag() call failed."),
              c.errorLine);
    if (!c.errorLine) {
      EXPECT_EQ(log_->Texts("ERROR"), std::vector<std::string>{});
    }
    core_.Reset();
  }
}

// A cancel that a stop signal asked for is logged as that signal, not as a
// press of Cancel (in a process of its own: the request cannot be taken
// back).
TEST_F(RunTest, ACancelBySignalIsLoggedAsTheSignal) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        base::InstallStopHandlers(std::chrono::minutes(10));
        ::raise(SIGTERM);
        CVexaCoreUtil util;
        auto store = std::make_shared<LogStore>();
        util.SetLogger(MakeFakeLogger(store));
        FlowContext flow(util, std::make_shared<ManualFlowClock>());
        flow.Cancel("CVEXACore1::AddStill - User pressed Cancel.");
        const bool ok = store->Has("INFO", "CVEXACore1::AddStill - Stopped by signal 15 (SIGTERM).") &&
                        FlowContext::CancelLine("Burn Cancelled.") ==
                            "Burn Cancelled. Stopped by signal 15 (SIGTERM)." &&
                        flow.Code() == VEXACoreCancelled;
        std::_Exit(ok ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
}

// The cancel question of a write under way has No as its default (Yes
// spoils a CD-R). A confirmed cancel of a CD-R's write then says that the
// disc was left incomplete; a CD-RW's, or a write that went on, does not.
TEST_F(RunTest, ACancelledWriteOfACDRSaysTheDiscIsSpoilt) {
  const struct {
    const char* name;
    VEXADiscType disc;
    int answer;
    bool spoilt;
  } cases[] = {{"CD-R, yes", VEXADiscTypeR, kIDYES, true},
               {"CD-RW, yes", VEXADiscTypeRW, kIDYES, false},
               {"CD-R, no", VEXADiscTypeR, kIDNO, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    engine_ = std::make_shared<FakeEngineScript>();
    engine_->burnPolls = 4;
    engine_->discType = {c.disc};
    // No CD-R reminder: the cancel question is the first message.
    ASSERT_TRUE(CVexaCoreUtil::SetCDRvsCDRW_NagFlag(false));
    scriptUi_ = [&c](ScriptedUi& ui) {
      ui.PressWhen([](const ScriptedStatusDialog& d) { return d.MarkerShown(6) && d.Progress() >= 4; }, kButtonCancel);
      ui.QueueAnswer(c.answer);
      ui.PressWhen([](const ScriptedStatusDialog& d) { return d.ButtonEnabled(kButtonOK); }, kButtonOK);
    };
    ASSERT_EQ(MakeAndInit(VEXACoreShowStatusAll), S_OK);
    AddPhotos(1);
    EXPECT_EQ(Run(), c.answer == kIDYES ? E_FAIL : S_OK);
    const auto& messages = ui_->messages;
    const auto question = std::find_if(messages.begin(), messages.end(), [](const ScriptedUi::Message& m) {
      return m.text.rfind("Are you sure you want to cancel?", 0) == 0;
    });
    ASSERT_NE(question, messages.end());
    EXPECT_EQ(question->type, kMessageYesNo | kMessageSecondDefault);
    const auto spoilt = std::find_if(messages.begin(), messages.end(), [](const ScriptedUi::Message& m) {
      return m.text.find("left incomplete and cannot be used") != std::string::npos;
    });
    EXPECT_EQ(spoilt != messages.end(), c.spoilt);
    if (c.spoilt) {
      EXPECT_GT(spoilt, question);
      EXPECT_EQ(spoilt->type, kMessageOK);
      EXPECT_EQ(Code(), VEXACoreBurnCancelled);
    }
    core_.Reset();
  }
}

TEST_F(RunTest, ACancelAnsweredNoLetsTheBurnGoOn) {
  engine_->burnPolls = 4;
  scriptUi_ = [](ScriptedUi& ui) {
    ui.PressWhen([](const ScriptedStatusDialog& d) { return d.MarkerShown(6) && d.Progress() >= 4; }, kButtonCancel);
    ui.QueueAnswer(kIDNO);
    ui.PressWhen([](const ScriptedStatusDialog& d) { return d.ButtonEnabled(kButtonOK); }, kButtonOK);
  };
  ASSERT_EQ(MakeAndInit(VEXACoreShowStatusAll), S_OK);
  AddPhotos(1);
  EXPECT_EQ(Run(), S_OK) << ErrorText();
  EXPECT_EQ(engine_->cancels, 0);
  EXPECT_EQ(engine_->burns, 1);
}

// An engine whose estimate has run out (100 percent, nothing remaining)
// while the photo show is still being made: the bar moves on, never stands
// full and never goes back, until the work is done.
TEST_F(RunTest, ThePremasterBarMovesWhenTheEngineEstimateHasRunOut) {
  engine_->premasterPolls = 6;
  engine_->premasterPercent = 100;
  engine_->premasterRemaining = {0, 0, 0, 0, 0, 0, 0, 0};
  std::vector<int> shown;
  scriptUi_ = [this, &shown](ScriptedUi& ui) {
    ui.onPump = [this, &ui, &shown] {
      if (ui.Dialog() && ui.Dialog()->MarkerShown(3) && engine_->CalledWith("IsPremasterDone") &&
          !engine_->CalledWith("GetLastProcessResultCode"))
        shown.push_back(ui.Dialog()->Progress());
    };
    ui.PressWhen([](const ScriptedStatusDialog& d) { return d.ButtonEnabled(kButtonOK); }, kButtonOK);
  };
  ASSERT_EQ(MakeAndInit(VEXACoreShowStatusAll), S_OK);
  AddPhotos(1);
  EXPECT_EQ(Run(), S_OK) << ErrorText();
  // The bar is full only once the work is done.
  const auto full = std::find(shown.begin(), shown.end(), 100);
  for (auto it = full; it != shown.end(); ++it) EXPECT_EQ(*it, 100);
  const std::vector<int> working(shown.begin(), full);
  ASSERT_GE(working.size(), 3u);
  for (std::size_t i = 1; i < working.size(); ++i) EXPECT_GE(working[i], working[i - 1]) << i;
  EXPECT_GT(working.back(), working.front());
}

// Cancel works while the photo show is made: confirmed, the engine's worker
// is stopped and waited for before the run ends as cancelled; answered No,
// the run goes on to the burn.
TEST_F(RunTest, APremasterCancelStopsTheWorker) {
  const struct {
    const char* name;
    int answer;
  } cases[] = {{"yes", kIDYES}, {"no", kIDNO}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    engine_ = std::make_shared<FakeEngineScript>();
    engine_->premasterPolls = 6;
    bool pressed = false;
    scriptUi_ = [this, &c, &pressed](ScriptedUi& ui) {
      ui.onPump = [this, &ui, &pressed] {
        if (pressed || !ui.Dialog() || !engine_->CalledWith("IsPremasterDone")) return;
        // The premaster's worker runs: Cancel is there to be pressed.
        EXPECT_TRUE(ui.Dialog()->ButtonEnabled(kButtonCancel));
        pressed = ui.Dialog()->Press(kButtonCancel);
      };
      ui.QueueAnswer(c.answer);
      if (c.answer == kIDNO)
        ui.PressWhen([](const ScriptedStatusDialog& d) { return d.ButtonEnabled(kButtonOK); }, kButtonOK);
    };
    ASSERT_EQ(MakeAndInit(VEXACoreShowStatusAll), S_OK);
    AddPhotos(1);
    const HRESULT hr = Run();
    EXPECT_TRUE(pressed);
    ASSERT_EQ(ui_->messages.size(), 1u);
    EXPECT_EQ(ui_->messages[0].text, "Are you sure you want to cancel?");
    if (c.answer == kIDYES) {
      EXPECT_EQ(hr, E_FAIL);
      EXPECT_EQ(Code(), VEXACoreCancelled);
      EXPECT_TRUE(engine_->CalledWith("CancelPremaster"));
      EXPECT_EQ(engine_->burns, 0);
      // The worker had stopped before the run ended: the last question
      // about it was answered "done".
      const auto calls = engine_->Calls();
      const auto cancel = std::find(calls.begin(), calls.end(), "CancelPremaster");
      ASSERT_NE(cancel, calls.end());
      EXPECT_GE(std::count(cancel, calls.end(), "IsPremasterDone"), 3);
      EXPECT_NE(std::find(ui_->Dialog()->texts.begin(), ui_->Dialog()->texts.end(), "Cancelling photo show creation."),
                ui_->Dialog()->texts.end());
      EXPECT_TRUE(log_->Has("INFO", "CVEXACore1::DoPremaster - User pressed Cancel."));
      EXPECT_FALSE(log_->Has("ERROR", "CVEXACore1::PrepareVCD - DoPremaster call failed."));
    } else {
      EXPECT_EQ(hr, S_OK) << ErrorText();
      EXPECT_FALSE(engine_->CalledWith("CancelPremaster"));
      EXPECT_EQ(engine_->burns, 1);
    }
    core_.Reset();
  }
}

TEST_F(RunTest, TheComputerIsKeptAwakeWhileTheEngineWorksAndNeverAfter) {
  struct Case {
    const char* name;
    std::function<void(FakeEngineScript&)> script;
    bool eraseAsked;
    HRESULT result;
    int locks;  // one per premaster, erase and burn that started
  };
  const Case cases[] = {
      {"burned", [](FakeEngineScript&) {}, false, S_OK, 2},
      {"a used CD-RW erased, then burned", [](FakeEngineScript& s) { s.blank = {false, true}; }, true, S_OK, 3},
      {"erase refused", [](FakeEngineScript& s) {
         s.blank = {false};
         s.failing = {"StartErase"};
       }, true, E_FAIL, 1},
      {"premaster refused", [](FakeEngineScript& s) { s.failing = {"StartPremaster"}; }, false, E_FAIL, 1},
      {"premaster failed", [](FakeEngineScript& s) { s.premasterResult = VEXAEngineResultBrellOtherFail; }, false,
       E_FAIL, 1},
      {"premaster lost", [](FakeEngineScript& s) { s.failing = {"IsPremasterDone"}; }, false, E_FAIL, 1},
      {"burn refused", [](FakeEngineScript& s) { s.failing = {"StartBurn"}; }, false, E_FAIL, 2},
      {"burn failed", [](FakeEngineScript& s) { s.burnResult = VEXAEngineResultBrellWriteFail; }, false, E_FAIL, 2},
      {"burn lost", [](FakeEngineScript& s) { s.failing = {"IsBurnDone"}; }, false, E_FAIL, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    engine_ = std::make_shared<FakeEngineScript>();
    awake_->readEnds.clear();
    bool heldWhileWorking = false;
    int messages = 0, heldAtMessage = 0;
    clock_->duringWait = [&] {
      if (awake_->Held() > 0) heldWhileWorking = true;
    };
    scriptUi_ = [&](ScriptedUi& ui) {
      if (c.eraseAsked) ui.QueueAnswer(kIDYES);
      // A message is about to be shown once the dialog's window is disabled:
      // nobody may be kept from sleeping while it waits for an answer.
      ui.onPump = [&] {
        if (!ui.Dialog() || ui.Dialog()->WindowEnabled()) return;
        ++messages;
        heldAtMessage += awake_->Held();
      };
      ui.PressWhen([](const ScriptedStatusDialog& d) { return d.ButtonEnabled(kButtonOK); }, kButtonOK);
    };
    ASSERT_EQ(MakeAndInit(VEXACoreShowStatusAll), S_OK);
    AddPhotos(1);
    c.script(*engine_);
    EXPECT_EQ(Run(), c.result) << ErrorText();
    // The engine's work was waited for under the lock.
    if (c.result == S_OK) {
      EXPECT_TRUE(heldWhileWorking);
    }
    EXPECT_EQ(awake_->Taken(), c.locks);
    EXPECT_EQ(awake_->Held(), 0);
    if (c.result == E_FAIL) {
      EXPECT_GT(messages, 0);
    }
    EXPECT_EQ(heldAtMessage, 0);
    clock_->duringWait = nullptr;
    core_.Reset();
  }
}

TEST_F(RunTest, AUsedCDRWIsErasedAfterYesAndCheckedAgainAfterNo) {
  engine_->blank = {false, true};
  engine_->discType = {VEXADiscTypeRW};
  engine_->erasePolls = 5;
  int tries = 0;
  scriptUi_ = [&tries](ScriptedUi& ui) {
    ui.QueueAnswer(kIDYES);
    ui.PressWhen([](const ScriptedStatusDialog& d) { return d.ButtonEnabled(kButtonOK); }, kButtonOK);
    // The erase cannot be cancelled: every click meanwhile finds Cancel off.
    ui.onPump = [&ui, &tries] {
      if (ui.Dialog() && ui.Dialog()->StatusText().rfind("Erasing Disc", 0) == 0) {
        EXPECT_FALSE(ui.Dialog()->Press(kButtonCancel));
        ++tries;
      }
    };
  };
  ASSERT_EQ(MakeAndInit(VEXACoreShowStatusAll), S_OK);
  AddPhotos(1);
  EXPECT_EQ(Run(), S_OK) << ErrorText();
  EXPECT_EQ(engine_->erases, 1);
  EXPECT_EQ(Count("IsEraseDone"), 6);
  EXPECT_EQ(ui_->messages[0].text.rfind("The CD-RW disc is not blank.", 0), 0u);
  EXPECT_TRUE(ui_->Dialog()->LabelBlue(2));
  EXPECT_NE(std::find(ui_->Dialog()->texts.begin(), ui_->Dialog()->texts.end(), "Erase Completed"),
            ui_->Dialog()->texts.end());
  EXPECT_TRUE(log_->Has("INFO", "Erase Completed in 9 seconds."));
  EXPECT_GE(tries, 6);
  core_.Reset();

  // No: the user puts in another disc, which is checked again after 4 s.
  engine_ = std::make_shared<FakeEngineScript>();
  engine_->blank = {false, true};
  scriptUi_ = [](ScriptedUi& ui) {
    ui.QueueAnswer(kIDNO);
    ui.PressWhen([](const ScriptedStatusDialog& d) { return d.ButtonEnabled(kButtonOK); }, kButtonOK);
  };
  ASSERT_EQ(MakeAndInit(VEXACoreShowStatusAll), S_OK);
  AddPhotos(1);
  EXPECT_EQ(Run(), S_OK) << ErrorText();
  EXPECT_EQ(engine_->erases, 0);
  EXPECT_EQ(Count("IsDiscBlank"), 2);
}

// A run nobody can bring another disc to gives up after two checks of the
// same disc; the check after an erase that worked is of the disc the run
// itself made blank and does not count, so that disc is written.
TEST_F(RunTest, AFailedEraseThenAGoodOneWritesTheBlankDiscWithNobodyToChangeIt) {
  engine_->blank = {false, false, true};
  engine_->discType = {VEXADiscTypeRW};
  // Ready at each check; not ready after the first erase, which failed.
  engine_->driveStatus = {VEXADriveStatusOK, VEXADriveStatusNotReady, VEXADriveStatusOK};
  scriptUi_ = [](ScriptedUi& ui) {
    ui.unattended = true;
    ui.QueueAnswer(kIDYES);  // erase
    ui.QueueAnswer(kIDOK);   // the erase failed: the disc stays in
    ui.QueueAnswer(kIDYES);  // erase again
    ui.PressWhen([](const ScriptedStatusDialog& d) { return d.ButtonEnabled(kButtonOK); }, kButtonOK);
  };
  ASSERT_EQ(MakeAndInit(VEXACoreShowStatusAll), S_OK);
  AddPhotos(1);
  EXPECT_EQ(Run(), S_OK) << ErrorText();
  EXPECT_EQ(Code(), VEXACoreSuccess);
  EXPECT_EQ(engine_->erases, 2);
  EXPECT_EQ(engine_->burns, 1);
  EXPECT_EQ(Count("IsDiscBlank"), 3);
  EXPECT_FALSE(log_->Has("ERROR", "CVEXACore1::PrepareForWriting - Nobody can change the disc; giving up after two checks."));
}

TEST_F(RunTest, ADiscTooSmallIsRefusedWithTheSpaceNeededAndACopyRefusedKeepsTheFirstDisc) {
  // The first disc: the user is told how much room the image needs.
  engine_->burnsTooSmall = 1;
  scriptUi_ = [](ScriptedUi& ui) { ui.QueueAnswer(kIDOK); };
  ASSERT_EQ(MakeAndInit(VEXACoreShowStatusAll), S_OK);
  AddPhotos(1);
  EXPECT_EQ(Run(), E_FAIL);
  EXPECT_EQ(Code(), VEXACoreDiscTooSmall);
  EXPECT_EQ(engine_->burns, 0);
  EXPECT_TRUE(engine_->CalledWith("Eject"));
  ASSERT_EQ(ui_->messages.size(), 1u);
  EXPECT_EQ(ui_->messages[0].text,
            "The disc in the CD writer is too small for this photo disc; nothing was written to it.\r\n\r\nThe disc "
            "is too small: the disc image needs 100 MB (51200 sectors) and the disc has 58 MB (30000 sectors) free."
            "\r\n\r\nInsert a blank disc with enough room, then try again.");
  core_.Reset();

  // Refused before the premaster, on the image's estimate: the same words
  // with the estimate's figures, and no premaster or burn begun.
  engine_ = std::make_shared<FakeEngineScript>();
  engine_->premastersTooSmall = 1;
  scriptUi_ = [](ScriptedUi& ui) { ui.QueueAnswer(kIDOK); };
  ASSERT_EQ(MakeAndInit(VEXACoreShowStatusAll), S_OK);
  AddPhotos(1);
  EXPECT_EQ(Run(), E_FAIL);
  EXPECT_EQ(Code(), VEXACoreDiscTooSmall);
  EXPECT_FALSE(engine_->CalledWith("IsPremasterDone"));
  EXPECT_FALSE(engine_->CalledWith("StartBurn"));
  ASSERT_EQ(ui_->messages.size(), 1u);
  EXPECT_EQ(ui_->messages[0].text,
            "The disc in the CD writer is too small for this photo disc; nothing was written to it.\r\n\r\nThe disc "
            "is too small: the disc image needs 702 MB (359850 sectors) and the disc has 702 MB (359849 sectors) free."
            "\r\n\r\nInsert a blank disc with enough room, then try again.");
  core_.Reset();

  // A copy on a disc too small: refused, the user told, and the run still
  // ends well with the first disc.
  engine_ = std::make_shared<FakeEngineScript>();
  auto* script = engine_.get();
  scriptUi_ = [script](ScriptedUi& ui) {
    ui.PressWhen(
        [script](const ScriptedStatusDialog& d) {
          if (!d.ButtonEnabled(kButtonExtra)) return false;
          std::lock_guard lock(script->mutex);
          script->burnsTooSmall = 1;  // the next disc is too small
          return true;
        },
        kButtonExtra);
    ui.QueueAnswer(kIDOK);
    ui.PressWhen([](const ScriptedStatusDialog& d) { return d.ButtonEnabled(kButtonOK); }, kButtonOK);
  };
  ASSERT_EQ(MakeAndInit(VEXACoreShowStatusAll), S_OK);
  AddPhotos(1);
  EXPECT_EQ(Run(), S_OK) << ErrorText();
  EXPECT_EQ(Code(), VEXACoreSuccess);
  EXPECT_EQ(engine_->burns, 1);
  EXPECT_EQ(Count("StartBurn"), 2);
  ASSERT_EQ(ui_->messages.size(), 1u);
  EXPECT_EQ(ui_->messages[0].text.rfind("The disc in the CD writer is too small for this photo disc", 0), 0u);
  EXPECT_TRUE(log_->Has("ERROR", "CVEXACore1::CreateVCD - The copy was not made; the discs made before it are good."));
}

TEST_F(RunTest, AnEraseAfterWhichTheDriveIsNotReadyIsNotDone) {
  engine_->blank = {false, true};
  engine_->discType = {VEXADiscTypeRW};
  // Ready for the disc check; not ready after the erase, even 7 s later.
  engine_->driveStatus = {VEXADriveStatusOK, VEXADriveStatusNotReady};
  scriptUi_ = [](ScriptedUi& ui) {
    ui.QueueAnswer(kIDYES);
    ui.QueueAnswer(kIDCANCEL);
  };
  ASSERT_EQ(MakeAndInit(VEXACoreShowStatusAll), S_OK);
  AddPhotos(1);
  EXPECT_EQ(Run(), E_FAIL);
  EXPECT_EQ(engine_->erases, 1);
  EXPECT_EQ(engine_->burns, 0);
  EXPECT_NE(ErrorText().find("CVEXACore1::DoErase - Erase not really done; status = 5."), std::string::npos);
  ASSERT_EQ(ui_->messages.size(), 2u);
  EXPECT_EQ(ui_->messages[1].text.rfind("The orlune disc creator software cannot erase the disc", 0), 0u);
}

TEST_F(RunTest, AnEraseThatNeverEndsFailsAtItsDeadline) {
  engine_->blank = {false};
  engine_->erasePolls = -1;
  scriptUi_ = [](ScriptedUi& ui) {
    ui.QueueAnswer(kIDYES);
    ui.QueueAnswer(kIDCANCEL);
  };
  ASSERT_EQ(MakeAndInit(VEXACoreShowStatusAll), S_OK);
  AddPhotos(1);
  EXPECT_EQ(Run(), E_FAIL);
  EXPECT_NE(ErrorText().find("CVEXACore1::DoErase - Erase not done after 480 seconds."), std::string::npos);
  ASSERT_EQ(ui_->messages.size(), 2u);
  EXPECT_EQ(ui_->messages[1].text.rfind("The orlune disc creator software cannot erase the disc", 0), 0u);
  EXPECT_EQ(engine_->burns, 0);
}

// The message the user sees names what the drive said, not only that the
// writing failed.
TEST_F(RunTest, AFailedBurnShowsTheDrivesWords) {
  engine_->burnResult = VEXAEngineResultBrellWriteFail;
  engine_->burnMessage = u"Write failed: the drive was still busy after 60 s: LOGICAL UNIT NOT READY, LONG WRITE IN "
                         u"PROGRESS";
  scriptUi_ = [](ScriptedUi& ui) { ui.QueueAnswer(kIDOK); };
  ASSERT_EQ(MakeAndInit(VEXACoreShowStatusAll), S_OK);
  AddPhotos(1);
  EXPECT_EQ(Run(), E_FAIL);
  EXPECT_EQ(Code(), VEXACoreBurnFailure);
  ASSERT_EQ(ui_->messages.size(), 1u);
  const std::string& text = ui_->messages[0].text;
  EXPECT_EQ(text.rfind("An error occurred while writing to the CD writer.", 0), 0u) << text;
  EXPECT_NE(text.find("\r\n\r\nThe writer reported: Write failed: the drive was still busy after 60 s: LOGICAL UNIT NOT "
                      "READY, LONG WRITE IN PROGRESS"),
            std::string::npos)
      << text;
}

// A writer that stopped answering, or was unplugged or switched off during
// the burn, is not taken for a buffer underrun: the message says which, with
// the drive's words, and asks for no slower speed.
TEST_F(RunTest, AWriterThatStoppedAnsweringOrIsGoneIsNotCalledABufferUnderrun) {
  struct Case {
    const char16_t* said;
    const char* begins;
  } const cases[] = {
      {u"Close session failed: NO ANSWER FROM THE DRIVE: the command timed out",
       "The CD writer stopped answering while the disc was written.\r\n\r\nThe writer reported: Close "
       "session failed: NO ANSWER FROM THE DRIVE: the command timed out\r\n\r\nCheck that the writer is connected"},
      {u"Write failed: NO ANSWER FROM THE DRIVE: the drive is gone (disconnected or switched off)",
       "The CD writer is gone: it was disconnected or switched off while the disc was written.\r\n\r\nThe writer "
       "reported: Write failed: NO ANSWER FROM THE DRIVE: the drive is gone (disconnected or switched off)\r\n\r\n"
       "Connect the writer"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.begins);
    engine_ = std::make_shared<FakeEngineScript>();
    engine_->burnResult = VEXAEngineResultBrellWriteFail;
    engine_->burnMessage = c.said;
    scriptUi_ = [](ScriptedUi& ui) { ui.QueueAnswer(kIDOK); };
    ASSERT_EQ(MakeAndInit(VEXACoreShowStatusAll), S_OK);
    AddPhotos(1);
    EXPECT_EQ(Run(), E_FAIL);
    EXPECT_EQ(Code(), VEXACoreBurnFailure);
    ASSERT_EQ(ui_->messages.size(), 1u);
    const std::string& text = ui_->messages[0].text;
    EXPECT_EQ(text.rfind(c.begins, 0), 0u) << text;
    EXPECT_EQ(text.find("buffer underrun"), std::string::npos) << text;
    EXPECT_EQ(text.find("slower"), std::string::npos) << text;
    core_.Reset();
  }
}

TEST_F(RunTest, TheBurnSpeedIsOneTheWriterOffers) {
  struct Case {
    LONG asked;
    std::vector<LONG> offered;
    LONG used;
    std::vector<std::string> lines;
  };
  const Case cases[] = {
      {12, {4, 8, 16}, 8,
       {"CVEXACore::CheckBurnSpeed - Input burn speed 12 does not match any possible speed for drives. Trying to reduce it.",
        "CVEXACore::CheckBurnSpeed - No match for speed 12. Reducing Speed and trying again.",
        "CVEXACore::CheckBurnSpeed - No match for speed 11. Reducing Speed and trying again.",
        "CVEXACore::CheckBurnSpeed - No match for speed 10. Reducing Speed and trying again.",
        "CVEXACore::CheckBurnSpeed - No match for speed 9. Reducing Speed and trying again."}},
      // Below every speed of the writer: its lowest, wherever the list has it.
      {3, {4, 8}, 4,
       {"CVEXACore::CheckBurnSpeed - Input burn speed 3 is below the lowest speed of the writer. Using its lowest "
        "speed 4."}},
      {1, {16, 8, 4}, 4,
       {"CVEXACore::CheckBurnSpeed - Input burn speed 1 is below the lowest speed of the writer. Using its lowest "
        "speed 4."}},
      {16, {4, 8, 16}, 16, {}},
      // Above every speed of the writer: its highest, in one step.
      {2147483647, {4, 8, 16}, 16,
       {"CVEXACore::CheckBurnSpeed - Input burn speed 2147483647 is above the highest speed of the writer. Using its "
        "highest speed 16."}},
      {17, {16, 4, 8}, 16,
       {"CVEXACore::CheckBurnSpeed - Input burn speed 17 is above the highest speed of the writer. Using its highest "
        "speed 16."}},
      // No speed from the caller: the shipped default, or the writer's
      // nearest lower speed (its slowest when none is lower) without a word
      // of error.
      {0, {4, 8, 16}, 8, {}},
      {0, {52, 48, 40, 32, 24, 16, 10, 4}, 4, {}},
      {0, {16, 6, 10}, 6, {}},
      {0, {24, 16, 10}, 10, {}},
      {0, {}, 8, {"CVEXACore::CheckBurnSpeed - drive Speed list is invalid. Using default burn speed = 8."}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.asked);
    engine_ = std::make_shared<FakeEngineScript>();
    engine_->speeds = c.offered;
    ASSERT_EQ(MakeAndInit(VEXACoreShowStatusNothing), S_OK);
    ASSERT_EQ(core_->SetLoggingLevel(VARIANT_TRUE), S_OK);
    if (c.asked) {
      ASSERT_EQ(core_->SetBurnSpeed(c.asked), S_OK);
    }
    AddPhotos(1);
    log_->lines.clear();
    EXPECT_EQ(Run(), S_OK) << ErrorText();
    EXPECT_EQ(EngineCalls("StartBurn"), std::vector<std::string>{"StartBurn " + std::to_string(c.used) + "|0|0|-1"});
    std::vector<std::string> speedLines;
    for (const auto& t : log_->Texts("ERROR")) {
      if (t.find("CheckBurnSpeed") != std::string::npos) speedLines.push_back(t);
    }
    EXPECT_EQ(speedLines, c.lines);
    core_.Reset();
  }
}

TEST_F(RunTest, DriveQueriesPassTheEnginesAnswers) {
  engine_->drives = 2;
  scriptUi_ = [](ScriptedUi& ui) { ui.QueueAnswer(kIDOK); };
  ASSERT_EQ(MakeAndInit(VEXACoreShowStatusAll), S_OK);
  Variant speeds;
  ASSERT_EQ(core_->GetDriveSpeeds(&speeds), S_OK);
  EXPECT_EQ(speeds.vt, VT_ARRAY | VT_I4);
  LONG max = 0;
  ASSERT_EQ(core_->GetMaxBurnSpeed(&max), S_OK);
  EXPECT_EQ(max, 16);
  Bstr path;
  ASSERT_EQ(core_->GetDrivePath(path.Out()), S_OK);
  EXPECT_EQ(path.Utf8(), "/dev/sr0");
  VARIANT_BOOL present = VARIANT_FALSE;
  ASSERT_EQ(core_->GetNextDrive(VARIANT_TRUE, &present), S_OK);
  EXPECT_EQ(present, VARIANT_TRUE);
  EXPECT_TRUE(ui_->messages.empty());
  // No further writer: the built-in message, once.
  ASSERT_EQ(core_->GetNextDrive(VARIANT_TRUE, &present), S_OK);
  EXPECT_EQ(present, VARIANT_FALSE);
  ASSERT_EQ(ui_->messages.size(), 1u);
  EXPECT_EQ(ui_->messages[0].text.rfind("The orlune disc creator software could not find a CD writer on your system.", 0), 0u);
  // What to do here: the device nodes, the group, the scsi-generic driver, or
  // the simulated recorder; not a restart or a reinstallation.
  for (const char* remedy : {"/dev/sr*", "/dev/sg*", "group cdrom", "sudo modprobe sg", "VEXA_SCSI_TRANSPORT=sim:",
                             "SCSI_TRANSPORT under the product key"}) {
    EXPECT_NE(ui_->messages[0].text.find(remedy), std::string::npos) << remedy;
  }
  for (const char* windows : {"Restart", "reinstall", "drivers of the CD writer"}) {
    EXPECT_EQ(ui_->messages[0].text.find(windows), std::string::npos) << windows;
  }
  ASSERT_EQ(core_->GetNextDrive(VARIANT_FALSE, &present), S_OK);
  EXPECT_EQ(ui_->messages.size(), 1u);
  engine_->failing = {"GetDriveSpeeds"};
  EXPECT_EQ(core_->GetDriveSpeeds(&speeds), E_FAIL);
  EXPECT_EQ(Code(), VEXACoreFailure);
  EXPECT_NE(ErrorText().find("CVEXACore1::GetDriveSpeeds - ODBase GetDriveSpeeds call failed."), std::string::npos);
}

}  // namespace
}  // namespace vexa::core::test
