// Generic load and save of a model object by its persistence table, through
// IDispatch by DISPID; and the error routine and identifiers of the model.
#include "model/Model_p.h"

using namespace vexa::com;

namespace vexa::model {

HRESULT ModelError(REFCLSID clsid, REFIID iid, std::string_view text, HRESULT hr) {
  return ReportError(clsid, text, iid, hr);
}

HRESULT NewIdentifier(BSTR* out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  GUID g;
  if (FAILED(CoCreateGuid(&g))) return E_FAIL;
  *out = Bstr::FromUtf8(GuidToLowerString(g)).Detach();
  return *out ? S_OK : E_OUTOFMEMORY;
}

namespace {

HRESULT GetProperty(IDispatch* d, DISPID id, VARIANT* out) {
  DISPPARAMS none{nullptr, nullptr, 0, 0};
  return d->Invoke(id, GUID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &none, out, nullptr,
                   nullptr);
}

HRESULT PutProperty(IDispatch* d, DISPID id, VARIANT* value, WORD flags) {
  DISPID named = DISPID_PROPERTYPUT;
  DISPPARAMS params{value, &named, 1, 1};
  return d->Invoke(id, GUID_NULL, LOCALE_USER_DEFAULT, flags, &params, nullptr, nullptr, nullptr);
}

bool IsObject(VARTYPE vt) { return vt == VT_UNKNOWN || vt == VT_DISPATCH; }

}  // namespace

HRESULT PersistLoad(IXMLPropertyBag* bag, std::span<const PersistRow> table, IUnknown* object) {
  if (!bag) return E_POINTER;
  ComPtr<IDispatch> d;
  HRESULT hr = object->QueryInterface(IidOf<IDispatch>(), d.PutVoid());
  if (FAILED(hr)) return hr;
  for (const PersistRow& row : table) {
    if (row.dispid == 0) break;
    if (!row.name) continue;
    Variant value;
    if (FAILED(GetProperty(d.Get(), row.dispid, &value))) return E_FAIL;
    // A missing element is no error: the property keeps its value.
    if (FAILED(bag->Read(row.name, &value))) continue;
    const bool byRef = IsObject(value.vt) || (value.vt & (VT_ARRAY | VT_BYREF));
    if (byRef) {
      hr = PutProperty(d.Get(), row.dispid, &value, DISPATCH_PROPERTYPUTREF);
      if (FAILED(hr)) hr = PutProperty(d.Get(), row.dispid, &value, DISPATCH_PROPERTYPUT);
    } else {
      hr = PutProperty(d.Get(), row.dispid, &value, DISPATCH_PROPERTYPUT);
    }
    if (FAILED(hr)) {
      // A read-only child was loaded in place by the bag.
      if (hr == DISP_E_MEMBERNOTFOUND && value.vt == VT_DISPATCH) continue;
      return E_FAIL;
    }
  }
  return S_OK;
}

HRESULT PersistSave(IXMLPropertyBag* bag, std::span<const PersistRow> table, IUnknown* object) {
  if (!bag) return E_POINTER;
  ComPtr<IDispatch> d;
  HRESULT hr = object->QueryInterface(IidOf<IDispatch>(), d.PutVoid());
  if (FAILED(hr)) return hr;
  for (const PersistRow& row : table) {
    if (row.dispid == 0) break;
    if (!row.name) continue;
    Variant value;
    if (FAILED(GetProperty(d.Get(), row.dispid, &value))) return E_FAIL;
    if (IsObject(value.vt) && !value.punkVal) continue;
    if (row.hasDefault && value.vt == VT_I4 && value.lVal == row.defaultValue) value.Clear();
    hr = bag->Write(row.name, &value);
    if (FAILED(hr)) return hr;
  }
  return S_OK;
}

}  // namespace vexa::model
