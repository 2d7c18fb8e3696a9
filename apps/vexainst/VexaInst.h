// vexainst: the install and uninstall utility. It stops the running
// product programs and, on uninstall, removes the installed files and an
// old per-user key. It shows nothing, writes no log and always ends with
// status 0.
//
//   /k  stop vexa and vexalog (of the user running vexainst)
//   /u  stop them, then remove files and keys
//   /s  with /u: leave the data folder and the help index files alone
//   /r  registers the recorder filter driver on the original platform;
//       there is no such driver here, so it does nothing
// Each also as "-k", "-u", "-s", "-r"; matched exactly, with case.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>
#include <string_view>
#include <vector>

namespace vexa::inst {

struct Switches {
  bool registerFilter = false;  // /r
  bool kill = false;            // /k
  bool uninstall = false;       // /u
  bool keepData = false;        // /s
};

// Splits every argument (the program's own path included) at blanks, tabs
// and line feeds and notes the switches among the tokens.
Switches ParseSwitches(int argc, const char* const* argv);

// Runs what the switches ask for.
void Run(const Switches& switches);

// ---- Stopping the product programs ------------------------------------------

// The programs stopped, by the name of their executable.
inline constexpr std::string_view kProductPrograms[] = {"vexa", "vexalog"};

// Processes of the calling user whose executable is one of the product
// programs, vexa before vexalog (so vexa's last lines still reach the log).
std::vector<pid_t> FindProductProcesses();

// Asks the process to end (SIGTERM) and waits up to `wait` for it; when it
// is still there, kills it (SIGKILL) and waits for it to go. A process that
// is already gone is left alone. True when it is gone.
bool StopProcess(pid_t pid, std::chrono::milliseconds wait);

void StopPrograms();

// ---- Clean-up -----------------------------------------------------------------

// The folder to clean when path names one that may be emptied: absolute,
// existing, and neither the root folder nor the user's home folder. Answers
// its canonical form with a trailing "/", or "" when it must be left alone
// (a missing, empty, relative or root path never empties anything).
std::string FolderToClean(std::string_view path);

// What /u removes; keepData is /s.
void CleanUp(bool keepData);

}  // namespace vexa::inst
