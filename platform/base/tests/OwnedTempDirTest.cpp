#include "platform/base/OwnedTempDir.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
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

  // A folder with an owner file holding text.
  std::string Folder(const std::string& name, const std::string& owner) {
    const std::string dir = Path(name);
    EXPECT_TRUE(MakeDirs(dir + "/inner"));
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
  Folder("workOld", Owner(ended, 1));
  const std::string made = MakeOwnedTempDir(root_, "work");
  ASSERT_FALSE(made.empty());
  EXPECT_EQ(BaseName(made).rfind("work", 0), 0u);
  std::string owner;
  ASSERT_TRUE(ReadFile(made + "/" + kTempOwnerFile, &owner));
  EXPECT_EQ(owner, Owner(static_cast<int>(::getpid()), ProcessStartTime(::getpid())));
  // The abandoned folder went on the way.
  EXPECT_FALSE(DirExists(Path("workOld")));
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

}  // namespace
}  // namespace vexa::base
