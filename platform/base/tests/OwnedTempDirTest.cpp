#include "platform/base/OwnedTempDir.h"

#include <gtest/gtest.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "platform/base/Path.h"
#include "tests/support/Waits.h"

namespace vexa::base {
namespace {

class OwnedTempDirTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = MakeTempDir("", "owned-temp-test-");
    ASSERT_FALSE(root_.empty());
  }
  void TearDown() override { RemoveAll(root_); }

  std::string Path(const std::string& name) const { return root_ + "/" + name; }

  // A folder as MakeOwnedTempDir makes it (mode 0700) with an owner file
  // holding text.
  std::string Folder(const std::string& name, const std::string& owner) {
    const std::string dir = Path(name);
    EXPECT_TRUE(MakeDirs(dir + "/inner"));
    EXPECT_EQ(::chmod(dir.c_str(), 0700), 0);
    EXPECT_TRUE(WriteFileAtomic(dir + "/inner/data.bin", "data"));
    if (!owner.empty()) {
      EXPECT_TRUE(WriteFileAtomic(dir + "/" + kTempOwnerFile, owner));
    }
    return dir;
  }

  std::vector<std::string> Names() const {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(root_)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }

  // The number of a process that has ended (and been reaped).
  static int EndedProcess() {
    const pid_t child = ::fork();
    if (child == 0) ::_exit(0);
    const vexa::testsupport::ChildEnd end = vexa::testsupport::WaitChild(child, "a child that exits at once");
    EXPECT_TRUE(end.ended) << end.failure;
    return static_cast<int>(child);
  }

  static std::string Owner(int pid, unsigned long long start) {
    return std::to_string(pid) + " " + std::to_string(start) + "\n";
  }

  std::string root_;
};

TEST_F(OwnedTempDirTest, OnlyFoldersOfEndedOwnersGo) {
  const int self = static_cast<int>(::getpid());
  const unsigned long long started = ProcessStartTime(self);
  ASSERT_NE(started, 0u);
  const int ended = EndedProcess();

  Folder("workDead01", Owner(ended, 12345));
  // The number of a live process that started at another time: a reused
  // number, so the writer has ended.
  Folder("workReused", Owner(self, started + 1));
  Folder("workLive01", Owner(self, started));
  // Without an owner file (still being made, or not ours): left alone.
  Folder("workNoOwner", "");
  Folder("workGarbled", "not a process\n");
  Folder("otherDead01", Owner(ended, 12345));
  // A link named like a work folder, to a folder of an ended owner: neither
  // it nor what it points to is touched.
  const std::string target = Folder("target", Owner(ended, 12345));
  ASSERT_EQ(::symlink(target.c_str(), Path("workLink").c_str()), 0);
  // An abandoned folder holding a link to a folder outside it, and a folder
  // that may not be written: the link goes, what it points to stays.
  const std::string outside = Folder("outside", "");
  const std::string dead2 = Folder("workDead02", Owner(ended, 0));
  ASSERT_EQ(::symlink(outside.c_str(), (dead2 + "/link").c_str()), 0);
  ASSERT_EQ(::chmod((dead2 + "/inner").c_str(), S_IRUSR | S_IXUSR), 0);

  EXPECT_EQ(RemoveAbandonedTempDirs(root_, "work"), 3);
  EXPECT_EQ(Names(), (std::vector<std::string>{"otherDead01", "outside", "target", "workGarbled", "workLink",
                                               "workLive01", "workNoOwner"}));
  EXPECT_TRUE(FileExists(outside + "/inner/data.bin"));
  EXPECT_TRUE(FileExists(target + "/inner/data.bin"));
  EXPECT_TRUE(FileExists(Path("workLive01/inner/data.bin")));
}

TEST_F(OwnedTempDirTest, AMadeFolderNamesItsOwnerAndGoesWhenTheOwnerMustEnd) {
  const int ended = EndedProcess();
  Folder("workOld001", Owner(ended, 1));
  const std::string made = MakeOwnedTempDir(root_, "work");
  ASSERT_FALSE(made.empty());
  EXPECT_EQ(BaseName(made).rfind("work", 0), 0u);
  std::string owner;
  ASSERT_TRUE(ReadFile(made + "/" + kTempOwnerFile, &owner));
  EXPECT_EQ(owner, Owner(static_cast<int>(::getpid()), ProcessStartTime(::getpid())));
  // The abandoned folder went on the way.
  EXPECT_FALSE(DirExists(Path("workOld001")));
  // Another run of this program sees a live owner.
  EXPECT_EQ(RemoveAbandonedTempDirs(root_, "work"), 0);
  EXPECT_TRUE(DirExists(made));

  ASSERT_TRUE(MakeDirs(made + "/deep/er"));
  ASSERT_TRUE(WriteFileAtomic(made + "/deep/er/file", "x"));
  // A folder of the same name made by someone else after ours went is not
  // removed in our name.
  const std::string second = MakeOwnedTempDir(root_, "work");
  ASSERT_FALSE(second.empty());
  ASSERT_TRUE(WriteFileAtomic(second + "/" + kTempOwnerFile, Owner(ended, 1)));

  RemoveOwnTempDirs();
  EXPECT_FALSE(DirExists(made));
  EXPECT_TRUE(DirExists(second));
}

TEST_F(OwnedTempDirTest, RemovingATreeNeverFollowsLinks) {
  const std::string outside = Folder("outside", "");
  const std::string tree = Folder("tree", "");
  ASSERT_EQ(::symlink(outside.c_str(), (tree + "/inner/link").c_str()), 0);
  ASSERT_EQ(::symlink((outside + "/inner/data.bin").c_str(), (tree + "/file-link").c_str()), 0);
  EXPECT_TRUE(RemoveTreeNoFollow(tree));
  EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(tree)));
  EXPECT_TRUE(FileExists(outside + "/inner/data.bin"));
  // A folder named with a closing '/' is that folder.
  const std::string slashed = Folder("slashed", "");
  EXPECT_TRUE(RemoveTreeNoFollow(slashed + "/"));
  EXPECT_FALSE(DirExists(slashed));
  // A link given as the tree is removed as a link.
  ASSERT_EQ(::symlink(outside.c_str(), Path("alias").c_str()), 0);
  EXPECT_TRUE(RemoveTreeNoFollow(Path("alias")));
  EXPECT_TRUE(FileExists(outside + "/inner/data.bin"));
  EXPECT_EQ(Names(), std::vector<std::string>{"outside"});
}

// In a temporary folder every user shares, only what this user's program
// made is removed: another user's folder (or owner file), a folder opened to
// others and a name mkdtemp never gives are left whole, however dead the
// process their owner file names.
TEST_F(OwnedTempDirTest, OnlyTheFoldersThisUsersProgramMadeAreTaken) {
  const int ended = EndedProcess();
  const std::string dead = Owner(ended, 1);
  const bool root = ::geteuid() == 0;
  constexpr uid_t kOther = 65534;
  auto giveAway = [&](const std::string& path) { ASSERT_EQ(::lchown(path.c_str(), kOther, kOther), 0) << path; };

  std::vector<std::string> kept;
  auto keep = [&](const std::string& name) {
    kept.push_back(name);
    return name;
  };
  // The folder as the report found it: another user's, open to everyone,
  // its name not one mkdtemp makes.
  if (root) {
    const std::string evil = Folder(keep("workEVIL1"), dead);
    ASSERT_EQ(::chmod(evil.c_str(), 0777), 0);
    for (const char* p : {"", "/inner", "/inner/data.bin", "/.vexa-owner"}) giveAway(evil + p);
    // Each property alone: another user's folder as the program makes it,
    // and a folder of ours whose owner file another user made.
    const std::string theirs = Folder(keep("workTheirs"), dead);
    for (const char* p : {"", "/inner", "/inner/data.bin", "/.vexa-owner"}) giveAway(theirs + p);
    giveAway(Folder(keep("workPlants"), dead) + "/" + kTempOwnerFile);
  }
  ASSERT_EQ(::chmod(Folder(keep("workOpened"), dead).c_str(), 0777), 0);
  ASSERT_EQ(::chmod(Folder(keep("workShared"), dead).c_str(), 0750), 0);
  Folder(keep("workDead1"), dead);
  Folder(keep("workDead0001"), dead);
  Folder(keep("workDea-01"), dead);
  // An owner file that is a link to one that names an ended process, or a
  // folder.
  const std::string linked = Folder(keep("workLinked"), "");
  const std::string ownerText = Path("owner-text");
  ASSERT_TRUE(WriteFileAtomic(ownerText, dead));
  ASSERT_EQ(::symlink(ownerText.c_str(), (linked + "/" + kTempOwnerFile).c_str()), 0);
  ASSERT_TRUE(MakeDirs(Folder(keep("workFolder"), "") + "/" + kTempOwnerFile));
  // The one folder that is the program's own, abandoned.
  Folder("workAbandn", dead);

  EXPECT_EQ(RemoveAbandonedTempDirs(root_, "work"), 1);
  kept.push_back("owner-text");
  std::sort(kept.begin(), kept.end());
  EXPECT_EQ(Names(), kept);
  for (const std::string& name : kept) {
    if (name != "owner-text") {
      EXPECT_TRUE(FileExists(Path(name + "/inner/data.bin"))) << name;
    }
  }

  // A folder of the same path that another user put there after this
  // process removed its own goes neither, even when it names this process.
  if (root) {
    const std::string made = MakeOwnedTempDir(root_, "mine");
    ASSERT_FALSE(made.empty());
    ASSERT_TRUE(WriteFileAtomic(made + "/data.bin", "data"));
    for (const char* p : {"", "/data.bin", "/.vexa-owner"}) giveAway(made + p);
    RemoveOwnTempDirs();
    EXPECT_TRUE(FileExists(made + "/data.bin"));
  }
}

// A removal cut short (the program killed outright while it removes its
// folder) must leave the owner file, so that the next run still knows the
// folder and removes it: in every folder the owner file is removed last.
TEST_F(OwnedTempDirTest, TheOwnerFileGoesLastSoACutShortRemovalIsFinishedLater) {
  const int ended = EndedProcess();
  // The order a folder lists its entries in depends on the file system:
  // owner files written first (as MakeOwnedTempDir does) and written last
  // cannot both come last by chance.
  const std::string ownerFirst = Path("workFirst1");
  ASSERT_TRUE(MakeDirs(ownerFirst));
  ASSERT_EQ(::chmod(ownerFirst.c_str(), 0700), 0);
  ASSERT_TRUE(WriteFileAtomic(ownerFirst + "/" + kTempOwnerFile, Owner(ended, 1)));
  const std::string ownerLast = Path("workLast01");
  ASSERT_TRUE(MakeDirs(ownerLast));
  ASSERT_EQ(::chmod(ownerLast.c_str(), 0700), 0);
  const std::string made = MakeOwnedTempDir(root_, "own");
  ASSERT_FALSE(made.empty());
  // The engine's own folder inside the orchestrator's, as a run has it.
  const std::string inner = MakeOwnedTempDir(made, "zzz");
  ASSERT_FALSE(inner.empty());
  for (const std::string& dir : {ownerFirst, ownerLast, made, inner}) {
    ASSERT_TRUE(MakeDirs(dir + "/sub"));
    for (int i = 0; i < 40; ++i) {
      ASSERT_TRUE(WriteFileAtomic(dir + "/file" + std::to_string(i), "data"));
    }
  }
  ASSERT_TRUE(WriteFileAtomic(ownerLast + "/" + kTempOwnerFile, Owner(ended, 1)));

  const int notify = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  ASSERT_GE(notify, 0);
  std::map<int, std::string> watched;
  for (const std::string& dir : {ownerFirst, ownerLast, made, inner}) {
    const int wd = ::inotify_add_watch(notify, dir.c_str(), IN_DELETE);
    ASSERT_GE(wd, 0) << dir;
    watched[wd] = dir;
  }
  // The next run's clean-up, and a run's own at its end.
  EXPECT_EQ(RemoveAbandonedTempDirs(root_, "work"), 2);
  EXPECT_TRUE(RemoveTreeNoFollow(made));

  // Every removal has happened: the events are all queued.
  std::map<std::string, std::vector<std::string>> removed;
  alignas(inotify_event) char buffer[64 * 1024];
  for (;;) {
    const ssize_t n = ::read(notify, buffer, sizeof buffer);
    if (n <= 0) break;
    for (ssize_t at = 0; at < n;) {
      const auto* e = reinterpret_cast<const inotify_event*>(buffer + at);
      if ((e->mask & IN_DELETE) && e->len > 0) removed[watched[e->wd]].push_back(e->name);
      ASSERT_FALSE(e->mask & IN_Q_OVERFLOW);
      at += static_cast<ssize_t>(sizeof(inotify_event) + e->len);
    }
  }
  ::close(notify);
  for (const std::string& dir : {ownerFirst, ownerLast, made, inner}) {
    const std::vector<std::string>& names = removed[dir];
    // Forty files, a folder and the owner file; the orchestrator's folder
    // holds the engine's too.
    ASSERT_EQ(names.size(), dir == made ? 43u : 42u) << dir;
    std::string order;
    for (const std::string& name : names) order += name + " ";
    EXPECT_EQ(names.back(), kTempOwnerFile) << dir << " lost its entries in this order: " << order;
  }

  // What a removal cut short leaves (the owner file, part of the content,
  // a folder made writable on the way) is still known and goes.
  const std::string cut = Folder("workCutOff", Owner(ended, 1));
  ASSERT_TRUE(MakeDirs(cut + "/half/done"));
  ASSERT_TRUE(WriteFileAtomic(cut + "/half/left.bin", "data"));
  ASSERT_EQ(::unlink((cut + "/inner/data.bin").c_str()), 0);
  ASSERT_EQ(::chmod((cut + "/half").c_str(), 0500), 0);
  EXPECT_EQ(RemoveAbandonedTempDirs(root_, "work"), 1);
  EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(cut)));
}

}  // namespace
}  // namespace vexa::base
