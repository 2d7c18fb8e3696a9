// ISO 9660 and Joliet names: derivation, normalisation, collisions.
#include <gtest/gtest.h>

#include <set>
#include <unordered_set>

#include "disclib/isofs/Include/FormatBundles.h"
#include "disclib/isofs/Tree_p.h"
#include "platform/base/Text.h"

using namespace isofs;

namespace {

PlainFile* NewFile(const char* name, DWORD flags = FS_ISO9660 | FS_JOLIET, const char* iso = "") {
  auto* f = new PlainFile(name, 0, 0, 0, nullptr, iso);
  f->Set_FS_Flags(flags);
  return f;
}

std::vector<std::string> IsoNames(Directory& dir) {
  std::vector<std::string> names;
  dir.First();
  while (I_File* f = dir.Next()) names.push_back(f->GetISOName());
  return names;
}

TEST(Names, EightThreeAtAdd) {
  struct Case {
    const char* name;
    bool dir;
    const char* iso;
  } cases[] = {
      {"README", false, "README;1"},
      {"my.dir", true, "MY_DIR"},
      {"a.b.c.txt", false, "A.TXT;1"},
      {"verylongname", false, "VERYLONG;1"},
      {"ABC.", false, "ABC;1"},
      {"photo.jpeg", false, "PHOTO.JPE;1"},
      {"sp ace-x.t t", false, "SP_ACE_X.T_T;1"},
      {"Ünïcödé.txt", false, "_N_C_D_.TXT;1"},     // one '_' per character
      {"日本語のファイル名.dat", false, "________.DAT;1"},
      {"x;5", false, "X;1"},                     // a version: dropped
      {"README;1", false, "README;1"},
      {"a;1.txt", false, "A_1.TXT;1"},           // ';' inside a name is a character
      {";x", false, "_X;1"},
      {"...", false, "_;1"},
      {"...", true, "_"},
      {"..", true, "_"},
      {".profile", false, ".PRO;1"},
  };
  for (const Case& c : cases) {
    Directory root("root", "");
    I_File* f = c.dir ? static_cast<I_File*>(new Directory(c.name, "")) : NewFile(c.name);
    root.AddFile(f);
    EXPECT_EQ(std::string(f->GetISOName()), c.iso) << c.name;
  }
}

TEST(Names, Normalise) {
  struct Case {
    const char* name;
    bool dir;
    bool longForm;
    const char* iso;
  } cases[] = {
      {"holiday photo.final.jpg", false, true, "HOLIDAY_PHOTO_FINAL.JPG;1"},
      {"a.b", true, true, "A_B"},
      {"0123456789012345678901234567890123456789", false, true, "012345678901234567890123456789;1"},
      {"0123456789012345678901234567890123456789", true, true, "01234567890123456789012345678901"},
      {"README;1", false, false, "README;1"},
      {";x", false, true, "_X;1"},
      {"a;1.txt", false, true, "A_1.TXT;1"},
      {"notes;v2.txt", false, false, "NOTES_V2.TXT;1"},
      {"x;", false, false, "X;1"},
      {"..", true, true, "__"},
      {"", true, true, "_"},
      {".", false, true, "_;1"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(isoname::Normalise(c.name, c.dir, c.longForm), c.iso) << c.name;
  }
}

// Every group of equal 8.3 names is numbered in directory order, each
// candidate checked against the names in use.
TEST(Names, CollisionsInOnePass) {
  struct Case {
    std::vector<const char*> names;
    std::vector<std::string> iso;  // in directory (narrow name) order
  } cases[] = {
      {{"Holiday photo 1.jpg", "Holiday photo 2.jpg"}, {"HOLIDA_1.JPG;1", "HOLIDA_2.JPG;1"}},
      {{"AB.TXT", "ab.txt"}, {"AB_1.TXT;1", "AB_2.TXT;1"}},
      {{"abcdefghij1", "abcdefghij2", "abcdefghij3"}, {"ABCDEF_1;1", "ABCDEF_2;1", "ABCDEF_3;1"}},
      // A real name equal to a numbered candidate keeps it; the group skips it.
      {{"HOLIDA_1.JPG", "Holiday photo 1.jpg", "Holiday photo 2.jpg"},
       {"HOLIDA_1.JPG;1", "HOLIDA_2.JPG;1", "HOLIDA_3.JPG;1"}},
      {{"readme", "README."}, {"README_1;1", "README_2;1"}},
  };
  for (const Case& c : cases) {
    Directory root("root", "");
    for (const char* n : c.names) root.AddFile(NewFile(n));
    EXPECT_EQ(IsoNames(root), c.iso) << c.names[0];
  }
}

// The number takes room from the stem, then from a long extension; when it
// leaves none, no name is made.
TEST(Names, NumberedNamesFitOrThereIsNone) {
  struct Case {
    const char* iso;
    unsigned k;
    bool dir;
    bool longForm;
    const char* out;
  } cases[] = {
      {"HOLIDAY_.JPG;1", 2, false, false, "HOLIDA_2.JPG;1"},
      {"AB.TXT;1", 12, false, false, "AB_12.TXT;1"},
      {"ABCDEFGH.TXT;1", 1234567, false, false, "_1234567.TXT;1"},
      {"ABCDEFGH.TXT;1", 12345678, false, false, ""},
      {"ABCDEFGH", 9999999, true, false, "_9999999"},
      {"ABCDEFGH", 10000000, true, false, ""},
      {"LONG_NAME.JPEG;1", 12, false, true, "LONG_NAME_12.JPEG;1"},
      {"A.BCDEFGHIJKLMNOPQRSTUVWXYZ012;1", 1, false, true, "A_1.BCDEFGHIJKLMNOPQRSTUVWXYZ0;1"},
      {"ABCDEFGHIJKLMNOPQRSTUVWXYZ012345", 4000000000u, true, true, "ABCDEFGHIJKLMNOPQRSTU_4000000000"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(isoname::Numbered(c.iso, c.k, c.dir, c.longForm), c.out) << c.iso << " " << c.k;
  }
}

// A directory whose numbering runs out fails with its own error, naming
// the entry and the directory, instead of recording a name that breaks 8.3.
TEST(Names, ExhaustedNumberingIsAnError) {
  std::unordered_set<std::string> used{"_9999998.TXT;1"};
  unsigned k = 9999996;
  EXPECT_EQ(isoname::NextFreeName("ABCDEFGH.TXT;1", k, false, false, used, "e", "d"), "_9999997.TXT;1");
  EXPECT_EQ(isoname::NextFreeName("ABCDEFGH.TXT;1", k, false, false, used, "e", "d"), "_9999999.TXT;1");
  try {
    isoname::NextFreeName("ABCDEFGH.TXT;1", k, false, false, used, "abcdefghij.txt", "PHOTOS");
    FAIL();
  } catch (const E_NoUniqueName& e) {
    EXPECT_EQ(e.GetComment(), "No unique ISO 9660 name is left for 'abcdefghij.txt' in directory 'PHOTOS'");
    EXPECT_EQ(e.GetName(), "E_NoUniqueName");
  }
  std::unordered_set<std::u16string> jused{u"A~1.TXT"};
  unsigned j = 0;
  EXPECT_EQ(isoname::NextFreeJolietName(u"a.txt", j, jused, "a.txt", "d"), u"a~2.txt");
}

TEST(Names, TwentyCollidingNamesStayUniqueAndShort) {
  Directory root("root", "");
  for (int i = 0; i < 20; ++i) {
    const std::string n = "Summer holiday picture " + std::to_string(i) + ".jpeg";
    root.AddFile(NewFile(n.c_str()));
  }
  const auto names = IsoNames(root);
  std::set<std::string> unique(names.begin(), names.end());
  EXPECT_EQ(unique.size(), 20u);
  for (const std::string& n : names) {
    const std::size_t dot = n.find('.');
    ASSERT_NE(dot, std::string::npos) << n;
    EXPECT_LE(dot, 8u) << n;
    EXPECT_EQ(n.substr(dot), ".JPE;1") << n;
  }
  EXPECT_TRUE(unique.count("SUMMER_1.JPE;1"));
  EXPECT_TRUE(unique.count("SUMME_10.JPE;1"));
  EXPECT_TRUE(unique.count("SUMME_20.JPE;1"));
}

// Names are resolved against all names of the directory whenever it
// changed, not only against the names added since the last walk.
TEST(Names, CollisionsAcrossPasses) {
  Directory root("root", "");
  root.AddFile(NewFile("Holiday photo 1.jpg"));
  root.AddFile(NewFile("Holiday photo 2.jpg"));
  IsoNames(root);
  root.AddFile(NewFile("Holiday photo 3.jpg"));
  root.AddFile(NewFile("Holiday extra.jpg"));
  const auto names = IsoNames(root);
  std::set<std::string> unique(names.begin(), names.end());
  EXPECT_EQ(unique.size(), names.size());
  IsoNames(root);
  EXPECT_EQ(IsoNames(root), names);  // stable once resolved
}

TEST(Names, OnlyEightThreeEntriesAreShortened) {
  Directory root("root", "");
  root.AddFile(NewFile("joliet only.txt", FS_JOLIET));
  root.AddFile(NewFile("Long File Name Number One.txt", FS_ISO9660_LONG));
  root.AddFile(NewFile("Long File Name Number Two.txt", FS_ISO9660_LONG));
  const auto names = IsoNames(root);
  EXPECT_EQ(names[0], "LONG_FILE_NAME_NUMBER_ONE.TXT;1");
  EXPECT_EQ(names[1], "LONG_FILE_NAME_NUMBER_TWO.TXT;1");
  // Long names cut to 30 characters that collide are numbered too.
  Directory other("root", "");
  other.AddFile(NewFile("A very long name that is cut here 1.txt", FS_ISO9660_LONG));
  other.AddFile(NewFile("A very long name that is cut here 2.txt", FS_ISO9660_LONG));
  const auto cut = IsoNames(other);
  EXPECT_NE(cut[0], cut[1]);
  for (const auto& n : cut) EXPECT_LE(n.size(), 32u) << n;
}

TEST(Names, GivenISONameForLongEntriesIsNormalised) {
  Directory root("root", "");
  I_File* f = NewFile("x.dat", FS_ISO9660_LONG, "My Long Name.dat");
  root.AddFile(f);
  EXPECT_STREQ(f->GetISOName(), "MY_LONG_NAME.DAT;1");
}

// A dual pair: both are added under one name, then marked for one tree
// each. The pair keeps its intended names.
TEST(Names, MarkedDualPairKeepsItsNames) {
  Directory root("root", "");
  I_File* first = NewFile("TRACK.DAT");
  root.AddFile(first);
  first->Set_FS_Flags(FS_ISO9660 | FS_XA);
  I_File* second = NewFile("TRACK.DAT");
  root.AddFile(second);
  second->Set_FS_Flags(FS_JOLIET | FS_XA);
  root.First();
  EXPECT_STREQ(first->GetISOName(), "TRACK.DAT;1");
  EXPECT_EQ(second->GetJolietName(), u"TRACK.DAT");
}

TEST(Names, JolietIdentifiers) {
  struct Case {
    std::u16string wide;
    std::u16string id;
  } cases[] = {
      {u"photo.jpg", u"photo.jpg"},
      {u"a:b*c?d", u"a_b_c_d"},
      {u"tab\there", u"tab_here"},
      {std::u16string(70, u'x'), std::u16string(64, u'x')},
      // UCS-2 holds no character beyond the Basic Multilingual Plane: a pair
      // (or a lone half) becomes one '_'.
      {std::u16string(63, u'x') + u"\U0001F600", std::u16string(63, u'x') + u"_"},
      {u"smile \U0001F600.txt", u"smile _.txt"},
      {std::u16string{u'a', 0xD800, u'b', 0xDC00}, u"a_b_"},
      // A long name keeps its extension when it is cut.
      {std::u16string(100, u'n') + u".jpeg", std::u16string(59, u'n') + u".jpeg"},
      {std::u16string(100, u'n') + u"." + std::u16string(20, u'e'), std::u16string(64, u'n')},
      // Never the name of a folder itself or of its parent, never empty.
      {u".", u"_"},
      {u"..", u"__"},
      {u"", u"_"},
      {u"...", u"..."},
      {u"..\\..\\x", u".._.._x"},
  };
  for (const Case& c : cases) EXPECT_EQ(isoname::JolietIdentifier(c.wide), c.id);
}

// Readers that ignore case see one name in "Photo.jpg" and "photo.JPG":
// the second is numbered, and its numbered name is checked without case too.
TEST(Names, JolietNamesDifferingInCaseCollide) {
  Directory root("root", "");
  for (const char* n : {"Photo.jpg", "photo.JPG", "PHOTO~1.jpg", "\xC3\x89t\xC3\xA9.txt", "\xC3\xA9T\xC3\x89.TXT"})
    root.AddFile(NewFile(n, FS_JOLIET));
  root.First();
  std::vector<std::u16string> ids;
  while (I_File* f = root.Next()) ids.push_back(f->GetJolietName());
  // Narrow (byte) order: "PHOTO~1.jpg", "Photo.jpg", "photo.JPG", "Été.txt", "éTÉ.TXT".
  EXPECT_EQ(ids, (std::vector<std::u16string>{u"PHOTO~1.jpg", u"Photo.jpg", u"photo~2.JPG", u"\u00C9t\u00E9.txt",
                                              u"\u00E9T\u00C9~1.TXT"}));
}

TEST(Names, JolietCollisionsAfterTheCut) {
  Directory root("root", "");
  const std::string stem(70, 'n');
  root.AddFile(NewFile((stem + "1.txt").c_str()));
  root.AddFile(NewFile((stem + "2.txt").c_str()));
  root.First();
  std::set<std::u16string> ids;
  while (I_File* f = root.Next()) {
    EXPECT_LE(f->GetJolietName().size(), 64u);
    ids.insert(f->GetJolietName());
  }
  EXPECT_EQ(ids.size(), 2u);
}

TEST(Names, JolietRecordSizes) {
  ISO9660_Joliet joliet;
  Directory root("root", "");
  PlainFile* photo = NewFile("photo.jpg");
  auto* pics = new Directory("pics", "");
  auto* longFile = NewFile(std::string(70, 'f').c_str());
  auto* longDir = new Directory(std::string(70, 'd').c_str(), "");
  auto* xa = new XA_File(std::string(70, 'x').c_str(), 0, 0, 0, nullptr, "", 0x0D55, 0, 0, 0);
  for (I_File* f : std::initializer_list<I_File*>{photo, pics, longFile, longDir, xa}) root.AddFile(f);
  root.First();
  struct Case {
    I_File* f;
    int idLength;
    int recordLength;
  } cases[] = {{photo, 22, 56}, {pics, 8, 46}, {longFile, 132, 166}, {longDir, 128, 166}, {xa, 132, 180}};
  for (const Case& c : cases) {
    BYTE r[256] = {};
    EXPECT_EQ(joliet.Dir_GetSize("", c.f), c.recordLength) << c.f->GetName();
    joliet.Dir_SetName(r, c.f->GetName(), c.f->IsDirectory() ? 2 : 0, c.f);
    EXPECT_EQ(r[32], c.idLength) << c.f->GetName();
    EXPECT_EQ(r[0], c.recordLength) << c.f->GetName();
  }
  BYTE r[256] = {};
  EXPECT_THROW(joliet.Dir_SetName(r, "x", 0, nullptr), E_NullPointer);
  EXPECT_THROW(joliet.PTable_GetSize("x", nullptr), E_NullPointer);
}

TEST(Names, StdRecordWithXAField) {
  ISO9660_Std std_format;
  XA_File xa("movie.dat", 4096, 0, 0, nullptr, "", 0x1555, 3, 0x0102, 0x0304);
  xa.Set_FS_Flags(FS_ISO9660);
  Directory root("root", "");
  root.AddFile(new Directory("unused", ""));
  EXPECT_EQ(std_format.Dir_GetSize("MOVIE.DAT;1", &xa), 11 - 1 + 48);
  BYTE r[128] = {};
  std_format.Dir_SetName(r, "MOVIE.DAT;1", 0, &xa);
  EXPECT_EQ(r[0], 58);
  const BYTE want[14] = {1, 2, 3, 4, 0x15, 0x55, 'X', 'A', 3, 0, 0, 0, 0, 0};
  EXPECT_EQ(0, std::memcmp(r + 33 + 11, want, 14));
  char small[4];
  EXPECT_THROW(std_format.Dir_GetName(r, small, sizeof small), E_InvalidParameter);
}

TEST(Names, RecordOrder) {
  // By name part, then extension, each padded with spaces.
  EXPECT_TRUE(isoname::RecordLess<char>("A.B;1", "A.B1;1"));
  EXPECT_TRUE(isoname::RecordLess<char>("AB.Z;1", "AB_1.A;1"));
  EXPECT_TRUE(isoname::RecordLess<char>("A;1", "A.B;1"));
  EXPECT_FALSE(isoname::RecordLess<char>("B;1", "A_LONGER;1"));
}

}  // namespace
