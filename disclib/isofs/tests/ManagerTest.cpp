// The session master and the manager behind it: building the tree by path,
// placement, path tables, sectors handed out, and lifetimes.
#include <gtest/gtest.h>

#include <memory>
#include <set>

#include "disclib/isofs/Include/DM.h"
#include "disclib/isofs/Manager_p.h"

using namespace isofs;

namespace {

using Master = std::unique_ptr<I_CD_SessionMaster>;

Master NewMaster(DWORD format, I_Directory* tree = nullptr) {
  Master dm(CreateDM(tree));
  dm->BeginSession();
  dm->SetSessionParms(0, 0, format);
  return dm;
}

ISO9660_FilesystemManager& Fs(Master& dm) { return static_cast<DM*>(dm.get())->Manager(); }

SYSTEMTIME Date(int y, int mo, int d) {
  SYSTEMTIME t{};
  t.wYear = static_cast<WORD>(y);
  t.wMonth = static_cast<WORD>(mo);
  t.wDay = static_cast<WORD>(d);
  t.wHour = 12;
  return t;
}

std::vector<BYTE> Sectors(Master& dm, DWORD first, DWORD count, BYTE fill = 0) {
  std::vector<BYTE> buf(count * kSectorSize, fill);
  dm->GetSessionSectors(first, count, buf.data());
  return buf;
}

// The records of one extent: (identifier bytes, location, size, flags).
struct Rec {
  std::string id;
  DWORD location;
  DWORD size;
  BYTE flags;
  std::string systemUse;  // what follows the identifier and its pad
};
std::vector<Rec> ReadExtent(const BYTE* extent, DWORD bytes) {
  std::vector<Rec> out;
  for (DWORD pos = 0; pos < bytes;) {
    const BYTE len = extent[pos];
    if (len == 0) {
      pos = (pos / kSectorSize + 1) * kSectorSize;
      continue;
    }
    const BYTE* r = extent + pos;
    const std::size_t su = 33 + r[32] + ((r[32] & 1) ? 0 : 1);
    out.push_back({std::string(reinterpret_cast<const char*>(r + 33), r[32]), rec::GetLE32(r + 2),
                   rec::GetLE32(r + 10), r[25],
                   su < len ? std::string(reinterpret_cast<const char*>(r + su), len - su) : std::string()});
    EXPECT_EQ(rec::GetLE32(r + 2), rec::GetBE32(r + 6));
    EXPECT_EQ(rec::GetLE32(r + 10), rec::GetBE32(r + 14));
    pos += len;
  }
  return out;
}

std::vector<std::pair<DWORD, DWORD>> Groups(Master& dm) {
  auto& fs = Fs(dm);
  std::vector<std::pair<DWORD, DWORD>> out;
  DWORD first, last;
  while (fs.NextGroup(&first, &last)) out.emplace_back(first, last);
  return out;
}

TEST(SessionParms, FormatWords) {
  Master dm(CreateDM(nullptr));
  dm->SetSessionParms(0, 0, 0);
  EXPECT_EQ(dm->GetFormat(), FS_ISO9660 | FS_JOLIET);
  // Long names with XA, as the disc library asks for its third choice.
  dm->SetSessionParms(0, 0, 40);
  EXPECT_EQ(dm->GetFormat(), 40u);
  EXPECT_TRUE(Fs(dm).PVD().Check());
  try {
    dm->SetSessionParms(0, 0, FS_JOLIET | FS_XA);
    FAIL();
  } catch (const E_InvalidParameter& e) {
    EXPECT_EQ(e.GetComment(), "XA extension requires ISO9660 format");
    EXPECT_EQ(e.GetLocation(), "ISO9660_FilesystemManager::SetSessionParms:[init:91]");
  }
}

TEST(SessionMaster, UnsupportedOperations) {
  Master dm = NewMaster(1);
  try {
    dm->GetSectCount();
    FAIL();
  } catch (const E_UnsuppMethod& e) {
    EXPECT_EQ(e.GetLocation(), "DM::GetSectCount:[Include/DM:75]");
    EXPECT_EQ(e.GetComment(), "");
  }
  EXPECT_THROW(dm->ItemsInDir(u"x"), E_UnsuppMethod);
  EXPECT_THROW(dm->GetTrailingData(nullptr), E_UnsuppMethod);
  // The narrow template XA form adds nothing.
  EXPECT_EQ(dm->AddFileXA("\\X.DAT", 1, 0, 0, nullptr, nullptr, 0x0D55, 0, 0, 0), nullptr);
  EXPECT_THROW(dm->GetFile("\\X.DAT"), E_NoSuchPath);
}

TEST(BuildTree, Paths) {
  Master dm = NewMaster(3);
  dm->CreateDir("\\A", nullptr);
  try {
    dm->AddFile("\\A\\B\\FILE.DAT", 1, 0, 0, nullptr);
    FAIL();
  } catch (const E_NoSuchPath& e) {
    EXPECT_EQ(e.GetComment(), "\\A\\B\\FILE.DAT(B)");
    EXPECT_EQ(e.GetLocation(), "ISO9660_FilesystemManager::AddFile:[BuildTree:66]");
  }
  I_File* f = dm->AddPath("\\A\\B\\FILE.DAT", 1, 0, 0, nullptr);
  EXPECT_EQ(f->GetFullPath(), "\\A\\B\\FILE.DAT");
  EXPECT_EQ(dm->GetFile("/A//B/FILE.DAT"), f);  // either separator, doubled ones too
  EXPECT_THROW(dm->AddPath("\\C\\", 1, 0, 0, nullptr), E_InvalidPath);
  EXPECT_NE(Fs(dm).Root()->GetDirectory("C"), nullptr);  // made before the refusal

  I_Directory* k = dm->MakePath("\\KARAOKE", nullptr);
  ASSERT_NE(k, nullptr);
  EXPECT_STREQ(AsFile(k)->GetName(), "KARAOKE");
  EXPECT_EQ(dm->MakePath("\\KARAOKE", nullptr), nullptr);

  I_File* y = dm->AddPath("\\X\\Y.DAT", 1, 0, 0, "\\LONG NAME\\LONG FILE.DAT");
  EXPECT_STREQ(AsFile(y->GetParent())->GetName(), "X");
  EXPECT_STREQ(AsFile(y->GetParent())->GetISOName(), "LONG_NAM");

  Fs(dm).ChangeDir("\\A");
  I_File* rel = dm->AddFile("F.DAT", 1, 0, 0, nullptr);
  EXPECT_EQ(rel->GetFullPath(), "\\A\\F.DAT");
  EXPECT_STREQ(dm->GetCurrentDirName(), "A");
  EXPECT_THROW(Fs(dm).ChangeDirISO("\\A"), E_UnsuppMethod);
}

TEST(BuildTree, WidePathsAndXA) {
  Master dm = NewMaster(FS_ISO9660 | FS_JOLIET | FS_XA);
  SYSTEMTIME d = Date(2020, 2, 3);
  I_File* f = dm->AddPathXA(u"\\Фото\\снимок.jpg", 5000, 7, 0, &d, nullptr, 0x0D55, 1, 2, 3);
  ASSERT_TRUE(f->IsXA());
  auto* xa = dynamic_cast<I_XA_File*>(f);
  EXPECT_EQ(xa->GetAttributes(), 0x0D55);
  EXPECT_EQ(xa->GetGroupId(), 2);
  EXPECT_STREQ(f->GetName(), "снимок.jpg");
  EXPECT_EQ(std::u16string(f->GetWideName()), u"снимок.jpg");
  // The folder made on the way takes the file's date.
  EXPECT_EQ(AsFile(f->GetParent())->GetDate()->wYear, 2020);
  EXPECT_EQ(Fs(dm).MaxStartAddr(), 7u);
}

TEST(Place, GroupsIsoOnly) {
  Master dm = NewMaster(FS_ISO9660);
  dm->AddPath("\\A.TXT", 10, 0, 0, nullptr);
  dm->SetStructureOffset(300);
  EXPECT_EQ(dm->GetStructureEnd(), 303u);
  Fs(dm).StartGroups();
  EXPECT_EQ(Groups(dm), (std::vector<std::pair<DWORD, DWORD>>{{16, 17}, {300, 302}}));
}

TEST(Place, GroupsWithJolietAndStartSector) {
  Master dm(CreateDM(nullptr));
  dm->SetSessionParms(1000, 0, FS_ISO9660 | FS_JOLIET);
  dm->AddPath("\\A.TXT", 10, 0, 0, nullptr);
  dm->SetStructureOffset(300);
  EXPECT_EQ(dm->GetStructureEnd(), 306u);  // 4 tables, 2 root extents
  Fs(dm).StartGroups();
  EXPECT_EQ(Groups(dm), (std::vector<std::pair<DWORD, DWORD>>{{1016, 1018}, {1300, 1305}}));

  // Session-relative sectors: 16 is the PVD, 17 the SVD, 18 the terminator.
  auto head = Sectors(dm, 0, 19, 0xAB);
  EXPECT_EQ(head[0], 0xAB);  // the system area keeps the caller's bytes
  EXPECT_EQ(head[16 * kSectorSize], 1);
  EXPECT_EQ(head[17 * kSectorSize], 2);
  EXPECT_EQ(head[18 * kSectorSize], 255);
  // Nothing between the terminator and the structures.
  auto gap = Sectors(dm, 20, 280, 0xCD);
  EXPECT_EQ(std::count(gap.begin(), gap.end(), 0xCD), static_cast<long>(gap.size()));
  // The file's records point past the structures.
  auto st = Sectors(dm, 304, 1);
  auto recs = ReadExtent(st.data(), kSectorSize);
  ASSERT_EQ(recs.size(), 3u);
  EXPECT_EQ(recs[2].location, 1306u);
  EXPECT_EQ(rec::GetLE32(head.data() + 16 * kSectorSize + 80), 307u);
}

TEST(Place, PathTablesInParentThenNameOrder) {
  Master dm = NewMaster(FS_ISO9660);
  for (const char* d : {"\\C", "\\A", "\\B", "\\B\\Z", "\\A\\Y", "\\A\\X"}) dm->CreateDir(d, nullptr);
  dm->SetStructureOffset(20);
  dm->GetStructureEnd();
  auto pvd = Sectors(dm, 16, 1);
  const DWORD size = rec::GetLE32(pvd.data() + 132);
  const DWORD lLoc = rec::GetLE32(pvd.data() + 140);
  const DWORD mLoc = rec::GetBE32(pvd.data() + 148);
  auto L = Sectors(dm, lLoc, 1);
  auto M = Sectors(dm, mLoc, 1);
  struct Row {
    std::string name;
    WORD parent;
  };
  std::vector<Row> rows;
  for (DWORD pos = 0; pos < size;) {
    const BYTE n = L[pos];
    rows.push_back({std::string(reinterpret_cast<const char*>(&L[pos + 8]), n), rec::GetLE16(&L[pos + 6])});
    // The M table has the same records with big-endian numbers.
    EXPECT_EQ(rec::GetLE32(&L[pos + 2]), rec::GetBE32(&M[pos + 2]));
    EXPECT_EQ(rec::GetLE16(&L[pos + 6]), rec::GetBE16(&M[pos + 6]));
    EXPECT_EQ(0, std::memcmp(&L[pos + 8], &M[pos + 8], n));
    pos += 8 + n + (n & 1);
  }
  std::vector<std::string> names;
  std::vector<WORD> parents;
  for (auto& r : rows) {
    names.push_back(r.name);
    parents.push_back(r.parent);
  }
  EXPECT_EQ(names, (std::vector<std::string>{std::string(1, '\0'), "A", "B", "C", "X", "Y", "Z"}));
  EXPECT_EQ(parents, (std::vector<WORD>{1, 1, 1, 1, 2, 2, 3}));
}

TEST(Place, RecordsSortedByRecordedIdentifier) {
  Master dm = NewMaster(FS_ISO9660 | FS_JOLIET);
  // Narrow order is "B.txt" < "a.txt"; recorded order is A.TXT, B.TXT.
  dm->AddPath("\\B.txt", 1, 0, 0, nullptr);
  dm->AddPath("\\a.txt", 1, 1, 0, nullptr);
  // U+1F600 lies beyond what UCS-2 records: it is recorded as '_'.
  dm->AddPath(u"\\\uFF01.txt", 1, 2, 0, nullptr, nullptr);
  dm->AddPath(u"\\\U0001F600.txt", 1, 3, 0, nullptr, nullptr);
  dm->SetStructureOffset(19);
  const DWORD end = dm->GetStructureEnd();
  auto all = Sectors(dm, 0, end);
  const BYTE* pvd = all.data() + 16 * kSectorSize;
  const BYTE* svd = all.data() + 17 * kSectorSize;
  auto iso = ReadExtent(all.data() + rec::GetLE32(pvd + 156 + 2) * kSectorSize, kSectorSize);
  ASSERT_EQ(iso.size(), 6u);
  EXPECT_EQ(iso[2].id, "A.TXT;1");
  EXPECT_EQ(iso[3].id, "B.TXT;1");
  auto jol = ReadExtent(all.data() + rec::GetLE32(svd + 156 + 2) * kSectorSize, kSectorSize);
  ASSERT_EQ(jol.size(), 6u);
  std::vector<WORD> firstUnits;
  for (std::size_t i = 2; i < jol.size(); ++i) firstUnits.push_back(rec::GetBE16(
      reinterpret_cast<const BYTE*>(jol[i].id.data())));
  EXPECT_EQ(firstUnits, (std::vector<WORD>{'B', '_', 'a', 0xFF01}));
}

// A Joliet folder whose name is cut and cleaned still gets its extent in
// its parent's record, and its path-table name is the recorded one.
TEST(Place, JolietFolderWithCutName) {
  Master dm = NewMaster(FS_ISO9660 | FS_JOLIET);
  const std::string name = std::string(70, 'd') + ":x";
  dm->CreateDir(("\\" + name).c_str(), nullptr);
  dm->SetStructureOffset(19);
  const DWORD end = dm->GetStructureEnd();
  auto all = Sectors(dm, 0, end);
  const BYTE* svd = all.data() + 17 * kSectorSize;
  const DWORD rootLoc = rec::GetLE32(svd + 156 + 2);
  auto recs = ReadExtent(all.data() + rootLoc * kSectorSize, kSectorSize);
  ASSERT_EQ(recs.size(), 3u);
  EXPECT_EQ(recs[2].id.size(), 128u);
  EXPECT_NE(recs[2].location, 0u);
  EXPECT_EQ(recs[2].size, kSectorSize);
  // The folder's own "." agrees.
  auto self = ReadExtent(all.data() + recs[2].location * kSectorSize, kSectorSize);
  EXPECT_EQ(self[0].location, recs[2].location);
  EXPECT_EQ(self[1].location, rootLoc);
  const BYTE* pt = all.data() + rec::GetLE32(svd + 140) * kSectorSize;
  const BYTE* second = pt + 10;
  EXPECT_EQ(second[0], 128);
  EXPECT_EQ(0, std::memcmp(second + 8, all.data() + rootLoc * kSectorSize + 34 + 34 + 33, 128));
  EXPECT_EQ(rec::GetLE32(second + 2), recs[2].location);
  EXPECT_EQ(rec::GetLE32(svd + 132), 10u + 8 + 128);
}

TEST(Place, VolumeSpaceSizeIsTheFurthestEnd) {
  Master dm = NewMaster(FS_ISO9660);
  dm->AddPath("\\A.DAT", 20480, 2000, 0, nullptr, nullptr);  // template form
  dm->AddPath("\\B.DAT", 4096, 3000, 0, nullptr);             // plain form, further out
  dm->SetStructureOffset(300);
  EXPECT_EQ(dm->GetStructureEnd(), 303u);
  auto pvd = Sectors(dm, 16, 1);
  EXPECT_EQ(rec::GetLE32(pvd.data() + 80), 303u + 3000 + 2);
  // Absolute start sectors: the records hold the sectors as given.
  dm->UpdateISO_Entries(0);
  pvd = Sectors(dm, 16, 1);
  EXPECT_EQ(rec::GetLE32(pvd.data() + 80), 3002u);
  auto root = ReadExtent(Sectors(dm, 302, 1).data(), kSectorSize);
  EXPECT_EQ(root[2].location, 2000u);
  EXPECT_EQ(root[3].location, 3000u);
}

TEST(Place, UndatedFoldersTakeTheVolumeCreationDate) {
  Master dm = NewMaster(FS_ISO9660);
  SYSTEMTIME created = Date(2021, 6, 7);
  dm->SetCreationDate(&created);
  dm->CreateDir("\\NEW", nullptr);
  dm->AddFile("\\NEW\\F", 1, 0, 0, nullptr);  // plain add: no date
  dm->SetStructureOffset(18);
  dm->GetStructureEnd();
  auto root = Sectors(dm, 20, 1);
  EXPECT_EQ(root[18], 121);  // "." of the root
  EXPECT_EQ(root[34 + 18], 121);  // ".."
  EXPECT_EQ(root[68 + 18], 121);  // NEW
  auto pvd = Sectors(dm, 16, 1);
  EXPECT_EQ(pvd[156 + 18], 121);  // the root's record in the descriptor
  auto sub = Sectors(dm, 21, 1);
  const BYTE* file = sub.data() + 68;
  for (int i = 0; i < 7; ++i) EXPECT_EQ(file[18 + i], 0);  // unspecified
  SYSTEMTIME back{};
  dm->GetCreationDate(&back);
  EXPECT_EQ(back.wYear, 2021);
  EXPECT_EQ(back.wDay, 7);
}

TEST(GetData, PartialRequests) {
  Master dm = NewMaster(FS_ISO9660);
  // Enough folders for a two-sector path table: 2049 bytes or more.
  for (int i = 0; i < 240; ++i) dm->CreateDir(("\\DIRECTORY" + std::to_string(1000 + i)).c_str(), nullptr);
  dm->SetStructureOffset(300);
  const DWORD end = dm->GetStructureEnd();
  auto pvd = Sectors(dm, 16, 1);
  ASSERT_GT(rec::GetLE32(pvd.data() + 132), kSectorSize);
  auto whole = Sectors(dm, 300, end - 300);
  auto second = Sectors(dm, 301, 3);
  EXPECT_EQ(0, std::memcmp(second.data(), whole.data() + kSectorSize, 3 * kSectorSize));
}

TEST(WriteData, OnlyInsideTheDescriptor) {
  Master dm = NewMaster(FS_ISO9660);
  dm->SetStructureOffset(18);
  dm->GetStructureEnd();
  const BYTE data[16] = {'H', 'E', 'L', 'L', 'O'};
  try {
    dm->WriteData(16, 2040, data, 16);
    FAIL();
  } catch (const E_UnsuppRequest& e) {
    EXPECT_EQ(e.GetComment(), "Only PVD can be written to, offset(2040) and buffer length (16) exceed PVD size (2048)");
  }
  // Sums that would wrap around 32 bits are refused too.
  EXPECT_THROW(dm->WriteData(16, 0xFFFFFFF0u, data, 32), E_UnsuppRequest);
  EXPECT_THROW(dm->WriteData(16, 8, data, 0xFFFFFFFFu), E_UnsuppRequest);
  try {
    dm->WriteData(17, 0, data, 1);
    FAIL();
  } catch (const E_UnsuppRequest& e) {
    EXPECT_EQ(e.GetComment(), "Only PVD can be written (16), the requested address was 17");
  }
  EXPECT_THROW(dm->WriteData(16, 0, nullptr, 4), E_NullPointer);
  dm->WriteData(16, 2043, data, 5);
  auto pvd = Sectors(dm, 16, 1);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(pvd.data() + 2043), 5), "HELLO");
}

// One owner for every object: a session over a caller's tree leaves the tree
// as it was; a session's own root goes with it; folders deleted during a
// session take their structures with them.
TEST(Lifetimes, CallerTreeIsLeftClean) {
  Directory tree("\x01Root", "");
  auto* sub = new Directory("SUB", "");
  tree.AddFile(sub);
  sub->AddFile(new PlainFile("F.TXT", 10, 0, 0, nullptr, ""));
  for (int round = 0; round < 2; ++round) {
    Master dm(CreateDM(&tree));
    dm->SetStructureOffset(19);
    EXPECT_EQ(dm->GetStructureEnd(), 27u);  // 4 tables + 2 x 2 extents
    EXPECT_EQ(tree.ListenerCount(), 2u);
  }
  EXPECT_EQ(tree.ListenerCount(), 0u);
  EXPECT_EQ(sub->ListenerCount(), 0u);
  EXPECT_EQ(tree.ObjectCount(), 0u);
  EXPECT_EQ(sub->ObjectCount(), 0u);
}

TEST(Lifetimes, DeletingAFolderDuringASession) {
  Master dm = NewMaster(FS_ISO9660 | FS_JOLIET);
  dm->AddPath("\\A\\B\\F.TXT", 10, 0, 0, nullptr);
  dm->AddPath("\\C\\G.TXT", 10, 1, 0, nullptr);
  Fs(dm).Root()->DeleteFile("A");
  dm->SetStructureOffset(19);
  EXPECT_EQ(dm->GetStructureEnd(), 19u + 4 + 4);
  EXPECT_EQ(Fs(dm).ISOSet().Levels().at(1).size(), 1u);
  EXPECT_TRUE(Fs(dm).ISOSet().Levels().at(2).empty());
}

// Many files in one folder: names resolved once, extents laid out once.
TEST(Scale, TenThousandCollidingNamesInOneFolder) {
  Master dm = NewMaster(FS_ISO9660 | FS_JOLIET);
  const std::string stem = "\\PHOTOS\\A very long colliding holiday picture name number ";
  for (int i = 0; i < 10000; ++i) dm->AddPath((stem + std::to_string(i) + ".jpeg").c_str(), 0, 0, 0, nullptr);
  dm->SetStructureOffset(19);
  const DWORD end = dm->GetStructureEnd();
  auto all = Sectors(dm, 0, end);
  auto* photos = Fs(dm).Root()->GetDirectory("PHOTOS");
  const DWORD loc = filesystem_structures::StructureOf(photos, 1)->GetLocation();
  const DWORD size = filesystem_structures::StructureOf(photos, 1)->GetSize();
  auto recs = ReadExtent(all.data() + loc * kSectorSize, size);
  ASSERT_EQ(recs.size(), 10002u);
  std::set<std::string> names;
  for (std::size_t i = 2; i < recs.size(); ++i) {
    names.insert(recs[i].id);
    EXPECT_LE(recs[i].id.find('.'), 8u);
  }
  EXPECT_EQ(names.size(), 10000u);
  EXPECT_TRUE(std::is_sorted(recs.begin() + 2, recs.end(), [](const Rec& a, const Rec& b) {
    return isoname::RecordLess(a.id, b.id);
  }));
}

}  // namespace

namespace {

// 45 records of 44 bytes fill the first sector exactly; the 46th opens the
// second sector and the extent is two sectors, not three.
TEST(Place, ExtentWhoseFirstSectorIsFilledExactly) {
  Master dm = NewMaster(FS_ISO9660);
  for (int i = 0; i < 46; ++i) {
    char name[16];
    std::snprintf(name, sizeof name, "\\ABCDEF%02d", i);
    dm->CreateDir(name, nullptr);
  }
  dm->SetStructureOffset(18);
  dm->GetStructureEnd();
  auto* root = filesystem_structures::StructureOf(Fs(dm).Root(), 1);
  EXPECT_EQ(root->GetSectors(), 2u);
  auto all = Sectors(dm, root->GetLocation(), 2);
  auto recs = ReadExtent(all.data(), 2 * kSectorSize);
  ASSERT_EQ(recs.size(), 48u);
  EXPECT_EQ(recs[47].id, "ABCDEF45");
  EXPECT_EQ(all[kSectorSize], 44);  // the 46th record starts the second sector
}

}  // namespace

namespace {

// The session the Video CD layout drives: long names with XA, system files
// at fixed absolute sectors, a dual pair marked for one tree each, empty
// folders, structures from sector 300, then absolute start sectors.
TEST(DiscLibraryFlow, LongNamesXAAndAbsoluteSectors) {
  Master dm(CreateDM(nullptr));
  dm->BeginSession();
  dm->SetSessionParms(0, 0, FS_ISO9660 | FS_JOLIET | FS_XA);
  dm->SetVolumeId("PHOTO_DISC");
  SYSTEMTIME now = Date(2024, 3, 4);
  dm->SetCreationDate(&now);
  dm->AddPathXA("\\VCD\\INFO.VCD", 2048, 150, 0, &now, 0x0D55, 0, 0, 0);
  dm->AddPathXA("\\VCD\\ENTRIES.VCD", 2048, 151, 0, &now, 0x0D55, 0, 0, 0);
  I_File* first = dm->AddPathXA(u"\\ALBUM\\PICTURE.JPG", 4096, 1300, 0, &now, nullptr, 0x0D55, 0, 0, 0);
  first->Set_FS_Flags(9);
  I_File* second = dm->AddPathXA(u"\\ALBUM\\PICTURE.JPG", 8192, 1302, 0, &now, nullptr, 0x0D55, 0, 0, 0);
  second->Set_FS_Flags(10);
  dm->AddPath("\\KARAOKE", &now, nullptr);
  dm->AddPath("\\CDI", &now, nullptr);
  dm->SetStructureOffset(300);
  const DWORD end = dm->GetStructureEnd();
  EXPECT_LT(end - 300, 999u);
  dm->UpdateISO_Entries(0);

  auto all = Sectors(dm, 0, end);
  const BYTE* pvd = all.data() + 16 * kSectorSize;
  const BYTE* svd = all.data() + 17 * kSectorSize;
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(pvd + 1024), 8), "CD-XA001");
  EXPECT_EQ(rec::GetLE32(pvd + 80), 1306u);  // the furthest file ends at 1302 + 4

  auto dirRecords = [&](const BYTE* vd, const char* folder, bool joliet) {
    auto root = ReadExtent(all.data() + rec::GetLE32(vd + 158) * kSectorSize, kSectorSize);
    for (const Rec& r : root) {
      std::string id = r.id;
      if (joliet) {
        std::string narrow;
        for (std::size_t i = 1; i < id.size(); i += 2) narrow += id[i];
        id = narrow;
      }
      if (id == folder) return ReadExtent(all.data() + r.location * kSectorSize, r.size);
    }
    return std::vector<Rec>{};
  };
  auto vcd = dirRecords(pvd, "VCD", false);
  ASSERT_EQ(vcd.size(), 4u);
  EXPECT_EQ(vcd[2].id, "ENTRIES.VCD;1");
  EXPECT_EQ(vcd[2].location, 151u);
  EXPECT_EQ(vcd[3].location, 150u);
  // The dual pair: one entry in each tree, neither renamed.
  auto isoAlbum = dirRecords(pvd, "ALBUM", false);
  ASSERT_EQ(isoAlbum.size(), 3u);
  EXPECT_EQ(isoAlbum[2].id, "PICTURE.JPG;1");
  EXPECT_EQ(isoAlbum[2].location, 1300u);
  auto jolietAlbum = dirRecords(svd, "ALBUM", true);
  ASSERT_EQ(jolietAlbum.size(), 3u);
  EXPECT_EQ(jolietAlbum[2].location, 1302u);
  EXPECT_EQ(dirRecords(pvd, "KARAOKE", false).size(), 2u);
  EXPECT_EQ(dirRecords(pvd, "CDI", false).size(), 2u);

  // Every record of both trees, "." and ".." included, carries the XA
  // field: group and user 0, the attributes (directory, or the file's own),
  // "XA", the file number, five zero bytes.
  auto xaField = [](WORD attributes) {
    return std::string{0, 0, 0, 0, static_cast<char>(attributes >> 8), static_cast<char>(attributes & 0xFF), 'X', 'A',
                       0, 0, 0, 0, 0, 0};
  };
  for (const BYTE* vd : {pvd, svd}) {
    const bool joliet = vd == svd;
    auto root = ReadExtent(all.data() + rec::GetLE32(vd + 158) * kSectorSize, kSectorSize);
    ASSERT_GE(root.size(), 6u);
    EXPECT_EQ(rec::GetLE32(vd + 158), root[0].location);  // "." of the root
    std::vector<std::vector<Rec>> extents = {root};
    for (const Rec& r : root) {
      if ((r.flags & 2) && r.id.size() > 1) {
        extents.push_back(ReadExtent(all.data() + r.location * kSectorSize, r.size));
      }
    }
    for (const auto& extent : extents) {
      for (const Rec& r : extent) {
        EXPECT_EQ(r.systemUse, xaField((r.flags & 2) ? 0x8D55 : 0x0D55)) << joliet << " " << r.id;
      }
    }
    // The root's own record in the volume descriptor stays 34 bytes.
    EXPECT_EQ(vd[156], 34);
  }
}

TEST(DiscLibraryFlow, DirectoriesCarryTheXAFieldOnAnXASessionOnly) {
  for (DWORD format : {FS_ISO9660 | FS_JOLIET, FS_ISO9660 | FS_JOLIET | FS_XA}) {
    Master dm(CreateDM(nullptr));
    dm->BeginSession();
    SYSTEMTIME now = Date(2024, 3, 4);
    // A folder made before the format is known is laid out again.
    dm->AddPath("\\EARLY\\A.TXT", 10, 0, 0, &now, nullptr);
    dm->SetSessionParms(0, 0, format);
    dm->AddPath("\\LATE", &now, nullptr);
    dm->SetStructureOffset(20);
    const DWORD end = dm->GetStructureEnd();
    dm->UpdateISO_Entries(0);
    auto all = Sectors(dm, 0, end);
    const BYTE* pvd = all.data() + 16 * kSectorSize;
    auto root = ReadExtent(all.data() + rec::GetLE32(pvd + 158) * kSectorSize, kSectorSize);
    ASSERT_EQ(root.size(), 4u);
    const bool xa = format & FS_XA;
    for (const Rec& r : root) {
      EXPECT_EQ(r.systemUse.size(), xa ? 14u : (r.id.size() == 1 ? 0u : 2u)) << r.id;
      EXPECT_EQ(r.systemUse.size() == 14 && r.systemUse.substr(6, 2) == "XA", xa) << r.id;
    }
  }
}

TEST(DiscLibraryFlow, MaxStartAddrFollowsOnlyTemplateAdds) {
  Master dm = NewMaster(FS_ISO9660);
  dm->AddPath("\\A.DAT", 10, 40, 0, nullptr, nullptr);
  dm->AddPath("\\B.DAT", 10, 90, 0, nullptr);  // plain operation
  EXPECT_EQ(Fs(dm).MaxStartAddr(), 40u);
}

}  // namespace

namespace {

// A folder kept out of the ISO 9660 tree takes its whole subtree with it:
// no extent, no path-table record, no orphan whose parent has no number.
TEST(Place, FolderOutsideATreeTakesItsSubtreeAlong) {
  Master dm = NewMaster(FS_ISO9660 | FS_JOLIET);
  I_Directory* only = dm->CreateDir("\\JOLIETONLY", nullptr);
  dm->CreateDir("\\JOLIETONLY\\INNER", nullptr);
  dm->CreateDir("\\BOTH", nullptr);
  AsFile(only)->Set_FS_Flags(FS_JOLIET);
  dm->SetStructureOffset(19);
  dm->GetStructureEnd();
  EXPECT_EQ(Fs(dm).ISOSet().PathTableOrder().size(), 2u);     // root, BOTH
  EXPECT_EQ(Fs(dm).JolietSet().PathTableOrder().size(), 4u);  // root, BOTH, JOLIETONLY, INNER
  auto pvd = Sectors(dm, 16, 1);
  EXPECT_EQ(rec::GetLE32(pvd.data() + 132), 10u + 8 + 4);
}

TEST(Place, RunningTwiceGivesTheSameSectors) {
  Master dm = NewMaster(FS_ISO9660 | FS_JOLIET);
  for (int i = 0; i < 30; ++i) dm->AddPath(("\\D" + std::to_string(i % 4) + "\\file " + std::to_string(i) + ".txt").c_str(), 100, i, 0, nullptr, nullptr);
  dm->SetStructureOffset(19);
  const DWORD end = dm->GetStructureEnd();
  const auto once = Sectors(dm, 0, end);
  EXPECT_EQ(dm->GetStructureEnd(), end);
  EXPECT_EQ(Sectors(dm, 0, end), once);
}

}  // namespace

namespace {

// Entries deleted after placement: the sectors already laid out can still be
// fetched and the entries remapped without touching what is gone.
TEST(Lifetimes, DeletingAfterPlacement) {
  Master dm = NewMaster(FS_ISO9660 | FS_JOLIET);
  dm->AddPath("\\A\\B\\F.TXT", 10, 0, 0, nullptr);
  dm->AddPath("\\C\\G.TXT", 10, 1, 0, nullptr);
  dm->AddPath("\\C\\H.TXT", 10, 2, 0, nullptr);
  dm->SetStructureOffset(19);
  const DWORD end = dm->GetStructureEnd();
  I_Directory* c = Fs(dm).Root()->GetDirectory("C");
  c->DeleteFile("G.TXT");
  AsFile(c)->GetParent()->DeleteFile("A");
  dm->UpdateISO_Entries(500);
  const auto sectors = Sectors(dm, 0, end);
  const DWORD loc = filesystem_structures::StructureOf(c, 1)->GetLocation();
  auto recs = ReadExtent(sectors.data() + loc * kSectorSize, kSectorSize);
  ASSERT_EQ(recs.size(), 3u);
  EXPECT_EQ(recs[2].id, "H.TXT;1");
  EXPECT_EQ(recs[2].location, 502u);
  // The root keeps C, with C's place, and no record for A.
  ISO_DirStructure* root = Fs(dm).ISOSet().Root();
  auto top = ReadExtent(sectors.data() + root->GetLocation() * kSectorSize, kSectorSize);
  ASSERT_EQ(top.size(), 3u);
  EXPECT_EQ(top[2].id, "C");
  EXPECT_EQ(top[2].location, loc);

}

}  // namespace

namespace {

// Only names are cut (at 511 bytes or units, never inside a character); a
// long path keeps all its entries and its file name.
TEST(BuildTree, LongPathsKeepTheirEntries) {
  Master dm = NewMaster(FS_ISO9660 | FS_JOLIET);
  std::string dirs;
  for (int i = 0; i < 8; ++i) dirs += "\\" + std::string(50, static_cast<char>('a' + i));
  const std::string name = std::string(150, 'n') + ".txt";
  I_File* f = dm->AddPath((dirs + "\\" + name).c_str(), 1, 0, 0, nullptr);
  EXPECT_EQ(f->GetName(), name);
  EXPECT_EQ(f->GetFullPath(), dirs + "\\" + name);
  EXPECT_EQ(dm->GetFile((dirs + "\\" + name).c_str()), f);

  std::string accents;
  for (int i = 0; i < 300; ++i) accents += "\xC3\xA9";  // 600 bytes
  I_File* g = dm->AddPath(("\\" + accents + "\\G.TXT").c_str(), 1, 0, 0, nullptr);
  EXPECT_STREQ(g->GetName(), "G.TXT");
  EXPECT_EQ(std::strlen(AsFile(g->GetParent())->GetName()), 510u);
  EXPECT_EQ(dm->GetFile(("\\" + accents + "\\G.TXT").c_str()), g);

  std::u16string surrogates;
  for (int i = 0; i < 300; ++i) surrogates += u"\U0001F600";  // 600 units
  I_File* h = dm->AddPath((u"\\" + surrogates + u"\\H.TXT").c_str(), 1, 0, 0, nullptr, nullptr);
  EXPECT_EQ(std::u16string(h->GetWideName()), u"H.TXT");
  EXPECT_EQ(std::u16string(AsFile(h->GetParent())->GetWideName()).size(), 510u);
}

}  // namespace

namespace {

// A second session over a tree that another session still lays out is
// refused, and leaves the tree as the first session needs it.
TEST(Lifetimes, SecondSessionOverATreeInUse) {
  Directory tree("\x01Root", "");
  auto* sub = new Directory("SUB", "");
  tree.AddFile(sub);
  Master first(CreateDM(&tree));
  EXPECT_THROW(CreateDM(&tree), E_DuplicateObject);
  EXPECT_EQ(tree.ListenerCount(), 2u);
  sub->AddFile(new PlainFile("F.TXT", 10, 0, 0, nullptr, ""));
  first->SetStructureOffset(19);
  EXPECT_EQ(first->GetStructureEnd(), 27u);
}

}  // namespace

namespace {

// A structure made outside any set belongs to its maker: when its directory
// goes away it only lets go of it, and is destroyed later without touching it.
TEST(Lifetimes, StructureOutsideASetOutlivesItsDirectory) {
  ISO9660_Std format;
  auto dir = std::make_unique<Directory>("D", "");
  auto s = std::make_unique<ISO_DirStructure>(&format, dir.get(), 0, nullptr, nullptr, nullptr);
  EXPECT_EQ(dir->ListenerCount(), 1u);
  dir.reset();
  s->build();
  EXPECT_EQ(s->GetName(), "");
  s.reset();
}

}  // namespace

namespace {

// A name from the operating system stays one entry of the disc path, even
// when it holds the characters disc paths split at.
TEST(BuildTree, NamesFromDiskStayOneEntry) {
  EXPECT_EQ(DiscPathEntry("..\\..\\x"), ".._.._x");
  EXPECT_EQ(DiscPathEntry(u"a/b\\c"), u"a_b_c");
  EXPECT_EQ(DiscPathEntry(u"\u015C\u012F"), u"\u015C\u012F");  // low bytes '\' and '/' above 0xFF stay
  Master dm = NewMaster(FS_ISO9660 | FS_JOLIET);
  I_File* f = dm->AddPath((u"\\" + DiscPathEntry(u"..\\..\\x")).c_str(), 1, 0, 0, nullptr, nullptr);
  EXPECT_EQ(f->GetParent(), Fs(dm).Root());
  EXPECT_EQ(f->GetFullPathWide(), u"\\.._.._x");
}

}  // namespace
