#include "wizard/ui/ThumbHost.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QResizeEvent>
#include <QVBoxLayout>

#include "wizard/common/WizUtil.h"

namespace vexa::wiz {

using vexa::com::Bstr;
using vexa::com::ComObject;
using vexa::com::ComPtr;
using vexa::com::Variant;

// ---- Lists -----------------------------------------------------------------------------------

Variant MakePathList(const std::vector<std::string>& paths) {
  vexa::com::SafeArray sa(VT_BSTR, static_cast<ULONG>(paths.size()));
  for (LONG i = 0; i < static_cast<LONG>(paths.size()); ++i)
    SafeArrayPutElement(sa.Get(), &i, Bstr::FromUtf8(paths[static_cast<std::size_t>(i)]).Get());
  Variant v;
  v.vt = VT_ARRAY;
  v.parray = sa.Detach();
  return v;
}

Variant MakeLongList(const std::vector<LONG>& values) {
  vexa::com::SafeArray sa(VT_I4, static_cast<ULONG>(values.size()));
  for (LONG i = 0; i < static_cast<LONG>(values.size()); ++i) SafeArrayPutElement(sa.Get(), &i, &values[static_cast<std::size_t>(i)]);
  Variant v;
  v.vt = VT_ARRAY;
  v.parray = sa.Detach();
  return v;
}

std::vector<std::string> ReadPathList(const VARIANT& list) {
  std::vector<std::string> out;
  if (!(list.vt & VT_ARRAY) || !list.parray) return out;
  LONG lo = 0, hi = -1;
  SafeArrayGetLBound(list.parray, 1, &lo);
  SafeArrayGetUBound(list.parray, 1, &hi);
  for (LONG i = lo; i <= hi; ++i) {
    BSTR b = nullptr;
    if (SUCCEEDED(SafeArrayGetElement(list.parray, &i, &b))) out.push_back(Bstr::Attach(b).Utf8());
  }
  return out;
}

std::vector<LONG> ReadLongList(const VARIANT& list) {
  std::vector<LONG> out;
  if (!(list.vt & VT_ARRAY) || !list.parray) return out;
  LONG lo = 0, hi = -1;
  SafeArrayGetLBound(list.parray, 1, &lo);
  SafeArrayGetUBound(list.parray, 1, &hi);
  for (LONG i = lo; i <= hi; ++i) {
    LONG x = 0;
    if (SUCCEEDED(SafeArrayGetElement(list.parray, &i, &x))) out.push_back(x);
  }
  return out;
}

// ---- The event sink ------------------------------------------------------------------------

class CVEXAThum::Sink : public vexa::com::ComObjectRoot, public IDispatch {
 public:
  using Interfaces = vexa::com::InterfaceMap<IDispatch>;
  void Bind(CVEXAThum* host) { m_host = host; }
  HRESULT GetTypeInfoCount(UINT* n) override {
    *n = 0;
    return S_OK;
  }
  HRESULT GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  HRESULT Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* p, VARIANT*, EXCEPINFO*, UINT*) override {
    if (m_host) m_host->OnEvent(id, p);
    return S_OK;
  }

 private:
  CVEXAThum* m_host = nullptr;
};

namespace {
LONG ArgLong(DISPPARAMS* p, UINT i) {
  if (!p || i >= p->cArgs) return 0;
  Variant v;
  if (FAILED(VariantChangeType(&v, &p->rgvarg[p->cArgs - 1 - i], 0, VT_I4))) return 0;
  return v.lVal;
}
}  // namespace

void CVEXAThum::OnEvent(DISPID id, DISPPARAMS* p) {
  switch (id) {
    case DISPID_VEXATHUMEV_ContentsChanged: emit contentsChanged(); break;
    case DISPID_VEXATHUMEV_SelectionChanged: emit selectionChanged(); break;
    case DISPID_VEXATHUMEV_CloseButtonClicked: emit closeButtonClicked(ArgLong(p, 0)); break;
    case DISPID_VEXATHUMEV_ZoomButtonClicked: emit zoomButtonClicked(ArgLong(p, 0)); break;
    case DISPID_VEXATHUMEV_DoubleClick: emit doubleClick(ArgLong(p, 0)); break;
    case DISPID_VEXATHUMEV_MouseDown:
      emit mouseDown(ArgLong(p, 0), ArgLong(p, 1), ArgLong(p, 2), ArgLong(p, 3));
      break;
    case DISPID_VEXATHUMEV_MouseUp:
      emit mouseUp(ArgLong(p, 0), ArgLong(p, 1), ArgLong(p, 2), ArgLong(p, 3));
      break;
    default: break;
  }
}

// ---- The wrapper ------------------------------------------------------------------------------

CVEXAThum::CVEXAThum(const WizServices& wiz, QWidget* parent) : QWidget(parent), m_wiz(wiz) {
  setObjectName("CVEXAThum");
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
}

CVEXAThum::~CVEXAThum() {
  if (m_point && m_cookie) m_point->Unadvise(m_cookie);
  if (m_sink) static_cast<Sink*>(m_sink.Get())->Bind(nullptr);
}

bool CVEXAThum::Create() {
  if (m_dispatch) return true;
  if (FAILED(CoCreateInstance(CLSID_VEXAThumCtrl, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                              m_dispatch.PutVoid())) ||
      !m_dispatch) {
    m_wiz.LogError("CVEXAThum::Create - Cannot create the thumbnail control.", true);
    m_dispatch.Reset();
    return false;
  }
  ComObject<Sink>* sink = nullptr;
  if (SUCCEEDED(ComObject<Sink>::CreateInstance(&sink))) {
    sink->Bind(this);
    m_sink = ComPtr<IDispatch>::Attach(sink);
    ComPtr<IConnectionPointContainer> container;
    if (SUCCEEDED(m_dispatch->QueryInterface(container.Put())) &&
        SUCCEEDED(container->FindConnectionPoint(IID__DVEXAThumEvents, m_point.Put())))
      m_point->Advise(m_sink.Get(), &m_cookie);
  }
  ComPtr<IVexaControlWindow> window;
  if (SUCCEEDED(m_dispatch->QueryInterface(window.Put())) &&
      SUCCEEDED(window->CreateControlWindow(this, 0, 0, std::max(1, width()), std::max(1, height())))) {
    void* widget = nullptr;
    window->GetControlWindow(&widget);
    m_window = static_cast<QWidget*>(widget);
    if (m_window) {
      layout()->addWidget(m_window);
      setFocusProxy(m_window);
    }
  }
  return true;
}

void CVEXAThum::resizeEvent(QResizeEvent* event) { QWidget::resizeEvent(event); }

Variant CVEXAThum::Call(DISPID id, std::vector<Variant> args, WORD flags, bool* ok) {
  *ok = false;
  Variant result;
  if (!m_dispatch) return result;
  std::vector<VARIANT> reversed;
  for (auto it = args.rbegin(); it != args.rend(); ++it) reversed.push_back(*it);
  DISPID named = DISPID_PROPERTYPUT;
  DISPPARAMS params{reversed.empty() ? nullptr : reversed.data(), flags == DISPATCH_PROPERTYPUT ? &named : nullptr,
                    static_cast<UINT>(reversed.size()), flags == DISPATCH_PROPERTYPUT ? 1u : 0u};
  const HRESULT hr = m_dispatch->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params,
                                        flags == DISPATCH_PROPERTYPUT ? nullptr : &result, nullptr, nullptr);
  if (FAILED(hr)) {
    // A failed call is a logged failure value, never an exception in a handler.
    m_wiz.LogError(Format("CVEXAThum::Invoke - DISPID %d failed with %s.", static_cast<int>(id),
                                  HresultName(hr).c_str()),
                           false);
    return Variant();
  }
  *ok = true;
  return result;
}

bool CVEXAThum::CallBool(DISPID id, std::vector<Variant> args) {
  bool ok = false;
  Variant r = Call(id, std::move(args), DISPATCH_METHOD, &ok);
  if (!ok) return false;
  if (r.vt == VT_EMPTY) return true;
  return SUCCEEDED(r.ChangeType(VT_BOOL)) && r.boolVal != VARIANT_FALSE;
}

LONG CVEXAThum::CallLong(DISPID id, std::vector<Variant> args) {
  bool ok = false;
  Variant r = Call(id, std::move(args), DISPATCH_METHOD, &ok);
  if (!ok || FAILED(r.ChangeType(VT_I4))) return 0;
  return r.lVal;
}

void CVEXAThum::SetCacheDir(const std::string& dir) {
  bool ok = false;
  Call(DISPID_VEXATHUM_CacheDir, {Variant::Utf8(dir)}, DISPATCH_PROPERTYPUT, &ok);
}

bool CVEXAThum::GetShowCaptions() {
  bool ok = false;
  Variant r = Call(DISPID_VEXATHUM_ShowCaptions, {}, DISPATCH_PROPERTYGET, &ok);
  return ok && SUCCEEDED(r.ChangeType(VT_BOOL)) && r.boolVal != VARIANT_FALSE;
}

void CVEXAThum::SetShowCaptions(bool show) { SetBoolProperty(DISPID_VEXATHUM_ShowCaptions, show); }

void CVEXAThum::SetBoolProperty(DISPID id, bool value) {
  bool ok = false;
  Call(id, {Variant::Bool(value)}, DISPATCH_PROPERTYPUT, &ok);
}

bool CVEXAThum::AddDirectoryFiltered(const std::string& dir, const std::string& filter) {
  return CallBool(DISPID_VEXATHUM_AddDirectoryFiltered, {Variant::Utf8(dir), Variant::Utf8(filter)});
}

bool CVEXAThum::AddMultipleFiles(const VARIANT& paths, const VARIANT& rotations, LONG index) {
  return CallBool(DISPID_VEXATHUM_AddMultipleFiles, {Variant(paths), Variant(rotations), Variant::I4(index)});
}

std::string CVEXAThum::GetThumbFilePath(LONG id) {
  bool ok = false;
  Variant r = Call(DISPID_VEXATHUM_GetThumbFilePath, {Variant::I4(id)}, DISPATCH_METHOD, &ok);
  if (!ok || FAILED(r.ChangeType(VT_BSTR))) return std::string();
  return vexa::com::BstrToUtf8(r.bstrVal);
}

LONG CVEXAThum::GetThumbRotation(LONG id) { return CallLong(DISPID_VEXATHUM_GetThumbRotation, {Variant::I4(id)}); }

namespace {
Variant AsList(Variant v) {
  if (!(v.vt & VT_ARRAY)) return Variant();
  return v;
}
}  // namespace

Variant CVEXAThum::GetAllFilePaths() {
  bool ok = false;
  return AsList(Call(DISPID_VEXATHUM_GetAllFilePaths, {}, DISPATCH_METHOD, &ok));
}
Variant CVEXAThum::GetAllRotations() {
  bool ok = false;
  return AsList(Call(DISPID_VEXATHUM_GetAllRotations, {}, DISPATCH_METHOD, &ok));
}
LONG CVEXAThum::GetThumbCount() { return CallLong(DISPID_VEXATHUM_GetThumbCount); }
bool CVEXAThum::Clear() { return CallBool(DISPID_VEXATHUM_Clear); }
bool CVEXAThum::RemoveSelection() { return CallBool(DISPID_VEXATHUM_RemoveSelection); }
bool CVEXAThum::RemoveThumb(LONG id) { return CallBool(DISPID_VEXATHUM_RemoveThumb, {Variant::I4(id)}); }
Variant CVEXAThum::GetSelection() {
  bool ok = false;
  return AsList(Call(DISPID_VEXATHUM_GetSelection, {}, DISPATCH_METHOD, &ok));
}
Variant CVEXAThum::GetSelectionFilePaths() {
  bool ok = false;
  return AsList(Call(DISPID_VEXATHUM_GetSelectionFilePaths, {}, DISPATCH_METHOD, &ok));
}
Variant CVEXAThum::GetSelectionRotations() {
  bool ok = false;
  return AsList(Call(DISPID_VEXATHUM_GetSelectionRotations, {}, DISPATCH_METHOD, &ok));
}
LONG CVEXAThum::GetSelectionCount() { return CallLong(DISPID_VEXATHUM_GetSelectionCount); }
bool CVEXAThum::SelectAll() { return CallBool(DISPID_VEXATHUM_SelectAll); }
bool CVEXAThum::MoveSelection(SHORT direction) {
  return CallBool(DISPID_VEXATHUM_MoveSelection, {Variant::I2(direction)});
}
LONG CVEXAThum::GetFirstSelected() { return CallLong(DISPID_VEXATHUM_GetFirstSelected); }
LONG CVEXAThum::GetLastSelected() { return CallLong(DISPID_VEXATHUM_GetLastSelected); }
bool CVEXAThum::Sort(DISPID forward, bool ascending) { return CallBool(ascending ? forward : forward + 1); }
bool CVEXAThum::RotateThumbs(const VARIANT& ids, LONG rotation) {
  return CallBool(DISPID_VEXATHUM_RotateThumbs, {Variant(ids), Variant::I4(rotation)});
}

void CVEXAThum::UseHostMenuOnly() {
  if (m_hostMenuOnly || !qApp) return;
  m_hostMenuOnly = true;
  // The pictures' windows come and go: the application's events are watched.
  qApp->installEventFilter(this);
}

bool CVEXAThum::eventFilter(QObject* watched, QEvent* event) {
  if (m_hostMenuOnly && event->type() == QEvent::ContextMenu && m_window &&
      static_cast<QContextMenuEvent*>(event)->reason() == QContextMenuEvent::Mouse) {
    auto* widget = qobject_cast<QWidget*>(watched);
    // The right button's release that follows brings the host's menu.
    if (widget && (widget == m_window || m_window->isAncestorOf(widget))) return true;
  }
  return QWidget::eventFilter(watched, event);
}

// ---- CThumbUndo ---------------------------------------------------------------------------------

namespace {

// The control gives no list at all when it is empty: that content is an
// empty list, so adding the first pictures can be undone too.
Variant PathsOf(CVEXAThum* control) {
  Variant paths = control->GetAllFilePaths();
  return paths.vt & VT_ARRAY ? paths : MakePathList({});
}

Variant RotationsOf(CVEXAThum* control) {
  Variant rotations = control->GetAllRotations();
  return rotations.vt & VT_ARRAY ? rotations : MakeLongList({});
}

}  // namespace

void CThumbUndo::Attach(CVEXAThum* control) {
  m_control = control;
  if (!control) return;
  m_currentPaths = PathsOf(control);
  m_currentRotations = RotationsOf(control);
  m_previousPaths.Clear();
  m_previousRotations.Clear();
  Changed();
}

bool CThumbUndo::CanUndo() const {
  if (m_previousPaths.vt != VT_ARRAY || m_previousRotations.vt != VT_ARRAY) return false;
  return ReadPathList(m_previousPaths) != ReadPathList(m_currentPaths) ||
         ReadLongList(m_previousRotations) != ReadLongList(m_currentRotations);
}

void CThumbUndo::Record() {
  if (!m_control || m_busy) return;
  m_previousPaths.Clear();
  m_previousRotations.Clear();
  if (m_currentPaths.vt & VT_ARRAY) {
    m_previousPaths = std::move(m_currentPaths);
    m_previousPaths.vt = VT_ARRAY;
  }
  if (m_currentRotations.vt & VT_ARRAY) {
    m_previousRotations = std::move(m_currentRotations);
    m_previousRotations.vt = VT_ARRAY;
  }
  m_currentPaths = PathsOf(m_control);
  m_currentRotations = RotationsOf(m_control);
  Changed();
}

void CThumbUndo::Undo() {
  if (!m_control || m_busy) return;
  if (QApplication::instance()) QApplication::setOverrideCursor(Qt::WaitCursor);
  if (m_previousPaths.vt == VT_ARRAY && m_previousRotations.vt == VT_ARRAY) {
    m_currentPaths = std::move(m_previousPaths);
    m_currentRotations = std::move(m_previousRotations);
    m_currentPaths.vt = VT_ARRAY;
    m_currentRotations.vt = VT_ARRAY;
    m_previousPaths.Clear();
    m_previousRotations.Clear();
    // Copies: the control's ContentsChanged makes the host record again.
    const Variant paths = m_currentPaths, rotations = m_currentRotations;
    if (ReadPathList(paths).empty()) {
      // Back to an empty control: its clearing is the change the host sees.
      m_control->Clear();
    } else {
      m_busy = true;
      m_control->Clear();
      m_busy = false;
      m_control->AddMultipleFiles(paths, rotations, 0);
    }
  }
  if (QApplication::instance()) QApplication::restoreOverrideCursor();
  Changed();
}

}  // namespace vexa::wiz
