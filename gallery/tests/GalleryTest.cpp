// The selection gallery under the offscreen platform: adding, layout,
// selection by click and rubber band, captions, the drop marker, drops and
// the start of a drag; the host is a recording callback.
#include <QApplication>
#include <QClipboard>
#include <QImage>
#include <QMimeData>
#include <QTest>

#include "gallery/DragDrop.h"
#include "gallery/Gallery.h"
#include "gallery/Params.h"
#include "gallery/Thumbnails.h"
#include "uicommon/common/Settings.h"
#include "uicommon/tests/UiTestSupport.h"

using namespace vexa::gallery;
using namespace vexa::ui;

using namespace vexa::ui::testing;

namespace {

class Host : public CGalleryCallback {
 public:
  void CloseButtonClicked(int id) override { log.push_back("close " + std::to_string(id)); }
  void ClockwiseButtonClicked(int id) override { log.push_back("cw " + std::to_string(id)); }
  void CounterClockwiseButtonClicked(int id) override { log.push_back("ccw " + std::to_string(id)); }
  void PhotoSelected() override { log.push_back("photo selected"); }
  void ZoomButtonClicked(int id) override { log.push_back("zoom " + std::to_string(id)); }
  bool HostHandlesDrag() override { return handlesDrag; }
  void HostBeginDrag(CDropSource* s) override { dragged.push_back(s->m_ids); }
  bool HostHandlesPhotoDrag() override { return false; }
  void HostBeginPhotoDrag(CDropSource*) override {}
  void DrawMissingThumbnail(int, QPainter*, int, int) override {}
  void FilesDropped(const std::vector<std::string>& paths, int afterId) override {
    dropped.push_back({paths, afterId});
  }
  void ContentsChanged() override { ++contents; }
  void DoubleClick(int id) override { log.push_back("double " + std::to_string(id)); }
  void MouseUp(int, int, int, int) override {}
  void MouseDown(int, int, int, int) override {}
  void KeyUp(int, int, int) override {}
  void SelectionChanged() override { ++selectionChanged; }

  std::vector<std::string> log;
  std::vector<std::vector<int>> dragged;
  std::vector<std::pair<std::vector<std::string>, int>> dropped;
  int contents = 0;
  int selectionChanged = 0;
  bool handlesDrag = false;
};

class GalleryTest : public UiTest {
 protected:
  void SetUp() override {
    UiTest::SetUp();
    m_window = std::make_unique<QWidget>();
    m_window->resize(420, 320);
    m_gallery = new CSelectGallery(m_window.get(), QRect(0, 0, 420, 320), &m_host, 0);
    m_window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(m_window.get()));
  }
  void TearDown() override {
    m_window.reset();
    UiTest::TearDown();
  }
  std::vector<int> Add(int n) {
    std::vector<std::string> paths;
    for (int i = 0; i < n; ++i) paths.push_back(m_temp.Path("photo" + std::to_string(i) + ".jpg"));
    return m_gallery->AddThumbnailsAfter(-1, paths);
  }
  // A click on a photo's window, in its image area.
  void Click(int id, Qt::KeyboardModifiers keys = {}) {
    CSelectThumbnail* w = m_gallery->GetThumbnailPtr(id);
    ASSERT_NE(w, nullptr);
    QTest::mouseClick(w, Qt::LeftButton, keys, QPoint(50, 50));
  }
  std::vector<int> Selected() const { return m_gallery->SelectedInOrder(); }

  Host m_host;
  std::unique_ptr<QWidget> m_window;
  CSelectGallery* m_gallery = nullptr;
};

TEST_F(GalleryTest, ImageLimitIsCappedAndWrittenBack) {
  EXPECT_EQ(m_gallery->MaxNumImages(), 100);
  PutIntValue(General_MaxNumImages, 300);
  CSelectGallery other(nullptr, QRect(0, 0, 100, 100), &m_host, 0);
  EXPECT_EQ(other.MaxNumImages(), 255);
  EXPECT_EQ(GetIntValue(General_MaxNumImages, 0), 255);
}

TEST_F(GalleryTest, InsertPositionsAndCells) {
  const auto ids = Add(3);
  EXPECT_EQ(ids, (std::vector<int>{1, 2, 3}));
  EXPECT_EQ(m_gallery->AfterToBefore(-1), 0);  // append
  EXPECT_EQ(m_gallery->AfterToBefore(0), 1);   // before the first
  EXPECT_EQ(m_gallery->AfterToBefore(3), 0);   // after the last: append
  EXPECT_EQ(m_gallery->AfterToBefore(1), 2);
  m_gallery->AddThumbnailsAfter(0, {m_temp.Path("front.jpg")});
  m_gallery->AddThumbnailsAfter(2, {m_temp.Path("middle.jpg")});
  EXPECT_EQ(m_gallery->PhotoOrder()->Ids(), (std::vector<int>{4, 1, 2, 5, 3}));
  EXPECT_EQ(m_gallery->PhotoList()->Attributes(5)->m_shortName, "middle.jpg");
  EXPECT_EQ(m_gallery->PhotoList()->Attributes(5)->m_exifDate, "9999");  // no such file
  EXPECT_TRUE(m_gallery->AddThumbnailsAfter(-1, {}).empty());

  // Without captions the cell is 116 x 116; switching them on uses one id.
  EXPECT_EQ(m_gallery->ThumbnailSize(), QSize(116, 116));
  m_gallery->EnableFileName(true);
  EXPECT_EQ(m_gallery->ThumbnailSize(), QSize(116, 142));
  EXPECT_EQ(m_gallery->AddThumbnailAfter(-1, m_temp.Path("next.jpg")), 7);
  EXPECT_EQ(m_gallery->GetThumbnailPtr(7)->geometry().size(), QSize(116, 142));
  // Three columns in 420 pixels: the fourth photo starts the second row.
  EXPECT_EQ(m_gallery->GetThumbnailPtr(5)->geometry().topLeft(), QPoint(0, 142));
}

TEST_F(GalleryTest, ClicksSelectWithShiftAndCtrl) {
  const auto ids = Add(5);
  Click(2);
  EXPECT_EQ(Selected(), std::vector<int>{2});
  EXPECT_TRUE(m_gallery->GetThumbnailPtr(2)->IsPushed());
  Click(4, Qt::ControlModifier);
  EXPECT_EQ(Selected(), (std::vector<int>{2, 4}));
  Click(2, Qt::ControlModifier);  // toggles off on release
  EXPECT_EQ(Selected(), std::vector<int>{4});
  Click(1, Qt::ShiftModifier);  // from the clicked photo to the last selected
  EXPECT_EQ(Selected(), (std::vector<int>{1, 2, 3, 4}));
  Click(5, Qt::ShiftModifier);
  EXPECT_EQ(Selected(), (std::vector<int>{1, 2, 3, 4, 5}));
  Click(3);  // a plain click on a selected photo keeps it alone
  EXPECT_EQ(Selected(), std::vector<int>{3});
  EXPECT_FALSE(m_gallery->GetThumbnailPtr(1)->IsPushed());
  EXPECT_GT(m_host.selectionChanged, 0);

  const int before = m_host.selectionChanged;
  m_gallery->InvertSelection();
  EXPECT_EQ(m_host.selectionChanged, before);  // no callback
  EXPECT_EQ(Selected(), (std::vector<int>{1, 2, 4, 5}));
  m_gallery->SelectAll();
  EXPECT_EQ(m_host.selectionChanged, before + 1);
  EXPECT_EQ(Selected().size(), 5u);
  CParamInt keep(0, 4);
  Broadcast("UnselectAllButOne", &keep);
  EXPECT_EQ(Selected(), std::vector<int>{4});
}

TEST_F(GalleryTest, RubberBandSelectsWhatItTouches) {
  Add(4);
  QWidget* doc = m_gallery->Document();
  // From empty space right of the first row to the middle of photo 4.
  const int before = m_host.selectionChanged;
  QTest::mousePress(doc, Qt::LeftButton, {}, QPoint(400, 300));
  QTest::mouseMove(doc, QPoint(60, 60));
  QTest::mouseRelease(doc, Qt::LeftButton, {}, QPoint(60, 60));
  EXPECT_EQ(Selected(), (std::vector<int>{1, 2, 3, 4}));
  EXPECT_EQ(m_host.selectionChanged, before + 2);  // at the start and at the end
  // A band that touches nothing: only the start is told.
  const int again = m_host.selectionChanged;
  QTest::mousePress(doc, Qt::LeftButton, {}, QPoint(400, 300));
  QTest::mouseMove(doc, QPoint(380, 290));
  QTest::mouseRelease(doc, Qt::LeftButton, {}, QPoint(380, 290));
  EXPECT_TRUE(Selected().empty());
  EXPECT_EQ(m_host.selectionChanged, again + 1);
}

TEST_F(GalleryTest, DropMarkerAndDrops) {
  Add(3);  // one full row of three in 420 pixels
  // Beyond the last photo of a full row: the end of that row.
  m_gallery->HighlightDropArea(true, QPoint(300, 200));
  ASSERT_TRUE(m_gallery->DropMarkerShown());
  EXPECT_EQ(m_gallery->DropMarkerRect().left(), 3 * 116 - 6);
  EXPECT_EQ(m_gallery->DropMarkerRect().top(), 29);
  m_gallery->HighlightDropArea(false, QPoint());
  EXPECT_FALSE(m_gallery->DropMarkerShown());

  // Our own format from this gallery moves the photos before the one after
  // the point; the host hears ContentsChanged.
  QMimeData own;
  own.setData(vexa::gallery::kGalleryFormat, vexa::gallery::EncodeGalleryFormat(m_gallery->Token(), {3}));
  EXPECT_EQ(m_gallery->DropEffectFor(&own), Qt::MoveAction);
  EXPECT_TRUE(m_gallery->DropData(&own, QPoint(20, 50)));
  EXPECT_EQ(m_gallery->PhotoOrder()->Ids(), (std::vector<int>{3, 1, 2}));
  EXPECT_EQ(m_host.contents, 1);

  // Another gallery's photos come in as files.
  QMimeData other;
  other.setData(vexa::gallery::kGalleryFormat, vexa::gallery::EncodeGalleryFormat(m_gallery->Token() + 1, {9}));
  vexa::gallery::SetFileList(&other, {"/photos/x.jpg"});
  EXPECT_EQ(m_gallery->DropEffectFor(&other), Qt::CopyAction);
  EXPECT_TRUE(m_gallery->DropData(&other, QPoint(130, 50)));
  ASSERT_EQ(m_host.dropped.size(), 1u);
  EXPECT_EQ(m_host.dropped[0].first, std::vector<std::string>{"/photos/x.jpg"});
  EXPECT_EQ(m_host.dropped[0].second, 3);  // after the first photo shown
  m_gallery->m_dropSite = false;
  EXPECT_EQ(m_gallery->DropEffectFor(&other), Qt::IgnoreAction);
  m_gallery->m_dropSite = true;

  // Files from the desktop: refused unless the host allows them, then
  // filtered by the supported kinds.
  QMimeData desktop;
  vexa::gallery::SetFileList(&desktop, {"/photos/a.jpg", "/photos/notes.txt", "/photos/b.PNG"});
  EXPECT_EQ(m_gallery->DropEffectFor(&desktop), Qt::IgnoreAction);
  EXPECT_FALSE(m_gallery->DropData(&desktop, QPoint(10, 10)));
  m_gallery->m_externalDragDrop = true;
  EXPECT_TRUE(m_gallery->DropData(&desktop, QPoint(10, 10)));
  ASSERT_EQ(m_host.dropped.size(), 2u);
  EXPECT_EQ(m_host.dropped[1].first, (std::vector<std::string>{"/photos/a.jpg", "/photos/b.PNG"}));
}

// A drag carries, beside the files as URLs, the photo it started on as our
// photo-attributes block and the gallery it came from as our location
// block, both naming the gallery by its token.
TEST_F(GalleryTest, DragDataCarriesAttributesAndLocation) {
  const std::vector<int> ids = Add(3);
  Click(ids[1]);
  m_gallery->PhotoList()->Attributes(ids[1])->m_copies = 4;
  std::unique_ptr<QMimeData> data(m_gallery->DragData({ids[1], ids[2]}, ids[1]));
  EXPECT_TRUE(data->hasUrls());
  EXPECT_EQ(vexa::gallery::FileListOf(data.get()),
            (std::vector<std::string>{m_temp.Path("photo1.jpg"), m_temp.Path("photo2.jpg")}));
  const QByteArray attributes = data->data(vexa::gallery::kPhotoAttributesFormat);
  ASSERT_EQ(attributes.size(), 48);  // ten numbers and the window's token
  vexa::gallery::TPhotoAttributes a;
  std::uint64_t window = 0;
  ASSERT_TRUE(vexa::gallery::DecodePhotoAttr(attributes, &a, &window));
  EXPECT_EQ(a.id, ids[1]);
  EXPECT_EQ(a.copies, 4);
  EXPECT_EQ(a.selected, 1);
  EXPECT_EQ(a.visible, 1);
  EXPECT_EQ(QSize(a.width, a.height), QSize(116, 116));
  EXPECT_EQ(window, vexa::gallery::WindowToken(m_gallery));
  std::uint64_t from = 0;
  ASSERT_TRUE(vexa::gallery::DecodeLocation(data->data(vexa::gallery::kLocationFormat), &from));
  EXPECT_EQ(from, vexa::gallery::WindowToken(m_gallery));
  EXPECT_EQ(data->data(vexa::gallery::kLocationFormat).left(4), QByteArray(4, '\0'));

  // Without a window the block is the ten numbers; not offered, nothing.
  QMimeData plain;
  EXPECT_FALSE(vexa::gallery::PhotoAttr(&plain, a, nullptr, false));
  EXPECT_FALSE(plain.hasFormat(vexa::gallery::kPhotoAttributesFormat));
  EXPECT_TRUE(vexa::gallery::PhotoAttr(&plain, a, nullptr, true));
  EXPECT_EQ(plain.data(vexa::gallery::kPhotoAttributesFormat).size(), 40);
  vexa::gallery::TPhotoAttributes back;
  ASSERT_TRUE(vexa::gallery::DecodePhotoAttr(plain.data(vexa::gallery::kPhotoAttributesFormat), &back, &window));
  EXPECT_EQ(back, a);
  EXPECT_EQ(window, 0u);
  EXPECT_FALSE(vexa::gallery::DecodePhotoAttr(QByteArray(41, '\1'), &back, &window));
  EXPECT_FALSE(vexa::gallery::DecodeLocation(QByteArray(8, '\0'), &from));
}

struct OpenDragFilesListener : CListener {
  OpenDragFilesListener() { AddListener("OpenDragFiles", this); }
  ~OpenDragFilesListener() override { RemoveListener("OpenDragFiles", this); }
  void Receive(std::string, CParameter* p) override {
    auto* names = dynamic_cast<CParamNameStr*>(p);
    ASSERT_NE(names, nullptr);
    heard.push_back({names->Length(), names->Count(), names->Names()});
  }
  struct Heard {
    int length, count;
    std::string names;
  };
  std::vector<Heard> heard;
};

// Pasting files announces them on "OpenDragFiles" before the host gets them.
TEST_F(GalleryTest, PastingFilesAnnouncesThem) {
  const struct {
    std::vector<std::string> files;
    int length;
    std::string names;
  } cases[] = {
      {{"/p/a.jpg"}, 8 + 3, std::string("/p/a.jpg\0\0", 10)},
      {{"/p/a.jpg", "/p/bb.png"}, 9 + 10 + 1, std::string("/p/a.jpg\0/p/bb.png\0\0", 20)},
  };
  CCFHandler handler;
  handler.AddFormat("text/uri-list");
  for (const auto& c : cases) {
    OpenDragFilesListener listener;
    QMimeData data;
    vexa::gallery::SetFileList(&data, c.files);
    EXPECT_TRUE(handler.CanPaste(&data));
    EXPECT_EQ(handler.PasteFiles(&data), c.files);
    ASSERT_EQ(listener.heard.size(), 1u);
    EXPECT_EQ(listener.heard[0].count, static_cast<int>(c.files.size()));
    EXPECT_EQ(listener.heard[0].length, c.length);
    EXPECT_EQ(listener.heard[0].names, c.names);
  }
  // An empty list announces nothing.
  OpenDragFilesListener listener;
  QMimeData empty;
  empty.setText("words");
  EXPECT_TRUE(handler.PasteFiles(&empty).empty());
  EXPECT_TRUE(listener.heard.empty());

  // The gallery's paste goes through the handler: heard, then handed over.
  Add(2);
  auto* clip = new QMimeData;
  vexa::gallery::SetFileList(clip, {"/p/c.jpg"});
  QGuiApplication::clipboard()->setMimeData(clip);
  m_gallery->Paste();
  ASSERT_EQ(listener.heard.size(), 1u);
  EXPECT_EQ(listener.heard[0].names, std::string("/p/c.jpg\0\0", 10));
  ASSERT_EQ(m_host.dropped.size(), 1u);
  EXPECT_EQ(m_host.dropped[0].first, std::vector<std::string>{"/p/c.jpg"});
}

TEST_F(GalleryTest, DragStartsPastTwentyPixels) {
  Add(2);
  m_host.handlesDrag = true;
  CSelectThumbnail* w = m_gallery->GetThumbnailPtr(1);
  QTest::mousePress(w, Qt::LeftButton, {}, QPoint(40, 40));
  QTest::mouseMove(w, QPoint(50, 50));  // 10 + 10
  EXPECT_TRUE(m_host.dragged.empty());
  QTest::mouseMove(w, QPoint(51, 50));  // 11 + 10 > 20
  ASSERT_EQ(m_host.dragged.size(), 1u);
  EXPECT_EQ(m_host.dragged[0], std::vector<int>{1});
  QTest::mouseRelease(w, Qt::LeftButton, {}, QPoint(51, 50));
}

TEST_F(GalleryTest, CornerButtonsWhileThePointerIsOver) {
  Add(2);
  m_gallery->EnableRotateButtons(true);
  m_gallery->EnableCloseButton(true);
  CSelectThumbnail* w = m_gallery->GetThumbnailPtr(2);
  QTest::mouseMove(m_gallery->Document(), QPoint(300, 300));
  QTest::mouseMove(w, QPoint(60, 60));
  ASSERT_TRUE(QTest::qWaitFor([&] { return w->CornerButtonIds() == std::vector<int>{6, 7, 8}; }, kWaitBoundMs))
      << InVain("the corner buttons 6, 7 and 8 to show over the thumbnail under the pointer");
  QTest::mouseMove(m_gallery->Document(), QPoint(300, 300));
  ASSERT_TRUE(QTest::qWaitFor([&] { return w->CornerButtonIds().empty(); }, kWaitBoundMs))
      << InVain("the corner buttons to go with the pointer");
}

TEST_F(GalleryTest, SharedGalleryAndDragOutline) {
  CGallery* shared = CGallery::CreateGallery(m_window.get(), QRect(0, 0, 100, 100), &m_host, 0);
  ASSERT_NE(shared, nullptr);
  EXPECT_EQ(CGallery::CreateGallery(nullptr, QRect(), nullptr, 5), shared);
  auto* g = static_cast<CSelectGallery*>(shared);
  g->AddThumbnailsAfter(-1, {m_temp.Path("a.jpg")});
  CGallery::DeleteGallery(shared);
  EXPECT_FALSE(g->isVisible());
  EXPECT_EQ(g->NumImages(), 0);
  EXPECT_EQ(CGallery::CreateGallery(nullptr, QRect(), nullptr, 0), shared);
  EXPECT_TRUE(g->isVisible());

  Add(2);
  m_gallery->Select(1, true);
  m_gallery->InitOutlineDrag(QPoint(10, 10));
  EXPECT_TRUE(m_gallery->OutlineShown());
  m_gallery->DrawDragImage(QPoint(40, 30));
  m_gallery->EndOutlineDrag();
  EXPECT_FALSE(m_gallery->OutlineShown());
}

TEST_F(GalleryTest, CaptionsAreCleanedAsTyped) {
  EXPECT_EQ(CEditFilename::CleanCaption("..a:b?c"), "abc");
  EXPECT_EQ(CEditFilename::CleanCaption("  lake.jpg"), "lake.jpg");
  EXPECT_EQ(CEditFilename::CleanCaption(std::string(300, 'x')).size(), 255u);
  EXPECT_EQ(CEditFilename::CleanCaption("a\\b/c*d\"e<f>g|h"), "abcdefgh");

  Add(2);
  m_gallery->EnableFileName(true);
  m_gallery->CreatePhotoWindows(true);
  CSelectThumbnail* w = m_gallery->GetThumbnailPtr(1);
  w->repaint();
  CEditFilename* edit = w->CaptionEdit();
  ASSERT_NE(edit, nullptr);
  edit->SetMode(3);
  edit->setFocus();
  edit->clear();
  QTest::keyClicks(edit, "..a:b");
  EXPECT_EQ(edit->text().toStdString(), "ab");
  EXPECT_GE(edit->Beeps(), 1);
  EXPECT_EQ(m_gallery->SetThumbnailCaption(1, "Lake"), 1);
  EXPECT_EQ(m_gallery->GetThumbnailCaption(1), "Lake");
}

// A caption too long for the cell is shown with its beginning and an
// ellipsis, not cut at both ends; edited, it is the whole text again.
TEST_F(GalleryTest, LongCaptionsEndInAnEllipsis) {
  Add(1);
  m_gallery->EnableFileName(true);
  m_gallery->CreatePhotoWindows(true);
  CSelectThumbnail* w = m_gallery->GetThumbnailPtr(m_gallery->PhotoOrder()->At(0));
  ASSERT_NE(w, nullptr);
  w->repaint();
  CEditFilename* edit = w->CaptionEdit();
  ASSERT_NE(edit, nullptr);
  const QString longName = "Summer holidays at the lake with the whole family 2002.jpg";
  edit->setText(longName);
  edit->SetMode(0);
  const QString shown = edit->ShownText();
  EXPECT_TRUE(shown.startsWith("Summer")) << shown.toStdString();
  EXPECT_TRUE(shown.endsWith(QChar(0x2026))) << shown.toStdString();
  EXPECT_LE(edit->fontMetrics().horizontalAdvance(shown), edit->width());
  // Painted: the first letters are at the left of the caption, as drawn text
  // of a caption that fits would be centred.
  const QImage image = edit->grab().toImage();
  int firstInk = -1;
  for (int x = 0; x < image.width() && firstInk < 0; ++x)
    for (int y = 0; y < image.height(); ++y)
      if (qGray(image.pixel(x, y)) < 100) {
        firstInk = x;
        break;
      }
  EXPECT_GE(firstInk, 0);
  EXPECT_LE(firstInk, 6);
  edit->setText("Lake.jpg");
  EXPECT_EQ(edit->ShownText(), "Lake.jpg");
}

}  // namespace
