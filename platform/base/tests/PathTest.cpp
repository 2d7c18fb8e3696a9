#include "platform/base/Path.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "platform/base/Module.h"
#include "platform/base/Overlap.h"

using namespace vexa::base;

TEST(Path, SplitsOnSlashOnly) {
  struct Case {
    const char* path;
    const char* dir;
    const char* base;
    const char* ext;
  } cases[] = {
      {"/tmp/x/y.tar.gz", "/tmp/x", "y.tar.gz", ".gz"},
      // A backslash is part of a name.
      {"/photos/back\\slash.jpg", "/photos", "back\\slash.jpg", ".jpg"},
      {"/photos\\2002/a.jpg", "/photos\\2002", "a.jpg", ".jpg"},
      {"dir\\name", "", "dir\\name", ""},
      {"plain", "", "plain", ""},
      {"/top", "/", "top", ""},
      {"dir/.hidden", "dir", ".hidden", ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(DirName(c.path), c.dir) << c.path;
    EXPECT_EQ(BaseName(c.path), c.base) << c.path;
    EXPECT_EQ(Extension(c.path), c.ext) << c.path;
  }
  EXPECT_EQ(JoinPath("a/", "/b"), "a/b");
  EXPECT_EQ(JoinPath("a\\", "b"), "a\\/b");
  EXPECT_EQ(JoinPath("a", "b"), "a/b");
  EXPECT_EQ(JoinPath("", "b"), "b");
  EXPECT_EQ(ToNativePath("xslt\\a.xsl"), "xslt/a.xsl");
}

TEST(Path, TempFilesAreUniqueAndEmpty) {
  const std::string dir = MakeTempDir("", "vexa-test-");
  ASSERT_FALSE(dir.empty());
  const std::string a = MakeTempFile(dir, "lg", ".tmp");
  const std::string b = MakeTempFile(dir, "lg", ".tmp");
  ASSERT_FALSE(a.empty());
  ASSERT_FALSE(b.empty());
  EXPECT_NE(a, b);
  std::string content = "x";
  ASSERT_TRUE(ReadFile(a, &content));
  EXPECT_EQ(content, "");
  EXPECT_EQ(Extension(a), ".tmp");
  EXPECT_TRUE(RemoveAll(dir));
  EXPECT_FALSE(DirExists(dir));
}

TEST(Path, AtomicWriteReplacesWholeFile) {
  const std::string dir = MakeTempDir("", "vexa-test-");
  const std::string f = JoinPath(dir, "file.txt");
  ASSERT_TRUE(WriteFileAtomic(f, "first"));
  ASSERT_TRUE(WriteFileAtomic(f, "second version"));
  std::string s;
  ASSERT_TRUE(ReadFile(f, &s));
  EXPECT_EQ(s, "second version");
  // A folder that does not exist: failure, nothing created.
  EXPECT_FALSE(WriteFileAtomic(JoinPath(dir, "no/such/file"), "x"));
  RemoveAll(dir);
}

// An output overlaps an input when writing or emptying it reaches the input:
// the same file by any name, or a folder above it by any name.
TEST(Path, OutputOverlapsInputByIdentityNotByName) {
  const std::string root = MakeTempDir("", "overlap-");
  ASSERT_FALSE(root.empty());
  const std::string photos = root + "/photos", photo = photos + "/a.jpg", elsewhere = root + "/elsewhere";
  ASSERT_TRUE(MakeDirs(photos + "/sub"));
  ASSERT_TRUE(MakeDirs(elsewhere));
  ASSERT_TRUE(WriteFileAtomic(photo, "jpeg"));
  ASSERT_TRUE(WriteFileAtomic(elsewhere + "/target.jpg", "jpeg"));
  ASSERT_EQ(::link(photo.c_str(), (root + "/hard.jpg").c_str()), 0);
  ASSERT_EQ(::symlink(photo.c_str(), (root + "/soft.jpg").c_str()), 0);
  ASSERT_EQ(::symlink(photos.c_str(), (root + "/album").c_str()), 0);
  ASSERT_EQ(::symlink((elsewhere + "/target.jpg").c_str(), (photos + "/linked.jpg").c_str()), 0);
  struct Case {
    std::string output, input;
    bool overlaps;
  } cases[] = {
      {photo, photo, true},
      {root + "/hard.jpg", photo, true},
      {root + "/soft.jpg", photo, true},
      {photo, root + "/soft.jpg", true},
      {photos, photo, true},
      {root, photo, true},
      {"/", photo, true},
      {root + "/album", photo, true},
      {photos, root + "/album/a.jpg", true},
      {photos + "/sub/../", photo, true},
      {photos, photos, true},
      {photos, photos + "/linked.jpg", true},  // the link itself is in the folder
      {elsewhere, photos + "/linked.jpg", true},  // and what it names is here
      {photos + "/sub", photo, false},
      {elsewhere, photo, false},
      {root + "/new.wav", photo, false},
      {photo, root + "/missing.jpg", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(OutputOverlapsInput(c.output, c.input), c.overlaps) << c.output << " / " << c.input;
  }
  EXPECT_EQ(OverlappedInput(photos, {elsewhere + "/target.jpg", photo}), photo);
  EXPECT_EQ(OverlappedInput(photos + "/sub", {elsewhere + "/target.jpg", photo}), "");

  const int fd = ::open((root + "/hard.jpg").c_str(), O_WRONLY | O_APPEND);
  ASSERT_GE(fd, 0);
  EXPECT_TRUE(DescriptorIsInput(fd, photo));
  EXPECT_FALSE(DescriptorIsInput(fd, elsewhere + "/target.jpg"));
  ::close(fd);
  RemoveAll(root);
}

TEST(Path, InstallLayoutFollowsTheLibrary) {
  // The test binary links lib/vexa/libvexa_base.so of the build tree.
  EXPECT_EQ(LibDir(), JoinPath(InstallPrefix(), "lib/vexa"));
  EXPECT_TRUE(DirExists(LibDir())) << LibDir();
  EXPECT_TRUE(DirExists(ShareDir())) << ShareDir();
}

TEST(Path, RuntimeDirectoryIsPrivate) {
  const std::string dir = RuntimeDirectory();
  ASSERT_FALSE(dir.empty());
  struct stat st {};
  ASSERT_EQ(stat(dir.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);
}

// A runtime folder that cannot be used is refused with the folder, the
// reason and what to do: a missing XDG_RUNTIME_DIR, a file in the folder's
// place, a folder of another user.
TEST(Path, AnUnusableRuntimeDirectorySaysWhyAndWhatToDo) {
  const char* saved = std::getenv("XDG_RUNTIME_DIR");
  const std::string keep = saved ? saved : "";
  const std::string root = MakeTempDir("", "vexa-runtime-");
  ASSERT_FALSE(root.empty());
  const std::string mine = root + "/mine";
  ASSERT_EQ(mkdir(mine.c_str(), 0700), 0);
  const std::string fileInPlace = root + "/file";
  ASSERT_EQ(mkdir(fileInPlace.c_str(), 0700), 0);
  ASSERT_TRUE(WriteFileAtomic(fileInPlace + "/vexa", "x"));
  const std::string foreign = root + "/foreign";
  ASSERT_EQ(mkdir(foreign.c_str(), 0700), 0);
  ASSERT_EQ(mkdir((foreign + "/vexa").c_str(), 0700), 0);
  // Only root can give a folder to another user.
  const bool canGive = chown((foreign + "/vexa").c_str(), getuid() + 1, static_cast<gid_t>(-1)) == 0;
  struct Case {
    std::string base;
    std::string said;
  } cases[] = {
      {root + "/missing", "the runtime folder " + root + "/missing/vexa cannot be made: No such file or directory"},
      {fileInPlace, "the runtime folder " + fileInPlace + "/vexa is not a folder"},
      {foreign, "the runtime folder " + foreign + "/vexa belongs to user " + std::to_string(getuid() + 1) +
                    ", not to this user (" + std::to_string(getuid()) + ")"},
  };
  for (const Case& c : cases) {
    if (c.base == foreign && !canGive) continue;
    SCOPED_TRACE(c.base);
    setenv("XDG_RUNTIME_DIR", c.base.c_str(), 1);
    std::string why;
    EXPECT_EQ(RuntimeDirectory(&why), "");
    EXPECT_EQ(why, c.said + "; set XDG_RUNTIME_DIR to a folder of your own (it is " + c.base + ").");
  }
  setenv("XDG_RUNTIME_DIR", mine.c_str(), 1);
  std::string why;
  EXPECT_EQ(RuntimeDirectory(&why), mine + "/vexa");
  EXPECT_EQ(why, "");
  if (saved) {
    setenv("XDG_RUNTIME_DIR", keep.c_str(), 1);
  } else {
    unsetenv("XDG_RUNTIME_DIR");
  }
  RemoveAll(root);
}

// A private folder is the caller's alone: made 0700, an open one of the
// caller's closed, and anything another user could have planted (a link,
// their folder, a file) refused and left as it was.
TEST(Path, PrivateFoldersAreTheCallersAlone) {
  const std::string dir = MakeTempDir("", "vexa-private-");
  ASSERT_FALSE(dir.empty());
  auto mode = [](const std::string& p) {
    struct stat st {};
    lstat(p.c_str(), &st);
    return st.st_mode;
  };
  ASSERT_TRUE(MakePrivateDir(dir + "/new"));
  EXPECT_EQ(mode(dir + "/new") & 07777, 0700u);
  MakeDirs(dir + "/open");
  chmod((dir + "/open").c_str(), 0777);
  ASSERT_TRUE(MakePrivateDir(dir + "/open"));
  EXPECT_EQ(mode(dir + "/open") & 07777, 0700u);

  MakeDirs(dir + "/elsewhere");
  chmod((dir + "/elsewhere").c_str(), 0777);
  symlink("elsewhere", (dir + "/link").c_str());
  WriteFileAtomic(dir + "/file", "x");
  EXPECT_FALSE(MakePrivateDir(dir + "/link"));
  EXPECT_FALSE(MakePrivateDir(dir + "/file"));
  EXPECT_FALSE(MakePrivateDir(dir + "/no/parent"));
  EXPECT_TRUE(S_ISLNK(mode(dir + "/link")));
  EXPECT_EQ(mode(dir + "/elsewhere") & 07777, 0777u);
  if (geteuid() == 0) {
    MakeDirs(dir + "/theirs");
    chmod((dir + "/theirs").c_str(), 0777);
    ASSERT_EQ(chown((dir + "/theirs").c_str(), 12345, 12345), 0);
    EXPECT_FALSE(MakePrivateDir(dir + "/theirs"));
    EXPECT_EQ(mode(dir + "/theirs") & 07777, 0777u);
  }
  RemoveAll(dir);
}

// The user's own data (logs, settings, a simulated recorder): the folders
// made for it are 0700 at every level made, folders already there keep their
// mode; a file written new is 0600, a file replaced keeps its own mode.
TEST(Path, FoldersAndFilesMadeForTheUsersDataAreTheirsAlone) {
  const mode_t savedMask = umask(022);
  const std::string dir = MakeTempDir("", "vexa-private-");
  ASSERT_FALSE(dir.empty());
  auto mode = [](const std::string& p) {
    struct stat st {};
    lstat(p.c_str(), &st);
    return st.st_mode & 07777;
  };
  ASSERT_TRUE(MakeDirs(dir + "/shared"));
  ASSERT_EQ(chmod((dir + "/shared").c_str(), 0755), 0);
  EXPECT_TRUE(MakePrivateDirs(dir + "/shared/a/b/"));
  EXPECT_EQ(mode(dir + "/shared"), 0755u);
  EXPECT_EQ(mode(dir + "/shared/a"), 0700u);
  EXPECT_EQ(mode(dir + "/shared/a/b"), 0700u);
  EXPECT_TRUE(MakePrivateDirs(dir + "/shared/a/b"));
  // A file in the way: false, with the reason.
  ASSERT_TRUE(WriteFileAtomic(dir + "/file", "x"));
  errno = 0;
  EXPECT_FALSE(MakePrivateDirs(dir + "/file/below"));
  EXPECT_EQ(errno, ENOTDIR);

  const std::string data = dir + "/shared/a/b/values";
  ASSERT_TRUE(WritePrivateFileAtomic(data, "one"));
  EXPECT_EQ(mode(data), 0600u);
  ASSERT_EQ(chmod(data.c_str(), 0640), 0);
  ASSERT_TRUE(WritePrivateFileAtomic(data, "two"));
  EXPECT_EQ(mode(data), 0640u);
  std::string read;
  ASSERT_TRUE(ReadFile(data, &read));
  EXPECT_EQ(read, "two");
  // The plain writer still makes what the umask allows.
  ASSERT_TRUE(WriteFileAtomic(dir + "/plain", "x"));
  EXPECT_EQ(mode(dir + "/plain"), 0644u);
  umask(savedMask);
  RemoveAll(dir);
}

TEST(Module, NamesMapToLibraryFiles) {
  EXPECT_EQ(ModuleFileName("vidlathe.dll"), "libvidlathe.so");
  EXPECT_EQ(ModuleFileName("C:\\x\\discpakb.DLL"), "libdiscpakb.so");
  EXPECT_EQ(ModuleFileName("vexa_base"), "libvexa_base.so");
  Module base = Module::Load("vexa_base.dll");
  ASSERT_TRUE(base.IsLoaded()) << base.Error();
  EXPECT_EQ(base.Symbol("no_such_symbol_anywhere"), nullptr);
  Module missing = Module::Load("no-such-module.dll");
  EXPECT_FALSE(missing.IsLoaded());
  EXPECT_FALSE(missing.Error().empty());
}
