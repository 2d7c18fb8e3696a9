// isofs-mkimage against independent readers: isoinfo, iso-info, xorriso and
// pycdlib must all read the images it writes, and the path table must be in
// the order genisoimage writes for the same tree.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "platform/base/Path.h"
#include "tools/isofs-mkimage/tests/ToolTest.h"

namespace {

using namespace mkimage_test;

class Image : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = vexa::base::MakeTempDir(vexa::base::TempDirectory(), "isofs-image-");
    ASSERT_FALSE(dir_.empty());
    src_ = dir_ + "/src";
    vexa::base::MakeDirs(src_);
  }
  void TearDown() override { vexa::base::RemoveAll(dir_); }

  // Deep folders, non-Latin names, names near the limits, colliding 8.3
  // names, empty folders, an empty file and data over several sectors.
  void MixedTree() {
    std::mt19937 rng(7);
    std::string data(9000, '\0');
    for (char& c : data) c = static_cast<char>(rng());
    WriteFile(src_ + "/a/b/c/d/e/f/g/deep.txt", "deep\n");
    WriteFile(src_ + "/Holiday photo 1.jpg", "one");
    WriteFile(src_ + "/Holiday photo 2.jpg", "two");
    WriteFile(src_ + "/Holiday photo 3.jpg", data);
    WriteFile(src_ + "/Фотографии/снимок.dat", data.substr(100));
    WriteFile(src_ + "/日本語/ファイル名.txt", "kana");
    WriteFile(src_ + "/Ünïcödé ßtraße.txt", "umlaut");
    WriteFile(src_ + "/" + std::string(59, 'L') + ".text", "long");
    WriteFile(src_ + "/" + std::string(64, 'D') + "/inner.txt", "in a long folder");
    WriteFile(src_ + "/empty file", "");
    vexa::base::MakeDirs(src_ + "/empty folder");
    vexa::base::MakeDirs(src_ + "/KARAOKE");
  }

  Result Make(const std::string& options, const std::string& image) {
    return Shell(kTool + " " + options + " " + Quote(src_) + " " + Quote(image));
  }

  std::string dir_;
  std::string src_;
};

TEST_F(Image, IndependentReadersAgree) {
  REQUIRE_CHECKER(Have("isoinfo"), "isoinfo (genisoimage)");
  REQUIRE_CHECKER(Have("iso-info"), "iso-info (libcdio-utils)");
  REQUIRE_CHECKER(Have("xorriso"), "xorriso");
  REQUIRE_CHECKER(HavePycdlib(), "python3-pycdlib");
  MixedTree();
  const std::vector<std::string> variants = {"",           "--joliet",     "--xa",
                                             "--joliet --xa", "--long-names", "--long-names --xa --joliet"};
  for (const std::string& options : variants) {
    SCOPED_TRACE("options: " + options);
    const std::string image = dir_ + "/out.iso";
    const Result made = Make(options + " --volume PHOTOS_2024", image);
    ASSERT_EQ(made.code, 0) << made.out;
    struct stat st {};
    ASSERT_EQ(stat(image.c_str(), &st), 0);

    const Result d = Shell("isoinfo -d -i " + Quote(image));
    EXPECT_EQ(d.code, 0) << d.out;
    EXPECT_NE(d.out.find("Volume id: PHOTOS_2024"), std::string::npos) << d.out;
    EXPECT_EQ(d.out.find("Joliet with UCS level") != std::string::npos, options.find("--joliet") != std::string::npos) << d.out;
    const std::size_t at = d.out.find("Volume size is: ");
    ASSERT_NE(at, std::string::npos) << d.out;
    EXPECT_EQ(std::stoll(d.out.substr(at + 16)) * 2048, st.st_size);

    const Result l = Shell("isoinfo -l -i " + Quote(image));
    EXPECT_EQ(l.code, 0) << l.out;
    EXPECT_NE(l.out.find("Directory listing of /A/B/C/D/E/F/G/"), std::string::npos) << l.out;
    EXPECT_NE(l.out.find("DEEP.TXT;1"), std::string::npos) << l.out;
    if (options.find("--joliet") != std::string::npos) {
      const Result j = Shell("isoinfo -J -l -i " + Quote(image));
      EXPECT_EQ(j.code, 0) << j.out;
      EXPECT_NE(j.out.find("Holiday photo 3.jpg"), std::string::npos) << j.out;
      EXPECT_NE(j.out.find("/empty folder/"), std::string::npos) << j.out;
    }
    const Result info = Shell("iso-info -l " + Quote(image));
    EXPECT_EQ(info.code, 0) << info.out;
    EXPECT_EQ(info.out.find("rror"), std::string::npos) << info.out;

    const Result pvd = Shell("xorriso -abort_on NEVER -return_with WARNING 32 -indev " + Quote(image) +
                           " -pvd_info");
    EXPECT_EQ(pvd.code, 0) << pvd.out;
    EXPECT_NE(pvd.out.find("Volume Id    : PHOTOS_2024"), std::string::npos) << pvd.out;

    const std::string joliet = options.find("--joliet") != std::string::npos ? " --joliet" : "";
    const Result py = Shell(Python() + " " + Quote(kChecker) + " " + Quote(image) + " " + Quote(src_) + joliet);
    EXPECT_EQ(py.code, 0) << py.out;
  }
}

// What xorriso reads back from the Joliet tree equals the source tree:
// names, folders and contents. Only what an image without Rock Ridge cannot
// hold (permissions, owners, change times, the root folder's date) may differ.
TEST_F(Image, JolietTreeComparesEqual) {
  REQUIRE_CHECKER(Have("xorriso"), "xorriso");
  MixedTree();
  const std::string image = dir_ + "/x.iso";
  const Result made = Make("--joliet", image);
  ASSERT_EQ(made.code, 0) << made.out;
  const Result cmp = Shell("xorriso -indev " + Quote(image) + " -compare_r " + Quote(src_) + " /");
  std::istringstream lines(cmp.out);
  std::string line;
  std::vector<std::string> differences;
  while (std::getline(lines, line)) {
    if (line.find("(DISK)") == std::string::npos && line.find("(ISO)") == std::string::npos) continue;
    if (line.find("st_mode") != std::string::npos || line.find("st_ctime") != std::string::npos ||
        line.find("st_uid") != std::string::npos || line.find("st_gid") != std::string::npos) {
      continue;
    }
    if (line.find("st_mtime") != std::string::npos && line.find("'" + src_ + "' ") != std::string::npos) continue;
    differences.push_back(line);
  }
  EXPECT_TRUE(differences.empty()) << cmp.out;
}

// Joliet keeps at most 64 characters of a name, its extension among them;
// longer names that meet once cut stay apart.
TEST_F(Image, LongJolietNamesAreCutAndKeptApart) {
  REQUIRE_CHECKER(Have("isoinfo"), "isoinfo (genisoimage)");
  const std::string stem(100, 'n');
  WriteFile(src_ + "/" + stem + "1.txt", "first");
  WriteFile(src_ + "/" + stem + "2.txt", "second");
  const std::string image = dir_ + "/x.iso";
  ASSERT_EQ(Make("--joliet", image).code, 0);
  const Result j = Shell("isoinfo -J -l -i " + Quote(image));
  EXPECT_EQ(j.code, 0) << j.out;
  EXPECT_NE(j.out.find(" " + std::string(60, 'n') + ".txt;1"), std::string::npos) << j.out;
  EXPECT_NE(j.out.find(" " + std::string(58, 'n') + "~1.txt;1"), std::string::npos) << j.out;
}

// ISO 9660 orders the path table by level, parent number and name; the tree
// is scanned in an order (A_dir, C, b_dir) that differs from it.
TEST_F(Image, PathTableOrderMatchesGenisoimage) {
  REQUIRE_CHECKER(Have("isoinfo"), "isoinfo (genisoimage)");
  REQUIRE_CHECKER(Have("genisoimage"), "genisoimage");
  for (const char* d : {"C", "A_dir/zz", "A_dir/yy", "b_dir/x", "b_dir/a1", "C/q/r"}) {
    vexa::base::MakeDirs(src_ + "/" + d);
  }
  WriteFile(src_ + "/C/q/r/f.txt", "f");
  const std::string ours = dir_ + "/ours.iso", theirs = dir_ + "/theirs.iso";
  ASSERT_EQ(Make("", ours).code, 0);
  const Result g = Shell("genisoimage -quiet -o " + Quote(theirs) + " " + Quote(src_));
  ASSERT_EQ(g.code, 0) << g.out;
  // Number, parent number and name of each record; extents differ.
  auto table = [](const std::string& image) {
    const Result p = Shell("isoinfo -p -i " + Quote(image));
    std::vector<std::string> rows;
    std::istringstream lines(p.out);
    std::string line;
    // Rows look like "   2:    1 1b A_DIR".
    while (std::getline(lines, line)) {
      std::istringstream fields(line);
      std::string number, parent, extent, name;
      if (!(fields >> number >> parent >> extent) || number.empty() || number.back() != ':') continue;
      fields >> name;
      rows.push_back(number + " " + parent + " " + name);
    }
    return rows;
  };
  const auto mine = table(ours);
  EXPECT_EQ(mine.size(), 10u);
  EXPECT_EQ(mine, table(theirs));
}

TEST(Tool, RefusesBadArguments) {
  EXPECT_EQ(Shell(kTool).code, 2);
  EXPECT_EQ(Shell(kTool + " --bogus a b").code, 2);
  EXPECT_EQ(Shell(kTool + " /nonexistent/folder /tmp/never.iso").code, 2);
  EXPECT_EQ(Shell(kTool + " --volume").code, 2);
}

}  // namespace
