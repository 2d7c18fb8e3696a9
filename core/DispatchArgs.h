// IDispatch::Invoke for the orchestrator's classes: a method's arguments are
// taken from DISPPARAMS (last first), in-arguments converted to the
// parameter's type, out-arguments required by reference with exactly the
// parameter's type.
#pragma once

#include <tuple>
#include <type_traits>
#include <utility>

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
  // The last parameter (void for none).
  using Last = std::tuple_element_t<sizeof...(A), std::tuple<void, A...>>;
};

// The value an [out, retval] parameter hands back in the result VARIANT.
inline void StoreRetval(VARIANT* v, BSTR s) {
  v->vt = VT_BSTR;
  v->bstrVal = s;
}
inline void StoreRetval(VARIANT* v, LONG n) {
  v->vt = VT_I4;
  v->lVal = n;
}
inline void StoreRetval(VARIANT* v, VARIANT_BOOL b) {
  v->vt = VT_BOOL;
  v->boolVal = b;
}
inline void StoreRetval(VARIANT* v, const VARIANT& value) { *v = value; }
template <typename E, typename = std::enable_if_t<std::is_enum_v<E>>>
void StoreRetval(VARIANT* v, E e) {
  v->vt = VT_I4;
  v->lVal = static_cast<LONG>(e);
}

template <typename Args, std::size_t... I>
HRESULT LoadArgs(typename Args::Tuple& args, DISPPARAMS* params, std::size_t given, std::index_sequence<I...>) {
  HRESULT hr = S_OK;
  ((hr = SUCCEEDED(hr) ? std::get<I>(args).Load(&params->rgvarg[given - 1 - I]) : hr), ...);
  return hr;
}

// For DispMethod: calls Method on self with the arguments of params. A
// method whose last parameter is an out-pointer may be called without it:
// that value then comes back as the result ([out, retval]).
template <auto Method, typename T>
HRESULT Invoke(T* self, DISPPARAMS* params, VARIANT* result) {
  using Args = MethodArgs<decltype(Method)>;
  constexpr std::size_t n = Args::kCount;
  if (params->cNamedArgs != 0) return DISP_E_PARAMNOTFOUND;
  typename Args::Tuple args;
  if (params->cArgs == n) {
    HRESULT hr = LoadArgs<Args>(args, params, n, std::make_index_sequence<n>());
    if (FAILED(hr)) return hr;
    return std::apply([&](auto&... a) { return (self->*Method)(a.Get()...); }, args);
  }
  if constexpr (n > 0 && requires(Arg<typename Args::Last> a) { a.target; }) {
    if (params->cArgs == n - 1 && result) {
      HRESULT hr = LoadArgs<Args>(args, params, n - 1, std::make_index_sequence<n - 1>());
      if (FAILED(hr)) return hr;
      std::remove_pointer_t<typename Args::Last> value{};
      std::get<n - 1>(args).target = &value;
      hr = std::apply([&](auto&... a) { return (self->*Method)(a.Get()...); }, args);
      if (SUCCEEDED(hr)) StoreRetval(result, value);
      return hr;
    }
  }
  return DISP_E_BADPARAMCOUNT;
}

}  // namespace vexa::core::dispatch
