// Linked into every test program: before anything else runs, the program
// leaves the caller's per-user world behind. The caller's VEXA_* and XDG_*
// variables are dropped (a developer's own registry layer, data folder,
// cache or log server must never reach a test, and a test must never write
// into them), and the per-user folders point into a private folder of the
// program's own: configuration (where the registry's writable layer lives by
// default), data, cache, state and runtime (where the log server's socket
// lives). Tests that need more set it up themselves on top of this.
//
// Kept are the variables that steer the tests rather than the programs:
// VEXA_BUILD_DIR (set by CTest), VEXA_REQUIRE_CHECKERS (set by CI) and
// VEXA_UPDATE_GOLDEN (a developer regenerating reference files).
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

extern char** environ;

namespace {

bool Kept(const std::string& name) {
  return name == "VEXA_BUILD_DIR" || name == "VEXA_REQUIRE_CHECKERS" || name == "VEXA_UPDATE_GOLDEN";
}

// Plain storage: set by the constructor below, before any other static
// initialiser of the program may run.
char g_folder[4096];
pid_t g_owner = 0;

void RemovePrivateFolder() {
  // Only the process that made it: a child that forked without exec runs
  // the exit handlers too.
  if (!g_folder[0] || ::getpid() != g_owner) return;
  std::error_code ec;
  std::filesystem::remove_all(g_folder, ec);
}

__attribute__((constructor(101))) void LeaveTheCallersEnvironment() {
  std::vector<std::string> drop;
  for (char** e = environ; e && *e; ++e) {
    const char* eq = std::strchr(*e, '=');
    if (!eq) continue;
    const std::string name(*e, static_cast<std::size_t>(eq - *e));
    if ((name.rfind("VEXA_", 0) == 0 || name.rfind("XDG_", 0) == 0) && !Kept(name)) drop.push_back(name);
  }
  for (const std::string& name : drop) ::unsetenv(name.c_str());

  const char* tmp = std::getenv("TMPDIR");
  std::string pattern = std::string(tmp && *tmp == '/' ? tmp : "/tmp") + "/vexa-test-XXXXXX";
  if (!::mkdtemp(pattern.data())) {
    pattern = "/tmp/vexa-test-XXXXXX";
    if (!::mkdtemp(pattern.data())) {
      std::perror("test environment: cannot make a private folder");
      std::abort();
    }
  }
  std::snprintf(g_folder, sizeof g_folder, "%s", pattern.c_str());
  g_owner = ::getpid();
  std::atexit(RemovePrivateFolder);
  static const char* const kFolders[][2] = {{"XDG_CONFIG_HOME", "config"}, {"XDG_DATA_HOME", "data"},
                                           {"XDG_CACHE_HOME", "cache"},   {"XDG_STATE_HOME", "state"},
                                           {"XDG_RUNTIME_DIR", "runtime"}};
  for (const auto& f : kFolders) {
    const std::string path = pattern + "/" + f[1];
    ::mkdir(path.c_str(), 0700);
    ::setenv(f[0], path.c_str(), 1);
  }
}

}  // namespace
