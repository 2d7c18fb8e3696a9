// Running the build's programs as another user (as root, through setpriv),
// from wherever the checkout lies. A checkout inside a folder that only its
// owner may enter (root's home, a private home folder, a mktemp -d folder)
// hides the build tree's programs and libraries from every other user, so
// the other user is given a copy of them (bin/, lib/ and share/ of the build
// tree: the programs find their modules and data beside themselves) in a
// fresh folder they can reach, made once per test program and removed when
// it ends. Where the build tree can be reached as it is, it is used as it
// is. Where neither can be arranged, OtherUserBuild says why, and the test
// skips with that reason rather than failing for something that is not the
// code under test.
#pragma once

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "tests/support/Checkers.h"

namespace vexa::testsupport {

// The unprivileged user the tests act as.
inline constexpr uid_t kNobodyId = 65534;

// The shell words that run what follows as user id uid with group id uid
// and no supplementary groups.
inline std::string AsUser(uid_t uid) {
  return "setpriv --reuid=" + std::to_string(uid) + " --regid=" + std::to_string(uid) + " --clear-groups ";
}

// True when user uid can reach path: read it when it is a file, enter and
// read it when it is a folder (every folder above it entered on the way).
inline bool UserReaches(uid_t uid, const std::string& path) {
  const std::string q = "'" + path + "'";  // test paths hold no quote
  return Shell(AsUser(uid) + "sh -c 'test -r \"$0\" && { test ! -d \"$0\" || test -x \"$0\"; }' " + q) == 0;
}

namespace detail {

struct StagedBuild {
  std::string dir;     // the build tree the other user runs, "" when none
  std::string why;     // why there is none
  std::string staged;  // the copy this process made, removed at its end
  pid_t owner = 0;
};

// Never destroyed: the removal at exit runs after the destructors of the
// statics made later than its registration.
inline StagedBuild& Staged() {
  static StagedBuild* s = new StagedBuild;
  return *s;
}

inline void RemoveStagedCopy() {
  StagedBuild& s = Staged();
  if (s.staged.empty() || ::getpid() != s.owner) return;
  std::error_code ec;
  std::filesystem::remove_all(s.staged, ec);
}

inline StagedBuild MakeStagedBuild() {
  StagedBuild s;
  if (::geteuid() != 0) {
    s.why = "acting as another user needs root";
    return s;
  }
  if (::access("/usr/bin/setpriv", X_OK) != 0) {
    s.why = "setpriv (util-linux) is not installed";
    return s;
  }
  const std::string build = VEXA_BUILD_DIR;
  if (UserReaches(kNobodyId, build + "/bin") && UserReaches(kNobodyId, build + "/lib/vexa") &&
      UserReaches(kNobodyId, build + "/share/vexa")) {
    s.dir = build;
    return s;
  }
  // /tmp is open to every user; the copy's own folders are opened to them.
  std::string folder = "/tmp/vexa-other-user-XXXXXX";
  if (!::mkdtemp(folder.data())) {
    s.why = "no folder for a copy of the build tree could be made in /tmp";
    return s;
  }
  s.staged = folder;
  s.owner = ::getpid();
  std::atexit(RemoveStagedCopy);
  std::string said;
  if (Shell("cp -a '" + build + "/bin' '" + build + "/lib' '" + build + "/share' '" + folder +
                "/' && chmod -R go+rX,go-w '" + folder + "'",
            &said) != 0) {
    s.why = "the build tree could not be copied to " + folder + ": " + said;
    return s;
  }
  if (!UserReaches(kNobodyId, folder + "/lib/vexa")) {
    s.why = "user " + std::to_string(kNobodyId) + " cannot reach " + folder + " either";
    return s;
  }
  s.dir = folder;
  return s;
}

}  // namespace detail

// The build tree the unprivileged user runs programs from: the real one
// when they can reach it, else a copy made for them; "" with *why set when
// neither is possible (not root, no setpriv, /tmp closed to them).
inline std::string OtherUserBuildDir(std::string* why = nullptr) {
  static const bool made = (detail::Staged() = detail::MakeStagedBuild(), true);
  (void)made;
  if (why) *why = detail::Staged().why;
  return detail::Staged().dir;
}

// The path of a program of the build tree as the unprivileged user runs it.
inline std::string OtherUserProgram(const std::string& name) { return OtherUserBuildDir() + "/bin/" + name; }

}  // namespace vexa::testsupport
