// vexa-album from the command line: an album made by `new` is well-formed,
// and `dump` reads back its title and stills.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <cstdio>
#include <string>

#include "platform/base/Path.h"

namespace {

int RunCommand(const std::string& command, std::string* output) {
  output->clear();
  FILE* p = popen((command + " 2>&1").c_str(), "r");
  if (!p) return -1;
  char buf[4096];
  std::size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) output->append(buf, n);
  const int status = pclose(p);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

class VexaAlbumTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = vexa::base::MakeTempDir("", "vexa-album-");
    ASSERT_FALSE(dir_.empty());
    setenv("VEXA_REGISTRY_DIR", (dir_ + "/registry").c_str(), 1);
    tool_ = std::string(VEXA_BUILD_DIR) + "/bin/vexa-album";
  }
  void TearDown() override { vexa::base::RemoveAll(dir_); }
  std::string dir_, tool_;
};

TEST_F(VexaAlbumTest, NewThenDump) {
  const std::string album = dir_ + "/a b.xml";
  std::string out;
  ASSERT_EQ(RunCommand(tool_ + " new '" + album + "' --title 'Summer 2002' --title Two --still x.jpg"
                " --still 'dir/y z.jpg'", &out), 0) << out;
  ASSERT_EQ(RunCommand(tool_ + " dump '" + album + "'", &out), 0) << out;
  EXPECT_NE(out.find("titleSlide.line1: Summer 2002\n"), std::string::npos) << out;
  EXPECT_NE(out.find("titleSlide.line2: Two\n"), std::string::npos) << out;
  EXPECT_NE(out.find("stillImages[1].originalFilename: x.jpg\n"), std::string::npos) << out;
  EXPECT_NE(out.find("stillImages[2].originalFilename: dir/y z.jpg\n"), std::string::npos) << out;

  if (RunCommand("command -v xmllint", &out) == 0) {
    EXPECT_EQ(RunCommand("xmllint --noout '" + album + "'", &out), 0) << out;
  } else {
    const char* req = getenv("VEXA_REQUIRE_CHECKERS");
    if (req && std::string(req) == "1") FAIL() << "xmllint is required";
  }
}

TEST_F(VexaAlbumTest, RefusesWhatIsNoAlbum) {
  const std::string other = dir_ + "/other.xml";
  vexa::base::WriteFileAtomic(other, "<DiscManifest/>");
  vexa::base::WriteFileAtomic(dir_ + "/broken.xml", "<AlbumManifest>");
  std::string out;
  EXPECT_EQ(RunCommand(tool_ + " dump " + other, &out), 1);
  EXPECT_NE(out.find("ERROR: "), std::string::npos);
  EXPECT_EQ(RunCommand(tool_ + " dump " + dir_ + "/broken.xml", &out), 1);
  EXPECT_NE(out.find("ERROR: cannot load"), std::string::npos) << out;
  EXPECT_EQ(RunCommand(tool_ + " dump " + dir_ + "/missing.xml", &out), 1);
  EXPECT_EQ(RunCommand(tool_ + " new", &out), 2);
}

}  // namespace
