// The control's property page: three check boxes (201 ShowRotateButtons,
// 202 ShowZoomButton, 203 ShowRemoveButton) bound to the control it edits.
#include <QCheckBox>
#include <QPointer>
#include <QVBoxLayout>
#include <QWidget>

#include "gallery/control/VEXAThumCtrl.h"

namespace vexa::gallery {

using namespace vexa::ui;

namespace {

using vexa::com::Variant;

class CVEXAThumPropPage : public vexa::com::ComObjectRoot,
                          public vexa::com::DispatchImpl<CVEXAThumPropPage, IDispatch>,
                          public IVexaControlWindow {
 public:
  using Interfaces = vexa::com::InterfaceMap<IDispatch, IVexaControlWindow>;
  static std::span<const vexa::com::DispatchEntry<CVEXAThumPropPage>> DispatchTable();

  void FinalRelease() { delete m_window.data(); }

  HRESULT CreateControlWindow(void* parent, LONG x, LONG y, LONG width, LONG height) override {
    if (!m_window) {
      m_window = new QWidget(static_cast<QWidget*>(parent));
      auto* layout = new QVBoxLayout(m_window);
      const struct {
        int id;
        DISPID dispid;
        const char* text;
      } boxes[] = {{201, 2, "Show rotate buttons"}, {202, 3, "Show zoom button"}, {203, 4, "Show remove button"}};
      for (const auto& b : boxes) {
        auto* box = new QCheckBox(QString::fromUtf8(b.text), m_window);
        box->setProperty("controlId", b.id);
        layout->addWidget(box);
        const DISPID dispid = b.dispid;
        QObject::connect(box, &QCheckBox::toggled, m_window, [this, dispid](bool on) { Put(dispid, on); });
        m_boxes.push_back({box, dispid});
      }
      Load();
    }
    m_window->setGeometry(x, y, width, height);
    return S_OK;
  }
  HRESULT GetControlWindow(void** widget) override {
    if (!widget) return E_POINTER;
    *widget = m_window.data();
    return S_OK;
  }

  // The control being edited; its values fill the boxes.
  HRESULT SetObject(IDispatch* control) {
    m_control = control;
    Load();
    return S_OK;
  }

 private:
  void Load() {
    if (!m_control) return;
    for (auto& [box, dispid] : m_boxes) {
      Variant value;
      DISPPARAMS none{nullptr, nullptr, 0, 0};
      if (SUCCEEDED(m_control->Invoke(dispid, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, &value, nullptr, nullptr)) &&
          SUCCEEDED(value.ChangeType(VT_BOOL))) {
        QSignalBlocker block(box);
        box->setChecked(value.boolVal != 0);
      }
    }
  }
  void Put(DISPID dispid, bool on) {
    if (!m_control) return;
    Variant value = Variant::Bool(on);
    DISPID named = DISPID_PROPERTYPUT;
    DISPPARAMS params{&value, &named, 1, 1};
    m_control->Invoke(dispid, IID_NULL, 0, DISPATCH_PROPERTYPUT, &params, nullptr, nullptr, nullptr);
  }

  QPointer<QWidget> m_window;
  std::vector<std::pair<QCheckBox*, DISPID>> m_boxes;
  vexa::com::ComPtr<IDispatch> m_control;
};

using Entry = vexa::com::DispatchEntry<CVEXAThumPropPage>;
const Entry kPageTable[] = {
    Entry{1, u"Object", nullptr,
          [](CVEXAThumPropPage* s, VARIANT* v) -> HRESULT {
            Variant c;
            if (FAILED(VariantChangeType(&c, v, 0, VT_DISPATCH))) return DISP_E_TYPEMISMATCH;
            return s->SetObject(c.pdispVal);
          }},
};

}  // namespace

std::span<const vexa::com::DispatchEntry<CVEXAThumPropPage>> CVEXAThumPropPage::DispatchTable() {
  return kPageTable;
}

HRESULT CreateVEXAThumPropPage(REFIID iid, void** ppv) {
  return vexa::com::ComObject<CVEXAThumPropPage>::CreateInstance(iid, ppv);
}

}  // namespace vexa::gallery
