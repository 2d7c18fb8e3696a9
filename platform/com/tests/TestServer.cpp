#include "platform/com/tests/TestServer.h"

#include <span>

using namespace vexa::com;

namespace {

class CTestThing : public ComObjectRoot,
                   public DispatchImpl<CTestThing, ITestThing>,
                   public SupportErrorInfoImpl<ITestThing> {
 public:
  using Interfaces =
      InterfaceMap<ITestThing, Via<IDispatch, ITestThing>, ISupportErrorInfo>;

  explicit CTestThing(bool makeChild = true) : makeChild_(makeChild) {}

  HRESULT FinalConstruct() {
    if (!makeChild_) return S_OK;
    // Children are made in-process, not through the registry.
    return ComObject<CTestThing>::Create(child_.Put(), false);
  }

  static std::span<const DispatchEntry<CTestThing>> DispatchTable() {
    static const DispatchEntry<CTestThing> kTable[] = {
        DispProperty<&CTestThing::get_name, &CTestThing::put_name>(1, u"name"),
        DispProperty<&CTestThing::get_count, &CTestThing::put_count>(2, u"count"),
        DispProperty<&CTestThing::get_when, &CTestThing::put_when, VT_DATE>(3, u"when"),
        DispProperty<&CTestThing::get_flag, &CTestThing::put_flag, VT_BOOL>(4, u"flag"),
        DispProperty<&CTestThing::get_child>(5, u"child"),
        DispMethod<CTestThing>(6, u"Item", &CTestThing::InvokeItem),
    };
    return kTable;
  }

  HRESULT get_name(BSTR* value) override {
    if (!value) return E_POINTER;
    *value = name_.Copy();
    return S_OK;
  }
  HRESULT put_name(BSTR value) override {
    name_ = Bstr(value);
    return S_OK;
  }
  HRESULT get_count(LONG* value) override {
    if (!value) return E_POINTER;
    *value = count_;
    return S_OK;
  }
  HRESULT put_count(LONG value) override {
    count_ = value;
    return S_OK;
  }
  HRESULT get_when(DATE* value) override {
    if (!value) return E_POINTER;
    *value = when_;
    return S_OK;
  }
  HRESULT put_when(DATE value) override {
    when_ = value;
    return S_OK;
  }
  HRESULT get_flag(VARIANT_BOOL* value) override {
    if (!value) return E_POINTER;
    *value = flag_;
    return S_OK;
  }
  HRESULT put_flag(VARIANT_BOOL value) override {
    if (value != VARIANT_TRUE && value != VARIANT_FALSE) {
      return ReportError(CLSID_TestThing, std::string_view("ITestThing::put_flag - bad value"),
                         IID_ITestThing, E_INVALIDARG);
    }
    flag_ = value;
    return S_OK;
  }
  HRESULT get_child(ITestThing** value) override {
    if (!value) return E_POINTER;
    return child_.CopyTo(value);
  }
  // Item(index): a read with an argument, answered by a method entry.
  static HRESULT InvokeItem(CTestThing* self, DISPPARAMS* params, VARIANT* result) {
    if (!params || params->cArgs != 1) return DISP_E_BADPARAMCOUNT;
    Variant index;
    if (FAILED(VariantChangeType(&index, &params->rgvarg[0], 0, VT_I4))) return DISP_E_TYPEMISMATCH;
    if (index.lVal != 1) return DISP_E_BADINDEX;
    result->vt = VT_DISPATCH;
    return self->child_.As(IID_IDispatch, reinterpret_cast<void**>(&result->pdispVal));
  }

  HRESULT Fail(BSTR text) override {
    return ReportError(CLSID_TestThing, BstrView(text), IID_ITestThing, E_FAIL);
  }

 private:
  bool makeChild_;
  Bstr name_;
  LONG count_ = 0;
  DATE when_ = kNoDate;
  VARIANT_BOOL flag_ = VARIANT_FALSE;
  ComPtr<ITestThing> child_;
};

const ClassEntry kClasses[] = {
    {&CLSID_TestThing, &ComObject<CTestThing>::CreateForFactory},
};

}  // namespace

VEXA_COM_SERVER_EXPORTS(kClasses, "vexa_comtest.reg")
