// The engine's plain file routines and results, without the COM class: the
// work directory and its folders, a file's time, removing a tree,
// temporary names and the worker states' codes.
#include <gtest/gtest.h>
#include <unistd.h>

#include <climits>
#include <filesystem>

#include "engine/EngineFiles.h"
#include "platform/base/File.h"
#include "platform/base/Path.h"

namespace vexa::engine {
namespace {

class EngineFilesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = base::MakeTempDir(base::TempDirectory(), "vexa-engine-files-");
    ASSERT_FALSE(dir_.empty());
  }
  void TearDown() override { base::RemoveAll(dir_); }
  std::string Path(const std::string& name) const { return dir_ + "/" + name; }
  std::string dir_;
};

std::string Cwd() {
  char buf[PATH_MAX];
  return ::getcwd(buf, sizeof buf) ? buf : "";
}

TEST_F(EngineFilesTest, WorkFoldersAreMadeInsideTheFolderGiven) {
  const std::string cwd = Cwd();
  for (const std::string& given : {dir_, dir_ + "/", dir_ + "/./"}) {
    WorkFolders f;
    const Result r = MakeWorkFolders(given, &f);
    ASSERT_TRUE(r.ok()) << r.message();
    EXPECT_EQ(Cwd(), cwd);
    EXPECT_EQ(std::filesystem::path(f.root).parent_path(), std::filesystem::path(dir_)) << f.root;
    EXPECT_EQ(std::filesystem::path(f.root).filename().string().substr(0, 3), "zzz");
    for (const std::string* folder : {&f.vexaxml, &f.vexaprt, &f.vexaod, &f.content, &f.thumb, &f.webres, &f.original,
                                      &f.vexapc}) {
      EXPECT_TRUE(base::DirExists(*folder)) << *folder;
      EXPECT_EQ(folder->rfind(f.root + "/", 0), 0u) << *folder;
    }
    EXPECT_EQ(f.original, f.root + "/vexaod/original");
    EXPECT_EQ(f.pageMirror, f.root + "/vexapc/ORLDISC/ALBUM_A/");
    EXPECT_TRUE(f.ready());
  }
  for (const std::string& missing : {std::string(), Path("missing")}) {
    WorkFolders f;
    const Result r = MakeWorkFolders(missing, &f);
    EXPECT_FALSE(r.ok());
    EXPECT_EQ(r.code(), EngineCode::kTemporaryDirFail);
    EXPECT_EQ(r.message(), "IVEXAEngine::SetTempDirectory - Can not change to temporary directory");
    EXPECT_TRUE(f.root.empty());
  }
}

TEST_F(EngineFilesTest, SharedRoutines) {
  EXPECT_EQ(CleanDirectory("").kind(), Result::Kind::kRefused);
  EXPECT_EQ(CleanDirectory("").message(), "IVEXAEngine::CleanDirectory - invalid parameter startPath");
  const std::string tree = Path("tree");
  base::MakeDirs(tree + "/a/b");
  base::WriteFileAtomic(tree + "/a/b/f", "x");
  base::WriteFileAtomic(tree + "/g", "y");
  // A link below the tree goes, what it points at stays.
  const std::string outside = Path("outside");
  base::WriteFileAtomic(outside, "z");
  ASSERT_EQ(::symlink(outside.c_str(), (tree + "/a/link").c_str()), 0);
  EXPECT_TRUE(CleanDirectory(tree).ok());
  EXPECT_FALSE(base::FileExists(tree));
  EXPECT_TRUE(base::FileExists(outside));

  SYSTEMTIME st{};
  Result r = GetModifiedSystemTime("", &st);
  EXPECT_EQ(r.code(), EngineCode::kParameterInvalid);
  EXPECT_EQ(r.method(), "IVEXAEngine::GetModifiedSystemTime");
  r = GetModifiedSystemTime(Path("nothing"), &st);
  EXPECT_EQ(r.code(), EngineCode::kParameterInvalid);
  EXPECT_NE(r.message().find("IVEXAEngine::GetModifiedSystemTime - Can not get find data for srcFile"), std::string::npos);
  EXPECT_TRUE(GetModifiedSystemTime(outside, &st).ok());
  EXPECT_GE(st.wYear, 2024);

  std::string name;
  r = GenerateTemporaryFileName("", &name);
  EXPECT_EQ(r.message(), "VEXAEngine::GenerateTemporaryFileName - m_TempDirectory not set");
  EXPECT_EQ(r.method(), "VEXAEngine::GenerateTemporaryFileName");
  ASSERT_TRUE(GenerateTemporaryFileName(dir_, &name).ok());
  EXPECT_TRUE(base::FileExists(name));
  EXPECT_EQ(std::filesystem::path(name).filename().string().substr(0, 4), "sdkt");

  EXPECT_TRUE(HasTempSpace(dir_, 0));
  EXPECT_FALSE(HasTempSpace(dir_, UINT64_MAX));
  // A folder that cannot be asked passes.
  EXPECT_TRUE(HasTempSpace(Path("missing"), UINT64_MAX));
}

TEST(EngineResultTest, WorkerStatesAndChainedTexts) {
  struct Case {
    std::int32_t state;
    EngineCode code;
  } cases[] = {{0, EngineCode::kSuccess},        {1, EngineCode::kBrellPending},   {2, EngineCode::kBrellReadFail},
               {3, EngineCode::kBrellWriteFail}, {4, EngineCode::kBrellCancel},    {5, EngineCode::kBrellException},
               {6, EngineCode::kBrellOtherFail}, {7, EngineCode::kBrellDLLError},  {8, EngineCode::kBrellUnknown},
               {-1, EngineCode::kBrellUnknown}};
  for (const auto& c : cases) EXPECT_EQ(EngineCodeFromWorkerState(c.state), c.code) << c.state;
  EXPECT_EQ(AfterWhy("", "outer"), "outer");
  EXPECT_EQ(Result::Fail(EngineCode::kNamingFail, "inner").Then("outer"), "inner\nouter");
  EXPECT_TRUE(Result::Ok().ok());
  EXPECT_FALSE(Result::Refuse("x").ok());
}

}  // namespace
}  // namespace vexa::engine
