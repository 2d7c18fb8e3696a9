// The log server as its clients meet it: started on demand by
// CoCreateInstance, shared by client processes, ending on its own.
//
// Each test has its own registry layer and runtime folder, so it starts a
// server of its own and never meets another test's or a user's server.
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <climits>
#include <chrono>
#include <map>
#include <optional>
#include <thread>

#include "idl/vexalog.h"
#include "logging/tests/LoggerTestUtil.h"
#include "tests/support/Waits.h"

extern char** environ;

namespace vexa::logging {
namespace {

using com::Bstr;
using com::ComPtr;
using testing::Lines;
using testing::LogSandbox;
using testing::WithoutHeader;

std::string Client() { return std::string(VEXA_BUILD_DIR) + "/tests/vexalog_testclient"; }
std::string ServerProgram() { return std::string(VEXA_BUILD_DIR) + "/bin/vexalog"; }

// The server's path as /proc shows it: with every symbolic link resolved.
std::string ResolvedServerProgram() {
  char resolved[PATH_MAX];
  return ::realpath(ServerProgram().c_str(), resolved) ? resolved : ServerProgram();
}

// A client process with pipes to its standard input and output. Each wait
// for it ends within the tests' bound, failing the test with a message that
// names the program.
class ChildProcess {
 public:
  // With mergeErrors the child's standard error joins its output.
  explicit ChildProcess(std::vector<std::string> args, const std::string& program = Client(),
                        bool mergeErrors = false) {
    int in[2], out[2];
    EXPECT_EQ(::pipe2(in, O_CLOEXEC), 0);
    EXPECT_EQ(::pipe2(out, O_CLOEXEC), 0);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    if (mergeErrors) posix_spawn_file_actions_adddup2(&actions, out[1], 2);
    std::vector<char*> argv;
    args.insert(args.begin(), program);
    for (std::string& a : args) {
      what_ += (what_.empty() ? "" : " ") + a;
      argv.push_back(a.data());
    }
    argv.push_back(nullptr);
    EXPECT_EQ(posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ), 0);
    posix_spawn_file_actions_destroy(&actions);
    ::close(in[0]);
    ::close(out[1]);
    stdin_ = in[1];
    stdout_ = out[0];
  }
  ~ChildProcess() {
    CloseInput();
    if (stdout_ >= 0) ::close(stdout_);
    if (pid_ > 0) {
      ::kill(pid_, SIGKILL);
      Wait();
    }
  }
  // Reads the child's first line of output ("ready").
  std::string ReadLine() {
    std::string line;
    const testsupport::Deadline deadline;
    if (testsupport::ReadLineUntil(stdout_, &line, deadline) == testsupport::ReadEnd::kTimedOut) {
      ADD_FAILURE() << testsupport::InVain("a line from " + what_);
    }
    return line;
  }
  // Everything the child writes until it ends its output.
  std::string ReadAll() {
    std::string all;
    const testsupport::Deadline deadline;
    if (testsupport::ReadToEndUntil(stdout_, &all, deadline) == testsupport::ReadEnd::kTimedOut) {
      ADD_FAILURE() << testsupport::InVain("the end of the output of " + what_);
    }
    return all;
  }
  void CloseInput() {
    if (stdin_ >= 0) ::close(std::exchange(stdin_, -1));
  }
  void Kill() { ::kill(pid_, SIGKILL); }
  // The exit code, or -signal.
  int Wait() {
    const testsupport::ChildEnd end = testsupport::WaitChild(pid_, what_);
    pid_ = -1;
    if (!end.ended) ADD_FAILURE() << end.failure;
    if (!end.reaped) return INT_MIN;
    return WIFEXITED(end.status) ? WEXITSTATUS(end.status) : -WTERMSIG(end.status);
  }

 private:
  std::string what_;
  pid_t pid_ = -1;
  int stdin_ = -1;
  int stdout_ = -1;
};

class VexaLogServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    runtime_ = box_.root() + "/runtime";
    base::MakeDirs(runtime_);
    ::setenv("XDG_RUNTIME_DIR", runtime_.c_str(), 1);
    CoInitialize(nullptr);
  }
  void TearDown() override {
    CoUninitialize();
    ::unsetenv("XDG_RUNTIME_DIR");
  }

  // Live log servers of this test: bin/vexalog processes whose runtime
  // folder is ours.
  std::vector<pid_t> Servers() const {
    std::vector<pid_t> found;
    DIR* proc = ::opendir("/proc");
    if (!proc) return found;
    const std::string exe = ResolvedServerProgram();
    const std::string marker = "XDG_RUNTIME_DIR=" + runtime_;
    while (dirent* e = ::readdir(proc)) {
      const pid_t pid = static_cast<pid_t>(std::strtol(e->d_name, nullptr, 10));
      if (pid <= 0) continue;
      const std::string dir = std::string("/proc/") + e->d_name;
      char target[4096];
      const ssize_t n = ::readlink((dir + "/exe").c_str(), target, sizeof target - 1);
      if (n <= 0 || std::string(target, static_cast<std::size_t>(n)) != exe) continue;
      std::string env;
      base::ReadFile(dir + "/environ", &env);
      std::size_t pos = 0;
      while (pos < env.size()) {
        const std::size_t end = env.find('\0', pos);
        if (env.compare(pos, end - pos, marker) == 0) {
          found.push_back(pid);
          break;
        }
        pos = end == std::string::npos ? env.size() : end + 1;
      }
    }
    ::closedir(proc);
    return found;
  }

  // Waits for a process that is not our child to end; false on timeout.
  static bool WaitForExit(pid_t pid, std::chrono::seconds timeout) {
    const int fd = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
    if (fd < 0) return errno == ESRCH;
    pollfd p{fd, POLLIN, 0};
    const int r = ::poll(&p, 1, static_cast<int>(timeout.count() * 1000));
    ::close(fd);
    return r == 1;
  }

  // What the server wrote to its standard error (sanitizer reports).
  std::string ServerDiagnostics() const {
    return LogSandbox::Read(com::LocalServerLogPath(CLSID_VexaLogger));
  }

  ComPtr<IVexaLogger> Create() {
    ComPtr<IVexaLogger> logger;
    EXPECT_EQ(CoCreateInstance(CLSID_VexaLogger, nullptr, CLSCTX_ALL, IID_IVexaLogger,
                               logger.PutVoid()),
              S_OK);
    return logger;
  }

  LogSandbox box_;
  std::string runtime_;
};

TEST_F(VexaLogServerTest, CallsCrossToTheServerWithTheirErrors) {
  // A folder in place of the debug log: debug writes fail in the server.
  ASSERT_TRUE(base::MakeDirs(box_.DebugPath()));
  EXPECT_TRUE(Servers().empty());
  ComPtr<IVexaLogger> logger = Create();
  ASSERT_TRUE(logger);
  EXPECT_EQ(Servers().size(), 1u);

  Bstr path;
  ASSERT_EQ(logger->get_LogFilePath(path.Out()), S_OK);
  EXPECT_EQ(path.Utf8(), box_.MainPath());

  ASSERT_EQ(logger->WriteMessage(Bstr::FromUtf8("vexa").Get(), Bstr::FromUtf8("D").Get(),
                                 Bstr::FromUtf8("lost").Get()),
            E_FAIL);
  const com::ErrorText e = com::TakeError();
  EXPECT_TRUE(e.present);
  EXPECT_EQ(e.Utf8Description(), "IVexaLogger::WriteMessage - Cannot set file pointer to EOF.");
  EXPECT_EQ(e.source, u"Vexalog.VexaLogger.1");
  EXPECT_EQ(e.iid, IID_IVexaLogger);

  // A successful call leaves no error information behind.
  Bstr empty(std::u16string_view(u""));
  ASSERT_EQ(logger->WriteMessage(empty.Get(), Bstr::FromUtf8("INFO").Get(),
                                 Bstr::FromUtf8("empty component").Get()),
            S_OK);
  EXPECT_FALSE(com::TakeError().present);
  // Null and empty texts stay apart across the process boundary: a null
  // component writes nothing, a null first text is refused.
  ASSERT_EQ(logger->WriteMessage(nullptr, Bstr::FromUtf8("INFO").Get(),
                                 Bstr::FromUtf8("never").Get()),
            S_OK);
  EXPECT_EQ(logger->WriteMessages(Bstr::FromUtf8("vexa").Get(), Bstr::FromUtf8("INFO").Get(),
                                  nullptr, empty.Get(), nullptr, nullptr, nullptr),
            E_INVALIDARG);
  ASSERT_EQ(logger->WriteMessages(Bstr::FromUtf8("vexa").Get(), Bstr::FromUtf8("INFO").Get(),
                                  empty.Get(), nullptr, Bstr::FromUtf8("joined").Get(), nullptr,
                                  nullptr),
            S_OK);

  // IDispatch is answered by the proxy and reaches the server.
  ComPtr<IDispatch> dispatch;
  ASSERT_EQ(logger.As(&dispatch), S_OK);
  com::Variant args[3] = {com::Variant::Utf8("by dispatch"), com::Variant::Utf8("INFO"),
                          com::Variant::Utf8("vexawiz")};
  DISPPARAMS params{args, nullptr, 3, 0};
  ASSERT_EQ(dispatch->Invoke(DISPID_VexaLogger_WriteMessage, GUID_NULL, 0, DISPATCH_METHOD,
                             &params, nullptr, nullptr, nullptr),
            S_OK);

  const std::vector<std::string> lines = Lines(WithoutHeader(box_.Main()));
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[0].substr(18), " ERROR  vexalog  : FinalConstruct - Cannot open Debug log file.");
  EXPECT_EQ(lines[1].substr(18), " INFO : empty component");
  EXPECT_EQ(lines[2].substr(18), " INFO   vexa     : joined");
  EXPECT_EQ(lines[3].substr(18), " INFO   vexawiz  : by dispatch");
}

TEST_F(VexaLogServerTest, CreationByProgIdForIUnknown) {
  CLSID clsid{};
  ASSERT_EQ(CLSIDFromProgID(u"Vexalog.VexaLogger", &clsid), S_OK);
  EXPECT_EQ(clsid, CLSID_VexaLogger);
  ComPtr<IUnknown> unknown;
  ASSERT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_LOCAL_SERVER, IID_IUnknown,
                             unknown.PutVoid()),
            S_OK);
  ComPtr<IVexaLogger> logger;
  ASSERT_EQ(unknown.As(&logger), S_OK);
  ASSERT_EQ(logger->WriteMessage(Bstr::FromUtf8("vexa").Get(), Bstr::FromUtf8("INFO").Get(),
                                 Bstr::FromUtf8("via IUnknown").Get()),
            S_OK);
  EXPECT_EQ(Lines(WithoutHeader(box_.Main())).at(0).substr(18), " INFO   vexa     : via IUnknown");
}

TEST_F(VexaLogServerTest, CreationFailureCarriesTheServerError) {
  // The data directory lies below a regular file: no log can be created.
  const std::string file = box_.root() + "/plain";
  ASSERT_TRUE(base::WriteFileAtomic(file, "x"));
  LogSandbox::SetString("APP_PATH_DATA", file + "/data/");
  ComPtr<IVexaLogger> logger;
  EXPECT_EQ(CoCreateInstance(CLSID_VexaLogger, nullptr, CLSCTX_LOCAL_SERVER, IID_IVexaLogger,
                             logger.PutVoid()),
            E_HANDLE);
  EXPECT_FALSE(logger);
  const com::ErrorText e = com::TakeError();
  EXPECT_EQ(e.Utf8Description(), "IVexaLogger::FinalConstruct; log file creation failed: " + file +
                                     "/data/vexalog.txt cannot be opened: Not a directory. Make " + file +
                                     "/data/ a folder this user can write to, on a disk with free space (the registry "
                                     "value APP_PATH_DATA names the folder).");
  EXPECT_EQ(e.source, u"Vexalog.VexaLogger.1");
}

TEST_F(VexaLogServerTest, RegServerWritesAndUnregServerRemovesTheKeys) {
  const std::string hive = box_.root() + "/registry/HKLM.reg";
  {
    ChildProcess reg({"-RegServer"}, ServerProgram());
    ASSERT_EQ(reg.Wait(), 0);
  }
  const std::string written = LogSandbox::Read(hive);
  for (const char* text : {"{3ED54087-1700-4947-9722-B11D5DCD3A82}\\LocalServer32",
                           "Vexalog.VexaLogger\\CurVer", "AppID\\vexalog",
                           "{E91B0455-3CA0-4D40-A85A-71748FEB3732}\\ProxyStubClsid32",
                           "\"vexalogps\""}) {
    EXPECT_NE(written.find(text), std::string::npos) << text << " in\n" << written;
  }
  {
    ChildProcess unreg({"/UnregServer"}, ServerProgram());
    ASSERT_EQ(unreg.Wait(), 0);
  }
  const std::string left = LogSandbox::Read(hive);
  EXPECT_EQ(left.find("3ED54087"), std::string::npos) << left;
  EXPECT_EQ(left.find("E91B0455"), std::string::npos) << left;
  // Registration never starts the server.
  EXPECT_TRUE(Servers().empty());
}

TEST_F(VexaLogServerTest, SendToolWritesResetsAndNamesTheLog) {
  const std::string tool = std::string(VEXA_BUILD_DIR) + "/bin/vexalog-send";
  {
    ChildProcess send({"vexa", "INFO", "hello"}, tool);
    ASSERT_EQ(send.Wait(), 0);
  }
  const std::vector<std::string> lines = Lines(box_.Main());
  ASSERT_GE(lines.size(), 2u);
  EXPECT_NE(lines[0].find(" * : VEXA LOG Created on "), std::string::npos) << lines[0];
  EXPECT_EQ(lines.back().substr(18), " INFO   vexa     : hello");
  {
    ChildProcess path({"--path"}, tool);
    EXPECT_EQ(path.ReadLine(), box_.MainPath());
    EXPECT_EQ(path.Wait(), 0);
  }
  {
    ChildProcess reset({"--reset"}, tool);
    ASSERT_EQ(reset.Wait(), 0);
  }
  EXPECT_EQ(box_.Main(), "");
  {
    ChildProcess usage({"only-two", "args"}, tool);
    EXPECT_EQ(usage.Wait(), 2);
  }
}

TEST_F(VexaLogServerTest, ServerThatStopsAnsweringFailsCallsInTimeAndTheLinesAreKept) {
  testing::ScopedUmask mask(022);
  ::setenv("VEXA_LOCAL_SERVER_TIMEOUT_MS", "400", 1);
  ComPtr<IVexaLogger> logger = Create();
  ASSERT_TRUE(logger);
  const std::vector<pid_t> servers = Servers();
  ASSERT_EQ(servers.size(), 1u);
  ASSERT_EQ(::kill(servers[0], SIGSTOP), 0);

  const std::string kept = box_.data() + "vexalog-undelivered.txt";
  Bstr vexa = Bstr::FromUtf8("vexa"), info = Bstr::FromUtf8("INFO");
  EXPECT_EQ(logger->WriteMessage(vexa.Get(), info.Get(), Bstr::FromUtf8("first").Get()), RPC_E_TIMEOUT);
  com::ErrorText e = com::TakeError();
  EXPECT_EQ(e.Utf8Description(),
            "IVexaLogger::WriteMessage - the server vexalog did not answer within 400 ms; the line was kept in " +
                kept);
  EXPECT_EQ(e.source, u"Vexalog.VexaLogger.1");
  // The connection was given up: later lines fail at once and are kept too.
  EXPECT_EQ(logger->WriteMessages(vexa.Get(), info.Get(), Bstr::FromUtf8("sec").Get(),
                                  Bstr::FromUtf8("ond").Get(), nullptr, nullptr, nullptr),
            RPC_E_DISCONNECTED);
  EXPECT_NE(com::TakeError().Utf8Description().find("; the line was kept in " + kept), std::string::npos);
  const std::vector<std::string> lines = Lines(LogSandbox::Read(kept));
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0].substr(15), " INFO vexa: first");
  EXPECT_EQ(lines[1].substr(15), " INFO vexa: second");
  // Like the logs, the user's alone.
  EXPECT_EQ(testing::ModeText(kept), "0600");

  // A tool that cannot reach the stopped server says so and fails.
  {
    ChildProcess send({"vexa", "INFO", "from the tool"}, std::string(VEXA_BUILD_DIR) + "/bin/vexalog-send", true);
    const std::string said = send.ReadAll();
    EXPECT_EQ(send.Wait(), 1);
    EXPECT_EQ(said,
              "vexalog-send: creating the logger failed (RPC_E_TIMEOUT): the server vexalog did not answer within "
              "400 ms; the line was not written\n");
  }
  ::kill(servers[0], SIGCONT);
  ::unsetenv("VEXA_LOCAL_SERVER_TIMEOUT_MS");
}

// A user's registry file that cannot be parsed: the tool gives the file's
// line and reason, says the line was not written, and starts no server.
TEST_F(VexaLogServerTest, SendToolReportsABrokenRegistryFile) {
  const std::string hive = box_.root() + "/registry/HKLM.reg";
  ASSERT_TRUE(base::WriteFileAtomic(hive, "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software]\n\"name\"=dword:xyz\n"));
  ChildProcess send({"vexa", "INFO", "hello"}, std::string(VEXA_BUILD_DIR) + "/bin/vexalog-send", true);
  const std::string said = send.ReadAll();
  EXPECT_EQ(send.Wait(), 1);
  EXPECT_EQ(said, "vexalog-send: creating the logger failed (REGDB_E_READREGDB): the registry cannot be read: " +
                      hive + " line 4: bad dword (1 to 8 hex digits); the line was not written\n");
  EXPECT_TRUE(Servers().empty());
}

TEST_F(VexaLogServerTest, TwoClientProcessesWriteWholeLinesInOrder) {
  constexpr int kLines = 10000;
  // Room for all lines: no pruning while they are checked.
  LogSandbox::SetDword("Log Size", 50000000);
  ChildProcess a({"write", std::to_string(kLines), "alpha"});
  ChildProcess b({"write", std::to_string(kLines), "beta"});
  ASSERT_EQ(a.Wait(), 0);
  ASSERT_EQ(b.Wait(), 0);

  std::map<std::string, int> next{{"alpha", 0}, {"beta", 0}};
  for (const std::string& l : Lines(WithoutHeader(box_.Main()))) {
    // "YYYYMMDDTHHMMSS.NN INFO   name     : name i"
    ASSERT_GT(l.size(), 38u) << l;
    ASSERT_EQ(l[8], 'T') << l;
    ASSERT_EQ(l[15], '.') << l;
    const std::string name = l.compare(26, 6, "alpha ") == 0 ? "alpha" : "beta";
    const std::string field = " INFO   " + name + std::string(9 - name.size(), ' ') + ": ";
    ASSERT_EQ(l.substr(18, field.size()), field) << l;
    ASSERT_EQ(l.substr(18 + field.size()), name + " " + std::to_string(next[name]++)) << l;
  }
  EXPECT_EQ(next["alpha"], kLines);
  EXPECT_EQ(next["beta"], kLines);
}

TEST_F(VexaLogServerTest, ClientsStartingAtOnceShareOneServer) {
  std::vector<std::unique_ptr<ChildProcess>> clients;
  for (int i = 0; i < 8; ++i) {
    clients.push_back(std::make_unique<ChildProcess>(
        std::vector<std::string>{"hold", "client" + std::to_string(i)}));
  }
  for (auto& c : clients) ASSERT_EQ(c->ReadLine(), "ready");
  EXPECT_EQ(Servers().size(), 1u);
  for (auto& c : clients) c->CloseInput();
  for (auto& c : clients) EXPECT_EQ(c->Wait(), 0);
  EXPECT_EQ(Lines(WithoutHeader(box_.Main())).size(), 8u);
}

TEST_F(VexaLogServerTest, KilledClientLeavesServerAndOthersWorkingAndServerEndsWhenIdle) {
  ChildProcess looping({"loop", "victim"});
  ASSERT_EQ(looping.ReadLine(), "ready");
  const std::vector<pid_t> servers = Servers();
  ASSERT_EQ(servers.size(), 1u);

  ChildProcess writer({"write", "2000", "survivor"});
  looping.Kill();
  looping.Wait();
  ASSERT_EQ(writer.Wait(), 0);
  int survivors = 0;
  for (const std::string& l : Lines(WithoutHeader(box_.Main()))) {
    if (l.find(": survivor ") != std::string::npos) ++survivors;
  }
  EXPECT_EQ(survivors, 2000);

  // An object held over the idle time keeps the server.
  {
    ComPtr<IVexaLogger> logger = Create();
    std::this_thread::sleep_for(std::chrono::milliseconds(6500));
    EXPECT_EQ(logger->WriteMessage(Bstr::FromUtf8("vexa").Get(), Bstr::FromUtf8("INFO").Get(),
                                   Bstr::FromUtf8("still served").Get()),
              S_OK);
    EXPECT_EQ(Servers(), servers);
  }
  // With the killed client's object released too, the server ends by itself.
  EXPECT_TRUE(WaitForExit(servers[0], std::chrono::seconds(300)))
      << testsupport::InVain("the idle log server to end", std::chrono::seconds(300));
  EXPECT_FALSE(base::FileExists(com::LocalServerSocketPath(CLSID_VexaLogger)));
  EXPECT_EQ(ServerDiagnostics(), "");

  // The next client starts a new one.
  ComPtr<IVexaLogger> again = Create();
  ASSERT_TRUE(again);
  EXPECT_EQ(Servers().size(), 1u);
  EXPECT_NE(Servers(), servers);
}

}  // namespace
}  // namespace vexa::logging
