#include "logging/VexaLogger_p.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <cerrno>
#include <chrono>
#include <ctime>
#include <filesystem>

#include "logging/tests/LoggerTestUtil.h"

namespace vexa::logging {
namespace {

using com::Bstr;
using com::ComPtr;
using testing::FileSizeLimit;
using testing::Lines;
using testing::LogSandbox;
using testing::ModeText;
using testing::ScopedUmask;
using testing::WithoutHeader;

std::chrono::system_clock::time_point Utc(int y, int mo, int d, int h, int mi, int s) {
  std::tm tm{};
  tm.tm_year = y - 1900;
  tm.tm_mon = mo - 1;
  tm.tm_mday = d;
  tm.tm_hour = h;
  tm.tm_min = mi;
  tm.tm_sec = s;
  return std::chrono::system_clock::from_time_t(timegm(&tm));
}

Bstr B(const char* s) { return Bstr::FromUtf8(s); }

class VexaLoggerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ::setenv("TZ", "UTC", 1);
    ::tzset();
    // Every test starts in a second of its own, so the process-wide line
    // counter starts at .00.
    static int sequence = 0;
    clock_.Set(Utc(2002, 11, 5, 14, 22, 33) + std::chrono::minutes(++sequence));
    SetLogClock(&clock_);
    CoInitialize(nullptr);
  }
  void TearDown() override {
    SetLogClock(nullptr);
    CoUninitialize();
  }

  ComPtr<IVexaLogger> Make() {
    ComPtr<IVexaLogger> logger;
    EXPECT_EQ(CreateVexaLogger(IID_IVexaLogger, logger.PutVoid()), S_OK);
    return logger;
  }
  HRESULT Write(IVexaLogger* logger, const char* component, const char* type, const char* text) {
    Bstr c = B(component), t = B(type), m = B(text);
    return logger->WriteMessage(c.Get(), t.Get(), m.Get());
  }
  // The field of a stamped line after its 18-character stamp.
  static std::string AfterStamp(const std::string& line) { return line.substr(18); }

  LogSandbox box_;
  base::ManualClock clock_;
};

TEST_F(VexaLoggerTest, StampedLinesOfSeveralMessages) {
  clock_.Set(Utc(2003, 1, 2, 3, 4, 5));
  ComPtr<IVexaLogger> logger = Make();
  // A null component writes nothing, but the header goes into the empty log.
  ASSERT_EQ(logger->WriteMessage(nullptr, B("INFO").Get(), B("x").Get()), S_OK);
  clock_.Advance(std::chrono::seconds(1));
  ASSERT_EQ(Write(logger.Get(), "vexa", "INFO", "hello"), S_OK);
  ASSERT_EQ(Write(logger.Get(), "vexacore", "ERROR", "first\r\n\r\nlast"), S_OK);
  clock_.Advance(std::chrono::seconds(1));
  ASSERT_EQ(Write(logger.Get(), "vexawiz", "INFO", "next second"), S_OK);

  EXPECT_EQ(WithoutHeader(box_.Main()),
            "20030102T030406.00 INFO   vexa     : hello\r\n"
            "20030102T030406.01 ERROR  vexacore : first\r\n"
            "\r\n"
            "20030102T030406.02 ERROR  vexacore   last\r\n"
            "20030102T030407.00 INFO   vexawiz  : next second\r\n");
}

TEST_F(VexaLoggerTest, HeaderOfANewLog) {
  clock_.Set(Utc(2002, 11, 5, 14, 22, 33));
  ComPtr<IVexaLogger> logger = Make();
  ASSERT_EQ(Write(logger.Get(), "vexa", "INFO", "hello"), S_OK);
  const std::vector<std::string> lines = Lines(box_.Main());
  ASSERT_GT(lines.size(), 4u);
  EXPECT_EQ(lines[0], "20021105T142233.00 * : VEXA LOG Created on 11/05/02 at 14:22:33");
  EXPECT_EQ(lines[1], "20021105T142233.01 *   VEXA download version:\t1.0.0.0");
  EXPECT_EQ(lines[2], "20021105T142233.02 *   VEXA data directory:\t" + box_.data());
  EXPECT_EQ(lines[3].substr(0, 43), "20021105T142233.03 *   OS Version:\t\tLinux  ");
  EXPECT_EQ(lines.back().substr(18), " INFO   vexa     : hello");
}

TEST_F(VexaLoggerTest, DebugTypesGoToTheDebugLog) {
  struct Case {
    const char* type;
    bool debug;
  } cases[] = {{"debug", true}, {"DEBUG", true}, {"DeBuG", true}, {"D", true},
               {"d", true},     {"INFO", false}, {"ERROR", false}, {"debugx", false},
               {"Dx", false},   {"", false}};
  ComPtr<IVexaLogger> logger = Make();
  for (const Case& c : cases) {
    const std::string text = std::string("type ") + c.type;
    ASSERT_EQ(Write(logger.Get(), "vexa", c.type, text.c_str()), S_OK);
    const std::string& log = c.debug ? box_.Debug() : box_.Main();
    const std::string& other = c.debug ? box_.Main() : box_.Debug();
    EXPECT_NE(log.find(text + "\r\n"), std::string::npos) << c.type;
    EXPECT_EQ(other.find(text + "\r\n"), std::string::npos) << c.type;
  }
  // The debug log has no header.
  EXPECT_EQ(box_.Debug().find("VEXA LOG"), std::string::npos);
  EXPECT_EQ(Lines(box_.Debug()).size(), 5u);
}

TEST_F(VexaLoggerTest, NullComponentOrTypeWritesNothing) {
  ComPtr<IVexaLogger> logger = Make();
  EXPECT_EQ(logger->WriteMessage(B("vexa").Get(), nullptr, B("a").Get()), S_OK);
  EXPECT_EQ(logger->WriteMessage(nullptr, B("debug").Get(), B("b").Get()), S_OK);
  EXPECT_TRUE(box_.Debug().empty());
  // Only the header, written by the maintenance that still runs.
  EXPECT_NE(box_.Main().find("VEXA LOG Created"), std::string::npos);
  EXPECT_EQ(WithoutHeader(box_.Main()), "");
  // An empty component is not a null one: the line shows the type alone.
  ASSERT_EQ(Write(logger.Get(), "", "INFO", "c"), S_OK);
  EXPECT_EQ(AfterStamp(WithoutHeader(box_.Main())), " INFO : c\r\n");
}

TEST_F(VexaLoggerTest, WriteMessagesJoinsTheTexts) {
  ComPtr<IVexaLogger> logger = Make();
  ASSERT_EQ(logger->WriteMessages(B("vexa").Get(), B("INFO").Get(), B("first").Get(), nullptr,
                                  B("third").Get(), nullptr, B("").Get()),
            S_OK);
  EXPECT_EQ(AfterStamp(WithoutHeader(box_.Main())), " INFO   vexa     : firstthird\r\n");
  EXPECT_EQ(logger->WriteMessages(B("vexa").Get(), B("INFO").Get(), nullptr, B("x").Get(),
                                  nullptr, nullptr, nullptr),
            E_INVALIDARG);
}

TEST_F(VexaLoggerTest, LongMessageIsWrittenWhole) {
  // Far more than one 12288-byte block, over several lines.
  std::string text;
  for (int i = 0; i < 3; ++i) text += std::string(9000, static_cast<char>('a' + i)) + "\r\n";
  text += "end";
  ComPtr<IVexaLogger> logger = Make();
  ASSERT_EQ(Write(logger.Get(), "vexa", "INFO", text.c_str()), S_OK);
  const std::vector<std::string> lines = Lines(WithoutHeader(box_.Main()));
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[0].substr(18), " INFO   vexa     : " + std::string(9000, 'a'));
  EXPECT_EQ(lines[2].substr(18), " INFO   vexa       " + std::string(9000, 'c'));
  EXPECT_EQ(lines[3].substr(18), " INFO   vexa       end");
}

// Fills the log with numbered lines until it holds at least `bytes`.
void FillTo(IVexaLogger* logger, const char* type, const std::string& path, std::size_t bytes) {
  for (int i = 0; LogSandbox::Read(path).size() < bytes; ++i) {
    Bstr c = Bstr::FromUtf8("vexa"), t = Bstr::FromUtf8(type);
    Bstr m = Bstr::FromUtf8("line " + std::to_string(i));
    ASSERT_EQ(logger->WriteMessage(c.Get(), t.Get(), m.Get()), S_OK);
  }
}

// What pruning at `cut` keeps: everything after the first LF at or after it.
std::string KeptAfter(const std::string& log, std::size_t cut) {
  const std::size_t lf = log.find('\n', cut);
  return lf == std::string::npos ? "" : log.substr(lf + 1);
}

TEST_F(VexaLoggerTest, MainLogIsCutAtTheFirstLineEndAfterItsHalf) {
  LogSandbox::SetDword("Log Size", 3001);
  ComPtr<IVexaLogger> logger = Make();
  FillTo(logger.Get(), "INFO", box_.MainPath(), 3001);
  const std::string before = box_.Main();
  ASSERT_EQ(Write(logger.Get(), "vexa", "INFO", "after the cut"), S_OK);

  const std::string after = box_.Main();
  // cut = 3001 - 1500: the first half, rounded up, goes.
  const std::vector<std::string> lines = Lines(after);
  EXPECT_EQ(lines[0].substr(18), " * : VEXA LOG Reset(1501 bytes pruned) on 11/05/02 at " +
                                     base::FormatTime(clock_.LocalNow(), "%X"));
  EXPECT_EQ(WithoutHeader(after).substr(0, KeptAfter(before, 1501).size()), KeptAfter(before, 1501));
  EXPECT_EQ(Lines(after).back().substr(18), " INFO   vexa     : after the cut");
  EXPECT_FALSE(base::FileExists(box_.data() + "LOG.tmp"));
}

TEST_F(VexaLoggerTest, DebugLogIsCutAtThreeQuartersWithoutHeader) {
  LogSandbox::SetDword("Debug Log Size", 2000);
  ComPtr<IVexaLogger> logger = Make();
  FillTo(logger.Get(), "debug", box_.DebugPath(), 2000);
  const std::string before = box_.Debug();
  // Maintenance runs before any write once the main log has its header.
  ASSERT_EQ(Write(logger.Get(), "vexa", "INFO", "main line"), S_OK);
  EXPECT_EQ(box_.Debug(), KeptAfter(before, 1500));
  EXPECT_FALSE(base::FileExists(box_.data() + "DEB.tmp"));
}

TEST_F(VexaLoggerTest, FailedPruningLeavesTheLogAsItWas) {
  LogSandbox::SetDword("Log Size", 2000);
  ComPtr<IVexaLogger> logger = Make();
  FillTo(logger.Get(), "INFO", box_.MainPath(), 2000);
  // A folder in place of the temporary file: the pruned copy cannot be made.
  ASSERT_TRUE(base::MakeDirs(box_.data() + "LOG.tmp/blocked"));
  const std::string before = box_.Main();
  ASSERT_EQ(Write(logger.Get(), "vexa", "INFO", "still appended"), S_OK);
  const std::string after = box_.Main();
  EXPECT_EQ(after.substr(0, before.size()), before);
  EXPECT_EQ(Lines(after).back().substr(18), " INFO   vexa     : still appended");
}

TEST_F(VexaLoggerTest, DebugLogWhosePruningFailsIsEmptied) {
  LogSandbox::SetDword("Debug Log Size", 8000);
  ComPtr<IVexaLogger> logger = Make();
  FillTo(logger.Get(), "debug", box_.DebugPath(), 8000);
  ASSERT_LT(box_.Main().size(), 1000u);
  // Files may not grow past 1000 bytes: copying the debug log's last
  // quarter fails part way, while the main log still has room.
  HRESULT hr;
  {
    FileSizeLimit limit(1000);
    ASSERT_TRUE(limit.Set());
    hr = Write(logger.Get(), "vexa", "INFO", "main line");
  }

  EXPECT_EQ(hr, S_OK);
  EXPECT_EQ(box_.Debug(), "");
  EXPECT_FALSE(base::FileExists(box_.data() + "DEB.tmp"));
  EXPECT_EQ(Lines(box_.Main()).back().substr(18), " INFO   vexa     : main line");
  // The emptied debug log takes new lines.
  ASSERT_EQ(Write(logger.Get(), "vexa", "debug", "after"), S_OK);
  EXPECT_EQ(Lines(box_.Debug()).size(), 1u);
}

TEST_F(VexaLoggerTest, RaisedLimitDoesNotCutPastTheEnd) {
  LogSandbox::SetDword("Log Size", 2000);
  ComPtr<IVexaLogger> logger = Make();
  FillTo(logger.Get(), "INFO", box_.MainPath(), 2000);
  const std::string before = box_.Main();
  // The limit is raised past the log's size before the next write: the log
  // stays whole.
  LogSandbox::SetDword("Log Size", 1000000);
  ASSERT_EQ(Write(logger.Get(), "vexa", "INFO", "kept"), S_OK);
  const std::string after = box_.Main();
  EXPECT_EQ(after.substr(0, before.size()), before);
  EXPECT_EQ(Lines(after).back().substr(18), " INFO   vexa     : kept");
}

TEST_F(VexaLoggerTest, ObjectsShareTheLogAcrossPruning) {
  LogSandbox::SetDword("Log Size", 2000);
  ComPtr<IVexaLogger> a = Make();
  ComPtr<IVexaLogger> b = Make();
  FillTo(a.Get(), "INFO", box_.MainPath(), 2000);
  ASSERT_EQ(Write(a.Get(), "vexa", "INFO", "pruned by a"), S_OK);
  ASSERT_NE(box_.Main().find("Reset("), std::string::npos);
  // b writes after a replaced the file: its line lands in the live log.
  ASSERT_EQ(Write(b.Get(), "vexawiz", "INFO", "written by b"), S_OK);
  EXPECT_EQ(Lines(box_.Main()).back().substr(18), " INFO   vexawiz  : written by b");
}

TEST_F(VexaLoggerTest, ResetLogFileStartsAFreshLog) {
  ComPtr<IVexaLogger> logger = Make();
  ASSERT_EQ(Write(logger.Get(), "vexa", "INFO", "old line"), S_OK);
  ASSERT_EQ(Write(logger.Get(), "vexa", "debug", "debug line"), S_OK);
  ASSERT_EQ(logger->ResetLogFile(), S_OK);
  EXPECT_EQ(box_.Main(), "");
  ASSERT_EQ(Write(logger.Get(), "vexa", "INFO", "new line"), S_OK);
  const std::string log = box_.Main();
  EXPECT_NE(log.find(": VEXA LOG Created on"), std::string::npos);
  EXPECT_EQ(log.find("old line"), std::string::npos);
  EXPECT_EQ(AfterStamp(WithoutHeader(log)), " INFO   vexa     : new line\r\n");
  // The debug log is not touched.
  EXPECT_NE(box_.Debug().find("debug line"), std::string::npos);
}

TEST_F(VexaLoggerTest, ResetOfALogDeletedFromOutsideReportsTheDeletion) {
  ComPtr<IVexaLogger> logger = Make();
  ASSERT_EQ(Write(logger.Get(), "vexa", "INFO", "first"), S_OK);
  ASSERT_EQ(::unlink(box_.MainPath().c_str()), 0);
  // The log could not be deleted (it was gone), yet it is open again.
  EXPECT_EQ(logger->ResetLogFile(), E_HANDLE);
  const com::ErrorText e = com::TakeError();
  EXPECT_EQ(e.Utf8Description(),
            "IVexaLogger:ResetLogFile - log file deletion failed with error " +
                std::to_string(ENOENT) + ".");
  EXPECT_EQ(e.iid, IID_IVexaLogger);
  ASSERT_EQ(Write(logger.Get(), "vexa", "INFO", "second"), S_OK);
  EXPECT_NE(box_.Main().find(": VEXA LOG Created on"), std::string::npos);
  EXPECT_EQ(AfterStamp(WithoutHeader(box_.Main())), " INFO   vexa     : second\r\n");
}

TEST_F(VexaLoggerTest, LogDeletedFromOutsideIsCreatedAgain) {
  ComPtr<IVexaLogger> logger = Make();
  ASSERT_EQ(Write(logger.Get(), "vexa", "INFO", "first"), S_OK);
  ASSERT_EQ(::unlink(box_.MainPath().c_str()), 0);
  ASSERT_EQ(Write(logger.Get(), "vexa", "INFO", "second"), S_OK);
  const std::string log = box_.Main();
  EXPECT_NE(log.find(": VEXA LOG Created on"), std::string::npos);
  EXPECT_EQ(AfterStamp(WithoutHeader(log)), " INFO   vexa     : second\r\n");
}

TEST_F(VexaLoggerTest, DataDirectoryIsAFolderHoweverItIsWritten) {
  // Without a final separator, with backslashes, not yet made: the logs go
  // into that folder.
  const std::string dir = box_.root() + "/new\\logs";
  LogSandbox::SetString("APP_PATH_DATA", dir);
  ComPtr<IVexaLogger> logger = Make();
  ASSERT_EQ(Write(logger.Get(), "vexa", "INFO", "in the folder"), S_OK);
  const std::string main = box_.root() + "/new/logs/vexalog.txt";
  EXPECT_NE(LogSandbox::Read(main).find("in the folder"), std::string::npos);
  Bstr path;
  ASSERT_EQ(logger->get_LogFilePath(path.Out()), S_OK);
  EXPECT_EQ(path.Utf8(), main);
}

// The logs hold photo paths and titles: the folders made for them are 0700
// and the logs 0600, made new, after pruning and after a reset alike. A log
// made before keeps its mode and takes lines as ever.
TEST_F(VexaLoggerTest, TheLogsAreTheUsersAlone) {
  ScopedUmask mask(022);
  const std::string made = box_.root() + "/made";
  const std::string dir = made + "/logs/";
  LogSandbox::SetString("APP_PATH_DATA", dir);
  LogSandbox::SetDword("Log Size", 2000);
  LogSandbox::SetDword("Debug Log Size", 2000);
  {
    ComPtr<IVexaLogger> logger = Make();
    ASSERT_EQ(Write(logger.Get(), "vexa", "INFO", "C:/photos/holiday.jpg"), S_OK);
    ASSERT_EQ(Write(logger.Get(), "vexa", "debug", "C:/photos/holiday.jpg"), S_OK);
    EXPECT_EQ(ModeText(made), "0700");
    EXPECT_EQ(ModeText(dir), "0700");
    EXPECT_EQ(ModeText(dir + "vexalog.txt"), "0600");
    EXPECT_EQ(ModeText(dir + "vexalogD.txt"), "0600");
    FillTo(logger.Get(), "INFO", dir + "vexalog.txt", 2000);
    FillTo(logger.Get(), "debug", dir + "vexalogD.txt", 2000);
    ASSERT_EQ(Write(logger.Get(), "vexa", "INFO", "after pruning"), S_OK);
    ASSERT_NE(LogSandbox::Read(dir + "vexalog.txt").find("Reset("), std::string::npos);
    EXPECT_EQ(ModeText(dir + "vexalog.txt"), "0600");
    EXPECT_EQ(ModeText(dir + "vexalogD.txt"), "0600");
    ASSERT_EQ(logger->ResetLogFile(), S_OK);
    EXPECT_EQ(ModeText(dir + "vexalog.txt"), "0600");
  }
  // The sandbox's own folder and a log made 0644 before.
  LogSandbox::SetString("APP_PATH_DATA", box_.data());
  ASSERT_TRUE(base::WriteFileAtomic(box_.MainPath(), ""));
  ASSERT_EQ(::chmod(box_.MainPath().c_str(), 0644), 0);
  ComPtr<IVexaLogger> logger = Make();
  ASSERT_EQ(Write(logger.Get(), "vexa", "INFO", "into the old log"), S_OK);
  EXPECT_NE(box_.Main().find("into the old log"), std::string::npos);
  EXPECT_EQ(ModeText(box_.MainPath()), "0644");
}

TEST_F(VexaLoggerTest, LogFilePathNamesTheMainLog) {
  ComPtr<IVexaLogger> logger = Make();
  Bstr path;
  ASSERT_EQ(logger->get_LogFilePath(path.Out()), S_OK);
  EXPECT_EQ(path.Utf8(), box_.MainPath());
  EXPECT_EQ(logger->get_LogFilePath(nullptr), E_POINTER);
}

TEST_F(VexaLoggerTest, UnopenableDebugLogFailsDebugWritesWithErrorInformation) {
  // A folder where the debug log should be: it cannot be opened as a file.
  ASSERT_TRUE(base::MakeDirs(box_.DebugPath()));
  ComPtr<IVexaLogger> logger = Make();
  ASSERT_TRUE(logger);
  EXPECT_EQ(AfterStamp(WithoutHeader(box_.Main())),
            " ERROR  vexalog  : FinalConstruct - Cannot open Debug log file.\r\n");

  ASSERT_EQ(Write(logger.Get(), "vexa", "D", "lost"), E_FAIL);
  const com::ErrorText e = com::TakeError();
  EXPECT_TRUE(e.present);
  EXPECT_EQ(e.Utf8Description(), "IVexaLogger::WriteMessage - Cannot set file pointer to EOF.");
  EXPECT_EQ(e.source, u"Vexalog.VexaLogger.1");
  EXPECT_EQ(e.iid, IID_IVexaLogger);
  // Main log writes go on working.
  EXPECT_EQ(Write(logger.Get(), "vexa", "INFO", "kept"), S_OK);
}

TEST_F(VexaLoggerTest, FailedWriteOrFlushIsReportedWithItsText) {
  // A debug log that holds 1500 bytes, under a debug limit of its own.
  LogSandbox::SetDword("Debug Log Size", 8000);
  {
    ComPtr<IVexaLogger> logger = Make();
    FillTo(logger.Get(), "debug", box_.DebugPath(), 1500);
    ASSERT_LT(box_.Main().size(), 1000u);
    // Files may not grow past 1000 bytes: the debug log takes no more.
    HRESULT hr;
    {
      FileSizeLimit limit(1000);
      ASSERT_TRUE(limit.Set());
      hr = Write(logger.Get(), "vexa", "debug", "lost");
    }
    EXPECT_EQ(hr, E_FAIL);
    EXPECT_EQ(com::TakeError().Utf8Description(),
              "IVexaLogger:WriteMessage - Cannot write to logfile " + box_.DebugPath() + ": File too large.");
  }
  // A pipe in place of the debug log takes the line but cannot be flushed
  // to a disk.
  ASSERT_EQ(::unlink(box_.DebugPath().c_str()), 0);
  ASSERT_EQ(::mkfifo(box_.DebugPath().c_str(), 0600), 0);
  ComPtr<IVexaLogger> logger = Make();
  EXPECT_EQ(Write(logger.Get(), "vexa", "D", "unflushed"), E_FAIL);
  const com::ErrorText e = com::TakeError();
  EXPECT_EQ(e.Utf8Description(), "IVexaLogger:WriteMessage - Cannot flush message buffer.");
  EXPECT_EQ(e.source, u"Vexalog.VexaLogger.1");
  EXPECT_EQ(Write(logger.Get(), "vexa", "INFO", "kept"), S_OK);
}

TEST_F(VexaLoggerTest, UnreadableLimitsAreReportedAndDefaulted) {
  LogSandbox::SetString("Log Size", "big");
  ComPtr<IVexaLogger> logger = Make();
  EXPECT_EQ(AfterStamp(WithoutHeader(box_.Main())),
            " ERROR  vexalog  : FinalConstruct - ReadFileSizes failed; using defaults.\r\n");
}

TEST_F(VexaLoggerTest, MainLogThatCannotBeCreatedFailsCreation) {
  // The data directory lies below a regular file.
  const std::string file = box_.root() + "/plain";
  ASSERT_TRUE(base::WriteFileAtomic(file, "x"));
  LogSandbox::SetString("APP_PATH_DATA", file + "/data/");
  ComPtr<IVexaLogger> logger;
  EXPECT_EQ(CreateVexaLogger(IID_IVexaLogger, logger.PutVoid()), E_HANDLE);
  EXPECT_FALSE(logger);
  // The path, the system's reason and what to do.
  EXPECT_EQ(com::TakeError().Utf8Description(),
            "IVexaLogger::FinalConstruct; log file creation failed: " + file +
                "/data/vexalog.txt cannot be opened: Not a directory. Make " + file +
                "/data/ a folder this user can write to, on a disk with free space (the registry value APP_PATH_DATA "
                "names the folder).");
}

// A new log that cannot be written (its disk full; here a size limit of 0
// bytes): each line fails at once with the file and the reason, and the
// header's system information (which asks the printer system, slow where it
// does not answer) is gathered once, not again with every line. Once the
// log can be written, lines go in again.
TEST_F(VexaLoggerTest, ALogThatCannotBeWrittenIsNotGivenItsHeaderAgainWithEveryLine) {
  const std::string bin = box_.root() + "/bin";
  // Each question leaves an empty file (the size limit lets no byte out).
  const std::string asked = box_.root() + "/asked";
  ASSERT_TRUE(base::MakeDirs(bin));
  ASSERT_TRUE(base::MakeDirs(asked));
  ASSERT_TRUE(base::WriteFileAtomic(
      bin + "/lpstat", "#!/bin/sh\nmktemp '" + asked + "/XXXXXX' >/dev/null\necho 'system default destination: desk'\n"));
  ASSERT_EQ(::chmod((bin + "/lpstat").c_str(), 0755), 0);
  struct Environment {
    std::vector<std::pair<std::string, std::string>> saved;
    Environment(const std::string& bin) {
      for (const char* name : {"PATH", "PRINTER", "LPDEST"}) {
        if (const char* v = std::getenv(name)) saved.emplace_back(name, v);
        ::unsetenv(name);
      }
      std::string path = bin;
      for (const auto& [k, v] : saved) {
        if (k == "PATH") path += ":" + v;
      }
      ::setenv("PATH", path.c_str(), 1);
    }
    ~Environment() {
      ::unsetenv("PATH");
      for (const auto& [k, v] : saved) ::setenv(k.c_str(), v.c_str(), 1);
    }
  } environment(bin);

  ComPtr<IVexaLogger> logger = Make();
  {
    FileSizeLimit limit(0);
    ASSERT_TRUE(limit.Set());
    for (int i = 0; i < 4; ++i) {
      EXPECT_EQ(Write(logger.Get(), "vexa", "INFO", "lost"), E_FAIL);
      EXPECT_EQ(com::TakeError().Utf8Description(),
                "IVexaLogger:WriteMessage - Cannot write to logfile " + box_.MainPath() + ": File too large.");
    }
  }
  const auto questions = std::distance(std::filesystem::directory_iterator(asked), std::filesystem::directory_iterator());
  EXPECT_EQ(questions, 1);
  EXPECT_EQ(box_.Main(), "");
  EXPECT_EQ(Write(logger.Get(), "vexa", "INFO", "kept"), S_OK);
  EXPECT_NE(box_.Main().find("kept"), std::string::npos);
}

TEST_F(VexaLoggerTest, DispatchCallsReachTheMethods) {
  ComPtr<IVexaLogger> logger = Make();
  VARIANT args[3];
  // Arguments in reverse order: text, type, component.
  com::Variant text = com::Variant::Utf8("by dispatch"), type = com::Variant::Utf8("INFO"),
               component = com::Variant::Utf8("vexa");
  args[0] = text;
  args[1] = type;
  args[2] = component;
  DISPPARAMS params{args, nullptr, 3, 0};
  ASSERT_EQ(logger->Invoke(DISPID_VexaLogger_WriteMessage, GUID_NULL, 0, DISPATCH_METHOD, &params,
                           nullptr, nullptr, nullptr),
            S_OK);
  EXPECT_EQ(AfterStamp(WithoutHeader(box_.Main())), " INFO   vexa     : by dispatch\r\n");
  com::Variant result;
  DISPPARAMS none{nullptr, nullptr, 0, 0};
  ASSERT_EQ(logger->Invoke(DISPID_VexaLogger_LogFilePath, GUID_NULL, 0, DISPATCH_PROPERTYGET,
                           &none, &result, nullptr, nullptr),
            S_OK);
  ASSERT_EQ(result.vt, VT_BSTR);
  EXPECT_EQ(com::BstrToUtf8(result.bstrVal), box_.MainPath());
}

TEST_F(VexaLoggerTest, SupportsErrorInfoForItsInterfaceOnly) {
  ComPtr<IVexaLogger> logger = Make();
  ComPtr<ISupportErrorInfo> info;
  ASSERT_EQ(logger.As(&info), S_OK);
  EXPECT_EQ(info->InterfaceSupportsErrorInfo(IID_IVexaLogger), S_OK);
  EXPECT_EQ(info->InterfaceSupportsErrorInfo(IID_IDispatch), S_FALSE);
}

}  // namespace
}  // namespace vexa::logging

namespace vexa::logging {
namespace {

// The rows of the system block that name the programs for web pages and PDF
// files, from the desktop's defaults: the open command and the print and
// printto actions of the default application, or what was looked up when a
// command cannot be read.
TEST(SystemInfoTest, DocumentRowsNameTheCommandsOrWhatWasLookedUp) {
  testing::LogSandbox box;
  const std::string bin = box.root() + "/bin", apps = box.root() + "/share/applications";
  ASSERT_TRUE(base::MakeDirs(bin));
  ASSERT_TRUE(base::MakeDirs(apps));
  // A stand-in for the desktop's query of default applications.
  ASSERT_TRUE(base::WriteFileAtomic(bin + "/xdg-mime",
                                    "#!/bin/sh\n"
                                    "case \"$3\" in text/html) echo browser.desktop;; "
                                    "application/pdf) echo reader.desktop;; esac\n"));
  ASSERT_EQ(::chmod((bin + "/xdg-mime").c_str(), 0755), 0);
  ASSERT_TRUE(base::WriteFileAtomic(apps + "/browser.desktop",
                                    "[Desktop Entry]\nName=Browser\nExec=browser %u\nActions=Print;PrintTo\n\n"
                                    "[Desktop Action Print]\nExec=browser --print %u\n\n"
                                    "[Desktop Action PrintTo]\nExec=browser --print-to %p %u\n"));
  ASSERT_TRUE(base::WriteFileAtomic(apps + "/reader.desktop", "[Desktop Entry]\nName=Reader\nExec=reader %f\n"));
  const char* oldPath = std::getenv("PATH");
  const std::string savedPath = oldPath ? oldPath : "";
  ::setenv("PATH", (bin + ":/usr/bin:/bin").c_str(), 1);
  ::setenv("XDG_DATA_HOME", (box.root() + "/share").c_str(), 1);
  const std::string text = BuildSystemInfoText();
  ::setenv("PATH", savedPath.c_str(), 1);
  ::unsetenv("XDG_DATA_HOME");
  const std::string rows =
      "Web browser:\t\tBrowser\r\n"
      "HTML open:\t\tbrowser %u\r\n"
      "HTML printto:\t\tbrowser --print-to %p %u\r\n"
      "HTML print:\t\tbrowser --print %u\r\n"
      "PDF open:\t\treader %f\r\n"
      "PDF printto:\t\tapplications/reader.desktop [Desktop Action printto]\r\n"
      "PDF print:\t\tapplications/reader.desktop [Desktop Action print]\r\n";
  EXPECT_NE(text.find(rows), std::string::npos) << text;
}

}  // namespace
}  // namespace vexa::logging

namespace vexa::logging {
namespace {

TEST(VexaLoggerTypeInfoTest, TheInterfaceDescribesItselfInItsLibrary) {
  testing::LogSandbox box;
  CoInitialize(nullptr);
  {
    ComPtr<IVexaLogger> logger;
    ASSERT_EQ(CreateVexaLogger(IID_IVexaLogger, logger.PutVoid()), S_OK);
    ComPtr<ITypeInfo> info;
    ASSERT_EQ(logger->GetTypeInfo(0, 0, info.Put()), S_OK);
    TYPEATTR* attr = nullptr;
    ASSERT_EQ(info->GetTypeAttr(&attr), S_OK);
    EXPECT_EQ(attr->guid, IID_IVexaLogger);
    EXPECT_EQ(attr->cFuncs, 4);  // LogFilePath, ResetLogFile, WriteMessage, WriteMessages
    info->ReleaseTypeAttr(attr);
    Bstr name;
    ASSERT_EQ(info->GetDocumentation(DISPID_VexaLogger_WriteMessages, name.Out(), nullptr, nullptr, nullptr), S_OK);
    EXPECT_EQ(name.View(), u"WriteMessages");
    ComPtr<ITypeLib> lib;
    ASSERT_EQ(info->GetContainingTypeLib(lib.Put(), nullptr), S_OK);
    TLIBATTR* libAttr = nullptr;
    ASSERT_EQ(lib->GetLibAttr(&libAttr), S_OK);
    EXPECT_EQ(libAttr->guid, LIBID_VEXALOGLib);
    lib->ReleaseTLibAttr(libAttr);
  }
  CoUninitialize();
}

}  // namespace
}  // namespace vexa::logging
