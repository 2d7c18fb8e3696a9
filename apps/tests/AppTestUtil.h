// Helpers of the programs' tests: a private registry and folders per test,
// the stand-in components registered in it, and running a program of the
// build with its output and trace collected.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "idl/ProductKey.h"
#include "idl/vexacore.h"
#include "idl/vexalog.h"
#include "idl/vexawiz.h"
#include "platform/base/Path.h"
#include "platform/base/Text.h"
#include "platform/registry/Registry.h"
#include "tests/support/Checkers.h"
#include "tests/support/Waits.h"

extern char** environ;

namespace vexa::app::testing {

inline std::string BuildDir() { return VEXA_BUILD_DIR; }
inline std::string ProgramPath(const std::string& name) { return BuildDir() + "/bin/" + name; }

struct ProgramResult {
  int status = -1;        // exit status, or 128 + signal
  std::string out, err;   // standard output and error
};

// The programs started and not yet waited for, by process id: named in
// the message of a wait that did not see one end.
inline std::map<pid_t, std::string>& Started() {
  static std::map<pid_t, std::string> started;
  return started;
}

// Spawn attributes that start a program in a process group of its own, so
// that a wait that gives up on it ends its children too.
class OwnGroup {
 public:
  OwnGroup() {
    posix_spawnattr_init(&attributes_);
    posix_spawnattr_setflags(&attributes_, POSIX_SPAWN_SETPGROUP);
    posix_spawnattr_setpgroup(&attributes_, 0);
  }
  ~OwnGroup() { posix_spawnattr_destroy(&attributes_); }
  OwnGroup(const OwnGroup&) = delete;
  OwnGroup& operator=(const OwnGroup&) = delete;
  const posix_spawnattr_t* Get() const { return &attributes_; }

 private:
  posix_spawnattr_t attributes_;
};

// Starts program with args; env entries replace or add variables ("" as a
// value removes one). Its standard output and error go to stdout.txt and
// stderr.txt in scratch. Answers its process id, -1 when it did not start.
inline pid_t SpawnProgram(const std::string& program, const std::vector<std::string>& args,
                          const std::map<std::string, std::string>& env, const std::string& scratch,
                          const std::string& cwd = "") {
  std::map<std::string, std::string> vars;
  for (char** e = environ; *e; ++e) {
    const std::string kv = *e;
    const std::size_t eq = kv.find('=');
    if (eq != std::string::npos) vars[kv.substr(0, eq)] = kv.substr(eq + 1);
  }
  for (const auto& [k, v] : env) {
    if (v.empty()) vars.erase(k);
    else vars[k] = v;
  }
  std::vector<std::string> envText;
  for (const auto& [k, v] : vars) envText.push_back(k + "=" + v);
  std::vector<char*> envp;
  for (auto& s : envText) envp.push_back(s.data());
  envp.push_back(nullptr);
  std::vector<std::string> argText{program};
  argText.insert(argText.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& s : argText) argv.push_back(s.data());
  argv.push_back(nullptr);

  const std::string outPath = scratch + "/stdout.txt";
  const std::string errPath = scratch + "/stderr.txt";
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  if (!cwd.empty()) posix_spawn_file_actions_addchdir_np(&actions, cwd.c_str());
  pid_t pid = -1;
  const int rc = posix_spawn(&pid, program.c_str(), &actions, OwnGroup().Get(), argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) return -1;
  Started()[pid] = program;
  return pid;
}

// Waits for a program SpawnProgram started and collects what it wrote. A
// program that has not ended within bound is killed with its children; the
// test fails with a message naming it, which also heads err, and status is
// -1.
inline ProgramResult WaitProgram(pid_t pid, const std::string& scratch,
                                 std::chrono::milliseconds bound = testsupport::kWaitBound) {
  ProgramResult r;
  if (pid < 0) return r;
  const auto started = Started().find(pid);
  const std::string what = started == Started().end() ? "process " + std::to_string(pid) : started->second;
  if (started != Started().end()) Started().erase(started);
  const testsupport::ChildEnd end = testsupport::WaitChild(pid, what, bound);
  if (end.ended) r.status = end.Code();
  base::ReadFile(scratch + "/stdout.txt", &r.out);
  base::ReadFile(scratch + "/stderr.txt", &r.err);
  if (!end.ended) {
    ADD_FAILURE() << end.failure;
    r.err = end.failure + "\n" + r.err;
  }
  return r;
}

// Runs program with its standard error (and, on a terminal, its standard
// input and output too) on a pseudo-terminal (terminal true) or a pipe
// (terminal false, standard input /dev/null), and collects what it writes
// there until it ends. On the terminal, answer sees everything written so
// far and gives the keys to type ("" for none); it is asked again whenever
// more has been written. A program that has not ended within bound is
// killed with its children, as WaitProgram does.
inline ProgramResult RunOnStderr(const std::string& program, const std::vector<std::string>& args,
                                 const std::map<std::string, std::string>& env, const std::string& scratch,
                                 bool terminal, const std::function<std::string(const std::string&)>& answer = {},
                                 std::chrono::milliseconds bound = testsupport::kWaitBound) {
  std::map<std::string, std::string> vars;
  for (char** e = environ; *e; ++e) {
    const std::string kv = *e;
    const std::size_t eq = kv.find('=');
    if (eq != std::string::npos) vars[kv.substr(0, eq)] = kv.substr(eq + 1);
  }
  for (const auto& [k, v] : env) {
    if (v.empty()) vars.erase(k);
    else vars[k] = v;
  }
  std::vector<std::string> envText;
  for (const auto& [k, v] : vars) envText.push_back(k + "=" + v);
  std::vector<char*> envp;
  for (auto& s : envText) envp.push_back(s.data());
  envp.push_back(nullptr);
  std::vector<std::string> argText{program};
  argText.insert(argText.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& s : argText) argv.push_back(s.data());
  argv.push_back(nullptr);

  ProgramResult r;
  int ours = -1, theirs = -1;
  if (terminal) {
    ours = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (ours < 0 || ::grantpt(ours) != 0 || ::unlockpt(ours) != 0) return r;
    theirs = ::open(::ptsname(ours), O_RDWR | O_NOCTTY);
  } else {
    int fds[2];
    if (::pipe(fds) != 0) return r;
    ours = fds[0];
    theirs = fds[1];
  }
  if (theirs < 0) return r;
  const std::string outPath = scratch + "/stdout.txt";
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (terminal) {
    posix_spawn_file_actions_adddup2(&actions, theirs, 0);
    posix_spawn_file_actions_adddup2(&actions, theirs, 1);
  } else {
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  }
  posix_spawn_file_actions_adddup2(&actions, theirs, 2);
  posix_spawn_file_actions_addclose(&actions, theirs);
  posix_spawn_file_actions_addclose(&actions, ours);
  pid_t pid = -1;
  const int rc = posix_spawn(&pid, program.c_str(), &actions, OwnGroup().Get(), argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  ::close(theirs);
  if (rc != 0) {
    ::close(ours);
    return r;
  }
  // Read until every writer has gone (end of file on the pipe, EIO on the
  // terminal once the program and its children have closed it), or the
  // bound has passed.
  const testsupport::Deadline deadline(bound);
  char buf[4096];
  std::size_t asked = 0;
  bool timedOut = false;
  while (true) {
    const int ready = testsupport::PollUntil(ours, POLLIN, deadline);
    if (ready == 0) {
      timedOut = true;
      break;
    }
    const ssize_t n = ::read(ours, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    r.err.append(buf, static_cast<std::size_t>(n));
    if (terminal && answer && r.err.size() > asked) {
      asked = r.err.size();
      const std::string keys = answer(r.err);
      if (!keys.empty() && ::write(ours, keys.data(), keys.size()) < 0) break;
    }
  }
  ::close(ours);
  if (timedOut) testsupport::KillGroup(pid);
  const testsupport::ChildEnd end =
      testsupport::WaitChild(pid, program, std::chrono::milliseconds(deadline.PollMs()));
  if (end.ended && !timedOut) {
    r.status = end.Code();
  } else {
    const std::string failure = program + " did not end within " + deadline.BoundText() + "; it was killed";
    ADD_FAILURE() << failure;
    r.err = failure + "\n" + r.err;
  }
  return r;
}

// Runs program with args (as SpawnProgram) and waits for it to end.
inline ProgramResult RunProgram(const std::string& program, const std::vector<std::string>& args,
                                const std::map<std::string, std::string>& env,
                                const std::string& scratch, const std::string& cwd = "") {
  return WaitProgram(SpawnProgram(program, args, env, scratch, cwd), scratch);
}

// The path of a program found on PATH, "" when there is none.
inline std::string Which(const std::string& name) {
  const char* path = std::getenv("PATH");
  std::string dirs = path ? path : "/usr/bin:/bin";
  std::size_t pos = 0;
  while (pos <= dirs.size()) {
    std::size_t end = dirs.find(':', pos);
    if (end == std::string::npos) end = dirs.size();
    const std::string candidate = dirs.substr(pos, end - pos) + "/" + name;
    if (::access(candidate.c_str(), X_OK) == 0) return candidate;
    pos = end + 1;
  }
  return "";
}

// True when tests must fail, not skip, for a missing checker.
using ::vexa::testsupport::CheckersRequired;

// An image-list file: UTF-16LE paths, each ended by a zero unit. Bytes of a
// name that are not UTF-8 travel as U+DC80..U+DCFF, as the system reads them.
inline std::string ListOf(const std::vector<std::string>& paths) {
  std::string out;
  for (const std::string& p : paths) {
    for (char16_t c : base::Utf8ToUtf16(p)) {
      out.push_back(static_cast<char>(c & 0xFF));
      out.push_back(static_cast<char>(c >> 8));
    }
    out.append(2, '\0');
  }
  return out;
}

inline std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t end = text.find('\n', pos);
    if (end == std::string::npos) end = text.size();
    lines.push_back(text.substr(pos, end - pos));
    pos = end + 1;
  }
  return lines;
}

// A temporary folder with the writable registry layer (registry/), the
// per-user runtime folder (run/) and the data folder (data/) of one test.
// The test process itself uses the same registry while the sandbox lives.
class Sandbox {
 public:
  Sandbox() {
    root_ = base::MakeTempDir("", "vexa-apps-test-");
    base::MakeDirs(root_ + "/registry");
    base::MakeDirs(root_ + "/run");
    base::MakeDirs(root_ + "/data");
    base::MakeDirs(root_ + "/scratch");
    ::setenv("VEXA_REGISTRY_DIR", (root_ + "/registry").c_str(), 1);
    SetProductString("APP_PATH_DATA", root_ + "/data/");
  }
  ~Sandbox() {
    ::unsetenv("VEXA_REGISTRY_DIR");
    base::RemoveAll(root_);
  }
  Sandbox(const Sandbox&) = delete;
  Sandbox& operator=(const Sandbox&) = delete;

  const std::string& root() const { return root_; }
  std::string data() const { return root_ + "/data/"; }
  std::string TracePath() const { return root_ + "/trace.txt"; }

  static void SetProductString(const std::string& name, const std::string& value) {
    reg::SetValue(reg::Hive::LocalMachine, kProductKey, name, reg::Value::String(value));
  }

  // Registers module (a name in lib/vexa or a path) as the in-process
  // server of clsid, in the user's classes (which win over the defaults).
  static void RegisterInproc(const CLSID& clsid, const std::string& module) {
    const std::string key = "Software\\Classes\\CLSID\\" + com::GuidToString(clsid) + "\\InprocServer32";
    reg::SetValue(reg::Hive::CurrentUser, key, "", reg::Value::String(module));
  }

  // The stand-ins of tests/FakeServers.cpp for the logger, the orchestrator
  // and (when wizard) the wizard.
  static void RegisterFakes(bool logger = true, bool core = true, bool wizard = true) {
    if (logger) RegisterInproc(CLSID_VexaLogger, "vexa_apptest_fakes");
    if (core) RegisterInproc(CLSID_VEXACore1, "vexa_apptest_fakes");
    if (wizard) RegisterInproc(CLSID_VEXAWizard1, "vexa_apptest_fakes");
  }

  // Runs bin/<program> in this sandbox, without a display (in cwd when
  // given).
  ProgramResult Run(const std::string& program, const std::vector<std::string>& args,
                    std::map<std::string, std::string> env = {}, const std::string& cwd = "") const {
    base::RemoveAll(TracePath());
    return RunProgram(ProgramPath(program), args, Env(std::move(env)), root_ + "/scratch", cwd);
  }

  // The environment Run gives a program, with env's entries added.
  std::map<std::string, std::string> Env(std::map<std::string, std::string> env = {}) const {
    env.emplace("VEXA_REGISTRY_DIR", root_ + "/registry");
    env.emplace("XDG_RUNTIME_DIR", root_ + "/run");
    env.emplace("VEXA_FAKE_TRACE", TracePath());
    env.emplace("DISPLAY", "");
    env.emplace("WAYLAND_DISPLAY", "");
    env.emplace("QT_QPA_PLATFORM", "");
    return env;
  }

  // Runs bin/<program> as Run does, with its standard error on a terminal
  // or a pipe (RunOnStderr).
  ProgramResult RunWithStderr(const std::string& program, const std::vector<std::string>& args,
                              std::map<std::string, std::string> env, bool terminal,
                              const std::function<std::string(const std::string&)>& answer = {}) const {
    env.emplace("VEXA_REGISTRY_DIR", root_ + "/registry");
    env.emplace("XDG_RUNTIME_DIR", root_ + "/run");
    env.emplace("VEXA_FAKE_TRACE", TracePath());
    env.emplace("DISPLAY", "");
    env.emplace("WAYLAND_DISPLAY", "");
    env.emplace("QT_QPA_PLATFORM", "");
    return RunOnStderr(ProgramPath(program), args, env, root_ + "/scratch", terminal, answer);
  }

  std::vector<std::string> Trace() const {
    std::string text;
    base::ReadFile(TracePath(), &text);
    return SplitLines(text);
  }

 private:
  std::string root_;
};

}  // namespace vexa::app::testing
