#include "platform/base/Path.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "platform/base/Module.h"

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
