// The dispatch table of IVexaLogger, shared by the logger and its proxy: each
// entry unpacks the Invoke arguments and calls the interface method.
#pragma once

#include <span>

#include "idl/vexalog.h"

namespace vexa::logging {

// A BSTR argument of an Invoke call (arguments arrive in reverse order). A
// missing, empty or null VARIANT gives a null BSTR; other types convert.
inline HRESULT BstrArgument(DISPPARAMS* params, UINT index, UINT count, com::Bstr* out) {
  if (!params || params->cArgs != count || (count && !params->rgvarg)) return DISP_E_BADPARAMCOUNT;
  if (params->cNamedArgs != 0) return DISP_E_PARAMNOTFOUND;
  const VARIANT& v = params->rgvarg[count - 1 - index];
  if (v.vt == VT_EMPTY || v.vt == VT_NULL || v.vt == VT_ERROR) {
    *out = com::Bstr();
    return S_OK;
  }
  com::Variant converted;
  const HRESULT hr = VariantCopyInd(&converted, &v);
  if (FAILED(hr)) return hr;
  if (converted.vt != VT_BSTR) {
    const HRESULT change = converted.ChangeType(VT_BSTR);
    if (FAILED(change)) return change;
  }
  *out = com::Bstr::Attach(converted.bstrVal);
  converted.vt = VT_EMPTY;
  return S_OK;
}

template <typename T>
std::span<const com::DispatchEntry<T>> VexaLoggerDispatchTable() {
  static const com::DispatchEntry<T> kTable[] = {
      com::DispProperty<&T::get_LogFilePath>(DISPID_VexaLogger_LogFilePath, u"LogFilePath"),
      com::DispMethod<T>(DISPID_VexaLogger_ResetLogFile, u"ResetLogFile",
                         [](T* self, DISPPARAMS* params, VARIANT*) -> HRESULT {
                           if (params && params->cArgs != 0) return DISP_E_BADPARAMCOUNT;
                           return self->ResetLogFile();
                         }),
      com::DispMethod<T>(DISPID_VexaLogger_WriteMessage, u"WriteMessage",
                         [](T* self, DISPPARAMS* params, VARIANT*) -> HRESULT {
                           com::Bstr a[3];
                           for (UINT i = 0; i < 3; ++i) {
                             const HRESULT hr = BstrArgument(params, i, 3, &a[i]);
                             if (FAILED(hr)) return hr;
                           }
                           return self->WriteMessage(a[0].Get(), a[1].Get(), a[2].Get());
                         }),
      com::DispMethod<T>(DISPID_VexaLogger_WriteMessages, u"WriteMessages",
                         [](T* self, DISPPARAMS* params, VARIANT*) -> HRESULT {
                           com::Bstr a[7];
                           for (UINT i = 0; i < 7; ++i) {
                             const HRESULT hr = BstrArgument(params, i, 7, &a[i]);
                             if (FAILED(hr)) return hr;
                           }
                           return self->WriteMessages(a[0].Get(), a[1].Get(), a[2].Get(),
                                                      a[3].Get(), a[4].Get(), a[5].Get(),
                                                      a[6].Get());
                         }),
  };
  return kTable;
}

}  // namespace vexa::logging
