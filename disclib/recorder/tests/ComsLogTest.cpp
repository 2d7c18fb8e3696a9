// The debug log: line format, the flush rules and the stop.
#include <sys/stat.h>

#include <ios>
#include <thread>

#include "disclib/recorder/tests/RecorderTestUtil.h"
#include "tests/support/Waits.h"

namespace {

using discpak::DebugLog;
using rectest::TestClock;

std::vector<std::string> Lines(const std::string& path) {
  std::string text;
  vexa::base::ReadFile(path, &text);
  std::vector<std::string> lines;
  std::size_t at = 0;
  while (at < text.size()) {
    auto nl = text.find('\n', at);
    if (nl == std::string::npos) nl = text.size() - 1;
    lines.push_back(text.substr(at, nl - at + 1));
    at = nl + 1;
  }
  return lines;
}

class DebugLogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = vexa::base::MakeTempDir(vexa::base::TempDirectory(), "comslog");
    path_ = vexa::base::JoinPath(dir_, "comslog.txt");
  }
  void TearDown() override { vexa::base::RemoveAll(dir_); }
  std::string dir_, path_;
  TestClock clock_;
};

TEST(DebugLogLine, IsEightyBytesWithTimeAndText) {
  const std::string l = DebugLog::FormatLine(12.3456, "hello");
  ASSERT_EQ(l.size(), 80u);
  EXPECT_EQ(l.substr(0, 17), "0012.346  hello  ");
  EXPECT_EQ(l.back(), '\n');
  const std::string seventy(70, 'x');
  const std::string cut = DebugLog::FormatLine(0, seventy.c_str());
  ASSERT_EQ(cut.size(), 80u);
  EXPECT_EQ(cut.substr(10, 69), std::string(69, 'x'));
  EXPECT_EQ(DebugLog::FormatLine(123456.0, "t").substr(0, 10), "9999.999  ");
  EXPECT_EQ(DebugLog::FormatLine(1, "a\nb").substr(10, 3), "a b");
}

TEST_F(DebugLogTest, AQuietLogIsFlushedByTimeout) {
  DebugLog log(&clock_);
  log.Start(path_.c_str(), false);
  log.Log("one");
  log.Log("two");
  clock_.Advance(std::chrono::seconds(4));
  log.Log("three");
  clock_.Advance(std::chrono::seconds(4));  // 4 s after the last line: not yet
  log.Wake();
  clock_.Advance(std::chrono::seconds(2));
  log.Wake();
  {
    const vexa::testsupport::Watchdog dog("the log's flush 6 s after its last line");
    log.WaitForFlushes(1);
  }
  log.Stop();
  const auto lines = Lines(path_);
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_EQ(lines[0].substr(0, 13), "0000.000  one");
  EXPECT_EQ(lines[2].substr(0, 15), "F004.000  three");
  EXPECT_EQ(lines[3], "Log flushed by timeout.\n");
  EXPECT_EQ(lines[4], "Debug log stopped.\n");
}

TEST_F(DebugLogTest, FullBlocksAreWrittenWithoutWaiting) {
  DebugLog log(&clock_);
  log.Start(path_.c_str(), false);
  for (int i = 0; i < 512; ++i) log.Log(("line " + std::to_string(i)).c_str());
  {
    const vexa::testsupport::Watchdog dog("the flush of the full block");
    log.WaitForFlushes(1);
  }
  const auto lines = Lines(path_);
  ASSERT_EQ(lines.size(), 512u);
  EXPECT_EQ(lines[511].substr(0, 1), "F");
  EXPECT_EQ(lines[510].substr(0, 1), "0");
  log.Stop();
  EXPECT_EQ(Lines(path_).back(), "Debug log stopped.\n");
}

TEST_F(DebugLogTest, LinesBeyondTheStoreAreCountedAndReported) {
  DebugLog log(&clock_);
  log.Start(path_.c_str(), false);
  log.HoldFlusher(true);
  for (int i = 0; i < 2100; ++i) log.Log(("line " + std::to_string(i)).c_str());
  log.HoldFlusher(false);
  log.Stop();
  const auto lines = Lines(path_);
  // 2048 kept, the report, and the stop line: nothing waiting is lost at the stop.
  ASSERT_EQ(lines.size(), 2048u + 1 + 1);
  EXPECT_EQ(lines[2047].substr(10, 9), "line 2047");
  EXPECT_EQ(lines[2048].substr(10, 32), "Flush missed 0052 lines of data ");
  EXPECT_EQ(lines.back(), "Debug log stopped.\n");
  // Blocks of 512: each one's last line is marked.
  for (std::size_t i : {511u, 1023u, 1535u, 2047u, 2048u}) EXPECT_EQ(lines[i][0], 'F') << i;
  EXPECT_EQ(lines[512][0], '0');
}

TEST_F(DebugLogTest, StartAndStopAreIdempotentAndAppendKeepsTheFile) {
  DebugLog log(&clock_);
  log.Stop();
  log.Start((dir_ + "/no/such/folder/log.txt").c_str(), false);
  EXPECT_FALSE(log.Running());
  log.Log("dropped");
  log.Start(path_.c_str(), false);
  log.Start((dir_ + "/other.txt").c_str(), false);  // ignored while running
  log.Log("first");
  log.Stop();
  log.Stop();
  log.Start(path_.c_str(), true);
  log.Log("second");
  log.Stop();
  const auto lines = Lines(path_);
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[0].substr(10, 5), "first");
  EXPECT_EQ(lines[2].substr(10, 6), "second");
  EXPECT_FALSE(vexa::base::FileExists(dir_ + "/other.txt"));
}

// The log names the files burned: it is the user's alone.
TEST_F(DebugLogTest, TheLogIsTheUsersAlone) {
  const mode_t saved = ::umask(022);
  DebugLog log(&clock_);
  log.Start(path_.c_str(), false);
  ::umask(saved);
  log.Log("C:/photos/holiday.jpg");
  log.Stop();
  struct stat st {};
  ASSERT_EQ(::stat(path_.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0600u) << std::oct << (st.st_mode & 07777);
}

TEST_F(DebugLogTest, ManyThreadsLoseNothing) {
  DebugLog log;  // the real clock
  log.Start(path_.c_str(), false);
  {
    std::vector<std::jthread> threads;
    for (int t = 0; t < 4; ++t) {
      threads.emplace_back([&log, t] {
        for (int i = 0; i < 400; ++i) log.Log(("thread " + std::to_string(t) + " " + std::to_string(i)).c_str());
      });
    }
  }
  log.Stop();
  const auto lines = Lines(path_);
  ASSERT_EQ(lines.size(), 1601u);
  int counts[4] = {};
  for (std::size_t i = 0; i + 1 < lines.size(); ++i) counts[lines[i][17] - '0']++;
  for (int c : counts) EXPECT_EQ(c, 400);
}

}  // namespace
