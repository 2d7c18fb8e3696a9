// Disc names of original pictures: the cleaned, shortened and unique ISO
// 9660 and Joliet paths, checked for validity and uniqueness over tables of
// awkward source paths.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "engine/DiscNames.h"
#include "platform/base/Text.h"

namespace vexa::engine {
namespace {

std::vector<std::string> Split(const std::string& path) {
  std::vector<std::string> parts;
  std::string cur;
  for (char c : path) {
    if (c == '/') {
      if (!cur.empty()) parts.push_back(cur);
      cur.clear();
    } else {
      cur += c;
    }
  }
  parts.push_back(cur);
  return parts;
}

bool IsDChars(const std::string& s) {
  for (char c : s) {
    if (!((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_')) return false;
  }
  return true;
}

// An ISO 9660 level 1 path: 8.3 names of d-characters, eight levels, 255
// characters.
::testing::AssertionResult ValidISOPath(const std::string& path) {
  if (path.empty() || path[0] != '/') return ::testing::AssertionFailure() << "not absolute: " << path;
  if (path.size() > 255) return ::testing::AssertionFailure() << "longer than 255: " << path;
  auto parts = Split(path);
  if (parts.size() - 1 > 7) return ::testing::AssertionFailure() << "deeper than 8 levels: " << path;
  for (std::size_t i = 0; i + 1 < parts.size(); ++i) {
    if (parts[i].empty() || parts[i].size() > 8 || !IsDChars(parts[i])) {
      return ::testing::AssertionFailure() << "bad folder '" << parts[i] << "' in " << path;
    }
  }
  const std::string& file = parts.back();
  const auto dot = file.find('.');
  const std::string base = file.substr(0, dot);
  const std::string ext = dot == std::string::npos ? "" : file.substr(dot + 1);
  if (base.empty() || base.size() > 8 || !IsDChars(base) || ext.size() > 3 || !IsDChars(ext)) {
    return ::testing::AssertionFailure() << "bad file name '" << file << "' in " << path;
  }
  return ::testing::AssertionSuccess();
}

::testing::AssertionResult ValidJolietPath(const std::string& path) {
  const std::u16string p16 = base::Utf8ToUtf16(path);
  if (p16.empty() || p16[0] != u'/') return ::testing::AssertionFailure() << "not absolute: " << path;
  if (p16.size() > 255) return ::testing::AssertionFailure() << "longer than 255: " << path;
  auto parts = Split(path);
  if (parts.size() - 1 > 7) return ::testing::AssertionFailure() << "deeper than 8 levels: " << path;
  for (const auto& part : parts) {
    const std::u16string c = base::Utf8ToUtf16(part);
    if (c.empty() || c.size() > 64) return ::testing::AssertionFailure() << "bad length '" << part << "'";
    for (char16_t ch : c) {
      if (ch < 0x20 || ch == u'*' || ch == u'/' || ch == u':' || ch == u';' || ch == u'?' || ch == u'\\' ||
          (ch >= 0xD800 && ch <= 0xDFFF)) {
        return ::testing::AssertionFailure() << "refused character in '" << part << "'";
      }
    }
  }
  return ::testing::AssertionSuccess();
}

OriginalPaths Paths(DiscNames& n, const std::string& src) {
  OriginalPaths out;
  std::string error;
  EXPECT_TRUE(n.GenerateOriginalPaths(src, &out, &error)) << error;
  return out;
}
std::string Iso(DiscNames& n, const std::string& src) { return Paths(n, src).iso; }
std::string Joliet(DiscNames& n, const std::string& src) { return Paths(n, src).joliet; }

TEST(DiscNamesTest, TheSessionFolderIsNamedByTheDay) {
  struct Case {
    int year, month, day;
    const char* id;
  } cases[] = {{2026, 12, 9, "261209_A"}, {2000, 1, 1, "000101_A"}, {2099, 10, 31, "991031_A"}, {2100, 2, 3, "000203_A"}};
  for (const Case& c : cases) EXPECT_EQ(DiscNames::SessionIdFor(c.year, c.month, c.day), c.id) << c.id;
}

TEST(DiscNamesTest, LettersAreUniqueForEveryNumber) {
  struct Case {
    std::uint32_t n;
    const char* letters;
  } cases[] = {{1, "A"}, {26, "Z"}, {27, "AA"}, {52, "AZ"}, {53, "BA"}, {702, "ZZ"}, {703, "AAA"}, {18278, "ZZZ"}};
  for (const auto& c : cases) EXPECT_EQ(SequentialNumberToLetters(c.n), c.letters) << c.n;
  EXPECT_EQ(SequentialNumberToLetters(0), "");
  std::set<std::string> seen;
  for (std::uint32_t i = 1; i <= 20000; ++i) ASSERT_TRUE(seen.insert(SequentialNumberToLetters(i)).second) << i;
}

TEST(DiscNamesTest, CleaningKeepsStructure) {
  EXPECT_EQ(ISOIze("C:\\My Photos\\img.2001.jpg"), "C:\\MY_PHOTOS\\IMG_2001.JPG");
  EXPECT_EQ(ISOIze("/home/ann/a;b:c.jpeg"), "/HOME/ANN/A_B_C.JPEG");
  EXPECT_EQ(JolietIze("C:\\My Photos\\img.2001.jpg"), "C:\\My Photos\\img_2001.jpg");
  EXPECT_EQ(JolietIze("/home/ann/a;b:c?*.jpg"), "/home/ann/a_b_c__.jpg");
}

TEST(DiscNamesTest, DriveLetterPathsFollowTheSystemsLayout) {
  DiscNames n;
  n.SetSessionId("261209_A");
  EXPECT_EQ(Iso(n, "C:\\Photos\\holiday.jpg"), "/ORIGINAL/261209_A/C_DRIVE/PHOTOS/HOLIDAY.JPG");
  // The second of the same name keeps to 8.3: the stem gives way to the suffix.
  EXPECT_EQ(Iso(n, "D:\\Other\\Holiday.JPG"), "/ORIGINAL/261209_A/D_DRIVE/OTHER/HOLIDA_B.JPG");
  EXPECT_EQ(Iso(n, "C:\\My Photos\\x.jpg"), "/ORIGINAL/261209_A/C_DRIVE/MY_PHO_0/X.JPG");
  EXPECT_EQ(Iso(n, "C:\\PROGRA~1\\y.jpg"), "/ORIGINAL/261209_A/C_DRIVE/PROGRA_0/Y.JPG");
  EXPECT_EQ(Iso(n, "C:\\PICTURES\\z.jpg"), "/ORIGINAL/261209_A/C_DRIVE/PICTURES/Z.JPG");
  EXPECT_EQ(Iso(n, "C:\\IMG.2001.JPG"), "/ORIGINAL/261209_A/C_DRIVE/IMG_2001.JPG");
  // Both names of a file are made together: the Joliet registry has seen
  // every name above, "holiday.jpg" and "Holiday.JPG" among them.
  const OriginalPaths p = Paths(n, "C:\\My Photos\\holiday.jpg");
  EXPECT_EQ(p.joliet, "/ORIGINAL/261209_A/C_Drive/My Photos/holiday_C.jpg");
  EXPECT_EQ(p.iso, "/ORIGINAL/261209_A/C_DRIVE/MY_PHO_0/HOLIDA_C.JPG");
}

TEST(DiscNamesTest, EachJolietFolderHasOneISOFolderOfItsOwn) {
  // Folders whose 8.3 forms meet get different ISO 9660 names, kept for
  // every later file of the same folder; both trees have the same depth.
  DiscNames n;
  n.SetSessionId("261209_A");
  const OriginalPaths a = Paths(n, "/p/Holiday photos 2001/a.jpg");
  const OriginalPaths b = Paths(n, "/p/Holiday photos 2002/b.jpg");
  const OriginalPaths c = Paths(n, "/p/Holiday photos 2001/c.jpg");
  const OriginalPaths d = Paths(n, "/p/holiday photos 2001/d.jpg");  // another folder by case alone
  EXPECT_EQ(a.iso, "/ORIGINAL/261209_A/ROOT/P/HOLIDA_0/A.JPG");
  EXPECT_EQ(b.iso, "/ORIGINAL/261209_A/ROOT/P/HOLIDA_1/B.JPG");
  EXPECT_EQ(c.iso, "/ORIGINAL/261209_A/ROOT/P/HOLIDA_0/C.JPG");
  EXPECT_EQ(d.iso, "/ORIGINAL/261209_A/ROOT/P/HOLIDA_2/D.JPG");
  EXPECT_EQ(b.joliet, "/ORIGINAL/261209_A/Root/p/Holiday photos 2002/b.jpg");
  // Twelve folders of one 8.3 form stay distinct.
  std::set<std::string> folders;
  for (int i = 0; i < 12; ++i) {
    const OriginalPaths x = Paths(n, "/q/Summer " + std::to_string(1990 + i) + "/x.jpg");
    folders.insert(Split(x.iso)[4]);
    EXPECT_EQ(Split(x.iso).size(), Split(x.joliet).size());
  }
  EXPECT_EQ(folders.size(), 12u);
  EXPECT_TRUE(folders.count("SUMMER_0"));
  EXPECT_TRUE(folders.count("SUMMER_9"));
  EXPECT_TRUE(folders.count("SUMMER_A"));
  EXPECT_TRUE(folders.count("SUMMER_B"));
}

TEST(DiscNamesTest, AFileMadeForTheDiscHasItsOwnName) {
  DiscNames n;
  n.SetSessionId("261209_A");
  OriginalPaths p;
  std::string error;
  ASSERT_TRUE(n.GenerateOwnOriginalPaths("TITLE.JPG", &p, &error)) << error;
  EXPECT_EQ(p.iso, "/ORIGINAL/261209_A/TITLE.JPG");
  EXPECT_EQ(p.joliet, "/ORIGINAL/261209_A/TITLE.JPG");
  ASSERT_TRUE(n.GenerateOwnOriginalPaths("TITLE.JPG", &p, &error)) << error;
  EXPECT_EQ(p.iso, "/ORIGINAL/261209_A/TITLE_B.JPG");
}

TEST(DiscNamesTest, LongBaseNamesCountThroughTheLetters) {
  DiscNames n;
  n.SetSessionId("261209_A");
  std::vector<std::string> names;
  for (int i = 0; i < 30; ++i) names.push_back(Split(Iso(n, "C:\\SUMMERHOLIDAY.JPG")).back());
  EXPECT_EQ(names[0], "SUMME__A.JPG");
  EXPECT_EQ(names[1], "SUMME__B.JPG");
  EXPECT_EQ(names[26], "SUMME_AA.JPG");
  int index = 0, collisions = 0;
  EXPECT_TRUE(n.isISOFileNameUsed("SUMME_.JPG", &index, &collisions));
  EXPECT_EQ(index, 1);
  EXPECT_EQ(collisions, 30);
  EXPECT_FALSE(n.isJolietFileNameUsed("SUMME_.JPG", &index, &collisions));
  n.Release();
  EXPECT_FALSE(n.isISOFileNameUsed("SUMME_.JPG", &index, &collisions));
  EXPECT_EQ(Split(Iso(n, "C:\\SUMMERHOLIDAY.JPG")).back(), "SUMME__A.JPG");
}

TEST(DiscNamesTest, LinuxPathsUseTheRootAsTheirDrive) {
  DiscNames n;
  n.SetSessionId("261209_A");
  EXPECT_EQ(Iso(n, "/home/ann/Photos/beach.jpg"), "/ORIGINAL/261209_A/ROOT/HOME/ANN/PHOTOS/BEACH.JPG");
  EXPECT_EQ(Joliet(n, "/home/ann/Photos/Beach.jpg"), "/ORIGINAL/261209_A/Root/home/ann/Photos/Beach_B.jpg");
  EXPECT_EQ(Iso(n, "/home/ann/./x/../Photos/c.jpg"), "/ORIGINAL/261209_A/ROOT/HOME/ANN/PHOTOS/C.JPG");
  // A backslash inside a name of this system is a character, not a separator.
  EXPECT_EQ(Joliet(n, "/tmp/a\\b.jpg"), "/ORIGINAL/261209_A/Root/tmp/a_b.jpg");
}

TEST(DiscNamesTest, ZeroLengthNamesFail) {
  DiscNames n;
  n.SetSessionId("261209_A");
  OriginalPaths out;
  std::string error;
  EXPECT_FALSE(n.GenerateOriginalPaths("", &out, &error));
  EXPECT_EQ(error, "VEXAEngine::GenerateJolietName - OriginalPath ended up with a zero length!");
  EXPECT_FALSE(n.GenerateOriginalPaths("C:\\folder\\", &out, &error));
  EXPECT_FALSE(n.GenerateOwnOriginalPaths("", &out, &error));
}

// Every kind of awkward source, generated together: every path valid for its
// file system, and every generated path distinct.
TEST(DiscNamesTest, TableOfSourcesGivesValidUniquePaths) {
  const std::string seventy(70, 'x');
  const std::string deep = "/a/b/c/d/e/f/g/h/i/j/k/l/m/photo.jpg";
  std::vector<std::string> sources = {
      "C:\\holiday.jpg",
      "C:\\HOLIDAY.JPG",
      "D:\\holiday.jpg",
      "C:\\My Photos\\holiday.jpg",
      "C:\\My Photos 2\\holiday.jpg",
      "C:\\a.b.c.d\\e.f.g.jpg",
      "C:\\semi;colon\\co:lon.jpg",
      "/home/ann/with space/and;semi:colon.jpeg",
      "/home/ann/Фотографии/Москва зимой.jpg",
      "/home/ann/照片/北京.JPG",
      "/home/ann/emoji😀/smile😀.png",
      "/home/ann/" + seventy + "/" + seventy + ".jpg",
      "/home/ann/" + seventy + "/" + seventy + ".jpg",
      "/home/ann/" + seventy + "/" + seventy + "X.jpg",
      "/home/ann/photo." + seventy,
      "/home/ann/.hidden",
      "/home/ann/noext",
      "/home/ann/NOEXT",
      "/home/ann/trailingdot.",
      deep,
      "/" + seventy + "/" + seventy + "/" + seventy + "/" + seventy + "/" + seventy + "/p.jpg",
      "C:\\PROGRA~1\\SUMMERHOLIDAY.JPG",
      "C:\\SUMME__A.JPG",
      "C:\\SUMMERHOLIDAY.JPG",
  };
  for (int i = 0; i < 800; ++i) sources.push_back("/home/ann/Photos/IMG_0001.JPG");
  for (int i = 0; i < 800; ++i) sources.push_back("/home/ann/Photos/" + seventy + ".JPG");

  DiscNames n;
  n.SetSessionId("261209_A");
  std::set<std::string> isoSeen, jolietSeen;
  for (const auto& s : sources) {
    const OriginalPaths p = Paths(n, s);
    const std::string& iso = p.iso;
    const std::string& joliet = p.joliet;
    // Level for level the same folders.
    EXPECT_EQ(Split(iso).size(), Split(joliet).size()) << s;
    EXPECT_TRUE(ValidISOPath(iso)) << s;
    EXPECT_TRUE(ValidJolietPath(joliet)) << s;
    EXPECT_TRUE(isoSeen.insert(iso).second) << "duplicate " << iso << " for " << s;
    std::string folded;
    for (char c : joliet) folded += (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    EXPECT_TRUE(jolietSeen.insert(folded).second) << "duplicate " << joliet << " for " << s;
  }
  // The deepest folders are the ones kept.
  EXPECT_EQ(Iso(n, deep).substr(0, 32), "/ORIGINAL/261209_A/ROOT/J/K/L/M/");
}

}  // namespace
}  // namespace vexa::engine
