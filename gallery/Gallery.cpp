#include "gallery/Gallery.h"

#include <sys/stat.h>

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QDrag>
#include <QDragEnterEvent>
#include <QKeyEvent>
#include <QLoggingCategory>
#include <QPainter>
#include <QPointer>
#include <QRandomGenerator>
#include <QScrollBar>
#include <algorithm>
#include <random>

#include "gallery/Params.h"
#include "gallery/Thumbnails.h"
#include "platform/base/Path.h"
#include "uicommon/art/ArtButton.h"
#include "uicommon/common/Settings.h"
#include "uicommon/art/Views.h"

namespace vexa::gallery {

using namespace vexa::ui;

CGallery::CGallery(QWidget* parent, CGalleryCallback* callback, EGalleryCaller caller)
    : QScrollArea(parent), m_callback(callback), m_caller(caller) {}
CGallery::~CGallery() = default;

namespace {
QPointer<CSelectGallery>& SharedGallery() {
  static QPointer<CSelectGallery> gallery;
  return gallery;
}
}  // namespace

CGallery* CGallery::CreateGallery(QWidget* parent, const QRect& rect, CGalleryCallback* callback,
                                  EGalleryCaller caller) {
  QPointer<CSelectGallery>& shared = SharedGallery();
  if (!shared) shared = new CSelectGallery(parent, rect, callback, caller);
  shared->show();
  return shared.data();
}

void CGallery::DeleteGallery(CGallery* gallery) {
  QPointer<CSelectGallery>& shared = SharedGallery();
  if (!shared || gallery != shared.data()) return;
  shared->hide();
  shared->Reset();
}

namespace {

// Notes of the gallery; off unless the category is enabled.
Q_LOGGING_CATEGORY(lcGallery, "vexa.gallery", QtWarningMsg)

const char* const kChannels[] = {"AddThumbnail", "SelectThumbnail", "SelectThumbnailOn", "SelectAll",
                                 "InvertSelection", "SelectNone", "UnselectAllButOne", "RemoveSelected",
                                 "MarkAllNotFromViewer", "SelectAllFromViewer"};

// The scrolled document: the background, the thumbnail windows and the
// drop marker live on it, in document coordinates.
class GalleryDocument : public QWidget {
 public:
  explicit GalleryDocument(CSelectGallery* gallery) : QWidget(nullptr), m_gallery(gallery) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAcceptDrops(true);
    setMouseTracking(true);
  }

 protected:
  void paintEvent(QPaintEvent* e) override {
    QPainter p(this);
    m_gallery->PaintDocument(&p, e->rect());
  }
  void mousePressEvent(QMouseEvent* e) override { m_gallery->DocumentMouse(e); }
  void mouseReleaseEvent(QMouseEvent* e) override { m_gallery->DocumentMouse(e); }
  void mouseMoveEvent(QMouseEvent* e) override { m_gallery->DocumentMouse(e); }
  void dragEnterEvent(QDragEnterEvent* e) override { m_gallery->DocumentDrag(e); }
  void dragMoveEvent(QDragMoveEvent* e) override { m_gallery->DocumentDrag(e); }
  void dragLeaveEvent(QDragLeaveEvent* e) override { m_gallery->DocumentDrag(e); }
  void dropEvent(QDropEvent* e) override { m_gallery->DocumentDrag(e); }

 private:
  CSelectGallery* m_gallery;
};

// A line around the visible part of the gallery while it has the keyboard
// focus: the gallery has no frame of its own, and the keys that move and
// select its pictures need a place the user can see they go to. It lies
// over the view and lets the pointer through.
class FocusOutline : public QWidget {
 public:
  explicit FocusOutline(QAbstractScrollArea* area) : QWidget(area), m_area(area) {
    setObjectName("focusOutline");
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_NoSystemBackground);
    setFocusPolicy(Qt::NoFocus);
    hide();
    area->installEventFilter(this);
  }

 protected:
  bool eventFilter(QObject* watched, QEvent* e) override {
    if (watched == m_area) {
      switch (e->type()) {
        case QEvent::FocusIn:
          setGeometry(m_area->viewport()->geometry());
          raise();
          show();
          break;
        case QEvent::FocusOut:
          hide();
          break;
        case QEvent::Resize:
          setGeometry(m_area->viewport()->geometry());
          break;
        default:
          break;
      }
    }
    return QWidget::eventFilter(watched, e);
  }
  void paintEvent(QPaintEvent*) override {
    QPainter p(this);
    p.setPen(QPen(palette().color(QPalette::Highlight), 2));
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRectF(rect()).adjusted(1, 1, -1, -1));
  }

 private:
  QAbstractScrollArea* m_area;
};

std::uint64_t NewToken() {
  std::uint64_t t = QRandomGenerator::global()->generate64();
  return t ? t : 1;
}

}  // namespace

CSelectGallery::CSelectGallery(QWidget* parent, const QRect& rect, CGalleryCallback* callback,
                               EGalleryCaller caller)
    : CGallery(parent, callback, caller),
      m_photoList(std::make_unique<CPhotoList>()),
      m_photoOrder(std::make_unique<CPhotoOrder>()),
      m_parent(parent),
      m_token(NewToken()) {
  m_arrangement.SetViewSize(rect.width(), rect.height());
  const QSize cell = ThumbnailSize();
  m_arrangement.SetCellSize(cell.width(), cell.height());
  setGeometry(rect);
  setProperty("controlId", kControlId);
  setFrameShape(QFrame::NoFrame);
  setFocusPolicy(Qt::StrongFocus);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  m_document = new GalleryDocument(this);
  m_document->resize(std::max(1, rect.width()), std::max(1, rect.height()));
  setWidget(m_document);
  setWidgetResizable(false);
  new FocusOutline(this);
  for (const char* channel : kChannels) AddListener(channel, this);
  // The image limit, at most 255, written back.
  m_maxNumImages = std::min(GetIntValue(General_MaxNumImages, 100), 255);
  PutIntValue(General_MaxNumImages, m_maxNumImages);
  m_clipboard.AddFormat("text/uri-list");
}

CSelectGallery::~CSelectGallery() {
  ClearThumbnails();
  m_background.reset();
  for (const char* channel : kChannels) RemoveListener(channel, this);
  RemoveListener("HighlightDrop", this);
  m_marker.reset();
  m_band.reset();
  m_outline.reset();
  m_postedImage.reset();
}

// ---- Adding ------------------------------------------------------------------------------

void CSelectGallery::UnpostForAdd() {
  if (m_postedImage) {
    UnpostImage();
    Broadcast("UnpostImageInGallery", nullptr);
  }
}

void CSelectGallery::ReadFileAttributes(const std::string& path, CPhotoAttributes* a) {
  if (!a) return;
  if (path.empty()) {
    a->m_fileName.clear();
    return;
  }
  a->m_fileName = path;
  a->m_shortName = vexa::base::BaseName(path);
  a->m_captionText = a->m_shortName;
  a->m_caption.SetText(a->m_shortName);
  a->m_extension = vexa::base::Extension(a->m_shortName);
  // The capture date is read with the thumbnail, on the worker's thread
  // (a sort by date reads those still missing): nothing of the file is
  // opened here, so listing a folder never waits on one.
  struct stat st {};
  if (::stat(path.c_str(), &st) == 0) {
    a->m_fileSize = static_cast<std::uint64_t>(st.st_size);
    a->m_lastWrite = st.st_mtim.tv_sec * 1000000000LL + st.st_mtim.tv_nsec;
  }
}

int CSelectGallery::AfterToBefore(int afterId) const {
  if (afterId == -1) return 0;
  if (afterId == 0) return m_photoOrder->Count() ? m_photoOrder->At(0) : 0;
  const int at = m_photoOrder->IndexOf(afterId);
  if (at >= 0 && m_windows.count(afterId) && at + 1 < m_photoOrder->Count()) return PhotoNext(afterId, false);
  return 0;
}

std::vector<int> CSelectGallery::AddThumbnailsAfter(int afterId, const std::vector<std::string>& paths) {
  std::vector<int> ids;
  if (paths.empty()) return ids;
  UnpostForAdd();
  const int before = AfterToBefore(afterId);
  const QSize cell = ThumbnailSize();
  m_arrangement.SetCellSize(cell.width(), cell.height());
  std::vector<CPlacement> placements;
  for (const std::string& path : paths) {
    const int id = ++m_lastId;
    ids.push_back(id);
    m_photoList->AddPhoto(id, cell);
    if (before) m_photoOrder->Insert(id, before);
    else m_photoOrder->Append(id);
    ReadFileAttributes(path, m_photoList->Attributes(id));
    m_photoList->Select(id, false);
    CreateThumbnailWindow(id);
    placements.emplace_back(id, 0, 0, cell.width(), cell.height(), 0, 0, 0, 0, 0, ZERO, TType(0), nullptr);
  }
  m_arrangement.InsertMultipleId(placements, before, cell.width(), cell.height());
  ArrangePhotos();
  return ids;
}

int CSelectGallery::AddThumbnailBefore(int beforeId, const std::string& path) {
  const int id = ++m_lastId;
  m_photoList->AddPhoto(id, ThumbnailSize());
  UnpostForAdd();
  if (beforeId && m_photoOrder->Find(beforeId)) m_photoOrder->Insert(id, beforeId);
  else if (beforeId == 0 && m_photoOrder->Count()) m_photoOrder->Insert(id, m_photoOrder->At(0));
  else m_photoOrder->Append(id);
  ReadFileAttributes(path, m_photoList->Attributes(id));
  m_photoList->Select(id, false);
  CreateThumbnailWindow(id);
  CreateArrangement(m_showAll);
  if (auto* w = GetThumbnailPtr(id)) w->update();
  return id;
}

int CSelectGallery::AddThumbnailAfter(int afterId, const std::string& path) {
  const int before = AfterToBefore(afterId);
  const int id = ++m_lastId;
  m_photoList->AddPhoto(id, ThumbnailSize());
  UnpostForAdd();
  if (before) m_photoOrder->Insert(id, before);
  else m_photoOrder->Append(id);
  ReadFileAttributes(path, m_photoList->Attributes(id));
  m_photoList->Select(id, false);
  CreateThumbnailWindow(id);
  CreateArrangement(m_showAll);
  if (auto* w = GetThumbnailPtr(id)) w->update();
  return id;
}

int CSelectGallery::InsertNewFileAt(const std::string& path, QPoint point) {
  const int id = ++m_lastId;
  AddThumbnail(id, path);
  ReorderGallery(id, point);
  return id;
}

void CSelectGallery::AddThumbnail(int, std::string) {}

// ---- Removing ------------------------------------------------------------------------------

void CSelectGallery::DeleteThumbnail(int id) {
  if (m_photoList->Find(id)) m_photoList->DeletePhoto(id);
  m_photoOrder->Remove(id);
  auto found = m_windows.find(id);
  if (found == m_windows.end()) return;
  m_windows.erase(found);
  UpdateArrangement(id);
}

void CSelectGallery::RemoveSelected() {
  // Pending notifications are posted events; they are handled where they
  // are, with no nested event loop here that could swallow a quit request.
  for (int id : SelectedInOrder()) {
    m_photoList->DeletePhoto(id);
    m_photoOrder->Remove(id);
    m_windows.erase(id);
    m_arrangement.Delete(id);
  }
  ArrangePhotos();
}

void CSelectGallery::RemoveSelectedByUser() {
  if (Callback() && Callback()->RemoveSelectedByHost()) return;
  RemoveSelected();
}

void CSelectGallery::ClearThumbnails() {
  m_windows.clear();
  m_arrangement.Clear();
}

void CSelectGallery::Reset() {
  ClearThumbnails();
  m_background.reset();
  m_marker.reset();
  m_markerRect = m_markerPrevious = QRect();
  m_photoOrder = std::make_unique<CPhotoOrder>();
  m_photoList = std::make_unique<CPhotoList>();
  m_sizeMode = 0;
  m_selectionChanged = false;
  m_showAll = true;
  m_closeButton = m_adjustButton = m_rotateButtons = m_fileName = m_readOnlyFileName = false;
  m_selectAllInvert = true;
  m_openLock = 0;
  AdjustScrollSize();
}

// ---- Layout -------------------------------------------------------------------------------------

QSize CSelectGallery::ThumbnailSize() const {
  static const int kModes[] = {0, 53, 54, 55, 56};
  const int mode = (m_sizeMode >= 0 && m_sizeMode <= 4) ? m_sizeMode : 0;
  const CButtonDescriptor d = ButtonDescriptor(kModes[mode]);
  int h = d.m_height;
  if (mode == 0 && !m_fileName && !m_readOnlyFileName) h = 116;
  return QSize(d.m_width, h);
}

void CSelectGallery::CreatePhotoWindows(bool showAll) {
  ClearThumbnails();
  for (int id : m_photoOrder->Ids()) CreateThumbnailWindow(id);
  CreateArrangement(showAll);
}

bool CSelectGallery::CreateThumbnailWindow(int id) {
  if (m_windows.count(id)) return false;
  if (!m_showAll && !m_photoList->IsSelected(id)) return false;
  std::unique_ptr<CSelectThumbnail> window;
  if (id < 1) window = std::make_unique<CDirThumbnail>(this, id);
  else window = std::make_unique<CSelectThumbnail>(this, id);
  window->SyncPushed();
  window->show();
  m_windows[id] = std::move(window);
  return true;
}

void CSelectGallery::CreateArrangement(bool all) {
  m_arrangement.Clear();
  const QSize cell = ThumbnailSize();
  m_arrangement.SetCellSize(cell.width(), cell.height());
  for (int id : m_photoOrder->Ids())
    if (all || m_photoList->IsSelected(id)) m_arrangement.Append(id, cell.width(), cell.height());
  ArrangePhotos();
}

void CSelectGallery::UpdateArrangement(int id) {
  m_arrangement.Delete(id);
  ArrangePhotos();
}

void CSelectGallery::ArrangePhotos() {
  if (m_arrangement.Num() == 0) {
    AdjustScrollSize();
    return;
  }
  m_arrangement.Arrange();
  for (int i = 0; i < m_arrangement.Num(); ++i) {
    const CPlacement p = m_arrangement.Placement(i);
    auto found = m_windows.find(p.m_id);
    if (found == m_windows.end()) continue;
    const QRect r(p.m_left, p.m_top, p.m_width, p.m_height);
    if (found->second->geometry() != r) found->second->Move(r);
  }
  AdjustScrollSize();
  m_document->update();
}

void CSelectGallery::AdjustScrollSize() {
  QSize total, page, line;
  m_arrangement.GetScrollSize(total, page, line);
  if (m_arrangement.Num() == 0) total = QSize(1, 1);
  const QSize view = viewport()->size();
  m_document->resize(std::max(total.width(), view.width()), std::max(total.height(), view.height()));
  verticalScrollBar()->setSingleStep(std::max(1, line.height()));
  horizontalScrollBar()->setSingleStep(std::max(1, line.width()));
  verticalScrollBar()->setPageStep(std::max(1, page.height()));
}

void CSelectGallery::SetOrientation(int orientation) {
  m_orientation = orientation;
  m_arrangement.SetMode(orientation);
}

void CSelectGallery::ShowAllPhotos(bool on) {
  m_showAll = on;
  CreatePhotoWindows(on);
}

void CSelectGallery::resizeEvent(QResizeEvent* event) {
  QScrollArea::resizeEvent(event);
  m_arrangement.SetViewSize(viewport()->width(), viewport()->height());
  ArrangePhotos();
}

void CSelectGallery::EnableFileName(bool on) {
  m_fileName = on;
  // The cell height changes with the captions: a photo added and removed
  // at once rebuilds the arrangement with the new cell (and uses an id).
  const int temp = AddThumbnailBefore(0, "foo");
  DeleteThumbnail(temp);
  ArrangePhotos();
}

void CSelectGallery::EnableReadOnlyFileName(bool on) {
  m_readOnlyFileName = on;
  const QSize cell = ThumbnailSize();
  m_arrangement.SetCellSize(cell.width(), cell.height());
}

// ---- Photos ------------------------------------------------------------------------------------

int CSelectGallery::SetThumbnailCaption(int id, const std::string& caption) {
  if (auto* a = m_photoList->Attributes(id)) {
    a->m_captionText = caption;
    a->m_caption.SetText(caption);
    if (auto* w = GetThumbnailPtr(id); w && w->CaptionEdit()) w->CaptionEdit()->setText(QString::fromStdString(caption));
  }
  return 1;
}

std::string CSelectGallery::GetThumbnailCaption(int id) const {
  auto* a = m_photoList->Attributes(id);
  return a ? a->m_captionText : std::string();
}

void CSelectGallery::SetThumbnailBitmap(int id, CDDB& bitmap) {
  auto* a = m_photoList->Attributes(id);
  if (!a) return;
  a->Thumbnail(bitmap);
  if (auto* w = GetThumbnailPtr(id)) w->SetThumbnail(bitmap);
}

void CSelectGallery::SetThumbnailProblem(int id, const std::string& why) {
  auto* a = m_photoList->Attributes(id);
  if (!a) return;
  a->m_problem = why;
  if (auto* w = GetThumbnailPtr(id)) w->ShowProblem(why);
}

CDDB* CSelectGallery::GetThumbnailBitmap(int id) const {
  auto* a = m_photoList->Attributes(id);
  return a ? a->Thumbnail() : nullptr;
}

void CSelectGallery::SetSaved(int id, bool saved) { m_photoList->SetSaved(id, saved); }
void CSelectGallery::SetFiltered(int id, bool filtered) { m_photoList->SetFiltered(id, filtered); }

CSelectThumbnail* CSelectGallery::GetThumbnailPtr(int id) const {
  auto found = m_windows.find(id);
  return found == m_windows.end() ? nullptr : found->second.get();
}

int CSelectGallery::PhotoNext(int id, bool selectedOnly) const {
  const auto& ids = m_photoOrder->Ids();
  if (ids.empty()) return 0;
  const int at = m_photoOrder->IndexOf(id);
  const int n = static_cast<int>(ids.size());
  for (int step = 1; step <= n; ++step) {
    const int cand = ids[static_cast<std::size_t>((at + step + n) % n)];
    if (!selectedOnly || m_photoList->IsSelected(cand)) return cand;
  }
  return 0;
}

int CSelectGallery::PhotoPrev(int id, bool selectedOnly) const {
  const auto& ids = m_photoOrder->Ids();
  if (ids.empty()) return 0;
  int at = m_photoOrder->IndexOf(id);
  if (at < 0) at = 0;
  const int n = static_cast<int>(ids.size());
  for (int step = 1; step <= n; ++step) {
    const int cand = ids[static_cast<std::size_t>(((at - step) % n + n) % n)];
    if (!selectedOnly || m_photoList->IsSelected(cand)) return cand;
  }
  return 0;
}

std::vector<int> CSelectGallery::SelectedInOrder() const {
  std::vector<int> ids;
  for (int id : m_photoOrder->Ids())
    if (m_photoList->IsSelected(id)) ids.push_back(id);
  return ids;
}

// ---- Points ------------------------------------------------------------------------------------------

QPoint CSelectGallery::ToDocument(QPoint client) const { return m_document->mapFrom(viewport(), client); }

int CSelectGallery::GetThumbnailAfterPoint(QPoint point) const {
  QPoint d = ToDocument(point);
  const CButtonDescriptor cell = ButtonDescriptor(0);
  if (m_orientation == 2) d.ry() += cell.m_height / 2;
  else d.rx() += cell.m_width / 2;
  return m_arrangement.Which(d.x(), d.y());
}

int CSelectGallery::GetThumbnailBeforePoint(QPoint point) const {
  QPoint d = ToDocument(point);
  const CButtonDescriptor cell = ButtonDescriptor(0);
  if (m_orientation == 2) d.ry() += cell.m_height / 2;
  else d.rx() += cell.m_width / 2;
  return m_arrangement.WhichAfter(d.x(), d.y());
}

void CSelectGallery::ReorderGallery(int id, QPoint point) {
  if (!m_windows.count(id)) return;
  const QPoint d = ToDocument(point);
  const int target = m_arrangement.Which(d.x() + ButtonDescriptor(0).m_width / 2, d.y());
  m_photoOrder->Move(id, target);
  CreateArrangement(m_showAll);
}

// ---- Selection -------------------------------------------------------------------------------------------

void CSelectGallery::Select(int id, bool on) {
  if (m_photoList->IsSelected(id) != on) SelectThumbnail(id);
}

bool CSelectGallery::SelectAll() {
  for (int id : m_photoOrder->Ids())
    if (!m_photoList->IsSelected(id)) m_photoList->Select(id, true);
  CreatePhotoWindows(m_showAll);
  if (Callback()) Callback()->SelectionChanged();
  return true;
}

void CSelectGallery::InvertSelection() {
  for (int id : m_photoOrder->Ids()) m_photoList->Select(id, !m_photoList->IsSelected(id));
  CreatePhotoWindows(m_showAll);
}

void CSelectGallery::SelectNone() {
  m_photoList->SelectNone();
  for (auto& [id, w] : m_windows) w->SyncPushed();
}

void CSelectGallery::UnselectAllButOne(int keep) {
  m_photoList->UnselectAllButOne(keep);
  for (auto& [id, w] : m_windows) w->SyncPushed();
}

void CSelectGallery::SelectThumbnail(int id) {
  if (!m_photoList->Find(id)) return;
  if (auto* w = GetThumbnailPtr(id)) w->SelectToggle();
  else m_photoList->Select(id, !m_photoList->IsSelected(id));
}

void CSelectGallery::SelectThumbnailOn(int id) {
  if (m_photoList->Find(id) && !m_photoList->IsSelected(id)) SelectThumbnail(id);
}

bool CSelectGallery::MarkAllNotFromViewer() {
  for (int id : m_photoList->Ids()) m_photoList->Attributes(id)->m_fromViewer = false;
  return true;
}

bool CSelectGallery::SelectAllFromViewer() {
  for (auto& [id, w] : m_windows) {
    auto* a = m_photoList->Attributes(id);
    if (a && !a->m_fromViewer && w->IsPushed()) {
      m_photoList->Select(id, false);
      w->SyncPushed();
    }
  }
  return true;
}

void CSelectGallery::UpdateSelected() {
  m_showAll = true;
  CreatePhotoWindows(true);
  m_selectionChanged = false;
}

// ---- Rubber band ------------------------------------------------------------------------------------------

void CSelectGallery::RubberBandBegin(QPoint client) {
  m_bandStart = ToDocument(client);
  m_bandCapture = QWidget::mouseGrabber();
  m_bandIds.clear();
  m_bandRect = QRect(m_bandStart, QSize(1, 1));
  m_band = std::make_unique<CRubberBandWnd>(m_document, m_document->rect());
  m_band->show();
  m_band->raise();
  if (Callback()) Callback()->SelectionChanged();
}

void CSelectGallery::RubberBandUpdate(QPoint client) {
  if (!m_band) return;
  // Near the edge of the client area the view scrolls one line.
  const int inset = 11;
  const QRect area = viewport()->rect();
  if (area.contains(client) && !area.adjusted(inset, inset, -inset, -inset).contains(client)) {
    if (client.y() < inset) verticalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepSub);
    else if (client.y() >= area.height() - inset) verticalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    else if (client.x() < inset) horizontalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepSub);
    else horizontalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepAdd);
  }
  m_bandRect = QRect(m_bandStart, ToDocument(client)).normalized();
  ProcessBand(false);
  m_band->SetRect(m_bandRect);
}

void CSelectGallery::ProcessBand(bool ended) {
  bool touched = false;
  for (auto it = m_bandIds.begin(); it != m_bandIds.end();) {
    auto* w = GetThumbnailPtr(*it);
    if (!w || !w->geometry().intersects(m_bandRect)) {
      if (w) Select(*it, false);
      it = m_bandIds.erase(it);
    } else {
      ++it;
    }
  }
  for (auto& [id, w] : m_windows) {
    if (!w->geometry().intersects(m_bandRect)) continue;
    touched = true;
    Select(id, true);
    if (std::find(m_bandIds.begin(), m_bandIds.end(), id) == m_bandIds.end()) m_bandIds.push_back(id);
  }
  if (touched && ended && Callback()) Callback()->SelectionChanged();
}

void CSelectGallery::RubberBandEnd(QPoint client) {
  if (!m_band) return;
  m_band.reset();
  m_bandRect = QRect(m_bandStart, ToDocument(client)).normalized();
  ProcessBand(true);
  m_bandCapture = nullptr;
}

// ---- Posted image, clipboard, captions ------------------------------------------------------------------

void CSelectGallery::PostImage(int viewId) {
  const CViewDescriptor d = ViewDescriptor(viewId);
  m_postedImage.reset(GetArtwork(d.m_artwork, d.ArtRect()));
  m_document->update();
}

void CSelectGallery::UnpostImage() {
  m_postedImage.reset();
  m_document->update();
}

void CSelectGallery::Paste() {
  if (!m_clipboard.CanPaste()) return;
  const auto files = m_clipboard.PasteFiles();
  if (files.empty() || !Callback()) return;
  const auto selected = SelectedInOrder();
  Callback()->FilesDropped(files, selected.empty() ? -1 : selected.back());
}

int CSelectGallery::OpenClipboard() { return m_clipboard.CanPaste() ? 1 : 0; }

void CSelectGallery::CopySelected(bool cut) {
  const auto ids = SelectedInOrder();
  if (ids.empty()) return;
  if (auto* w = GetThumbnailPtr(ids.front())) w->Copy(true, cut);
}

void CSelectGallery::EditThumbnail(int command) {
  if (command == 1278) {
    Broadcast("RemoveSelected", nullptr);
    return;
  }
  for (int id : m_photoList->Ids()) {
    if (!m_photoList->IsSelected(id)) continue;
    auto* w = GetThumbnailPtr(id);
    if (!w) continue;
    if (command == 57634) w->Copy(true, false);
    else if (command == 57635) w->Copy(true, true);
    return;
  }
}

bool CSelectGallery::EditFilenameHasFocus() const {
  for (const auto& [id, w] : m_windows)
    if (m_photoList->IsSelected(id) && w->CaptionEdit() && w->CaptionEdit()->IsEditing()) return true;
  return false;
}

void CSelectGallery::EditFilenameField(int command) {
  for (const auto& [id, w] : m_windows) {
    CEditFilename* edit = w->CaptionEdit();
    if (!m_photoList->IsSelected(id) || !edit || !edit->IsEditing()) continue;
    if (command == 57634) edit->copy();
    else if (command == 57635) edit->cut();
    else if (command == 57637) edit->paste();
    return;
  }
}

QRect CSelectGallery::CaptionRect() { return ThumbnailCaptionRect(); }

// ---- Drawing -----------------------------------------------------------------------------------------------

void CSelectGallery::PaintDocument(QPainter* p, const QRect& rect) {
  if (!m_background) {
    const CViewDescriptor d = ViewDescriptor(m_sizeMode == 0 ? 5 : 79);
    m_background.reset(GetArtwork(d.m_artwork, d.ArtRect()));
  }
  if (m_background && m_background->Width() > 0) {
    // Tiles from the document's origin, so the background scrolls with it.
    const int w = m_background->Width(), h = m_background->Height();
    const QImage tile = m_background->ToImage();
    for (int y = (rect.top() / h) * h; y <= rect.bottom(); y += h)
      for (int x = (rect.left() / w) * w; x <= rect.right(); x += w) p->drawImage(QPoint(x, y), tile);
  } else {
    p->fillRect(rect, QColor(0xE4, 0xE7, 0xEB));
  }
  if (m_postedImage) {
    const QRect visible(ToDocument(QPoint(0, 0)), viewport()->size());
    m_postedImage->Draw(p, visible.center().x() - m_postedImage->Width() / 2,
                        visible.center().y() - m_postedImage->Height() / 2);
  }
}

// ---- Mouse and keyboard ----------------------------------------------------------------------------------------

void CSelectGallery::DocumentMouse(QEvent* event) {
  auto* e = static_cast<QMouseEvent*>(event);
  const QPoint client = m_document->mapTo(viewport(), e->position().toPoint());
  const int shift = static_cast<int>(e->modifiers() >> 25);
  switch (event->type()) {
    case QEvent::MouseButtonPress: {
      setFocus(Qt::MouseFocusReason);
      SelectNone();
      if (m_band) RubberBandEnd(client);
      RubberBandBegin(client);
      if (Callback()) Callback()->MouseDown(e->button() == Qt::RightButton ? 2 : 1, shift, client.x(), client.y());
      break;
    }
    case QEvent::MouseButtonRelease:
      RubberBandEnd(client);
      if (Callback()) Callback()->MouseUp(e->button() == Qt::RightButton ? 2 : 1, shift, client.x(), client.y());
      break;
    case QEvent::MouseMove:
      if (e->buttons() & Qt::LeftButton) RubberBandUpdate(client);
      break;
    default:
      break;
  }
}

int CSelectGallery::CurrentPhoto() const {
  if (m_current && m_photoOrder->Find(m_current)) return m_current;
  const std::vector<int> selected = SelectedInOrder();
  return selected.empty() ? 0 : selected.back();
}

bool CSelectGallery::MarksAsCurrent(int id) const { return m_markCurrent && id == m_current && hasFocus(); }

void CSelectGallery::LastThumbnailSelected(int id) {
  m_lastSelected = OrdinalOfID(id);
  // Clicked, not chosen by the keys: no mark, and the view stays where it is.
  const int old = m_current;
  m_current = id;
  m_markCurrent = false;
  if (old != id)
    if (auto* w = GetThumbnailPtr(old)) w->update();
}

void CSelectGallery::SetCurrentPhoto(int id, bool byKeys) {
  const int old = m_current;
  m_current = id;
  m_markCurrent = byKeys;
  if (auto* w = GetThumbnailPtr(old)) w->update();
  if (auto* w = GetThumbnailPtr(id)) {
    ensureWidgetVisible(w, 0, 0);
    w->update();
  }
}

bool CSelectGallery::MoveByKey(QKeyEvent* event) {
  const Qt::KeyboardModifiers keys = event->modifiers() & ~Qt::KeypadModifier;
  const int key = event->key();
  if (key == Qt::Key_Menu || (key == Qt::Key_F10 && keys == Qt::ShiftModifier)) {
    KeyboardMenu();
    return true;
  }
  // Ctrl and Alt with these keys are the host's (moving the selected
  // photos, for one).
  if (keys & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) return false;
  const std::vector<int>& order = m_photoOrder->Ids();
  const int n = static_cast<int>(order.size());
  const int at = OrdinalOfID(CurrentPhoto());
  if (key == Qt::Key_Space) {
    // Space turns the current photo's selection over, the others staying.
    if (n == 0) return true;
    const int id = at >= 0 ? order[static_cast<std::size_t>(at)] : order.front();
    SelectThumbnail(id);
    SetCurrentPhoto(id, true);
    m_lastSelected = OrdinalOfID(id);
    if (Callback()) Callback()->SelectionChanged();
    return true;
  }
  // The photos of a row: those placed level with the first one.
  auto columns = [this] {
    int count = 0;
    const int placed = m_arrangement.Num();
    const int top = placed > 0 ? m_arrangement.Placement(0).m_top : 0;
    while (count < placed && m_arrangement.Placement(count).m_top == top) ++count;
    return std::max(1, count);
  };
  int target = 0;
  switch (key) {
    case Qt::Key_Left: target = at < 0 ? 0 : std::max(0, at - 1); break;
    case Qt::Key_Right: target = at < 0 ? 0 : std::min(n - 1, at + 1); break;
    case Qt::Key_Up: {
      const int row = columns();
      target = at < 0 ? 0 : (at - row >= 0 ? at - row : at);
      break;
    }
    case Qt::Key_Down: {
      const int row = columns();
      // From a row above the last, Down reaches the last row even where it
      // is short.
      if (at < 0) target = 0;
      else if (at + row <= n - 1) target = at + row;
      else target = at / row < (n - 1) / row ? n - 1 : at;
      break;
    }
    case Qt::Key_Home: target = 0; break;
    case Qt::Key_End: target = n - 1; break;
    default: return false;
  }
  if (n == 0) return true;
  // The photo moved to is selected alone.
  const int id = order[static_cast<std::size_t>(target)];
  UnselectAllButOne(id);
  Select(id, true);
  SetCurrentPhoto(id, true);
  m_lastSelected = target;
  if (Callback()) Callback()->SelectionChanged();
  return true;
}

void CSelectGallery::KeyboardMenu() {
  // As a right click on the current photo (the first when none is): it is
  // selected alone unless it is selected already, and the host is told of
  // the right button at its picture, where its menu opens.
  const std::vector<int>& order = m_photoOrder->Ids();
  int id = CurrentPhoto();
  if (!id && !order.empty()) id = order.front();
  QPoint at(8, 8);
  if (id) {
    if (!IsSelected(id)) {
      SelectNone();
      Select(id, true);
    }
    SetCurrentPhoto(id, true);
    if (auto* w = GetThumbnailPtr(id)) at = w->mapTo(viewport(), CSelectThumbnail::ImageArea().center());
  }
  CGalleryCallback* host = Callback();
  if (!host) return;
  host->MouseDown(2, 0, at.x(), at.y());
  host->SelectionChanged();
  host->MouseUp(2, 0, at.x(), at.y());
}

void CSelectGallery::contextMenuEvent(QContextMenuEvent* event) {
  // The menu key as the platform delivers it; the pointer's menus are the
  // thumbnails' and the host's.
  if (event->reason() == QContextMenuEvent::Keyboard) {
    event->accept();
    KeyboardMenu();
    return;
  }
  QScrollArea::contextMenuEvent(event);
}

void CSelectGallery::focusInEvent(QFocusEvent* event) {
  QScrollArea::focusInEvent(event);
  if (auto* w = GetThumbnailPtr(m_current)) w->update();
}

void CSelectGallery::focusOutEvent(QFocusEvent* event) {
  QScrollArea::focusOutEvent(event);
  if (auto* w = GetThumbnailPtr(m_current)) w->update();
}

void CSelectGallery::keyPressEvent(QKeyEvent* event) {
  // The arrows, Home, End and Space choose and select photos; the menu key
  // and Shift+F10 open the menu of the current one.
  if (MoveByKey(event)) {
    event->accept();
    return;
  }
  if (event->matches(QKeySequence::Paste)) {
    Paste();
    return;
  }
  if (event->matches(QKeySequence::Copy)) {
    CopySelected(false);
    return;
  }
  if (event->matches(QKeySequence::Cut)) {
    CopySelected(true);
    return;
  }
  if (event->key() == Qt::Key_F4 && (event->modifiers() & Qt::AltModifier)) {
    Broadcast("SelectGalleryExit", nullptr);
    return;
  }
  if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) Broadcast("SelectGalleryReturn", nullptr);
  QScrollArea::keyPressEvent(event);
}

void CSelectGallery::keyReleaseEvent(QKeyEvent* event) {
  QScrollArea::keyReleaseEvent(event);
  if (Callback()) Callback()->KeyUp(event->key(), event->isAutoRepeat() ? 1 : 0, static_cast<int>(event->modifiers() >> 25));
}

void CSelectGallery::wheelEvent(QWheelEvent* event) { QScrollArea::wheelEvent(event); }

// ---- Broadcasts -------------------------------------------------------------------------------------------

void CSelectGallery::Receive(std::string channel, CParameter* param) {
  auto* intParam = dynamic_cast<CParamInt*>(param);
  if (channel == "SelectThumbnail" || channel == "SelectThumbnailOn") {
    // Obsolete messages are noted, not shown to the user.
    if (intParam && intParam->Value() != 0) qCInfo(lcGallery, "Received obselete broadcast message: %s", channel.c_str());
  } else if (channel == "SelectAll") {
    SelectAll();
  } else if (channel == "InvertSelection") {
    InvertSelection();
  } else if (channel == "SelectNone") {
    SelectNone();
  } else if (channel == "RemoveSelected") {
    RemoveSelected();
  } else if (channel == "MarkAllNotFromViewer") {
    MarkAllNotFromViewer();
  } else if (channel == "SelectAllFromViewer") {
    SelectAllFromViewer();
  } else if (channel == "UnselectAllButOne") {
    if (intParam && intParam->Value() != 0) UnselectAllButOne(intParam->Value());
  } else if (channel == "AddThumbnail") {
    if (param && isVisible() && !viewport()->rect().isEmpty())
      AddThumbnail(intParam ? intParam->Value() : param->PhotoId(), "");
  }
}

// ---- Drag and drop ----------------------------------------------------------------------------------------

void CSelectGallery::BeginDrag(CSelectThumbnail* from) {
  if (!from) return;
  const auto ids = SelectedInOrder();
  if (ids.empty()) return;
  CDropSource& source = from->DropSource();
  source.m_ids = ids;
  source.m_several = ids.size() > 1;
  if (Callback() && Callback()->HostHandlesDrag()) {
    Callback()->HostBeginDrag(&source);
    return;
  }
  if (!m_dragSite) return;
  QDrag drag(from);
  drag.setMimeData(DragData(ids, from->PhotoId()));
  drag.exec(Qt::CopyAction | Qt::MoveAction, Qt::CopyAction);
  HighlightDropArea(false, QPoint());
}

QMimeData* CSelectGallery::DragData(const std::vector<int>& ids, int fromId) const {
  auto* data = new QMimeData;
  data->setData(vexa::gallery::kGalleryFormat, vexa::gallery::EncodeGalleryFormat(m_token, ids));
  if (const CPhotoAttributes* a = m_photoList->Attributes(fromId)) {
    vexa::gallery::TPhotoAttributes t;
    t.id = a->Id();
    t.copies = a->m_copies;
    t.width = a->m_size1.width();
    t.height = a->m_size1.height();
    t.sourceType = a->m_sourceType;
    t.selected = a->m_selected;
    t.visible = a->m_visible;
    t.saved = a->IsSaved();
    t.filtered = a->m_filtered;
    t.downloaded = a->m_downloaded;
    vexa::gallery::PhotoAttr(data, t, this, true);
  }
  vexa::gallery::LocnList(data, this);
  std::vector<std::string> paths;
  for (int id : ids)
    if (auto* a = m_photoList->Attributes(id)) paths.push_back(a->m_fileName);
  vexa::gallery::SetFileList(data, paths);
  return data;
}

Qt::DropAction CSelectGallery::DropEffectFor(const QMimeData* data) const {
  if (!data) return Qt::IgnoreAction;
  std::uint64_t token = 0;
  if (data->hasFormat(vexa::gallery::kGalleryFormat)) {
    if (!vexa::gallery::DecodeGalleryFormat(data->data(vexa::gallery::kGalleryFormat), &token, nullptr))
      return Qt::IgnoreAction;
    if (token == m_token) return m_orderedDrop ? Qt::MoveAction : Qt::IgnoreAction;
    return m_dropSite ? Qt::CopyAction : Qt::IgnoreAction;
  }
  // Files from the desktop only when the host allows them.
  if (m_externalDragDrop && m_dropSite && data->hasUrls()) return Qt::CopyAction;
  return Qt::IgnoreAction;
}

bool CSelectGallery::DropData(const QMimeData* data, QPoint client) {
  HighlightDropArea(false, client);
  const Qt::DropAction effect = DropEffectFor(data);
  if (effect == Qt::IgnoreAction) return false;
  if (effect == Qt::MoveAction) {
    std::vector<int> ids;
    vexa::gallery::DecodeGalleryFormat(data->data(vexa::gallery::kGalleryFormat), nullptr, &ids);
    const int target = GetThumbnailAfterPoint(client);
    for (int id : ids)
      if (m_photoOrder->Find(id) && id != target) m_photoOrder->Move(id, target);
    CreateArrangement(m_showAll);
    if (Callback()) Callback()->ContentsChanged();
    return true;
  }
  std::vector<std::string> files = vexa::gallery::FileListOf(data);
  if (!data->hasFormat(vexa::gallery::kGalleryFormat)) {
    // Desktop files: only the supported kinds.
    const std::string filter = vexa::gallery::SupportedFileFilter();
    std::erase_if(files, [&](const std::string& f) { return !vexa::gallery::MatchesFilter(f, filter); });
  }
  if (files.empty()) return false;
  SelectNone();
  if (Callback()) Callback()->FilesDropped(files, GetThumbnailBeforePoint(client));
  return true;
}

void CSelectGallery::DocumentDrag(QEvent* event) {
  switch (event->type()) {
    case QEvent::DragEnter:
    case QEvent::DragMove: {
      auto* e = static_cast<QDragMoveEvent*>(event);
      const Qt::DropAction effect = DropEffectFor(e->mimeData());
      if (effect == Qt::IgnoreAction) {
        e->ignore();
        return;
      }
      const QPoint client = m_document->mapTo(viewport(), e->position().toPoint());
      if (e->mimeData()->hasFormat(vexa::gallery::kGalleryFormat) && m_orderedDrop) HighlightDropArea(true, client);
      e->setDropAction(effect);
      e->accept();
      break;
    }
    case QEvent::DragLeave:
      HighlightDropArea(false, QPoint());
      break;
    case QEvent::Drop: {
      auto* e = static_cast<QDropEvent*>(event);
      const QPoint client = m_document->mapTo(viewport(), e->position().toPoint());
      const Qt::DropAction effect = DropEffectFor(e->mimeData());
      DropData(e->mimeData(), client);
      // A drop is always reported as done.
      e->setDropAction(effect == Qt::IgnoreAction ? Qt::CopyAction : effect);
      e->accept();
      break;
    }
    default:
      break;
  }
}

void CSelectGallery::InitOutlineDrag(QPoint client) {
  std::vector<QRect> rects;
  for (int id : SelectedInOrder())
    if (auto* w = GetThumbnailPtr(id)) rects.push_back(w->geometry());
  m_outlineStart = ToDocument(client);
  m_outline = std::make_unique<CDragWnd>(m_document, m_document->rect(), std::move(rects));
  m_outline->show();
  m_outline->raise();
}

void CSelectGallery::DrawDragImage(QPoint client) {
  if (m_outline) m_outline->SetOffset(ToDocument(client) - m_outlineStart);
}

void CSelectGallery::EndOutlineDrag() { m_outline.reset(); }

void CSelectGallery::HighlightDropArea(bool show, QPoint client) {
  const QPoint d = ToDocument(client);
  if (!m_markerRect.isNull()) m_document->update(m_markerRect);
  if (!m_markerPrevious.isNull()) m_document->update(m_markerPrevious);
  if (!show) {
    m_marker.reset();
    m_markerRect = QRect();
    return;
  }
  const CButtonDescriptor cell = ButtonDescriptor(0);
  const int w = cell.m_width;
  int h = cell.m_height;
  if (!m_fileName && !m_readOnlyFileName) h -= 26;
  int r = m_orientation == 2 ? (d.y() + h / 2) / h : d.y() / h;
  int c = (d.x() + w / 2) / w;
  const int n = std::max(1, viewport()->width() / w);
  const int m = m_arrangement.Num();
  if (c + r * n > m) {
    r = m / n;
    c = m % n;
    if (c == 0) {
      c = n;
      if (m_orientation != 2) r -= 1;
    }
  }
  const CViewDescriptor v = ViewDescriptor(6);
  QRect rect;
  if (m_orientation == 2) rect = QRect(QPoint(w / 2 - v.m_h / 2, r * h - v.m_w / 2), QSize(v.m_h, v.m_w));
  else rect = QRect(QPoint(c * w - v.m_w / 2, r * h + v.m_offsetY), QSize(v.m_w, v.m_h));
  if (rect != m_markerRect) m_markerPrevious = m_markerRect;
  m_markerRect = rect;
  if (!m_marker) {
    m_marker = std::make_unique<CUserView>(m_document, rect, 6);
    if (m_orientation == 2) m_marker->rotate90();
  }
  m_marker->setGeometry(rect);
  m_marker->raise();
  m_marker->show();
  m_marker->update();
}

}  // namespace vexa::gallery
