// File enumeration against find, file times, and file lists.
#include <fcntl.h>
#include <sys/stat.h>

#include <filesystem>
#include <set>
#include <sstream>

#include "uicommon/common/FileUtil.h"
#include "uicommon/tests/UiTestSupport.h"

using namespace vexa::ui;

using namespace vexa::ui::testing;
namespace fs = std::filesystem;

namespace {

class FileUtilTest : public UiTest {};

TEST_F(FileUtilTest, EnumerationMatchesFindAndEndsOnLoops) {
  VEXA_UI_REQUIRE_TOOL("/usr/bin/find");
  const std::string root = m_temp.Path("tree");
  for (const char* d : {"a", "a/b", "a/b/c", "empty", ".hidden", "z"}) fs::create_directories(root + "/" + d);
  for (const char* f : {"top.jpg", "a/one.jpg", "a/b/two.bmp", "a/b/c/three.tif", ".secret",
                        ".hidden/inside.jpg", "z/last.png"})
    WriteAll(root + "/" + f, f);
  // A long path and a file over 4 GiB (sparse).
  const std::string deep = root + "/" + std::string(200, 'd') + "/" + std::string(200, 'e');
  fs::create_directories(deep);
  WriteAll(deep + "/" + std::string(200, 'f') + ".jpg", "deep");
  {
    std::ofstream big(root + "/big.bin", std::ios::binary);
    big.seekp((std::int64_t{5} << 30) - 1);
    big.put('x');
  }
  // A link back up the tree must not make the walk loop.
  fs::create_directory_symlink("..", root + "/a/b/up");

  std::multiset<std::string> ours;
  CFileEnumerator walk(root);
  CFileInfo info;
  std::uint64_t bigSize = 0;
  std::vector<std::string> order;
  while (walk.GetFile(info)) {
    const std::string path = info.GetPath() + "/" + info.GetFileName();
    ours.insert(path);
    order.push_back(path);
    if (info.GetFileName() == "big.bin") bigSize = info.GetSize();
    ASSERT_LT(ours.size(), 100u);
  }
  std::string listing;
  ASSERT_EQ(RunCommand("cd " + Quote(root) + " && /usr/bin/find . -type f -not -path '*/.*' | sed 's|^\\.|" +
                           root + "|'", &listing), 0);
  std::multiset<std::string> theirs;
  std::istringstream lines(listing);
  for (std::string line; std::getline(lines, line);) theirs.insert(line);
  EXPECT_EQ(ours, theirs);
  EXPECT_EQ(bigSize, std::uint64_t{5} << 30);
  // Depth first: a subfolder's files come before the parent's later entries.
  auto pos = [&](const std::string& p) { return std::find(order.begin(), order.end(), root + "/" + p) - order.begin(); };
  EXPECT_LT(pos("a/b/c/three.tif"), pos("a/one.jpg"));
  EXPECT_LT(pos("a/one.jpg"), pos("top.jpg"));

  // An empty folder, and one with hidden files only, give nothing.
  CFileEnumerator none(root + "/empty");
  EXPECT_FALSE(none.GetFile(info));
  CFileEnumerator hidden(root + "/.hidden");
  fs::remove(root + "/.hidden/inside.jpg");
  WriteAll(root + "/.hidden/.only", "x");
  EXPECT_FALSE(hidden.GetFile(info));
}

TEST_F(FileUtilTest, FileInfoAndChecksum) {
  const std::string dir = m_temp.dir();
  WriteAll(dir + "/sum.bin", std::string("\x01\x00\x00\x00\xFF\xFF\xFF\xFF\x02\x00\x00\x00\x09", 13));
  CFileInfo info("sum.bin", dir);
  EXPECT_TRUE(info.IsFileNameValid());
  EXPECT_TRUE(info.IsSizeValid());
  EXPECT_FALSE(info.IsFileTypeValid());
  EXPECT_EQ(info.GetSize(), 13u);
  unsigned sum = 99;
  ASSERT_TRUE(info.CalcChecksum(sum));
  EXPECT_EQ(sum, 2u);  // 1 + 0xFFFFFFFF + 2 wraps; the trailing byte is not counted
  CFileInfo missing;
  EXPECT_FALSE(missing.Init("nope", dir));
  missing.SetPath(dir);
  missing.SetFileName("nope");
  EXPECT_FALSE(missing.CalcChecksum(sum));
  EXPECT_EQ(sum, 0u);
}

TEST_F(FileUtilTest, FileTimesAndTheirTextForm) {
  const CFileTime a = CFileTime::FromUnix(1700000000), b = CFileTime::FromUnix(1700000010);
  EXPECT_EQ(a.Diff(a), 0u);
  EXPECT_EQ(a.Diff(b), 10u);
  EXPECT_EQ(b.Diff(a), 10u);
  EXPECT_EQ(a.Compare(b), -1);
  EXPECT_EQ(b.Compare(a), 1);
  EXPECT_EQ(a.Compare(a), 0);
  EXPECT_EQ(CFileTime(FILETIME{0, 0}).Diff(CFileTime(FILETIME{0, 0x7FFFFFFF})), 0xFFFFFFFFu);
  // A low half of 2^31 or more prints with its own minus sign and reads back.
  const CFileTime odd(FILETIME{0x80000001u, 12345});
  EXPECT_EQ(odd.ToString(), "12345--2147483647");
  EXPECT_TRUE(CFileTime(odd.ToString()) == odd);
  EXPECT_TRUE(CFileTime(a.ToString()) == a);
  EXPECT_EQ(String("key=value").ParseHead('='), "key");
  EXPECT_EQ(String("key=value").ParseTail('='), "value");
  EXPECT_EQ(String("plain").ParseTail('='), "plain");
  EXPECT_EQ(String("-42x").ToInteger(), -42);
  std::ostringstream out;
  String("line").Print(out);
  EXPECT_EQ(out.str(), "line\n");
}

TEST_F(FileUtilTest, FileListsRoundTripAndRefuseOtherVersions) {
  const std::string dir = m_temp.dir();
  const std::string older = dir + "/older.jpg", newer = dir + "/newer.jpg", same = dir + "/same.jpg";
  const std::string longName = dir + "/" + std::string(250, 'L') + "x/" + std::string(250, 'n') + ".jpg";
  fs::create_directories(fs::path(longName).parent_path());
  for (const auto& p : {older, newer, same, longName}) WriteAll(p, "x");
  auto setTime = [](const std::string& p, long t) {
    struct timespec ts[2] = {{t, 0}, {t, 0}};
    ::utimensat(AT_FDCWD, p.c_str(), ts, 0);
  };
  setTime(older, 1000000);
  setTime(newer, 3000000);
  setTime(same, 3000000);
  setTime(longName, 2000000);

  const std::string list = dir + "/list.txt";
  CFileListWriter writer;
  ASSERT_TRUE(writer.Open(list));
  ASSERT_TRUE(writer.AddFile(newer, 3, 1));   // flags 3 write " -F" only
  ASSERT_TRUE(writer.AddFile(same, 2, 3));
  ASSERT_TRUE(writer.AddFile(longName, 4 | 1, 1));
  ASSERT_TRUE(writer.AddFile(older, 1, 2));
  ASSERT_TRUE(writer.AddFile(dir + "/gone.jpg", 1, 1));
  ASSERT_TRUE(writer.Close());
  EXPECT_FALSE(writer.AddFile(older, 1, 1));  // closed

  const std::string text = ReadAll(list);
  EXPECT_EQ(text.substr(0, 4), "1.0\n");
  EXPECT_NE(text.find("\"" + newer + "\" -F\n"), std::string::npos);
  EXPECT_NE(text.find("\"" + same + "\" -I -N3\n"), std::string::npos);
  EXPECT_NE(text.find("\"" + longName + "\" -F -T\n"), std::string::npos);

  CFileSpecList missing;
  const CFileSpecList specs = CFileListReader::Read(list, &missing);
  std::vector<std::string> paths;
  for (const auto& s : specs) paths.push_back(s.path);
  // Oldest first; files of equal time keep their order in the list.
  EXPECT_EQ(paths, (std::vector<std::string>{older, longName, newer, same}));
  ASSERT_EQ(missing.size(), 1u);
  EXPECT_EQ(missing.front().modified, 0);
  auto find = [&](const std::string& p) {
    return *std::find_if(specs.begin(), specs.end(), [&](const CFileSpec& s) { return s.path == p; });
  };
  EXPECT_EQ(find(same).flags, 2);
  EXPECT_EQ(find(same).count, 3);
  EXPECT_EQ(find(longName).flags, 5);
  EXPECT_EQ(find(older).count, 2);

  // Lines without options, with options in any case, and lines to skip.
  WriteAll(list, "1.0\n\"" + older + "\"\n\"" + newer + "\" -i -n4\nnot quoted\n\"unterminated\n");
  const CFileSpecList plain = CFileListReader::Read(list, nullptr);
  ASSERT_EQ(plain.size(), 2u);
  EXPECT_EQ(plain.front().flags, 1);
  EXPECT_EQ(plain.front().count, 1);
  EXPECT_EQ(plain.back().flags, 2);
  EXPECT_EQ(plain.back().count, 4);
  for (const char* version : {"1.1\n", "2.0\n", "x\n"}) {
    WriteAll(list, std::string(version) + "\"" + older + "\"\n");
    EXPECT_TRUE(CFileListReader::Read(list, nullptr).empty()) << version;
  }
  EXPECT_TRUE(CFileListReader::Read(dir + "/none.txt", nullptr).empty());
}

}  // namespace
