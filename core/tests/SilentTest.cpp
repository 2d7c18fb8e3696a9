// Silent mode without a display: no window, no application object, no
// display connection; the status texts of the six steps go to the log. The
// binary clears DISPLAY, WAYLAND_DISPLAY and QT_QPA_PLATFORM before any test
// and reads its standard input from /dev/null.
#include <QCoreApplication>
#include <cstdio>
#include <cstdlib>

#include "core/HeadlessUi.h"
#include "core/QtUi.h"
#include "core/StringTable.h"
#include "core/TerminalUi.h"
#include "core/tests/CoreFixture.h"
#include "core/tests/CoreTestSupport.h"
#include "core/tests/StatusSequence.h"

namespace vexa::core::test {
namespace {

class SilentTest : public CoreTest {
 protected:
  void SetUp() override {
    CoreTest::SetUp();
    log_ = std::make_shared<LogStore>();
    util_.SetLogger(MakeFakeLogger(log_));
    util_.SetStrings(LoadLanguageLibrary("ENU"));
  }
  std::shared_ptr<LogStore> log_;
  CVexaCoreUtil util_;
};

TEST_F(SilentTest, TheSixStepsMakeNoWindowAndWriteTheirTextsToTheLog) {
  ASSERT_FALSE(DisplayAvailable());
  // Windows wanted without a display: the terminal, still without a window.
  EXPECT_NE(dynamic_cast<TerminalUi*>(MakeDefaultUi(util_, true).get()), nullptr);
  std::unique_ptr<UiPort> ui = MakeDefaultUi(util_, false);
  EXPECT_FALSE(ui->IsInteractive());
  EXPECT_EQ(RunStatusSequence(*ui, util_), 7);
  EXPECT_EQ(QCoreApplication::instance(), nullptr);
  EXPECT_EQ(log_->Texts("INFO"), StatusSequenceTexts(util_));
  // Questions take the answer given for "no dialog".
  bool clicked = true;
  EXPECT_EQ(ui->DoMessage(kMessageYesNo, "Erase?", false, true, false, &clicked), kIDNO);
  EXPECT_EQ(ui->DoMessage(kMessageOKCancel, "Retry?", false, false, true, nullptr), kIDCANCEL);
  EXPECT_EQ(ui->DoMessage(kMessageOK, "Note", false, false, false, nullptr), kIDOK);
  EXPECT_FALSE(clicked);
  EXPECT_EQ(QCoreApplication::instance(), nullptr);
}

TEST_F(SilentTest, TheQtPortWithoutADisplayFallsBackWithoutConnecting) {
  EXPECT_EQ(EnsureApplication(), nullptr);
  QtUi ui(util_);
  ui.Status().SetStatusText("Erase Completed");
  ui.PumpMessages();
  EXPECT_EQ(ui.DoMessage(kMessageYesNo, "Erase?", false, false, false, nullptr), kIDNO);
  Completion done;
  done.Set();
  ui.WaitWithMessagePump(done, {});
  EXPECT_EQ(QCoreApplication::instance(), nullptr);
  EXPECT_TRUE(log_->Has("INFO", "Erase Completed"));
}

using namespace vexa::com;

class SilentRunTest : public CoreFixture {};

TEST_F(SilentRunTest, ASilentRunMakesNoWindowAndAsksNothing) {
  defaultUi_ = true;
  engine_->blank = {false};  // a used CD-RW: no one to ask, so code 16
  ASSERT_EQ(MakeAndInit(VEXACoreShowStatusNothing), S_OK) << ErrorText();
  AddPhotos(13);
  EXPECT_EQ(core_->CreateVCD(VARIANT_FALSE, VARIANT_FALSE, VARIANT_TRUE), E_FAIL);
  EXPECT_EQ(Code(), VEXACoreDiscIsNotBlank);
  TakeError();
  engine_->blank = {true};
  EXPECT_EQ(core_->CreateVCD(VARIANT_FALSE, VARIANT_FALSE, VARIANT_TRUE), S_OK) << ErrorText();
  EXPECT_EQ(engine_->burns, 1);
  EXPECT_EQ(QCoreApplication::instance(), nullptr);

  // Asked for the dialog later, without a display: the status goes to the
  // terminal and its texts to the log, still without a window.
  core_.Reset();
  engine_ = std::make_shared<FakeEngineScript>();
  ASSERT_EQ(MakeAndInit(VEXACoreShowStatusNothing), S_OK);
  ASSERT_EQ(core_->SetStatusMode(VARIANT_TRUE), S_OK);
  AddPhotos(1);
  EXPECT_EQ(core_->CreateVCD(VARIANT_FALSE, VARIANT_FALSE, VARIANT_TRUE), S_OK) << ErrorText();
  EXPECT_TRUE(log_->Has("INFO", "Orlune disc creation process complete!"));
  EXPECT_TRUE(log_->Has("INFO", "Starting photo show creation - This may take a few minutes"));
  EXPECT_EQ(QCoreApplication::instance(), nullptr);
}

}  // namespace
}  // namespace vexa::core::test

int main(int argc, char** argv) {
  ::unsetenv("DISPLAY");
  ::unsetenv("WAYLAND_DISPLAY");
  ::unsetenv("QT_QPA_PLATFORM");
  // The status mode asks its questions on the terminal; nobody answers here.
  if (!std::freopen("/dev/null", "r", stdin)) return 1;
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
