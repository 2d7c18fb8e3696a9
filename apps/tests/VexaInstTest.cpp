// The install utility: its switches, the clean-up at uninstall with its
// guards, and stopping the product programs, the last in a private PID
// namespace so that no program outside the test can be touched.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "apps/tests/AppTestUtil.h"
#include "apps/vexainst/VexaInst.h"
#include "tests/support/OtherUser.h"

namespace vexa::inst {
namespace {

using app::testing::Sandbox;

TEST(VexaInstTest, Switches) {
  struct Row {
    std::vector<const char*> argv;
    bool r, k, u, s;
  };
  const Row rows[] = {
      {{"vexainst"}, false, false, false, false},
      {{"vexainst", "/s"}, false, false, false, true},
      {{"vexainst", "/R", "/K", "/U", "/S", "/uu", "u", "--u"}, false, false, false, false},
      {{"vexainst", "-r", "-k"}, true, true, false, false},
      {{"vexainst", "/r /u\t/s"}, true, false, true, true},  // one argument holding three tokens
      {{"/opt/x /k/vexainst"}, false, false, false, false},   // the program's own path is read too
      {{"/opt/x /k vexainst"}, false, true, false, false},
  };
  for (const Row& row : rows) {
    const Switches s = ParseSwitches(static_cast<int>(row.argv.size()), row.argv.data());
    SCOPED_TRACE(row.argv.back());
    EXPECT_EQ(s.registerFilter, row.r);
    EXPECT_EQ(s.kill, row.k);
    EXPECT_EQ(s.uninstall, row.u);
    EXPECT_EQ(s.keepData, row.s);
  }
}

TEST(VexaInstTest, OnlyAbsoluteExistingFoldersOtherThanRootAndHomeAreCleaned) {
  Sandbox box;
  const std::string dir = box.root() + "/folder";
  base::MakeDirs(dir);
  base::WriteFileAtomic(box.root() + "/file", "x");
  ASSERT_EQ(::symlink("/", (box.root() + "/to-root").c_str()), 0);
  EXPECT_EQ(FolderToClean(""), "");
  EXPECT_EQ(FolderToClean("folder/"), "");
  EXPECT_EQ(FolderToClean("/"), "");
  EXPECT_EQ(FolderToClean("//"), "");
  EXPECT_EQ(FolderToClean(box.root() + "/to-root"), "");
  EXPECT_EQ(FolderToClean(box.root() + "/folder/.."), box.root() + "/");
  EXPECT_EQ(FolderToClean(box.root() + "/missing/"), "");
  EXPECT_EQ(FolderToClean(box.root() + "/file"), "");
  EXPECT_EQ(FolderToClean(dir), dir + "/");
  EXPECT_EQ(FolderToClean(box.root() + "\\folder\\"), dir + "/");
  const char* home = std::getenv("HOME");
  if (home && *home) {
    EXPECT_EQ(FolderToClean(home), "");
  }
}

class CleanUpTest : public ::testing::Test {
 protected:
  void SetUp() override {
    inst_ = box_.root() + "/inst/";
    data_ = inst_ + "data/";
    prog_ = box_.root() + "/prog/";
    for (const std::string& f :
         {inst_ + "HELP.GID", inst_ + "help.FTS", inst_ + "odhelp.ft", inst_ + "x.OPT", inst_ + "readme.txt",
          inst_ + "a.b.FTS", inst_ + "notes.opt", data_ + "vexalog.txt", data_ + "vexalogD.txt",
          data_ + "delivery.kvz", data_ + "sub/kept.txt", prog_ + "vexa", prog_ + "libsomething.so",
          prog_ + ".hidden", prog_ + "share/kept.txt"}) {
      base::MakeDirs(base::DirName(f));
      base::WriteFileAtomic(f, "x");
    }
    ::chmod((data_ + "vexalog.txt").c_str(), 0444);  // read-only files go too
    Sandbox::SetProductString("APP_PATH_DATA", data_);
    Sandbox::SetProductString("APP_PATH", prog_);
    reg::SetValue(reg::Hive::CurrentUser, "Software\\Tervane\\Kv Falvane\\CurrentVersion", "Old",
                  reg::Value::String("1"));
    reg::SetValue(reg::Hive::CurrentUser, "Software\\Tervane\\Keep", "Other", reg::Value::String("1"));
  }

  bool Exists(const std::string& path) { return base::FileExists(path); }

  Sandbox box_;
  std::string inst_, data_, prog_;
};

TEST_F(CleanUpTest, UninstallRemovesTheInstalledFilesAndTheOldKey) {
  CleanUp(false);
  for (const char* gone : {"HELP.GID", "help.FTS", "x.OPT"}) EXPECT_FALSE(Exists(inst_ + gone)) << gone;
  for (const char* kept : {"odhelp.ft", "readme.txt", "a.b.FTS", "notes.opt"}) EXPECT_TRUE(Exists(inst_ + kept)) << kept;
  EXPECT_FALSE(Exists(data_ + "vexalog.txt"));
  EXPECT_FALSE(Exists(data_ + "vexalogD.txt"));
  EXPECT_TRUE(Exists(data_ + "delivery.kvz"));
  EXPECT_TRUE(Exists(data_ + "sub/kept.txt"));
  EXPECT_FALSE(Exists(prog_ + "vexa"));
  EXPECT_FALSE(Exists(prog_ + "libsomething.so"));
  EXPECT_TRUE(Exists(prog_ + ".hidden"));
  EXPECT_TRUE(Exists(prog_ + "share/kept.txt"));
  EXPECT_FALSE(reg::KeyExists(reg::Hive::CurrentUser, "Software\\Tervane\\Kv Falvane"));
  EXPECT_TRUE(reg::KeyExists(reg::Hive::CurrentUser, "Software\\Tervane\\Keep"));
}

TEST_F(CleanUpTest, KeepingDataLeavesTheDataAndHelpFiles) {
  CleanUp(true);
  EXPECT_TRUE(Exists(inst_ + "HELP.GID"));
  EXPECT_TRUE(Exists(data_ + "vexalog.txt"));
  EXPECT_FALSE(Exists(prog_ + "vexa"));
  EXPECT_FALSE(reg::KeyExists(reg::Hive::CurrentUser, "Software\\Tervane\\Kv Falvane"));
}

TEST_F(CleanUpTest, UnsafeFoldersAreLeftAlone) {
  // Relative names, even of folders that exist from where we stand, and
  // empty values never empty anything.
  const std::string cwd = box_.root();
  ASSERT_EQ(::chdir(cwd.c_str()), 0);
  Sandbox::SetProductString("APP_PATH_DATA", "inst/data/");
  Sandbox::SetProductString("APP_PATH", "");
  CleanUp(false);
  EXPECT_TRUE(Exists(data_ + "vexalog.txt"));
  EXPECT_TRUE(Exists(inst_ + "HELP.GID"));
  EXPECT_TRUE(Exists(prog_ + "vexa"));
  Sandbox::SetProductString("APP_PATH", "prog");
  CleanUp(false);
  EXPECT_TRUE(Exists(prog_ + "vexa"));
  ASSERT_EQ(::chdir("/"), 0);
}

TEST_F(CleanUpTest, ADataFolderNotNamedDataHasNoInstallationFolderBeside) {
  const std::string other = box_.root() + "/vexa/";
  base::WriteFileAtomic(other + "vexalog.txt", "x");
  base::WriteFileAtomic(box_.root() + "/HELP.GID", "x");
  Sandbox::SetProductString("APP_PATH_DATA", other);
  CleanUp(false);
  EXPECT_FALSE(Exists(other + "vexalog.txt"));
  EXPECT_TRUE(Exists(box_.root() + "/HELP.GID"));
}

// vexainst /k in a PID namespace of its own: the product programs of this
// user go (vexa first), whether they end on SIGTERM or need SIGKILL; other
// programs and other users' programs stay. A real vexa waiting inside the
// orchestrator ends on the SIGTERM.
TEST(VexaInstStopTest, StopsTheUsersProductProgramsInAPrivateNamespace) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root for a PID namespace with a second user";
  Sandbox box;
  Sandbox::RegisterFakes();
  const std::string bin = box.root() + "/bin";
  base::MakeDirs(bin);
  ::chmod(box.root().c_str(), 0755);
  ::chmod(bin.c_str(), 0755);
  // The second user runs a program from bin/: a temporary folder inside a
  // folder only its owner may enter (a private TMPDIR) hides it from them.
  if (!testsupport::UserReaches(testsupport::kNobodyId, bin))
    GTEST_SKIP() << "user " << testsupport::kNobodyId << " cannot reach " << bin << " (set TMPDIR to a folder others may enter)";
  const std::string script = box.root() + "/stop.sh";
  base::WriteFileAtomic(script, R"(set -u
bin="$1"; vexa="$2"; vexainst="$3"; fifo="$4"
for n in vexa vexalog vexax; do cp /bin/sleep "$bin/$n"; done
"$bin/vexa" 1000 & plain=$!
(trap '' TERM; exec "$bin/vexa" 1000) & stubborn=$!
"$bin/vexalog" 1000 & log=$!
"$bin/vexax" 1000 & other=$!
setpriv --reuid=65534 --regid=65534 --clear-groups "$bin/vexa" 1000 & foreign=$!
mkfifo "$fifo"
"$vexa" /r:silent & real=$!
# Opened for reading and writing, the FIFO does not block its opening; the
# real vexa has two minutes to say it waits inside the orchestrator, and
# two more to end once vexainst has stopped it.
if ! read -r -t 120 ready <> "$fifo"; then echo "the real vexa did not say within 120 s that it waits" >&2; exit 1; fi
"$vexainst" /k; echo "vexainst $?"
(sleep 120; echo "the real vexa had not ended 120 s after vexainst /k: killed" >&2; kill -9 $real 2>/dev/null) & dog=$!
wait $real; echo "real-vexa $?"
kill $dog 2>/dev/null
for p in plain stubborn log other foreign; do
  if kill -0 "${!p}" 2>/dev/null && ! grep -q '^State:.*Z' /proc/${!p}/status; then echo "$p alive"; else echo "$p gone"; fi
done
kill -9 $other $foreign 2>/dev/null
)");
  const app::testing::ProgramResult r = app::testing::RunProgram(
      "/usr/bin/unshare",
      {"--pid", "--fork", "--mount-proc", "bash", script, bin, app::testing::ProgramPath("vexa"),
       app::testing::ProgramPath("vexainst"), box.root() + "/ready"},
      {{"VEXA_REGISTRY_DIR", box.root() + "/registry"},
       {"VEXA_FAKE_TRACE", box.TracePath()},
       {"VEXA_FAKE_BLOCK", "core.CreateVCD"},
       {"VEXA_FAKE_READY_FIFO", box.root() + "/ready"},
       {"DISPLAY", ""},
       {"WAYLAND_DISPLAY", ""}},
      box.root());
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out,
            "vexainst 0\n"
            "real-vexa 143\n"
            "plain gone\n"
            "stubborn gone\n"
            "log gone\n"
            "other alive\n"
            "foreign alive\n")
      << r.err;
}

}  // namespace
}  // namespace vexa::inst
