// The burn driver against the scripted orchestrator: set-up, writer
// selection, the speed table, and the hand-over in its fixed order.
#include <gtest/gtest.h>

#include "wizard/common/WizUtil.h"
#include "wizard/session/ODVisual.h"
#include "wizard/session/SettingsFile.h"
#include "wizard/session/WizXML.h"
#include "wizard/tests/PlainTestSupport.h"

using namespace vexa::wiz;
using vexa::wiz::testing::PlainTest;

namespace {

class BurnDriverTest : public PlainTest {
 protected:
  void SetUp() override {
    PlainTest::SetUp();
    Fake();
    ASSERT_EQ(CoCreateInstance(CLSID_VexaLogger, nullptr, CLSCTX_ALL, IID_IVexaLogger, Wiz().logger.PutVoid()),
              S_OK);
    Wiz().sessionAlbum = std::make_unique<CVexaWizXML>(Wiz());
    ASSERT_TRUE(Wiz().sessionAlbum->Init(m_temp.Path("lastAlbum.xml"), true));
    Wiz().settings = std::make_unique<CvexaSettingsAccess>();
    ASSERT_TRUE(Wiz().settings->Open(m_temp.Path("orlunedisc.ini")));
  }
  std::unique_ptr<CVexaODVisual> Driver() {
    auto d = std::make_unique<CVexaODVisual>(Wiz());
    EXPECT_TRUE(d->Init());
    Fake().calls.clear();
    return d;
  }
};

TEST_F(BurnDriverTest, DefaultSpeedFromTheRegistry) {
  SetProductDword("DEFAULT_BURNSPEED", 0);
  CVexaODVisual d(Wiz());
  ASSERT_TRUE(d.Init());
  LONG speed = 0;
  d.GetDefaultBurnSpeed(&speed);
  EXPECT_EQ(speed, 2);
  EXPECT_TRUE(Fake().Logged("CVexaODVisual::Init - Invalid default speed from registry."));
  EXPECT_EQ(Fake().Methods(), (std::vector<std::string>{"SetLoggingLevel", "Init"}));
  EXPECT_EQ(Fake().calls[1].args[0], "3");
  SetProductDword("DEFAULT_BURNSPEED", 12);
  CVexaODVisual e(Wiz());
  ASSERT_TRUE(e.Init());
  e.GetDefaultBurnSpeed(&speed);
  EXPECT_EQ(speed, 12);
}

TEST_F(BurnDriverTest, NoWriterIsNotFatalUntilTheBurn) {
  Fake().initResult = E_FAIL;
  Fake().initErrorCode = VEXACoreNoCDWriter;
  Fake().drivePresent = false;
  CVexaODVisual d(Wiz());
  ASSERT_TRUE(d.Init());
  EXPECT_FALSE(d.IsDriveReady());
  EXPECT_TRUE(Fake().Logged("CVexaODVisual::Init - NO CD Writer present on system."));
  Fake().calls.clear();
  EXPECT_FALSE(d.CreateVCD());
  // The orchestrator is asked to show its own "no CD writer" message.
  EXPECT_EQ(Fake().Methods(), (std::vector<std::string>{"GetNextDrive"}));
  EXPECT_EQ(Fake().calls[0].args[0], "-1");

  Fake().initErrorCode = VEXACoreFailure;
  CVexaODVisual e(Wiz());
  EXPECT_FALSE(e.Init());
  EXPECT_EQ(e.Core(), nullptr);
}

TEST_F(BurnDriverTest, SpeedTable) {
  auto d = Driver();
  struct Case {
    LONG requested;
    LONG expected;
  } cases[] = {{0, 4}, {12, 8}, {16, 16}, {8, 8}, {5, 4}, {100, 16}};
  SetProductDword("DEFAULT_BURNSPEED", 2);
  d = Driver();
  for (const Case& c : cases) {
    LONG speed = 0;
    EXPECT_TRUE(d->GetBurnSpeed(c.requested, &speed));
    EXPECT_EQ(speed, c.expected) << c.requested;
  }
  EXPECT_TRUE(Fake().Logged(
      "CVexaODVisual::GetBurnSpeed - Burn speed does not match any drive speeds. Using slowest speed 4"));
  Fake().speedsFail = true;
  LONG speed = 0;
  EXPECT_FALSE(d->GetBurnSpeed(8, &speed));
  EXPECT_EQ(speed, 2);
}

TEST_F(BurnDriverTest, DescriptionShowsPathAndSingleBlanks) {
  auto d = Driver();
  std::string text;
  ASSERT_TRUE(d->GetDriveDescription(&text));
  EXPECT_EQ(text, "(/dev/sr0:) VEXA SIM WRITER 1.0");
  EXPECT_EQ(CollapseBlanks("a     b      c"), "a b c");
}

TEST_F(BurnDriverTest, HandsTheAlbumOverInItsFixedOrder) {
  CVexaWizXML& album = *Wiz().sessionAlbum;
  const std::string a = Photo("a.jpg"), b = Photo("b.jpg");
  ASSERT_TRUE(album.AddStill(a, 90, 12.5, "Alpha", VEXAWizCropPicture, VARIANT_FALSE));
  ASSERT_TRUE(album.AddStill(b, 0, 0.0, "", VEXAWizResizePicture, VARIANT_TRUE));
  ASSERT_TRUE(album.SetTitleLines("Line 1", "", "Line 3"));
  ASSERT_TRUE(album.SetPaperSize(VEXAWizPaperSizeA4));
  ASSERT_TRUE(album.AddAudioTrack("/music/song.mp3", -1));
  album.Album()->put_tvSystem(VEXAXMLTVSECAM);
  Wiz().settings->WriteNumber("settings", "selectedBurnSpeed", 8);

  auto d = Driver();
  ASSERT_TRUE(d->CreateVCD());
  EXPECT_EQ(Fake().Methods(),
            (std::vector<std::string>{"SetFileSystemSupport", "SetTVSystem", "SetStillDelay", "SetStillTitleVisibleTime",
                                      "SetTitleLines", "SetPaperSize", "AddAudioTrack", "AddStill", "AddStill",
                                      "SetBurnSpeed", "CreateVCD"}));
  auto arg = [&](const char* method, int i, int call = 0) { return Fake().Calls(method)[call].args[i]; };
  EXPECT_EQ(arg("SetFileSystemSupport", 0), "65");
  EXPECT_EQ(arg("SetTVSystem", 0), "2");  // SECAM is made as PAL
  EXPECT_EQ(arg("SetStillDelay", 0), "5");
  EXPECT_EQ(arg("SetStillTitleVisibleTime", 0), "2");
  EXPECT_EQ(arg("SetTitleLines", 0) + "|" + arg("SetTitleLines", 1) + "|" + arg("SetTitleLines", 2), "Line 1||Line 3");
  EXPECT_EQ(arg("SetPaperSize", 0), "1");
  EXPECT_EQ(Fake().Calls("AddAudioTrack")[0].args, (std::vector<std::string>{"/music/song.mp3", "/music/song.mp3", "0"}));
  EXPECT_EQ(Fake().Calls("AddStill")[0].args, (std::vector<std::string>{a, a, "Alpha", "12.5", "1", "90", "0"}));
  EXPECT_EQ(Fake().Calls("AddStill")[1].args, (std::vector<std::string>{b, b, "", "0", "0", "0", "-1"}));
  EXPECT_EQ(arg("SetBurnSpeed", 0), "8");
  EXPECT_EQ(Fake().Calls("CreateVCD")[0].args, (std::vector<std::string>{"0", "0", "-1"}));
  // The unset delay went back into the album.
  LONG delay = 0;
  ASSERT_TRUE(album.GetStillDelay(&delay));
  EXPECT_EQ(delay, 5);
  EXPECT_TRUE(Fake().Logged("CVexaODVisual::SetStillDelay - no delay set. Setting value to default 5."));
}

// The wizard's road to a still delay: the album's value reaches the
// orchestrator unchanged, and its refusal (a delay no disc holds) stops the
// disc before anything is made.
TEST_F(BurnDriverTest, AnAlbumDelayTheOrchestratorRefusesStopsTheDisc) {
  CVexaWizXML& album = *Wiz().sessionAlbum;
  ASSERT_TRUE(album.AddStill(Photo("a.jpg"), 0, 0.0, "", VEXAWizResizePicture, VARIANT_FALSE));
  ASSERT_TRUE(album.SetStillDelay(2147483647));
  Fake().longestStillDelay = 4797;
  auto d = Driver();
  EXPECT_FALSE(d->CreateVCD());
  EXPECT_EQ(Fake().Methods(), (std::vector<std::string>{"SetFileSystemSupport", "SetTVSystem", "SetStillDelay"}));
  EXPECT_EQ(Fake().Calls("SetStillDelay")[0].args[0], "2147483647");
  EXPECT_TRUE(Fake().Logged("CVexaODVisual::SetStillDelay - Core still delay call failed for value 2147483647."));
}

TEST_F(BurnDriverTest, WhatTheAlbumLeavesOutIsNotSent) {
  Wiz().settings->WriteNumber("settings", "selectedBurnSpeed", 4);
  auto d = Driver();
  ASSERT_TRUE(d->CreateVCD());
  // No titles, an Invalid paper size and no music: no calls for them.
  EXPECT_EQ(Fake().Methods(), (std::vector<std::string>{"SetFileSystemSupport", "SetTVSystem", "SetStillDelay",
                                                        "SetStillTitleVisibleTime", "SetBurnSpeed", "CreateVCD"}));
  EXPECT_TRUE(Fake().Logged("INFO|vexawiz|No titles Set."));
}

TEST_F(BurnDriverTest, RejectedAndCancelledStills) {
  CVexaWizXML& album = *Wiz().sessionAlbum;
  const std::string a = Photo("a.jpg"), bad = Photo("bad.jpg"), c = Photo("c.jpg");
  for (const auto& p : {a, bad, c}) ASSERT_TRUE(album.AddStill(p, 0, 0.0, "", 0, VARIANT_FALSE));
  Wiz().settings->WriteNumber("settings", "selectedBurnSpeed", 4);

  // 23: the still is skipped without a word and the burn goes on.
  Fake().addStillErrors[bad] = VEXACoreInvalidFile;
  auto d = Driver();
  ASSERT_TRUE(d->CreateVCD());
  EXPECT_EQ(Fake().Calls("AddStill").size(), 3u);
  EXPECT_EQ(Fake().Calls("CreateVCD").size(), 1u);

  // 21: the user cancelled; the wizard's code says so.
  Fake().addStillErrors[bad] = VEXACoreCancelled;
  d = Driver();
  EXPECT_FALSE(d->CreateVCD());
  EXPECT_EQ(Wiz().errorCode, VEXAWizCancelled);
  EXPECT_EQ(Fake().Calls("AddStill").size(), 2u);
  EXPECT_TRUE(Fake().Calls("CreateVCD").empty());

  // Any other code ends the burn with its line.
  Fake().addStillErrors[bad] = VEXACoreBurnFailure;
  d = Driver();
  EXPECT_FALSE(d->CreateVCD());
  EXPECT_EQ(Wiz().errorCode, VEXAWizSuccess);
  EXPECT_TRUE(Fake().Logged("CVexaODVisual::AddStills - Core AddStill call failed for path " + bad + "."));
}

TEST_F(BurnDriverTest, AFileSystemChosenThroughTheWizardReachesTheOrchestrator) {
  Wiz().fileSystem = VEXAWizFSISO9660;
  Wiz().fileSystemGiven = true;
  Wiz().settings->WriteNumber("settings", "selectedBurnSpeed", 4);
  auto d = Driver();
  ASSERT_TRUE(d->CreateVCD());
  ASSERT_EQ(Fake().Calls("SetFileSystemSupport").size(), 1u);
  EXPECT_EQ(Fake().Calls("SetFileSystemSupport")[0].args[0], "0");
  // The driver's own setter is a once-per-process choice.
  EXPECT_TRUE(d->SetFileSystemSupport(VEXAWizFSJOLIET));
  EXPECT_TRUE(Fake().Logged("CVexaOdVisual::SetFileSystemSupport - File system support already set."));
  EXPECT_EQ(Fake().Calls("SetFileSystemSupport").size(), 1u);
}

TEST_F(BurnDriverTest, ANoSpeedSettingStopsTheBurn) {
  auto d = Driver();
  EXPECT_FALSE(d->CreateVCD());
  EXPECT_TRUE(Fake().Logged("CVexaODVisual::SetBurnSpeed - NO Burn Speed available."));
  EXPECT_TRUE(Fake().Calls("CreateVCD").empty());
}

}  // namespace
