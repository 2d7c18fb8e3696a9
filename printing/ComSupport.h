// IDispatch entries of the print servers built from their interface methods:
// arguments arrive in DISPPARAMS (last first) and are converted to the
// method's parameter types; a trailing out-parameter becomes the result.
#pragma once

#include <tuple>
#include <type_traits>

#include "platform/com/Com.h"

namespace vexa::printing {

template <typename T, typename = void>
struct InArg;

template <>
struct InArg<BSTR> {
  com::Variant v;
  HRESULT Load(VARIANT* in) { return VariantChangeType(&v, in, 0, VT_BSTR); }
  BSTR Get() { return v.bstrVal; }
};

template <typename T, VARTYPE VT>
struct ScalarArg {
  com::Variant v;
  HRESULT Load(VARIANT* in) { return VariantChangeType(&v, in, 0, VT); }
  T Get() {
    if constexpr (VT == VT_I4) return v.lVal;
    else if constexpr (VT == VT_I2) return v.iVal;
    else if constexpr (VT == VT_R4) return v.fltVal;
    else return v.dblVal;
  }
};
template <>
struct InArg<LONG> : ScalarArg<LONG, VT_I4> {};
template <>
struct InArg<SHORT> : ScalarArg<SHORT, VT_I2> {};
template <>
struct InArg<FLOAT> : ScalarArg<FLOAT, VT_R4> {};
template <>
struct InArg<double> : ScalarArg<double, VT_R8> {};

template <>
struct InArg<VARIANT> {
  com::Variant v;
  HRESULT Load(VARIANT* in) { return VariantCopyInd(&v, in); }
  VARIANT Get() { return v; }
};

template <typename I>
struct InArg<I*, std::enable_if_t<std::is_base_of_v<IUnknown, I>>> {
  com::ComPtr<I> p;
  HRESULT Load(VARIANT* in) {
    com::Variant v;
    HRESULT hr = VariantChangeType(&v, in, 0, VT_UNKNOWN);
    if (FAILED(hr)) return hr;
    if (!v.punkVal) return S_OK;
    return v.punkVal->QueryInterface(com::IidOf<I>(), reinterpret_cast<void**>(p.Put()));
  }
  I* Get() { return p.Get(); }
};

// A trailing out-parameter and how it reaches the result VARIANT.
template <typename T>
void StoreResult(VARIANT* r, T value) {
  if constexpr (std::is_same_v<T, BSTR>) {
    r->vt = VT_BSTR;
    r->bstrVal = value;
  } else if constexpr (std::is_same_v<T, LONG>) {
    r->vt = VT_I4;
    r->lVal = value;
  } else if constexpr (std::is_same_v<T, SHORT>) {
    r->vt = VT_I2;
    r->iVal = value;
  } else if constexpr (std::is_same_v<T, FLOAT>) {
    r->vt = VT_R4;
    r->fltVal = value;
  } else if constexpr (std::is_same_v<T, VARIANT>) {
    *r = value;
  } else if constexpr (std::is_same_v<T, IUnknown*>) {
    r->vt = VT_UNKNOWN;
    r->punkVal = value;
  } else {
    static_assert(std::is_base_of_v<IDispatch, std::remove_pointer_t<T>>, "no VARIANT type for this result");
    r->vt = VT_DISPATCH;
    r->pdispVal = value;
  }
}

template <typename M>
struct MethodShape;
template <typename C, typename... A>
struct MethodShape<HRESULT (C::*)(A...)> {
  using Class = C;
  using Params = std::tuple<A...>;
  static constexpr std::size_t kCount = sizeof...(A);
};

template <typename Tuple, std::size_t... I>
auto InArgsOf(std::index_sequence<I...>) -> std::tuple<InArg<std::tuple_element_t<I, Tuple>>...>;

// Calls `Method` with the DISPPARAMS arguments; when `HasOut`, its last
// parameter is an out-pointer whose value becomes the result.
template <auto Method, bool HasOut>
HRESULT Invoke(typename MethodShape<decltype(Method)>::Class* self, DISPPARAMS* params, VARIANT* result) {
  using Shape = MethodShape<decltype(Method)>;
  constexpr std::size_t n = HasOut ? Shape::kCount - 1 : Shape::kCount;
  using Ins = decltype(InArgsOf<typename Shape::Params>(std::make_index_sequence<n>{}));
  if (params->cNamedArgs != 0) return DISP_E_PARAMNOTFOUND;
  if (params->cArgs != n) return DISP_E_BADPARAMCOUNT;
  Ins ins;
  HRESULT hr = S_OK;
  std::size_t i = 0;
  std::apply([&](auto&... a) { ((hr = SUCCEEDED(hr) ? a.Load(&params->rgvarg[n - 1 - i++]) : hr), ...); }, ins);
  if (FAILED(hr)) return DISP_E_TYPEMISMATCH;
  if constexpr (HasOut) {
    using Out = std::remove_pointer_t<std::tuple_element_t<Shape::kCount - 1, typename Shape::Params>>;
    Out value{};
    hr = std::apply([&](auto&... a) { return (self->*Method)(a.Get()..., &value); }, ins);
    if (SUCCEEDED(hr)) StoreResult(result, value);
    return hr;
  } else {
    return std::apply([&](auto&... a) { return (self->*Method)(a.Get()...); }, ins);
  }
}

// A method entry; a getter with index arguments is a method entry too.
template <auto Method, bool HasOut = false>
constexpr auto Method_(DISPID id, const char16_t* name) {
  using C = typename MethodShape<decltype(Method)>::Class;
  return com::DispMethod<C>(id, name, &Invoke<Method, HasOut>);
}

}  // namespace vexa::printing
