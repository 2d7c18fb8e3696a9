// The burn flow on its own: a context over the scripted user interface, the
// engine driver over the fake engine, a clock that does not wait, and no
// orchestrator object around them.
#include "core/BurnFlow.h"
#include "core/testsupport/ScriptedUi.h"
#include "core/tests/CoreTestSupport.h"
#include "core/tests/FakeEngine.h"

namespace vexa::core::test {
namespace {

class BurnFlowTest : public CoreTest {
 protected:
  void SetUp() override {
    CoreTest::SetUp();
    util_.SetUi(&ui_);
    flow_.SetPort(&ui_);
    ASSERT_EQ(driver_.StartEngine(true), 0);
  }

  BurnFlow Flow() { return BurnFlow(flow_, driver_, nullptr, FlowDeadlines{}, TempSpaceNote{200, "/"}); }

  std::shared_ptr<FakeEngineScript> script_ = std::make_shared<FakeEngineScript>();
  std::shared_ptr<ManualFlowClock> clock_ = std::make_shared<ManualFlowClock>();
  CVexaCoreUtil util_;
  ScriptedUi ui_;
  FlowContext flow_{util_, clock_};
  CVexaODBase driver_{util_, FakeEngineFactory(script_), clock_};
};

TEST_F(BurnFlowTest, ChecksTheDiscPremastersSettlesTheSpeedAndBurnsWithTheFlagsAsGiven) {
  BurnFlow flow = Flow();
  ASSERT_TRUE(flow.PrepareVCD()) << util_.GetPendingErrors();
  LONG speed = 12;
  bool settled = true;
  flow.CheckBurnSpeed(&speed, &settled);
  // The writer offers 4, 8 and 16: 12 comes down to 8.
  EXPECT_EQ(speed, 8);
  EXPECT_TRUE(settled);
  ASSERT_TRUE(flow.BurnVCD(BurnSettings{speed, 1, 0, -1})) << util_.GetPendingErrors();
  EXPECT_EQ(flow_.Code(), VEXACoreSuccess);
  EXPECT_EQ(script_->burns, 1);
  // The flags reach the engine unchanged (1 is not VARIANT_TRUE).
  EXPECT_TRUE(script_->CalledWith("StartBurn 8|1|0|-1"));
  EXPECT_TRUE(script_->CalledWith("Eject"));
  // The six steps were walked on the dialog the context was given.
  for (int step : {1, 3, 4, 5, 6}) EXPECT_TRUE(ui_.Dialog()->LabelBlue(step)) << step;
}

TEST_F(BurnFlowTest, AWrittenDiscLeavesItsCodeAndLinesInTheContext) {
  script_->blank = {false};
  script_->discType = {VEXADiscTypeR};
  ui_.interactive = false;
  BurnFlow flow = Flow();
  EXPECT_FALSE(flow.PrepareForWriting());
  EXPECT_EQ(flow_.Code(), VEXACoreDiscIsNotBlank);
  EXPECT_NE(util_.GetPendingErrors().find("CVEXACore1::IsDiscBlank - The disc in the CD writer is not blank: a CD-R "
                                          "that has been written to cannot be written again. Put in a blank CD-R."),
            std::string::npos)
      << util_.GetPendingErrors();
  EXPECT_FALSE(script_->CalledWith("StartPremaster"));
}

}  // namespace
}  // namespace vexa::core::test
