// The photo model, the arrangement, the caption fonts and the drag formats.
#include <QMimeData>

#include "gallery/Arrangement.h"
#include "gallery/DragDrop.h"
#include "gallery/FontMgr.h"
#include "gallery/Params.h"
#include "gallery/PhotoModel.h"
#include "uicommon/common/Settings.h"
#include "uicommon/tests/UiTestSupport.h"

using namespace vexa::gallery;
using namespace vexa::ui;

using namespace vexa::ui::testing;

namespace {

class ModelTest : public UiTest {};

struct DirtyCounter : CListener {
  DirtyCounter() { AddListener("PhotoDirtyChange", this); }
  ~DirtyCounter() override { RemoveListener("PhotoDirtyChange", this); }
  void Receive(std::string, CParameter* p) override { ids.push_back(p ? p->PhotoId() : -1); }
  std::vector<int> ids;
};

TEST_F(ModelTest, PhotoListAnswersByIdAndIgnoresUnknownOnes) {
  CPhotoList list;
  EXPECT_EQ(list.GetFirstSelected(), 0);
  for (int id : {3, 7, 9, 12}) list.AddPhoto(id, QSize(116, 142));
  EXPECT_EQ(list.GetFirstSelected(), 0);
  list.Select(9, true);
  list.Select(3, true);
  EXPECT_EQ(list.GetFirstSelected(), 3);
  EXPECT_EQ(list.GetLastSelected(), 9);
  list.UnselectAllButOne(7);  // 7 stays unselected
  EXPECT_FALSE(list.IsSelected(7));
  EXPECT_EQ(list.NumberSelected(), 0);
  list.SelectAll();
  list.Attributes(12)->m_visible = false;
  list.SetSaved(3, true);
  EXPECT_EQ(list.NumberUnsaved(), 2);  // 7 and 9: 3 is saved, 12 invisible
  list.InvertSelection();
  EXPECT_EQ(list.NumberSelected(), 0);
  EXPECT_EQ(list.RefCt(99), -1);
  list.RefCtDec(7);
  EXPECT_EQ(list.RefCt(7), 0);
  list.RefCtInc(7);
  EXPECT_EQ(list.RefCt(7), 1);
  EXPECT_EQ(list.Attributes(99), nullptr);
  list.Select(99, true);  // nothing
  EXPECT_FALSE(list.IsSelected(99));

  // Saving a photo of source type 3 makes it 0 and announces the change.
  DirtyCounter dirty;
  list.Attributes(9)->m_sourceType = 3;
  list.SetSaved(9, true);
  EXPECT_EQ(list.Attributes(9)->m_sourceType, 0);
  EXPECT_EQ(dirty.ids, std::vector<int>{9});
}

TEST_F(ModelTest, RecordsListenForTheirOwnPhoto) {
  CPhotoList list;
  list.AddPhoto(4, QSize(1, 1));
  list.AddPhoto(5, QSize(1, 1));
  CParamInt copies(4, 3);
  Broadcast("ChangeCopies", &copies);
  EXPECT_EQ(list.Attributes(4)->m_copies, 3);
  EXPECT_EQ(list.Attributes(5)->m_copies, 1);
  CParamString name(5, "/new/name.jpg");
  Broadcast("ChangeFilenameAttribute", &name);
  EXPECT_EQ(list.Attributes(5)->m_fileName, "/new/name.jpg");
  CParamInt wrongClass(5, 1);
  Broadcast("ChangeSourcenameAttribute", &wrongClass);  // a parameter of another class
  EXPECT_EQ(list.Attributes(5)->m_sourceName, "");
  PutIntValue(CameraDownload_Copies, 6);
  CParameter other(77);
  Broadcast("PropertiesChanged", &other);  // another photo's id: nothing
  EXPECT_EQ(list.Attributes(5)->m_copies, 1);
  CParameter mine(5);
  Broadcast("PropertiesChanged", &mine);
  EXPECT_EQ(list.Attributes(5)->m_copies, 6);
  CParamCameraStatus protect(4, 0);
  Broadcast("ProtectImageInCameraStatus", &protect);
  EXPECT_TRUE(list.IsProtected(4));
  Broadcast("ProtectImageInCameraStatus", nullptr);
}

TEST_F(ModelTest, PhotoOrderMovesById) {
  CPhotoOrder order;
  for (int id : {5, 7, 9}) order.Append(id);
  order.Move(5, 9);
  EXPECT_EQ(order.Ids(), (std::vector<int>{7, 5, 9}));
  order.Move(5, 4);  // 4 absent: to the end
  EXPECT_EQ(order.Ids(), (std::vector<int>{7, 9, 5}));
  order.Move(9, 9);
  EXPECT_EQ(order.Ids(), (std::vector<int>{7, 9, 5}));
  order.Remove(42);
  order.Insert(1, 7);
  EXPECT_EQ(order.Ids(), (std::vector<int>{1, 7, 9, 5}));
}

TEST_F(ModelTest, ArrangementTables) {
  const struct {
    const char* name;
    int mode, cells, cellW, cellH, viewW;
    QSize total;
    int columns;
  } rows[] = {
      {"grid 1000 cells", 0, 1000, 116, 142, 500, QSize(580, 28400), 5},
      {"grid 10 cells", 0, 10, 116, 142, 500, QSize(500, 142 * 3), 4},
      {"grid narrower than a cell", 0, 3, 116, 142, 50, QSize(116, 142 * 3), 1},
      {"strip 250 cells", 1, 250, 116, 142, 500, QSize(29000, 142), 250},
      {"strip 300 cells of 120", 1, 300, 120, 142, 500, QSize(31920, 284), 266},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.name);
    CArrangement a;
    a.SetViewSize(r.viewW, 400);
    a.SetCellSize(r.cellW, r.cellH);
    for (int i = 1; i <= r.cells; ++i) a.Append(i, r.cellW, r.cellH);
    a.SetMode(r.mode);
    QSize total, page, line;
    a.GetScrollSize(total, page, line);
    EXPECT_EQ(total, r.total);
    EXPECT_EQ(line, QSize(r.cellW, r.cellH));
    // The first cell of the second row (or band).
    if (r.cells > r.columns) {
      EXPECT_EQ(a.Location(r.columns + 1).topLeft(), QPoint(0, r.cellH));
    }
    EXPECT_LE(a.Location(r.cells).bottom(), CArrangement::kLimit);
  }
}

TEST_F(ModelTest, ArrangementHitsAndEdits) {
  CArrangement a;
  a.SetViewSize(350, 400);  // three columns
  for (int id : {10, 20, 30, 40}) a.Append(id, 116, 142);
  a.Arrange();
  EXPECT_EQ(a.Which(-5, 10), 10);
  EXPECT_EQ(a.Which(120, 10), 20);
  EXPECT_EQ(a.Which(10, 150), 40);
  EXPECT_EQ(a.Which(300, 150), -1);  // beyond the last cell
  EXPECT_EQ(a.WhichAfter(10, 10), 0);
  EXPECT_EQ(a.WhichAfter(240, 10), 20);
  a.Delete(99);
  EXPECT_EQ(a.Num(), 4);
  EXPECT_TRUE(a.Location(99).isEmpty());
  a.InsertId(5, 30, 116, 142);
  EXPECT_EQ(a.GetId(2), 5);
  a.InsertId(6, 77, 116, 142);  // absent: the front
  EXPECT_EQ(a.GetId(0), 6);
  std::vector<CPlacement> none;
  a.InsertMultipleId(none, 10, 116, 142);
  EXPECT_EQ(a.Num(), 6);
  // Next in a grid wraps to the next row when the row is full.
  CPlacement last(1, 232, 0, 116, 142, 0, 0, 0, 0, 0, ZERO, TType(0), nullptr);
  const CPlacement next = a.Next(last);
  EXPECT_EQ(QPoint(next.m_left, next.m_top), QPoint(0, 142));
  EXPECT_EQ(next.m_extra, 1);
}

TEST_F(ModelTest, CaptionFontsByRoleAndLanguage) {
  EXPECT_EQ(CFontMgr::DefaultSpec(3, "french").m_face, "Arial");
  EXPECT_EQ(CFontMgr::DefaultSpec(3, "french").m_height, -11);
  EXPECT_EQ(CFontMgr::DefaultSpec(3, "korean").m_face, "굴림");
  EXPECT_EQ(CFontMgr::DefaultSpec(3, "korean").m_height, -13);
  EXPECT_EQ(CFontMgr::DefaultSpec(1, "japanese").m_face, "MS P明朝");
  EXPECT_EQ(CFontMgr::DefaultSpec(9, "korean").m_face, "돋움");
  EXPECT_EQ(CFontMgr::DefaultSpec(6, "english").m_height, -13);   // general
  EXPECT_EQ(CFontMgr::DefaultSpec(42, "english").m_height, -13);  // general
  ::setenv("LC_ALL", "fr_FR.UTF-8", 1);
  CFontMgr& fonts = TheFontMgr();
  EXPECT_EQ(fonts.FontSpecForRole(3).m_face, "Arial");
  PutStrValue(Font_EditFilenameFace, "Liberation Serif");
  EXPECT_EQ(fonts.FontSpecForRole(3).m_face, "Liberation Serif");
  EXPECT_EQ(fonts.FontForRole(3), fonts.FontForRole(3));
  ::unsetenv("LC_ALL");
}

TEST_F(ModelTest, DragFormatsAndFileLists) {
  const QByteArray block = vexa::gallery::EncodeGalleryFormat(0x1122334455667788ULL, {4, 2, 9});
  EXPECT_EQ(block.size(), 8 + 4 + 12);
  std::uint64_t token = 0;
  std::vector<int> ids;
  ASSERT_TRUE(vexa::gallery::DecodeGalleryFormat(block, &token, &ids));
  EXPECT_EQ(token, 0x1122334455667788ULL);
  EXPECT_EQ(ids, (std::vector<int>{4, 2, 9}));
  EXPECT_FALSE(vexa::gallery::DecodeGalleryFormat(block.left(15), &token, &ids));

  // The file list stops before the first path that does not fit 64 KiB.
  std::vector<std::string> paths(20, "/photos/" + std::string(5000, 'p') + ".jpg");
  const auto kept = vexa::gallery::FileListWithin(paths);
  EXPECT_EQ(kept.size(), 13u);  // 13 x 5013 + 1 fits, 14 do not
  EXPECT_LE(vexa::gallery::PackFileList(kept).size(), vexa::gallery::kFileListLimit);
  EXPECT_EQ(vexa::gallery::PackFileList({"/a.jpg"}), std::string("/a.jpg\0\0", 8));

  QMimeData data;
  vexa::gallery::SetFileList(&data, {"/photos/a b.jpg", "/photos/c.png"});
  EXPECT_EQ(vexa::gallery::FileListOf(&data), (std::vector<std::string>{"/photos/a b.jpg", "/photos/c.png"}));
  EXPECT_TRUE(data.data(vexa::gallery::kCopiedFilesFormat).startsWith("copy\nfile:///photos/a%20b.jpg"));
  EXPECT_EQ(data.data(vexa::gallery::kPreferredDropEffectFormat), QByteArray("\x01\0\0\0", 4));

  EXPECT_TRUE(vexa::gallery::MatchesFilter("/x/A.JPG", "*.bmp;*.jpg"));
  EXPECT_FALSE(vexa::gallery::MatchesFilter("/x/a.jpgx", "*.bmp;*.jpg"));
  EXPECT_FALSE(vexa::gallery::MatchesFilter("/x/noext", "*.bmp;*.jpg"));
}

}  // namespace
