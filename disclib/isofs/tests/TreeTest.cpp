// The file tree, its listeners, the object broker and the error objects.
#include <gtest/gtest.h>

#include <cstring>
#include <sstream>

#include "disclib/isofs/TextUtils_p.h"
#include "disclib/isofs/Tree_p.h"
#include "disclib/PathSeparator.h"

using namespace isofs;

namespace {

struct CountingListener : I_DirListener {
  int changes = 0;
  int deletes = 0;
  void NotifyChange() override { ++changes; }
  void NotifyDelete() override { ++deletes; }
};

std::vector<std::string> Names(Directory& d) {
  std::vector<std::string> out;
  d.First();
  while (I_File* f = d.Next()) out.push_back(f->GetName());
  return out;
}

TEST(Tree, EntriesInByteOrderNewestFirstAmongEquals) {
  Directory root("root", "");
  auto* b = new PlainFile("b.jpg", 1, 0, 0, nullptr, "");
  auto* A = new PlainFile("A.jpg", 2, 0, 0, nullptr, "");
  auto* a1 = new PlainFile("a.jpg", 3, 0, 0, nullptr, "");
  root.AddFile(b);
  root.AddFile(A);
  root.AddFile(a1);
  EXPECT_EQ(Names(root), (std::vector<std::string>{"A.jpg", "a.jpg", "b.jpg"}));
  auto* a2 = new PlainFile("a.jpg", 4, 0, 0, nullptr, "");
  root.AddFile(a2);
  EXPECT_EQ(root.GetFile("a.jpg"), a2);
  EXPECT_EQ(a2->GetParent(), &root);
}

TEST(Tree, LookupsByKind) {
  Directory root("root", "");
  root.AddFile(new PlainFile("pics", 0, 0, 0, nullptr, ""));
  EXPECT_NE(root.GetFile("pics"), nullptr);
  EXPECT_EQ(root.GetDirectory("pics"), nullptr);
  EXPECT_NE(root.GetPlainFile(u"pics"), nullptr);
  auto* dir = new Directory(u"Ünï", "");
  root.AddFile(dir);
  EXPECT_EQ(root.GetDirectory(u"Ünï"), dir);
  EXPECT_EQ(root.GetDirectory("Ünï"), dir);
  EXPECT_EQ(root.GetFile("missing"), nullptr);
}

TEST(Tree, Cursor) {
  Directory root("root", "");
  root.AddFile(new PlainFile("a", 0, 0, 0, nullptr, ""));
  root.AddFile(new PlainFile("b", 0, 0, 0, nullptr, ""));
  root.First();
  EXPECT_EQ(root.Previous(), nullptr);
  EXPECT_STREQ(root.Next()->GetName(), "a");
  root.Last();
  EXPECT_STREQ(root.Previous()->GetName(), "b");
  EXPECT_STREQ(root.Previous()->GetName(), "a");
  EXPECT_EQ(root.Previous(), nullptr);
}

TEST(Tree, FullPaths) {
  Directory root("\x01Root", "");
  auto* pics = new Directory("pics", "");
  root.AddFile(pics);
  auto* a = new PlainFile("a.jpg", 0, 0, 0, nullptr, "");
  pics->AddFile(a);
  EXPECT_EQ(a->GetFullPath(), "\\pics\\a.jpg");
  EXPECT_EQ(a->GetFullPathWide(), u"\\pics\\a.jpg");
  EXPECT_EQ(a->GetFullPathISO(), "\\PICS\\A.JPG;1");
  EXPECT_EQ(pics->GetFullPath(), "\\pics");
}

TEST(Tree, NamesAreCutWithoutSplittingCharacters) {
  std::string longName;
  for (int i = 0; i < 300; ++i) longName += "\xC3\xA9";  // 600 bytes
  PlainFile f(longName.c_str(), 0, 0, 0, nullptr, "");
  EXPECT_LE(std::strlen(f.GetName()), 511u);
  EXPECT_EQ(std::strlen(f.GetName()) % 2, 0u);
  EXPECT_EQ(std::u16string(f.GetWideName()).size(), 255u);
}

TEST(Tree, ListenersAndNotifications) {
  CountingListener l;
  Directory root("root", "");
  root.AddDirListener(&l);
  root.AddDirListener(&l);
  root.AddFile(new PlainFile("x", 0, 0, 0, nullptr, ""));
  EXPECT_EQ(l.changes, 4);  // two per add, and l is registered twice
  root.RemoveDirListener(&l);
  EXPECT_EQ(root.ListenerCount(), 1u);
  root.RemoveDirListener(&l);
  EXPECT_THROW(root.RemoveDirListener(&l), E_InvalidObject);
  EXPECT_THROW(root.RemoveDirListener(nullptr), E_NullPointer);
}

TEST(Tree, DeletingASubtreeTellsEachDeletedDirectory) {
  CountingListener la, lb, lroot;
  Directory root("root", "");
  auto* a = new Directory("a", "");
  root.AddFile(a);
  auto* b = new Directory("b", "");
  a->AddFile(b);
  b->AddFile(new PlainFile("f", 0, 0, 0, nullptr, ""));
  a->AddDirListener(&la);
  b->AddDirListener(&lb);
  root.AddDirListener(&lroot);
  root.DeleteFile("a");
  EXPECT_EQ(la.deletes, 1);
  EXPECT_EQ(lb.deletes, 1);
  EXPECT_EQ(lroot.deletes, 0);  // the parent only changed
  EXPECT_GT(lroot.changes, 0);
  EXPECT_EQ(root.EntryCount(), 0u);
}

TEST(Tree, DeleteErrors) {
  Directory root("root", "");
  PlainFile stranger("s", 0, 0, 0, nullptr, "");
  EXPECT_THROW(root.DeleteFile(static_cast<I_File*>(nullptr)), E_NullPointer);
  EXPECT_THROW(root.DeleteFile(&stranger), E_InvalidObject);
  try {
    root.DeleteFile("nope");
    FAIL();
  } catch (const E_NoSuchDirEntry& e) {
    EXPECT_EQ(e.GetComment(), "No entry 'nope' in directory 'root'");
  }
  EXPECT_THROW(root.DeleteFile(u"nope"), E_InvalidPath);  // E_NoSuchDirEntry is one
}

TEST(PathSeparators, NarrowAndWide) {
  EXPECT_TRUE(IsPathSeparator('/'));
  EXPECT_TRUE(IsPathSeparator('\\'));
  EXPECT_FALSE(IsPathSeparator(':'));
  EXPECT_TRUE(IsPathSeparatorW(u'\\'));
  EXPECT_FALSE(IsPathSeparatorW(static_cast<char16_t>(0x015C)));  // low byte '\' above 0xFF
  EXPECT_FALSE(IsPathSeparatorW(static_cast<char16_t>(0x012F)));
}

TEST(ErrorObjects, LocationAndPrint) {
  try {
    ThrowTrel<E_NoSuchObject>("SimpleORB::GetObjectA", "Interface", 42, "C");
  } catch (const TREL_Exception& e) {
    EXPECT_EQ(e.GetName(), "E_NoSuchObject");
    EXPECT_EQ(e.GetLocation(), "SimpleORB::GetObjectA:[Interface:42]");
    std::ostringstream out;
    e.Print(out);
    EXPECT_EQ(out.str(), "Exception: E_NoSuchObject, in: SimpleORB::GetObjectA:[Interface:42].\nComment: C.\n");
  }
}

TEST(TraceLog, SilentWhenOffAndFormattedWhenOn) {
  std::ostringstream out;
  SystemLogStream log(&out);
  log << "text" << 255 << endl;
  EXPECT_EQ(out.str(), "");
  log.SetEnabled(true);
  log << hex << 255 << " " << dec << 255 << " " << reinterpret_cast<const void*>(16) << endl;
  EXPECT_EQ(out.str(), "ff 255 0x10\n");
  log << std::string(10000, 'x') << endl;  // cut, never overrun
  EXPECT_EQ(out.str().size(), 12 + SystemLogStream::kBufferSize);
}

TEST(ObjectBroker, RegistrationsAndErrors) {
  SimpleORB a, b;
  int o1 = 0, o2 = 0;
  const int first = a.AddObject("x", "T1", &o1, 0);
  EXPECT_EQ(b.AddObject("y", "T1", &o2, 0), first + 1);  // one counter for all brokers
  try {
    a.AddObject("x", "T2", &o2, 0);
    FAIL();
  } catch (const E_DuplicateObject& e) {
    EXPECT_EQ(e.GetComment(), "x already present (type: T1, new type: T2)");
  }
  EXPECT_EQ(a.AddObject("z", "T", &o2, 0), first + 3);  // the failed call used one up
  try {
    a.GetObjectA("x", "T2");
    FAIL();
  } catch (const E_InvalidRequest& e) {
    EXPECT_EQ(e.GetComment(), "Found: x(T1) while requested type was T2");
  }
  EXPECT_THROW(a.GetObjectA("none", "T"), E_NoSuchObject);
  EXPECT_EQ(a.GetID("x", "T1"), first);

  SimpleORB c;
  int ob = 0, oa = 0;
  c.AddObject("b", "T", &ob, 7);
  c.AddObject("a", "T", &oa, 7);
  EXPECT_EQ(c.GetObjectA(7), &oa);  // first in name order
  c.DeleteObject(7);
  EXPECT_EQ(c.GetObjectA(7), &ob);
  c.AddObject("A", "T", &oa, 8);  // names are byte-wise: "A" and "a" differ
  EXPECT_EQ(c.ObjectCount(), 2u);
  try {
    c.DeleteObject(99);
    FAIL();
  } catch (const E_NoSuchObject& e) {
    EXPECT_EQ(e.GetComment(), "Id: 99");
  }
}

}  // namespace

namespace {

TEST(TextUtils, CopiesAndConversions) {
  char narrow[8];
  std::memset(narrow, 'z', sizeof narrow);
  TextUtil<char>::copy_at_most(narrow, "abcdef", 4);
  EXPECT_EQ(std::string(narrow, 5), "abcdz");  // no terminator
  TextUtil<char>::copy_at_most(narrow, "ab", 4);
  EXPECT_EQ(std::string(narrow, 5), std::string("ab\0\0z", 5));

  BYTE be[4] = {9, 9, 9, 9};
  EXPECT_EQ(CopyBigEndian(be, 4, u"AB"), 2u);
  EXPECT_EQ(std::vector<BYTE>(be, be + 4), (std::vector<BYTE>{0, 'A', 0, 'B'}));
  BYTE be3[3] = {9, 9, 9};
  EXPECT_EQ(CopyBigEndian(be3, 3, u"AB"), 1u);
  EXPECT_EQ(be3[2], 9);

  char out[5];
  EXPECT_EQ(TextUtil<char>::convert(out, sizeof out, u"\u00e9\u00e9\u00e9"), 4u);  // cut before a character
  EXPECT_STREQ(out, "\xC3\xA9\xC3\xA9");
  char16_t wide[3];
  EXPECT_EQ(TextUtil<char16_t>::convert(wide, 3, "\xC3\xA9xyz"), 2u);
  EXPECT_EQ(std::u16string(wide), u"\u00e9x");
  EXPECT_STREQ(TextUtil<char16_t>::type_name(), "Wchar");
}

}  // namespace

namespace {

TEST(TextUtils, TextValue) {
  EXPECT_STREQ(cstring(-5).c_str(), "-5");
  EXPECT_STREQ(cstring(4294967295u).c_str(), "4294967295");
  EXPECT_STREQ(cstring(u"A\u0142B").c_str(), "ABB");  // U+0142 keeps its low byte 0x42
  EXPECT_STREQ((cstring("n=") + 3 + "/" + static_cast<const char*>(nullptr)).c_str(), "n=3/");
  EXPECT_EQ(cstring().length(), 0u);
}

}  // namespace

namespace {

// A renamed entry is found under its new name, and the others are still
// found under theirs.
TEST(Tree, RenamedEntriesAreFoundUnderTheirNewNames) {
  Directory root("root", "");
  for (const char* n : {"b", "d", "f", "h"}) root.AddFile(new PlainFile(n, 0, 0, 0, nullptr, ""));
  I_File* b = root.GetFile("b");
  b->SetName("z", "");
  I_File* h = root.GetFile("h");
  h->SetName(u"a", "");
  EXPECT_EQ(root.GetFile("z"), b);
  EXPECT_EQ(root.GetFile(u"a"), h);
  EXPECT_EQ(root.GetFile("b"), nullptr);
  for (const char* n : {"d", "f"}) EXPECT_NE(root.GetFile(n), nullptr) << n;
  EXPECT_EQ(Names(root), (std::vector<std::string>{"a", "d", "f", "z"}));
}

}  // namespace

namespace {

TEST(Tree, PrintShowsTheResolvedNames) {
  Directory root("root", "");
  root.AddFile(new Directory("Holiday photos 1", ""));
  root.AddFile(new Directory("Holiday photos 2", ""));
  root.AddFile(new PlainFile("a.txt", 0, 0, 0, nullptr, ""));
  std::ostringstream out;
  root.Print(out, 0);
  EXPECT_EQ(out.str(),
            "root -> \n"
            "   Holiday photos 1 -> HOLIDA_1\n"
            "   Holiday photos 2 -> HOLIDA_2\n"
            "   a.txt\n");
}

}  // namespace
