// Helpers shared by the logger's tests: a private registry and data folder,
// and reading the log files back.
#pragma once

#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/base/Path.h"
#include "platform/registry/Registry.h"

namespace vexa::logging::testing {

inline constexpr char kProductKey[] = "SOFTWARE\\Tervane\\Kv Orlune Disc\\CurrentVersion";

// A temporary folder holding the writable registry layer (registry/) and the
// data directory (data/) named by APP_PATH_DATA.
class LogSandbox {
 public:
  LogSandbox() {
    root_ = base::MakeTempDir("", "vexalog-test-");
    ::setenv("VEXA_REGISTRY_DIR", (root_ + "/registry").c_str(), 1);
    data_ = root_ + "/data/";
    base::MakeDirs(data_);
    SetString("APP_PATH_DATA", data_);
  }
  ~LogSandbox() { base::RemoveAll(root_); }

  static void SetString(const char* name, const std::string& value) {
    reg::SetValue(reg::Hive::LocalMachine, kProductKey, name, reg::Value::String(value));
  }
  static void SetDword(const char* name, DWORD value) {
    reg::SetValue(reg::Hive::LocalMachine, kProductKey, name, reg::Value::Dword(value));
  }

  const std::string& root() const { return root_; }
  const std::string& data() const { return data_; }
  std::string MainPath() const { return data_ + "vexalog.txt"; }
  std::string DebugPath() const { return data_ + "vexalogD.txt"; }
  std::string Main() const { return Read(MainPath()); }
  std::string Debug() const { return Read(DebugPath()); }

  static std::string Read(const std::string& path) {
    std::string s;
    base::ReadFile(path, &s);
    return s;
  }

 private:
  std::string root_;
  std::string data_;
};

// Limits the size of files this process writes for the length of a scope:
// a write past the limit fails (the signal it would raise is ignored) and
// the limits in force before come back when the scope ends.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) : bytes_(bytes) {}
  ~FileSizeLimit() {
    if (!set_) return;
    ::setrlimit(RLIMIT_FSIZE, &saved_);
    ::sigaction(SIGXFSZ, &oldAction_, nullptr);
  }
  FileSizeLimit(const FileSizeLimit&) = delete;
  FileSizeLimit& operator=(const FileSizeLimit&) = delete;

  bool Set() {
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    if (::getrlimit(RLIMIT_FSIZE, &saved_) != 0) return false;
    ::sigaction(SIGXFSZ, &ignore, &oldAction_);
    rlimit small = saved_;
    small.rlim_cur = bytes_;
    set_ = true;
    return ::setrlimit(RLIMIT_FSIZE, &small) == 0;
  }

 private:
  rlim_t bytes_;
  bool set_ = false;
  rlimit saved_{};
  struct sigaction oldAction_ {};
};

// A umask for the length of a scope, so that the modes files are made with
// show whatever the caller's umask.
class ScopedUmask {
 public:
  explicit ScopedUmask(mode_t mask) : saved_(::umask(mask)) {}
  ~ScopedUmask() { ::umask(saved_); }
  ScopedUmask(const ScopedUmask&) = delete;
  ScopedUmask& operator=(const ScopedUmask&) = delete;

 private:
  mode_t saved_;
};

// The permission bits of path in octal ("0600"), "missing" when it is not there.
inline std::string ModeText(const std::string& path) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0) return "missing";
  char text[8];
  std::snprintf(text, sizeof text, "%04o", static_cast<unsigned>(st.st_mode & 07777));
  return text;
}

// Splits a log into its lines (CR LF removed).
inline std::vector<std::string> Lines(const std::string& log) {
  std::vector<std::string> out;
  std::size_t pos = 0;
  while (pos < log.size()) {
    std::size_t end = log.find("\r\n", pos);
    if (end == std::string::npos) end = log.size();
    out.push_back(log.substr(pos, end - pos));
    pos = end + 2;
  }
  return out;
}

// True for lines of the header: stamped with the type "*" and no component,
// or bare.
inline bool IsHeaderLine(const std::string& line) {
  return line.empty() || (line.size() > 21 && line.compare(18, 3, " * ") == 0);
}

// The log without its leading header.
inline std::string WithoutHeader(const std::string& log) {
  std::size_t pos = 0;
  while (pos < log.size()) {
    std::size_t end = log.find("\r\n", pos);
    if (end == std::string::npos || !IsHeaderLine(log.substr(pos, end - pos))) break;
    pos = end + 2;
  }
  return log.substr(pos);
}

}  // namespace vexa::logging::testing
