// IDispatch::Invoke for the orchestrator's classes: a method's arguments are
// taken from DISPPARAMS (last first), in-arguments converted to the
// parameter's type, out-arguments required by reference with exactly the
// parameter's type.
#pragma once

#include <tuple>
#include <type_traits>

#include "platform/com/Com.h"

namespace vexa::core::dispatch {

template <typename A, typename = void>
struct Arg;

template <VARTYPE kVt>
struct In {
  com::Variant value;
  HRESULT Load(VARIANT* v) { return com::detail::CoerceArgument(v, kVt, &value); }
};

template <>
struct Arg<BSTR> : In<VT_BSTR> {
  BSTR Get() { return value.bstrVal; }
};
template <>
struct Arg<LONG> : In<VT_I4> {
  LONG Get() { return value.lVal; }
};
template <>
struct Arg<VARIANT_BOOL> : In<VT_BOOL> {
  VARIANT_BOOL Get() { return value.boolVal; }
};
// Every double taken in is a DATE.
template <>
struct Arg<double> : In<VT_DATE> {
  double Get() { return value.date; }
};
template <typename E>
struct Arg<E, std::enable_if_t<std::is_enum_v<E>>> : In<VT_I4> {
  E Get() { return static_cast<E>(value.lVal); }
};

template <typename P, VARTYPE kVt>
struct Out {
  P* target = nullptr;
  HRESULT Load(VARIANT* v) {
    if (v->vt != (VT_BYREF | kVt) || !v->byref) return DISP_E_TYPEMISMATCH;
    target = static_cast<P*>(v->byref);
    return S_OK;
  }
  P* Get() { return target; }
};
template <>
struct Arg<BSTR*> : Out<BSTR, VT_BSTR> {};
template <>
struct Arg<LONG*> : Out<LONG, VT_I4> {};
template <>
struct Arg<VARIANT_BOOL*> : Out<VARIANT_BOOL, VT_BOOL> {};
template <>
struct Arg<VARIANT*> : Out<VARIANT, VT_VARIANT> {};
// A double handed out is a plain number.
template <>
struct Arg<double*> : Out<double, VT_R8> {};
template <typename E>
struct Arg<E*, std::enable_if_t<std::is_enum_v<E>>> {
  E* target = nullptr;
  HRESULT Load(VARIANT* v) {
    if (v->vt != (VT_BYREF | VT_I4) || !v->byref) return DISP_E_TYPEMISMATCH;
    target = static_cast<E*>(v->byref);
    return S_OK;
  }
  E* Get() { return target; }
};

template <typename M>
struct MethodArgs;
template <typename C, typename... A>
struct MethodArgs<HRESULT (C::*)(A...)> {
  using Class = C;
  using Tuple = std::tuple<Arg<A>...>;
  static constexpr std::size_t kCount = sizeof...(A);
};

// For DispMethod: calls Method on self with the arguments of params.
template <auto Method, typename T>
HRESULT Invoke(T* self, DISPPARAMS* params, VARIANT*) {
  using Args = MethodArgs<decltype(Method)>;
  if (params->cNamedArgs != 0) return DISP_E_PARAMNOTFOUND;
  if (params->cArgs != Args::kCount) return DISP_E_BADPARAMCOUNT;
  typename Args::Tuple args;
  HRESULT hr = S_OK;
  std::size_t i = 0;
  std::apply(
      [&](auto&... a) { ((hr = SUCCEEDED(hr) ? a.Load(&params->rgvarg[Args::kCount - 1 - i++]) : hr), ...); },
      args);
  if (FAILED(hr)) return hr;
  return std::apply([&](auto&... a) { return (self->*Method)(a.Get()...); }, args);
}

}  // namespace vexa::core::dispatch
