// Silent mode without a display: no window, no application object, no
// display connection; the status texts of the six steps go to the log. The
// binary clears DISPLAY, WAYLAND_DISPLAY and QT_QPA_PLATFORM before any test.
#include <QCoreApplication>
#include <cstdlib>

#include "core/HeadlessUi.h"
#include "core/QtUi.h"
#include "core/StringTable.h"
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
  std::unique_ptr<UiPort> ui = MakeDefaultUi(util_, true);
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

}  // namespace
}  // namespace vexa::core::test

int main(int argc, char** argv) {
  ::unsetenv("DISPLAY");
  ::unsetenv("WAYLAND_DISPLAY");
  ::unsetenv("QT_QPA_PLATFORM");
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
