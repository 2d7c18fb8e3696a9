#include "gallery/control/VEXAThumCtrl.h"

#include <QCollator>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <algorithm>
#include <filesystem>

#include "gallery/ExifDate.h"
#include "gallery/Thumbnails.h"
#include "platform/base/Path.h"
#include "platform/base/Text.h"

namespace vexa::gallery {

using namespace vexa::ui;

using vexa::com::Bstr;
using vexa::com::DispatchEntry;
using vexa::com::Variant;

namespace {

// ---- Arguments and results ---------------------------------------------------------------

// The argument at `index` in call order (arguments arrive reversed); a
// VARIANT passed by reference is followed.
VARIANT* Arg(DISPPARAMS* p, UINT index) {
  if (!p || index >= p->cArgs) return nullptr;
  VARIANT* v = &p->rgvarg[p->cArgs - 1 - index];
  if (v->vt == (VT_BYREF | VT_VARIANT) && v->pvarVal) v = v->pvarVal;
  return v;
}

bool ArgLong(DISPPARAMS* p, UINT index, LONG* out) {
  VARIANT* v = Arg(p, index);
  if (!v) return false;
  Variant c;
  if (FAILED(VariantChangeType(&c, v, 0, VT_I4))) return false;
  *out = c.lVal;
  return true;
}

bool ArgString(DISPPARAMS* p, UINT index, std::string* out) {
  VARIANT* v = Arg(p, index);
  if (!v) return false;
  Variant c;
  if (FAILED(VariantChangeType(&c, v, 0, VT_BSTR))) return false;
  *out = vexa::com::BstrToUtf8(c.bstrVal);
  return true;
}

void SetBool(VARIANT* r, bool b) {
  r->vt = VT_BOOL;
  r->boolVal = b ? VARIANT_TRUE : VARIANT_FALSE;
}
void SetLong(VARIANT* r, LONG v) {
  r->vt = VT_I4;
  r->lVal = v;
}
void SetString(VARIANT* r, const std::string& s) {
  r->vt = VT_BSTR;
  r->bstrVal = Bstr::FromUtf8(s).Detach();
}

// A list result: type word exactly VT_ARRAY.
void SetArray(VARIANT* r, const std::vector<std::string>& items) {
  vexa::com::SafeArray sa(VT_BSTR, static_cast<ULONG>(items.size()));
  for (LONG i = 0; i < static_cast<LONG>(items.size()); ++i) {
    Bstr b = Bstr::FromUtf8(items[static_cast<std::size_t>(i)]);
    SafeArrayPutElement(sa.Get(), &i, b.Get());
  }
  r->vt = VT_ARRAY;
  r->parray = sa.Detach();
}
void SetArray(VARIANT* r, const std::vector<int>& items) {
  vexa::com::SafeArray sa(VT_I4, static_cast<ULONG>(items.size()));
  for (LONG i = 0; i < static_cast<LONG>(items.size()); ++i) {
    LONG v = items[static_cast<std::size_t>(i)];
    SafeArrayPutElement(sa.Get(), &i, &v);
  }
  r->vt = VT_ARRAY;
  r->parray = sa.Detach();
}

// A list argument: refused unless its type word is exactly VT_ARRAY.
bool ReadList(const VARIANT* v, std::vector<std::string>* strings, std::vector<int>* ints) {
  if (!v || v->vt != VT_ARRAY || !v->parray || SafeArrayGetDim(v->parray) != 1) return false;
  LONG lo = 0, hi = -1;
  SafeArrayGetLBound(v->parray, 1, &lo);
  SafeArrayGetUBound(v->parray, 1, &hi);
  VARTYPE vt = VT_EMPTY;
  SafeArrayGetVartype(v->parray, &vt);
  for (LONG i = lo; i <= hi; ++i) {
    Variant element;
    if (vt == VT_VARIANT) {
      SafeArrayGetElement(v->parray, &i, &element);
    } else if (vt == VT_BSTR) {
      BSTR b = nullptr;
      SafeArrayGetElement(v->parray, &i, &b);
      element.vt = VT_BSTR;
      element.bstrVal = b;
    } else {
      LONG value = 0;
      if (vt == VT_I4 && SUCCEEDED(SafeArrayGetElement(v->parray, &i, &value))) {
        element.vt = VT_I4;
        element.lVal = value;
      } else {
        return false;
      }
    }
    if (strings) {
      if (FAILED(element.ChangeType(VT_BSTR))) return false;
      strings->push_back(vexa::com::BstrToUtf8(element.bstrVal));
    } else if (ints) {
      if (FAILED(element.ChangeType(VT_I4))) return false;
      ints->push_back(element.lVal);
    }
  }
  return true;
}

}  // namespace

// ---- The window -----------------------------------------------------------------------------------

CVEXAThumWindow::CVEXAThumWindow(CVEXAThumCtrl* control, QWidget* parent) : QWidget(parent), m_control(control) {
  setAttribute(Qt::WA_OpaquePaintEvent);
  (void)CThumbnailReadyEvent::EventType();
}

CVEXAThumWindow::~CVEXAThumWindow() {
  // The workers post to this window: they end before it goes.
  if (m_control) m_control->WindowGone();
}

void CVEXAThumWindow::EnsureGallery() {
  if (m_gallery) return;
  m_gallery = new CSelectGallery(this, rect(), m_control, 0);
  m_gallery->installEventFilter(this);
  if (m_control) m_control->OnGalleryCreated();
  // Shown once stored and set up, never from its constructor.
  if (m_gallery) m_gallery->show();
}

void CVEXAThumWindow::paintEvent(QPaintEvent*) {
  if (m_gallery) return;
  {
    QPainter p(this);
    p.fillRect(rect(), Qt::white);
  }
  // The gallery is made once this paint is over, never inside it: making it
  // adds the waiting pictures and tells the host, whose handlers may run an
  // event loop or resize the window while the window's surface is being
  // painted.
  if (m_galleryPosted) return;
  m_galleryPosted = true;
  QMetaObject::invokeMethod(this, [this] { EnsureGallery(); }, Qt::QueuedConnection);
}

void CVEXAThumWindow::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  if (m_gallery) m_gallery->setGeometry(rect());
}

bool CVEXAThumWindow::eventFilter(QObject* watched, QEvent* e) {
  if (watched == m_gallery && e->type() == QEvent::KeyPress && m_control) {
    auto* key = static_cast<QKeyEvent*>(e);
    m_control->KeyDown(key->key(), static_cast<int>(key->modifiers() >> 25));
    if (!key->text().isEmpty()) m_control->KeyPress(key->text().at(0).unicode());
  }
  return QWidget::eventFilter(watched, e);
}

bool CVEXAThumWindow::event(QEvent* e) {
  if (e->type() == CThumbnailReadyEvent::EventType()) {
    auto* ready = static_cast<CThumbnailReadyEvent*>(e);
    if (m_control) m_control->OnThumbnailReady(ready->PhotoId(), ready->CacheFile(), ready->ExifDate());
    return true;
  }
  return QWidget::event(e);
}

// ---- The control ---------------------------------------------------------------------------------------

CVEXAThumCtrl::CVEXAThumCtrl() = default;
CVEXAThumCtrl::~CVEXAThumCtrl() = default;

void CVEXAThumCtrl::FinalRelease() {
  StopWorkers();
  m_events.Clear();
  if (m_window) {
    m_window->Detach();
    delete m_window.data();
  }
}

void CVEXAThumCtrl::WindowGone() {
  StopWorkers();
  m_window = nullptr;
}

void CVEXAThumCtrl::StopWorkers() {
  for (auto& w : m_workers) w->Stop();
  // Destroying a worker waits for its thread.
  m_workers.clear();
}

HRESULT CVEXAThumCtrl::EnumConnectionPoints(void** enumerator) {
  if (enumerator) *enumerator = nullptr;
  return E_NOTIMPL;
}

HRESULT CVEXAThumCtrl::FindConnectionPoint(REFIID iid, IConnectionPoint** point) {
  if (!point) return E_POINTER;
  *point = nullptr;
  if (iid != IID__DVEXAThumEvents && iid != IID_IDispatch) return CONNECT_E_NOCONNECTION;
  return vexa::com::CreateConnectionPoint(this, &m_events, point);
}

HRESULT CVEXAThumCtrl::CreateControlWindow(void* parentWidget, LONG x, LONG y, LONG width, LONG height) {
  if (!m_window) m_window = new CVEXAThumWindow(this, static_cast<QWidget*>(parentWidget));
  m_window->setGeometry(x, y, std::max<LONG>(1, width), std::max<LONG>(1, height));
  return S_OK;
}

HRESULT CVEXAThumCtrl::GetControlWindow(void** widget) {
  if (!widget) return E_POINTER;
  *widget = m_window.data();
  return S_OK;
}

void CVEXAThumCtrl::ApplySwitches() {
  CSelectGallery* g = Gallery();
  if (!g) return;
  g->m_dragSite = Switch(m_isDragSite);
  g->m_dropSite = Switch(m_isDropSite);
  g->m_orderedDrop = Switch(m_enableOrderedDrop);
  g->m_externalDragDrop = Switch(m_enableExternalDragAndDrop);
  g->EnableRotateButtons(Switch(m_showRotateButtons));
  g->EnableCloseButton(Switch(m_showRemoveButton));
  g->EnableAdjustButton(Switch(m_showZoomButton));
}

void CVEXAThumCtrl::OnGalleryCreated() {
  CSelectGallery* g = Gallery();
  g->SetOrientation(m_orientation);
  ApplySwitches();
  g->EnableFileName(Switch(m_showCaptions));
  g->EnableReadOnlyFileName(Switch(m_showCaptions));
  g->ArrangePhotos();
  g->show();
  // Additions made before the gallery existed come now, in order.
  auto pending = std::move(m_pending);
  m_pending.clear();
  for (auto& p : pending) AddMultipleFiles(std::move(p.paths), std::move(p.rotations), p.index);
}

void CVEXAThumCtrl::FocusGallery() {
  if (CSelectGallery* g = Gallery()) g->setFocus();
}

void CVEXAThumCtrl::ClearGallery() {
  StopWorkers();
  CSelectGallery* g = Gallery();
  if (!g) {
    m_pending.clear();
    return;
  }
  for (int id : g->PhotoOrder()->Ids()) g->PhotoList()->DeletePhoto(id);
  g->PhotoOrder()->Clear();
  g->ClearThumbnails();
  g->ArrangePhotos();
}

void CVEXAThumCtrl::StartWorker(const std::vector<std::string>& paths, const std::vector<int>& rotations,
                                const std::vector<int>& ids) {
  // Workers that have finished are let go first.
  std::erase_if(m_workers, [](const std::unique_ptr<CThumbnailWorker>& w) { return w->Done(); });
  {
    std::lock_guard<std::mutex> lock(m_rotMutex);
    for (std::size_t i = 0; i < ids.size(); ++i)
      m_rotations[ids[i]] = CThumbnailCache::ReduceAngle(i < rotations.size() ? rotations[i] : 0);
  }
  std::vector<int> reduced;
  for (std::size_t i = 0; i < ids.size(); ++i)
    reduced.push_back(CThumbnailCache::ReduceAngle(i < rotations.size() ? rotations[i] : 0));
  m_workers.push_back(std::make_unique<CThumbnailWorker>(m_window.data(), paths, reduced, ids));
}

bool CVEXAThumCtrl::AddMultipleFiles(std::vector<std::string> paths, std::vector<int> rotations, int index) {
  CSelectGallery* g = Gallery();
  if (!g) {
    m_pending.push_back({std::move(paths), std::move(rotations), index});
    return true;
  }
  if (!m_cacheDir.empty()) CThumbnailCache::Instance().SetCacheDir(m_cacheDir);
  const std::vector<int> ids = g->AddThumbnailsAfter(index, paths);
  StartWorker(paths, rotations, ids);
  Fire(DISPID_VEXATHUMEV_ContentsChanged);
  return true;
}

void CVEXAThumCtrl::OnThumbnailReady(int id, const std::string& cacheFile, const std::string& exifDate) {
  CSelectGallery* g = Gallery();
  if (CPhotoAttributes* a = g && !exifDate.empty() ? g->PhotoList()->Attributes(id) : nullptr;
      a && !a->m_exifDateRead) {
    a->m_exifDate = exifDate;
    a->m_exifDateRead = true;
  }
  // A late notice for a photo that is gone, or that has its thumbnail, is dropped.
  if (!g || !g->PhotoOrder()->Find(id) || g->GetThumbnailBitmap(id)) return;
  std::unique_ptr<CDDB> bitmap;
  if (!cacheFile.empty()) {
    CDib dib;
    if (dib.ReadFile(cacheFile)) bitmap.reset(DibToDdb(&dib));
  }
  // A file that could not be converted shows the placeholder, and says why
  // when the pointer is over it.
  if (!bitmap) {
    bitmap.reset(LoadArtBitmap(202));
    if (const CPhotoAttributes* a = g->PhotoList()->Attributes(id)) {
      int angle = 0;
      {
        std::lock_guard<std::mutex> lock(m_rotMutex);
        if (auto found = m_rotations.find(id); found != m_rotations.end()) angle = found->second;
      }
      g->SetThumbnailProblem(id, CThumbnailCache::Instance().Problem(a->m_fileName, angle));
    }
  }
  if (bitmap) g->SetThumbnailBitmap(id, *bitmap);
}

long CVEXAThumCtrl::AddFile(const std::string& path, int index) {
  CSelectGallery* g = Gallery();
  if (!g) return 0;
  if (!m_cacheDir.empty()) CThumbnailCache::Instance().SetCacheDir(m_cacheDir);
  const int id = g->AddThumbnailAfter(index, path);
  {
    std::lock_guard<std::mutex> lock(m_rotMutex);
    m_rotations[id] = 0;
  }
  std::unique_ptr<CDDB> thumb(CThumbnailCache::Instance().ThumbnailBitmap(path, 0));
  if (thumb) g->SetThumbnailBitmap(id, *thumb);
  g->SetThumbnailProblem(id, CThumbnailCache::Instance().Problem(path, 0));
  Fire(DISPID_VEXATHUMEV_ContentsChanged);
  return id;
}

bool CVEXAThumCtrl::AddDirectoryFiltered(const std::string& dir, const std::string& filter) {
  std::error_code ec;
  if (dir.empty() || !std::filesystem::is_directory(dir, ec)) return false;
  ClearGallery();
  // The folder's files are listed by path; the working directory is left alone.
  std::vector<std::string> files;
  for (std::filesystem::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
    if (it->is_directory(ec)) continue;
    const std::string path = it->path().string();
    if (vexa::gallery::MatchesFilter(path, filter)) files.push_back(path);
  }
  if (files.empty()) return true;
  std::sort(files.begin(), files.end());
  const bool result = AddMultipleFiles(files, std::vector<int>(files.size(), 0), 0);
  Sort(0, true);
  return result;
}

bool CVEXAThumCtrl::RotateThumb(int id, int rotation) {
  int current = 0;
  {
    std::lock_guard<std::mutex> lock(m_rotMutex);
    auto found = m_rotations.find(id);
    if (found == m_rotations.end()) return false;
    current = found->second;
  }
  const int angle = CThumbnailCache::ReduceAngle(current + rotation);
  if (CSelectGallery* g = Gallery()) {
    if (auto* a = g->PhotoList()->Attributes(id)) {
      std::unique_ptr<CDDB> thumb(CThumbnailCache::Instance().ThumbnailBitmap(a->m_fileName, angle));
      if (thumb) g->SetThumbnailBitmap(id, *thumb);
      g->SetThumbnailProblem(id, CThumbnailCache::Instance().Problem(a->m_fileName, angle));
    }
  }
  {
    std::lock_guard<std::mutex> lock(m_rotMutex);
    m_rotations[id] = angle;
  }
  if (CSelectGallery* g = Gallery()) g->update();
  Fire(DISPID_VEXATHUMEV_ContentsChanged);
  return true;
}

bool CVEXAThumCtrl::Clear() {
  ClearGallery();
  Fire(DISPID_VEXATHUMEV_ContentsChanged);
  return true;
}

bool CVEXAThumCtrl::RemoveSelection() {
  CSelectGallery* g = Gallery();
  if (!g) return true;
  FocusGallery();
  g->RemoveSelected();
  const auto paths = AllFilePaths();
  const auto rotations = AllRotations();
  ClearGallery();
  return AddMultipleFiles(paths, rotations, -1);
}

int CVEXAThumCtrl::BeforeToAfter(int beforeId) const {
  CSelectGallery* g = Gallery();
  const std::vector<int> ids = g ? g->PhotoOrder()->Ids() : std::vector<int>{};
  if (ids.empty()) return 0;
  if (beforeId == 0) return -1;
  if (beforeId == ids.front()) return 0;
  auto at = std::find(ids.begin(), ids.end(), beforeId);
  if (at == ids.end()) return -1;
  return *(at - 1);
}

bool CVEXAThumCtrl::MoveSelectionTo(int index) {
  CSelectGallery* g = Gallery();
  if (!g) return false;
  const std::vector<int> order = g->PhotoOrder()->Ids();
  std::size_t from = 0;
  if (index == -1) {
    from = order.size();
  } else if (index != 0) {
    auto at = std::find(order.begin(), order.end(), index);
    if (at == order.end()) return false;
    from = static_cast<std::size_t>(at - order.begin()) + 1;
  }
  // The first unselected photo at or after the position; the end when none.
  int target = -1;
  for (std::size_t i = from; i < order.size(); ++i)
    if (!g->IsSelected(order[i])) {
      target = order[i];
      break;
    }
  for (int id : g->SelectedInOrder()) g->PhotoOrder()->Move(id, target);
  g->CreateArrangement(true);
  Fire(DISPID_VEXATHUMEV_ContentsChanged);
  return true;
}

bool CVEXAThumCtrl::MoveSelection(int direction) {
  CSelectGallery* g = Gallery();
  if (!g) return false;
  const auto selected = g->SelectedInOrder();
  if (selected.empty()) return false;
  const auto& order = g->PhotoOrder()->Ids();
  if (direction == 0) {
    const int last = selected.back();
    const int at = g->OrdinalOfID(last);
    return MoveSelectionTo(at + 1 >= static_cast<int>(order.size()) ? -1 : order[static_cast<std::size_t>(at + 1)]);
  }
  if (direction == 1) {
    const int at = g->OrdinalOfID(selected.front());
    if (at >= 2) return MoveSelectionTo(order[static_cast<std::size_t>(at - 2)]);
    return MoveSelectionTo(0);
  }
  return false;
}

bool CVEXAThumCtrl::Sort(int key, bool ascending) {
  QCollator collator;
  collator.setCaseSensitivity(Qt::CaseInsensitive);
  auto nameLess = [&](const std::string& a, const std::string& b) {
    return collator.compare(QString::fromStdString(vexa::base::BaseName(a)),
                            QString::fromStdString(vexa::base::BaseName(b))) < 0;
  };
  CSelectGallery* g = Gallery();
  if (!g) {
    // Before the gallery exists only the name sorts work, on the pending
    // photos; their rotations go with them.
    if (key != 0 || m_pending.empty()) return false;
    for (Pending& p : m_pending) {
      std::vector<std::size_t> idx(p.paths.size());
      for (std::size_t i = 0; i < idx.size(); ++i) idx[i] = i;
      std::stable_sort(idx.begin(), idx.end(), [&](std::size_t a, std::size_t b) {
        return ascending ? nameLess(p.paths[a], p.paths[b]) : nameLess(p.paths[b], p.paths[a]);
      });
      std::vector<std::string> paths;
      std::vector<int> rotations;
      for (std::size_t i : idx) {
        paths.push_back(p.paths[i]);
        rotations.push_back(i < p.rotations.size() ? p.rotations[i] : 0);
      }
      p.paths = std::move(paths);
      p.rotations = std::move(rotations);
    }
    return true;
  }
  CPhotoList* list = g->PhotoList();
  if (key == 4) {
    // The dates the workers have not brought yet are read now; only regular
    // files are opened, and never so that it waits.
    for (int id : g->PhotoOrder()->Ids()) {
      CPhotoAttributes* a = list->Attributes(id);
      if (!a || a->m_exifDateRead) continue;
      a->m_exifDate = ReadExifDateTime(a->m_fileName);
      a->m_exifDateRead = true;
    }
  }
  auto less = [&](int a, int b) {
    const CPhotoAttributes* x = list->Attributes(a);
    const CPhotoAttributes* y = list->Attributes(b);
    if (!x || !y) return false;
    switch (key) {
      case 0: return nameLess(x->m_fileName, y->m_fileName);
      case 1: return x->m_lastWrite < y->m_lastWrite;
      case 2: return x->m_fileSize < y->m_fileSize;
      case 3: return x->m_extension < y->m_extension;
      default: return x->m_exifDate < y->m_exifDate;
    }
  };
  auto& ids = g->PhotoOrder()->MutableIds();
  // Ascending is ascending for every key; equal keys keep their order.
  std::stable_sort(ids.begin(), ids.end(), [&](int a, int b) { return ascending ? less(a, b) : less(b, a); });
  g->CreateArrangement(true);
  Fire(DISPID_VEXATHUMEV_ContentsChanged);
  return true;
}

std::string CVEXAThumCtrl::ThumbFilePath(int id) const {
  {
    std::lock_guard<std::mutex> lock(m_rotMutex);
    if (!m_rotations.count(id)) return "";
  }
  CSelectGallery* g = Gallery();
  const CPhotoAttributes* a = g ? g->PhotoList()->Attributes(id) : nullptr;
  return a ? a->m_fileName : "";
}

int CVEXAThumCtrl::ThumbRotation(int id) const {
  std::lock_guard<std::mutex> lock(m_rotMutex);
  auto found = m_rotations.find(id);
  return found == m_rotations.end() ? 0 : found->second;
}

std::vector<std::string> CVEXAThumCtrl::AllFilePaths() const {
  std::vector<std::string> paths;
  CSelectGallery* g = Gallery();
  if (!g) {
    for (const Pending& p : m_pending) paths.insert(paths.end(), p.paths.begin(), p.paths.end());
    return paths;
  }
  for (int id : g->PhotoOrder()->Ids()) paths.push_back(ThumbFilePath(id));
  return paths;
}

std::vector<int> CVEXAThumCtrl::AllRotations() const {
  std::vector<int> rotations;
  CSelectGallery* g = Gallery();
  if (!g) {
    for (const Pending& p : m_pending)
      for (std::size_t i = 0; i < p.paths.size(); ++i)
        rotations.push_back(CThumbnailCache::ReduceAngle(i < p.rotations.size() ? p.rotations[i] : 0));
    return rotations;
  }
  for (int id : g->PhotoOrder()->Ids()) rotations.push_back(ThumbRotation(id));
  return rotations;
}

std::vector<int> CVEXAThumCtrl::AllIndices() const {
  CSelectGallery* g = Gallery();
  return g ? g->PhotoOrder()->Ids() : std::vector<int>{};
}

std::vector<int> CVEXAThumCtrl::Selection() const {
  CSelectGallery* g = Gallery();
  return g ? g->SelectedInOrder() : std::vector<int>{};
}

int CVEXAThumCtrl::FirstSelected() const {
  CSelectGallery* g = Gallery();
  if (!g) return -1;
  const auto s = g->SelectedInOrder();
  return s.empty() ? 0 : s.front();
}

int CVEXAThumCtrl::LastSelected() const {
  CSelectGallery* g = Gallery();
  if (!g) return -1;
  const auto s = g->SelectedInOrder();
  return s.empty() ? 0 : s.back();
}

// ---- Callbacks to events ------------------------------------------------------------------------------

void CVEXAThumCtrl::CloseButtonClicked(int id) {
  FocusGallery();
  Fire(DISPID_VEXATHUMEV_CloseButtonClicked, {Variant::I4(id)});
}
void CVEXAThumCtrl::ClockwiseButtonClicked(int id) {
  FocusGallery();
  Fire(DISPID_VEXATHUMEV_ClockwiseButtonClicked, {Variant::I4(id)});
  RotateThumb(id, 90);
}
void CVEXAThumCtrl::CounterClockwiseButtonClicked(int id) {
  FocusGallery();
  Fire(DISPID_VEXATHUMEV_CounterClockwiseButtonClicked, {Variant::I4(id)});
  RotateThumb(id, -90);
}
void CVEXAThumCtrl::PhotoSelected() { Fire(DISPID_VEXATHUMEV_SelectionChanged); }
void CVEXAThumCtrl::ZoomButtonClicked(int id) {
  FocusGallery();
  Fire(DISPID_VEXATHUMEV_ZoomButtonClicked, {Variant::I4(id)});
}
void CVEXAThumCtrl::FilesDropped(const std::vector<std::string>& paths, int afterId) {
  AddMultipleFiles(paths, std::vector<int>(paths.size(), 0), afterId);
  FocusGallery();
}
void CVEXAThumCtrl::ContentsChanged() { Fire(DISPID_VEXATHUMEV_ContentsChanged); }
void CVEXAThumCtrl::DoubleClick(int id) { Fire(DISPID_VEXATHUMEV_DoubleClick, {Variant::I4(id)}); }
void CVEXAThumCtrl::MouseUp(int button, int shift, int x, int y) {
  Fire(DISPID_VEXATHUMEV_MouseUp, {Variant::I2(SHORT(button)), Variant::I2(SHORT(shift)), Variant::I4(x), Variant::I4(y)});
}
void CVEXAThumCtrl::MouseDown(int button, int shift, int x, int y) {
  FocusGallery();
  Fire(DISPID_VEXATHUMEV_MouseDown, {Variant::I2(SHORT(button)), Variant::I2(SHORT(shift)), Variant::I4(x), Variant::I4(y)});
}
void CVEXAThumCtrl::KeyUp(int key, int, int flags) {
  Fire(DISPID_VEXATHUMEV_KeyUp, {Variant::I2(SHORT(key)), Variant::I2(SHORT(flags))});
}
void CVEXAThumCtrl::SelectionChanged() { Fire(DISPID_VEXATHUMEV_SelectionChanged); }
void CVEXAThumCtrl::KeyDown(int key, int shift) {
  Fire(DISPID_VEXATHUMEV_KeyDown, {Variant::I2(SHORT(key)), Variant::I2(SHORT(shift))});
}
void CVEXAThumCtrl::KeyPress(int character) { Fire(DISPID_VEXATHUMEV_KeyPress, {Variant::I2(SHORT(character))}); }

// ---- The dispatch table -----------------------------------------------------------------------------------

namespace {

using Self = CVEXAThumCtrl;
using Entry = DispatchEntry<Self>;

#define VEXA_BOOL_PROPERTY(dispid, name, member, apply)                                       \
  Entry{dispid, u"" #name,                                                                   \
        [](Self* s, VARIANT* r) -> HRESULT {                                                 \
          SetBool(r, s->member != 0);                                                        \
          return S_OK;                                                                       \
        },                                                                                   \
        [](Self* s, VARIANT* v) -> HRESULT {                                                 \
          Variant c;                                                                         \
          if (FAILED(VariantChangeType(&c, v, 0, VT_BOOL))) return DISP_E_TYPEMISMATCH;     \
          s->member = c.boolVal ? 1 : 0;                                                     \
          s->m_modified = true;                                                              \
          apply;                                                                             \
          return S_OK;                                                                       \
        }}

#define VEXA_METHOD(dispid, name, ...) \
  Entry{dispid, u"" #name, nullptr, nullptr, nullptr, [](Self* s, DISPPARAMS* p, VARIANT* r) -> HRESULT __VA_ARGS__}

const Entry kTable[] = {
    Entry{1, u"CacheDir",
          [](Self* s, VARIANT* r) -> HRESULT {
            SetString(r, s->m_cacheDir);
            return S_OK;
          },
          [](Self* s, VARIANT* v) -> HRESULT {
            Variant c;
            if (FAILED(VariantChangeType(&c, v, 0, VT_BSTR))) return DISP_E_TYPEMISMATCH;
            s->m_cacheDir = vexa::com::BstrToUtf8(c.bstrVal);
            CThumbnailCache::Instance().SetCacheDir(s->m_cacheDir);
            s->m_modified = true;
            return S_OK;
          }},
    VEXA_BOOL_PROPERTY(2, ShowRotateButtons, m_showRotateButtons, s->ApplySwitches()),
    VEXA_BOOL_PROPERTY(3, ShowZoomButton, m_showZoomButton, s->ApplySwitches()),
    VEXA_BOOL_PROPERTY(4, ShowRemoveButton, m_showRemoveButton, s->ApplySwitches()),
    VEXA_BOOL_PROPERTY(5, ShowCaptions, m_showCaptions, if (auto* g = s->Gallery()) {
      g->EnableFileName(s->Switch(s->m_showCaptions));
      g->EnableReadOnlyFileName(s->Switch(s->m_showCaptions));
      g->CreatePhotoWindows(true);
    }),
    VEXA_BOOL_PROPERTY(6, NumberCaptions, m_numberCaptions, (void)0),
    VEXA_BOOL_PROPERTY(7, CaptionsEditable, m_captionsEditable, (void)0),
    VEXA_BOOL_PROPERTY(8, ShowMouseOvers, m_showMouseOvers, (void)0),
    VEXA_BOOL_PROPERTY(9, ShowToolTips, m_showToolTips, (void)0),
    VEXA_BOOL_PROPERTY(10, IsDragSite, m_isDragSite, s->ApplySwitches()),
    VEXA_BOOL_PROPERTY(11, IsDropSite, m_isDropSite, s->ApplySwitches()),
    VEXA_BOOL_PROPERTY(12, EnableOrderedDrop, m_enableOrderedDrop, s->ApplySwitches()),
    VEXA_BOOL_PROPERTY(13, EnableExternalDragAndDrop, m_enableExternalDragAndDrop, s->ApplySwitches()),
    VEXA_BOOL_PROPERTY(14, EnableMultipleSelect, m_enableMultipleSelect, (void)0),
    Entry{15, u"Orientation",
          [](Self* s, VARIANT* r) -> HRESULT {
            r->vt = VT_I2;
            r->iVal = s->m_orientation;
            return S_OK;
          },
          [](Self* s, VARIANT* v) -> HRESULT {
            Variant c;
            if (FAILED(VariantChangeType(&c, v, 0, VT_I2))) return DISP_E_TYPEMISMATCH;
            s->m_orientation = c.iVal;
            s->m_modified = true;
            if (auto* g = s->Gallery()) {
              g->SetOrientation(s->m_orientation);
              g->ArrangePhotos();
            }
            return S_OK;
          }},
    VEXA_METHOD(16, AddFile, {
      std::string path;
      LONG index = 0;
      if (!ArgString(p, 0, &path) || !ArgLong(p, 1, &index)) return DISP_E_BADPARAMCOUNT;
      SetLong(r, s->AddFile(path, index));
      return S_OK;
    }),
    VEXA_METHOD(17, AddDirectory, {
      std::string dir;
      if (!ArgString(p, 0, &dir)) return DISP_E_BADPARAMCOUNT;
      SetBool(r, s->AddDirectoryFiltered(dir, "*.bmp;*.jpg;*.jpeg;*.tif;*.tiff"));
      return S_OK;
    }),
    VEXA_METHOD(18, AddDirectoryFiltered, {
      std::string dir, filter;
      if (!ArgString(p, 0, &dir) || !ArgString(p, 1, &filter)) return DISP_E_BADPARAMCOUNT;
      SetBool(r, s->AddDirectoryFiltered(dir, filter));
      return S_OK;
    }),
    VEXA_METHOD(19, AddMultipleFiles, {
      std::vector<std::string> paths;
      std::vector<int> rotations;
      LONG index = 0;
      if (!Arg(p, 2) || !ArgLong(p, 2, &index)) return DISP_E_BADPARAMCOUNT;
      if (!ReadList(Arg(p, 0), &paths, nullptr) || !ReadList(Arg(p, 1), nullptr, &rotations)) {
        SetBool(r, false);
        return S_OK;
      }
      SetBool(r, s->AddMultipleFiles(std::move(paths), std::move(rotations), index));
      return S_OK;
    }),
    VEXA_METHOD(20, GetThumbFilePath, {
      LONG id = 0;
      if (!ArgLong(p, 0, &id)) return DISP_E_BADPARAMCOUNT;
      SetString(r, s->ThumbFilePath(id));
      return S_OK;
    }),
    VEXA_METHOD(21, GetThumbRotation, {
      LONG id = 0;
      if (!ArgLong(p, 0, &id)) return DISP_E_BADPARAMCOUNT;
      SetLong(r, s->ThumbRotation(id));
      return S_OK;
    }),
    VEXA_METHOD(22, GetAllFilePaths, {
      (void)p;
      if (!s->Gallery() && s->AllFilePaths().empty()) r->vt = VT_NULL;
      else SetArray(r, s->AllFilePaths());
      return S_OK;
    }),
    VEXA_METHOD(23, GetAllRotations, {
      (void)p;
      if (!s->Gallery() && s->AllRotations().empty()) r->vt = VT_NULL;
      else SetArray(r, s->AllRotations());
      return S_OK;
    }),
    VEXA_METHOD(24, GetAllIndices, {
      (void)p;
      if (!s->Gallery()) r->vt = VT_NULL;
      else SetArray(r, s->AllIndices());
      return S_OK;
    }),
    VEXA_METHOD(25, GetThumbCaption, {
      LONG id = 0;
      if (!ArgLong(p, 0, &id)) return DISP_E_BADPARAMCOUNT;
      SetString(r, s->Gallery() ? s->Gallery()->GetThumbnailCaption(id) : "");
      return S_OK;
    }),
    VEXA_METHOD(26, SetThumbCaption, {
      LONG id = 0;
      std::string caption;
      if (!ArgLong(p, 0, &id) || !ArgString(p, 1, &caption)) return DISP_E_BADPARAMCOUNT;
      if (auto* g = s->Gallery()) g->SetThumbnailCaption(id, caption);
      SetBool(r, true);
      return S_OK;
    }),
    VEXA_METHOD(27, GetThumbCount, {
      (void)p;
      SetLong(r, static_cast<LONG>(s->Gallery() ? s->Gallery()->PhotoOrder()->Count() : s->AllFilePaths().size()));
      return S_OK;
    }),
    VEXA_METHOD(28, Clear, {
      (void)p;
      SetBool(r, s->Clear());
      return S_OK;
    }),
    VEXA_METHOD(29, RemoveSelection, {
      (void)p;
      SetBool(r, s->RemoveSelection());
      return S_OK;
    }),
    VEXA_METHOD(30, RemoveThumb, {
      LONG id = 0;
      if (!ArgLong(p, 0, &id)) return DISP_E_BADPARAMCOUNT;
      if (auto* g = s->Gallery()) g->DeleteThumbnail(id);
      s->ContentsChanged();
      SetBool(r, true);
      return S_OK;
    }),
    VEXA_METHOD(31, NewThumb, {
      (void)p;
      s->ContentsChanged();
      SetLong(r, 0);
      return S_OK;
    }),
    VEXA_METHOD(32, SetThumbImage, {
      (void)s;
      (void)p;
      SetBool(r, true);
      return S_OK;
    }),
    VEXA_METHOD(33, SetThumbMetadata, {
      (void)s;
      (void)p;
      SetBool(r, true);
      return S_OK;
    }),
    VEXA_METHOD(34, GetThumbMetadata, {
      (void)s;
      (void)p;
      r->vt = VT_EMPTY;
      return S_OK;
    }),
    VEXA_METHOD(35, GetAllMetadata, {
      (void)s;
      (void)p;
      r->vt = VT_EMPTY;
      return S_OK;
    }),
    VEXA_METHOD(36, GetSelection, {
      (void)p;
      if (!s->Gallery()) r->vt = VT_NULL;
      else SetArray(r, s->Selection());
      return S_OK;
    }),
    VEXA_METHOD(37, GetSelectionFilePaths, {
      (void)p;
      std::vector<std::string> paths;
      for (int id : s->Selection()) paths.push_back(s->ThumbFilePath(id));
      SetArray(r, paths);
      return S_OK;
    }),
    VEXA_METHOD(38, GetSelectionRotations, {
      (void)p;
      if (!s->Gallery()) {
        r->vt = VT_NULL;
        return S_OK;
      }
      std::vector<int> rotations;
      for (int id : s->Selection()) rotations.push_back(s->ThumbRotation(id));
      SetArray(r, rotations);
      return S_OK;
    }),
    VEXA_METHOD(39, GetSelectionCount, {
      (void)p;
      SetLong(r, static_cast<LONG>(s->Selection().size()));
      return S_OK;
    }),
    VEXA_METHOD(40, IsSingleSelection, {
      (void)p;
      SetBool(r, s->Selection().size() == 1);
      return S_OK;
    }),
    VEXA_METHOD(41, SelectAll, {
      (void)p;
      SetBool(r, s->Gallery() ? s->Gallery()->SelectAll() : false);
      return S_OK;
    }),
    VEXA_METHOD(42, MoveSelection, {
      LONG direction = 0;
      if (!ArgLong(p, 0, &direction)) return DISP_E_BADPARAMCOUNT;
      SetBool(r, s->MoveSelection(direction));
      return S_OK;
    }),
    VEXA_METHOD(43, MoveSelectionTo, {
      LONG index = 0;
      if (!ArgLong(p, 0, &index)) return DISP_E_BADPARAMCOUNT;
      SetBool(r, s->MoveSelectionTo(index));
      return S_OK;
    }),
    VEXA_METHOD(44, GetFirstSelected, {
      (void)p;
      SetLong(r, s->FirstSelected());
      return S_OK;
    }),
    VEXA_METHOD(45, GetLastSelected, {
      (void)p;
      SetLong(r, s->LastSelected());
      return S_OK;
    }),
    VEXA_METHOD(46, SortByNameForward, { (void)p; SetBool(r, s->Sort(0, true)); return S_OK; }),
    VEXA_METHOD(47, SortByNameReverse, { (void)p; SetBool(r, s->Sort(0, false)); return S_OK; }),
    VEXA_METHOD(48, SortByTimestampForward, { (void)p; SetBool(r, s->Sort(1, true)); return S_OK; }),
    VEXA_METHOD(49, SortByTimestampReverse, { (void)p; SetBool(r, s->Sort(1, false)); return S_OK; }),
    VEXA_METHOD(50, SortByFileSizeForward, { (void)p; SetBool(r, s->Sort(2, true)); return S_OK; }),
    VEXA_METHOD(51, SortByFileSizeReverse, { (void)p; SetBool(r, s->Sort(2, false)); return S_OK; }),
    VEXA_METHOD(52, SortByFileTypeForward, { (void)p; SetBool(r, s->Sort(3, true)); return S_OK; }),
    VEXA_METHOD(53, SortByFileTypeReverse, { (void)p; SetBool(r, s->Sort(3, false)); return S_OK; }),
    VEXA_METHOD(54, SortByExifDateForward, { (void)p; SetBool(r, s->Sort(4, true)); return S_OK; }),
    VEXA_METHOD(55, SortByExifDateReverse, { (void)p; SetBool(r, s->Sort(4, false)); return S_OK; }),
    VEXA_METHOD(56, CanSortByExifDate, {
      (void)s;
      (void)p;
      SetBool(r, true);
      return S_OK;
    }),
    VEXA_METHOD(57, BeforeToAfter, {
      LONG id = 0;
      if (!ArgLong(p, 0, &id)) return DISP_E_BADPARAMCOUNT;
      SetLong(r, s->BeforeToAfter(id));
      return S_OK;
    }),
    VEXA_METHOD(58, RotateThumb, {
      LONG id = 0, rotation = 0;
      if (!ArgLong(p, 0, &id) || !ArgLong(p, 1, &rotation)) return DISP_E_BADPARAMCOUNT;
      SetBool(r, s->RotateThumb(id, rotation));
      return S_OK;
    }),
    VEXA_METHOD(59, RotateThumbs, {
      std::vector<int> ids;
      LONG rotation = 0;
      if (!ArgLong(p, 1, &rotation)) return DISP_E_BADPARAMCOUNT;
      if (!ReadList(Arg(p, 0), nullptr, &ids)) {
        SetBool(r, false);
        return S_OK;
      }
      if (!s->Gallery()) {
        SetBool(r, true);
        return S_OK;
      }
      bool ok = true;
      for (int id : ids)
        if (!s->RotateThumb(id, rotation)) {
          ok = false;
          break;
        }
      SetBool(r, ok);
      return S_OK;
    }),
};

#undef VEXA_BOOL_PROPERTY
#undef VEXA_METHOD

}  // namespace

std::span<const DispatchEntry<CVEXAThumCtrl>> CVEXAThumCtrl::DispatchTable() { return kTable; }

HRESULT CreateVEXAThumCtrl(REFIID iid, void** ppv) {
  return vexa::com::ComObject<CVEXAThumCtrl>::CreateInstance(iid, ppv);
}

}  // namespace vexa::gallery
