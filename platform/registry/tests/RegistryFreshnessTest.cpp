// Reads after a warm read see every change made since, whoever made it: the
// vexa-reg tool, a forked writer, files edited in place, folders replaced,
// and this process's own writes from several threads.
#include "platform/registry/tests/RegistryTestUtil.h"
#include "tests/support/Checkers.h"

#include <fcntl.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <functional>
#include <thread>

using namespace vexa::reg;

namespace {

std::string Quote(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

// Rewrites `from` to `to` (same length) inside the file, in place: the same
// inode, the same size, and the modification time put back as it was, so
// nothing that stat tells differs from before.
void EditInPlace(const std::string& path, const std::string& from, const std::string& to) {
  ASSERT_EQ(from.size(), to.size());
  std::string text;
  ASSERT_TRUE(vexa::base::ReadFile(path, &text));
  const std::size_t at = text.find(from);
  ASSERT_NE(at, std::string::npos) << from << " in " << path;
  struct stat before {};
  ASSERT_EQ(stat(path.c_str(), &before), 0);
  const int fd = open(path.c_str(), O_WRONLY | O_CLOEXEC);
  ASSERT_GE(fd, 0);
  EXPECT_EQ(pwrite(fd, to.data(), to.size(), static_cast<off_t>(at)), static_cast<ssize_t>(to.size()));
  const timespec times[2] = {before.st_atim, before.st_mtim};
  EXPECT_EQ(futimens(fd, times), 0);
  close(fd);
  struct stat after {};
  ASSERT_EQ(stat(path.c_str(), &after), 0);
  EXPECT_EQ(after.st_ino, before.st_ino);
  EXPECT_EQ(after.st_size, before.st_size);
}

// Runs `body` in a forked child and gives its exit code (-1 when it did not
// exit within the bound, a failure of the test).
int InChild(const std::function<int()>& body) {
  const pid_t pid = fork();
  if (pid == 0) _exit(body());
  const vexa::testsupport::ChildEnd end = vexa::testsupport::WaitChild(pid, "the forked child");
  if (!end.ended) ADD_FAILURE() << end.failure;
  if (!end.ended || !WIFEXITED(end.status)) return -1;
  return WEXITSTATUS(end.status);
}

const char kKey[] = "Software\\Fresh";

std::string HiveText(const char* root, const char* value) {
  return std::string("REGEDIT4\n[") + root + "\\" + kKey + "]\n\"v\"=\"" + value + "\"\n";
}

}  // namespace

// Each row: "v" = "old" in the defaults (50-fresh.reg, a key of
// HKEY_CLASSES_ROOT) and in both writable hives, read twice (the second read
// is served from what the first one kept), changed, and read again.
TEST_F(RegistryTest, ReadsSeeChangesMadeSinceTheLastRead) {
  const std::string defaults = root_ + "/prefix/share/vexa/registry";
  const std::string elsewhere = root_ + "/elsewhere";
  enum Setup { kPlain, kLinkedDefaults, kLinkedStore, kSecondName };
  const struct {
    const char* what;
    Setup setup;
    Hive hive;  // where the change is read
    const char* expect;
    std::function<void()> change;
  } rows[] = {
      {"the vexa-reg tool sets a value", kPlain, Hive::CurrentUser, "new",
       [&] {
         const std::string cmd = Quote(std::string(VEXA_BUILD_DIR) + "/bin/vexa-reg") + " add " +
                                 Quote(std::string("HKCU\\") + kKey) + " /v v /d new /f >/dev/null";
         ASSERT_EQ(vexa::testsupport::Shell(cmd), 0);
       }},
      {"a forked child sets a value", kPlain, Hive::LocalMachine, "new",
       [&] {
         ASSERT_EQ(InChild([] {
                     return SetValue(Hive::LocalMachine, kKey, "v", Value::String("new")) == Status::Ok ? 0 : 1;
                   }),
                   0);
       }},
      {"a writable hive edited in place, size and time kept", kPlain, Hive::CurrentUser, "new",
       [&] { EditInPlace(dir_ + "/HKCU.reg", "\"old\"", "\"new\""); }},
      {"a defaults file edited in place, size and time kept", kPlain, Hive::ClassesRoot, "new",
       [&] { EditInPlace(defaults + "/50-fresh.reg", "\"old\"", "\"new\""); }},
      {"a defaults file added", kPlain, Hive::ClassesRoot, "new",
       [&] {
         ASSERT_TRUE(
             vexa::base::WriteFileAtomic(defaults + "/60-later.reg", HiveText("HKEY_CLASSES_ROOT", "new")));
       }},
      {"the writable folder deleted and made again", kPlain, Hive::LocalMachine, "new",
       [&] {
         ASSERT_TRUE(vexa::base::RemoveAll(dir_));
         WriteStoreFile("HKLM.reg", HiveText("HKEY_LOCAL_MACHINE", "new"));
       }},
      {"the defaults folder deleted and made again", kPlain, Hive::ClassesRoot, "new",
       [&] {
         ASSERT_TRUE(vexa::base::RemoveAll(defaults));
         ASSERT_TRUE(vexa::base::MakeDirs(defaults));
         ASSERT_TRUE(
             vexa::base::WriteFileAtomic(defaults + "/50-fresh.reg", HiveText("HKEY_CLASSES_ROOT", "new")));
       }},
      {"the writable folder's path now leads to another folder", kLinkedStore, Hive::CurrentUser, "new",
       [&] {
         const std::string b = root_ + "/store-b";
         ASSERT_TRUE(vexa::base::MakeDirs(b));
         ASSERT_TRUE(vexa::base::WriteFileAtomic(b + "/HKCU.reg", HiveText("HKEY_CURRENT_USER", "new")));
         ASSERT_EQ(symlink("store-b", (root_ + "/store.next").c_str()), 0);
         ASSERT_EQ(rename((root_ + "/store.next").c_str(), dir_.c_str()), 0);
       }},
      {"the target of a symlinked defaults file replaced", kLinkedDefaults, Hive::ClassesRoot, "new",
       [&] {
         ASSERT_TRUE(
             vexa::base::WriteFileAtomic(elsewhere + "/real.reg", HiveText("HKEY_CLASSES_ROOT", "new")));
       }},
      {"a writable hive rewritten through a second name in another folder", kSecondName,
       Hive::CurrentUser, "newer",
       [&] {
         const int fd = open((elsewhere + "/HKCU-too.reg").c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
         ASSERT_GE(fd, 0);
         const std::string text = HiveText("HKEY_CURRENT_USER", "newer");
         EXPECT_EQ(write(fd, text.data(), text.size()), static_cast<ssize_t>(text.size()));
         close(fd);
       }},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    for (const char* d : {"/prefix", "/elsewhere", "/store", "/store-a", "/store-b"}) {
      vexa::base::RemoveAll(root_ + d);
    }
    ASSERT_TRUE(vexa::base::MakeDirs(elsewhere));
    UseDefaults({});
    const std::string fresh = HiveText("HKEY_CLASSES_ROOT", "old");
    if (row.setup == kLinkedDefaults) {
      ASSERT_TRUE(vexa::base::WriteFileAtomic(elsewhere + "/real.reg", fresh));
      ASSERT_EQ(symlink((elsewhere + "/real.reg").c_str(), (defaults + "/50-fresh.reg").c_str()), 0);
    } else {
      ASSERT_TRUE(vexa::base::WriteFileAtomic(defaults + "/50-fresh.reg", fresh));
    }
    if (row.setup == kLinkedStore) {
      ASSERT_TRUE(vexa::base::MakeDirs(root_ + "/store-a"));
      ASSERT_EQ(symlink("store-a", dir_.c_str()), 0);
    }
    WriteStoreFile("HKLM.reg", HiveText("HKEY_LOCAL_MACHINE", "old"));
    WriteStoreFile("HKCU.reg", HiveText("HKEY_CURRENT_USER", "old"));
    if (row.setup == kSecondName) {
      ASSERT_EQ(link((dir_ + "/HKCU.reg").c_str(), (elsewhere + "/HKCU-too.reg").c_str()), 0);
    }
    for (int read = 0; read < 2; ++read) {
      ASSERT_EQ(GetString(Hive::LocalMachine, kKey, "v"), "old");
      ASSERT_EQ(GetString(Hive::CurrentUser, kKey, "v"), "old");
      ASSERT_EQ(GetString(Hive::ClassesRoot, kKey, "v"), "old");
    }
    row.change();
    EXPECT_EQ(GetString(row.hive, kKey, "v"), row.expect);
    EXPECT_EQ(GetString(row.hive, kKey, "v"), row.expect);
  }
}

// A forked child has its own watch: its reads never take the events that
// tell the parent of a change.
TEST_F(RegistryTest, AForkedReaderLeavesTheParentItsNews) {
  WriteStoreFile("HKCU.reg", HiveText("HKEY_CURRENT_USER", "old"));
  ASSERT_EQ(GetString(Hive::CurrentUser, kKey, "v"), "old");
  ASSERT_EQ(GetString(Hive::CurrentUser, kKey, "v"), "old");
  EditInPlace(dir_ + "/HKCU.reg", "\"old\"", "\"new\"");
  for (int child = 0; child < 2; ++child) {
    EXPECT_EQ(InChild([] { return GetString(Hive::CurrentUser, kKey, "v") == "new" ? 0 : 1; }), 0);
  }
  EXPECT_EQ(GetString(Hive::CurrentUser, kKey, "v"), "new");
  // And the child that wrote last is heard as well.
  ASSERT_EQ(InChild([] {
              GetString(Hive::CurrentUser, kKey, "v");
              return SetValue(Hive::CurrentUser, kKey, "v", Value::String("child")) == Status::Ok ? 0 : 1;
            }),
            0);
  EXPECT_EQ(GetString(Hive::CurrentUser, kKey, "v"), "child");
}

// Threads writing and reading at once: each reads back what it has just
// written, never a layer kept from before its write.
TEST_F(RegistryTest, EachThreadReadsItsOwnWriteBack) {
  constexpr int kThreads = 4, kRounds = 40;
  std::atomic<int> wrong{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([t, &wrong] {
      const std::string name = "t" + std::to_string(t);
      for (int i = 1; i <= kRounds; ++i) {
        if (SetValue(Hive::CurrentUser, kKey, name, Value::Dword(DWORD(i))) != Status::Ok ||
            GetDword(Hive::CurrentUser, kKey, name) != DWORD(i) ||
            GetDword(Hive::ClassesRoot, "CLSID", "none").has_value()) {
          ++wrong;
        }
      }
    });
  }
  for (std::thread& t : threads) t.join();
  EXPECT_EQ(wrong.load(), 0);
}
