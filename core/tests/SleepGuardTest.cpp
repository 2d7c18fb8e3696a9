// The keep-awake switch and its answer to the system's sleep query.
#include <unistd.h>

#include "core/SleepGuard.h"
#include "core/tests/CoreTestSupport.h"

namespace vexa::core::test {
namespace {

// Hands out one end of a pipe per lock, or a scripted failure.
class FakeInhibitor : public InhibitorSource {
 public:
  explicit FakeInhibitor(int* acquired, int answer = 0) : acquired_(acquired), answer_(answer) {}
  int Acquire() override {
    ++*acquired_;
    if (answer_ < 0) return answer_;
    int fds[2];
    if (::pipe(fds) != 0) return kFailed;
    ::close(fds[1]);
    return fds[0];
  }

 private:
  int* acquired_;
  int answer_;
};

struct Logged {
  std::vector<std::pair<bool, std::string>> lines;
  SleepGuard::LogFn Fn() {
    return [this](bool isError, const std::string& text) { lines.emplace_back(isError, text); };
  }
};

TEST(SleepGuardTest, ForbiddingSleepHoldsOneLockUntilSleepIsAllowedAgain) {
  int acquired = 0;
  Logged log;
  SleepGuard guard(log.Fn(), std::make_unique<FakeInhibitor>(&acquired));
  EXPECT_TRUE(guard.canSuspend());
  guard.CanSuspend(false);
  guard.CanSuspend(false);
  EXPECT_EQ(acquired, 1);
  EXPECT_TRUE(guard.Holding());
  EXPECT_FALSE(guard.canSuspend());
  guard.CanSuspend(true);
  EXPECT_FALSE(guard.Holding());
  guard.CanSuspend(false);
  EXPECT_EQ(acquired, 2);
  EXPECT_TRUE(log.lines.empty());
}

TEST(SleepGuardTest, AnAwakeScopeHoldsTheLockUntilItEndsAndNestedScopesUntilTheLast) {
  int acquired = 0;
  Logged log;
  SleepGuard guard(log.Fn(), std::make_unique<FakeInhibitor>(&acquired));
  {
    AwakeScope outer(&guard);
    EXPECT_TRUE(guard.Holding());
    {
      AwakeScope inner(&guard);
      inner.End();
      EXPECT_FALSE(inner.Active());
      inner.End();  // a second end changes nothing
      EXPECT_TRUE(guard.Holding());
    }
    EXPECT_TRUE(guard.Holding());
    EXPECT_FALSE(guard.canSuspend());
  }
  EXPECT_FALSE(guard.Holding());
  EXPECT_TRUE(guard.canSuspend());
  EXPECT_EQ(acquired, 1);
  {
    AwakeScope early(&guard);
    early.End();
    EXPECT_FALSE(guard.Holding());
  }
  EXPECT_EQ(acquired, 2);
  AwakeScope none(nullptr);
  EXPECT_FALSE(none.Active());
}

TEST(SleepGuardTest, AFailedLockIsLoggedAndNoSessionManagerIsNoFailure) {
  int acquired = 0;
  Logged log;
  SleepGuard failing(log.Fn(), std::make_unique<FakeInhibitor>(&acquired, InhibitorSource::kFailed));
  failing.CanSuspend(false);
  ASSERT_EQ(log.lines.size(), 1u);
  EXPECT_TRUE(log.lines[0].first);
  EXPECT_EQ(log.lines[0].second,
            "CvexaStatusDlg::CanSuspend() - SetThreadExecutionState() call failed, canSuspend = false");
  // The flag still decides the answer to a sleep query.
  EXPECT_EQ(failing.OnPowerBroadcast(kPBT_APMQUERYSUSPEND, 0), kBROADCAST_QUERY_DENY);

  Logged quiet;
  SleepGuard none(quiet.Fn(), std::make_unique<FakeInhibitor>(&acquired, InhibitorSource::kUnavailable));
  none.CanSuspend(false);
  EXPECT_TRUE(quiet.lines.empty());
  EXPECT_FALSE(none.Holding());

  // The real source where there is no system bus or no logind: no failure.
  Logged real;
  SleepGuard logind(real.Fn());
  logind.CanSuspend(false);
  logind.CanSuspend(true);
  for (const auto& l : real.lines) EXPECT_FALSE(l.first) << l.second;
}

TEST(SleepGuardTest, ASuspendQueryIsDeniedOnlyWhileSleepIsForbidden) {
  int acquired = 0;
  Logged log;
  SleepGuard guard(log.Fn(), std::make_unique<FakeInhibitor>(&acquired));
  EXPECT_EQ(guard.OnPowerBroadcast(7, 0), kTRUE);
  EXPECT_EQ(guard.OnPowerBroadcast(kPBT_APMQUERYSUSPEND, 0), kTRUE);
  guard.CanSuspend(false);
  EXPECT_EQ(guard.OnPowerBroadcast(kPBT_APMQUERYSUSPEND, 0), 0x424D5144);
  EXPECT_EQ(guard.OnPowerBroadcast(4, 0), kTRUE);
  std::vector<std::string> texts;
  for (const auto& l : log.lines) {
    EXPECT_FALSE(l.first);
    texts.push_back(l.second);
  }
  EXPECT_EQ(texts, (std::vector<std::string>{
                       "CvexaStatusDlg::OnPowerBroadcast - entered",
                       "CvexaStatusDlg::OnPowerBroadcast - entered",
                       "CvexaStatusDlg::OnPowerBroadcast - Query Suspend",
                       "CvexaStatusDlg::OnPowerBroadcast - Query granted",
                       "CvexaStatusDlg::OnPowerBroadcast - entered",
                       "CvexaStatusDlg::OnPowerBroadcast - Query Suspend",
                       "CvexaStatusDlg::OnPowerBroadcast - Denied power standby",
                       "CvexaStatusDlg::OnPowerBroadcast - entered",
                   }));
}

}  // namespace
}  // namespace vexa::core::test
