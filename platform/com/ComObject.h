// Implementing objects: a reference-counted base with a static interface
// table, creation with FinalConstruct/FinalRelease, and IDispatch by a table
// of DISPIDs.
//
//   class CThing : public vexa::com::ComObjectRoot,
//                  public vexa::com::DispatchImpl<CThing, IThing>,
//                  public ISupportErrorInfo {
//    public:
//     using Interfaces = vexa::com::InterfaceMap<IThing, vexa::com::Via<IDispatch, IThing>,
//                                               ISupportErrorInfo>;
//     static std::span<const vexa::com::DispatchEntry<CThing>> DispatchTable();
//     ...
//   };
//   ComPtr<IThing> p; vexa::com::ComObject<CThing>::Create(p.Put());
//
// QueryInterface answers exactly the listed interfaces and IUnknown; the
// IUnknown pointer is always the first listed interface, so identity holds.
#pragma once

#include <atomic>
#include <new>
#include <span>
#include <tuple>
#include <type_traits>
#include <utility>
#include <vector>

#include "platform/com/ComPtr.h"
#include "platform/com/Interfaces.h"
#include "platform/com/DispatchTypeInfo.h"

namespace vexa::com {

// Interface I reached through base Via (for IDispatch under a dual interface).
template <typename I, typename ViaBase>
struct Via {};

namespace detail {
template <typename Entry>
struct EntryTraits {
  using Interface = Entry;
  using Base = Entry;
};
template <typename I, typename B>
struct EntryTraits<Via<I, B>> {
  using Interface = I;
  using Base = B;
};

template <typename T, typename Entry>
IUnknown* CastTo(T* self) {
  using Tr = EntryTraits<Entry>;
  return static_cast<typename Tr::Interface*>(static_cast<typename Tr::Base*>(self));
}
}  // namespace detail

template <typename... Entries>
struct InterfaceMap {
  static_assert(sizeof...(Entries) > 0, "an object implements at least one interface");

  template <typename T>
  static HRESULT Query(T* self, REFIID iid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (iid == IidOf<IUnknown>()) {
      *ppv = First<T, Entries...>(self);
    } else {
      ((iid == IidOf<typename detail::EntryTraits<Entries>::Interface>() && !*ppv
            ? (*ppv = detail::CastTo<T, Entries>(self), true)
            : false) ||
       ...);
    }
    if (!*ppv) return E_NOINTERFACE;
    static_cast<IUnknown*>(*ppv)->AddRef();
    return S_OK;
  }

 private:
  template <typename T, typename E0, typename... Rest>
  static IUnknown* First(T* self) {
    return detail::CastTo<T, E0>(self);
  }
};

// State every object has: its reference count. FinalConstruct runs once
// after construction (a failure destroys the object and is the creator's
// result); FinalRelease runs before destruction.
class ComObjectRoot {
 public:
  HRESULT FinalConstruct() { return S_OK; }
  void FinalRelease() {}

 protected:
  ComObjectRoot() = default;
  ~ComObjectRoot() = default;
  ComObjectRoot(const ComObjectRoot&) = delete;
  ComObjectRoot& operator=(const ComObjectRoot&) = delete;

  std::atomic<ULONG> refCount_{0};

  template <typename T>
  friend class ComObject;
};

// The most derived class: implements IUnknown for T.
template <typename T>
class ComObject final : public T {
 public:
  template <typename... Args>
  explicit ComObject(Args&&... args) : T(std::forward<Args>(args)...) {}

  HRESULT QueryInterface(REFIID iid, void** ppv) override {
    return T::Interfaces::Query(static_cast<T*>(this), iid, ppv);
  }
  ULONG AddRef() override { return ++this->refCount_; }
  ULONG Release() override {
    const ULONG n = --this->refCount_;
    if (n == 0) {
      this->refCount_ = 1;  // guards against re-entry while finishing
      this->FinalRelease();
      delete this;
    }
    return n;
  }

  // Creates an object with one reference held by *out.
  template <typename... Args>
  static HRESULT CreateInstance(ComObject** out, Args&&... args) {
    if (!out) return E_POINTER;
    *out = nullptr;
    auto* p = new (std::nothrow) ComObject(std::forward<Args>(args)...);
    if (!p) return E_OUTOFMEMORY;
    p->refCount_ = 1;
    const HRESULT hr = p->FinalConstruct();
    if (FAILED(hr)) {
      p->Release();
      return hr;
    }
    *out = p;
    return S_OK;
  }

  // Creates an object and hands back the interface asked for.
  template <typename... Args>
  static HRESULT CreateInstance(REFIID iid, void** ppv, Args&&... args) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    ComObject* p = nullptr;
    HRESULT hr = CreateInstance(&p, std::forward<Args>(args)...);
    if (FAILED(hr)) return hr;
    hr = p->QueryInterface(iid, ppv);
    p->Release();
    return hr;
  }

  template <typename I, typename... Args>
  static HRESULT Create(I** out, Args&&... args) {
    return CreateInstance(IidOf<I>(), reinterpret_cast<void**>(out), std::forward<Args>(args)...);
  }

  // For a server's class table.
  static HRESULT CreateForFactory(REFIID iid, void** ppv) { return CreateInstance(iid, ppv); }
};

// ---- IDispatch by table ------------------------------------------------------

template <typename T>
struct DispatchEntry {
  DISPID dispid;
  const char16_t* name;
  HRESULT (*get)(T* self, VARIANT* result) = nullptr;
  HRESULT (*put)(T* self, VARIANT* value) = nullptr;
  HRESULT (*putref)(T* self, VARIANT* value) = nullptr;
  HRESULT (*method)(T* self, DISPPARAMS* params, VARIANT* result) = nullptr;
};

namespace detail {

template <typename M>
struct MemberTraits;
template <typename C, typename A>
struct MemberTraits<HRESULT (C::*)(A)> {
  using Class = C;
  using Arg = A;
};

template <typename V>
constexpr VARTYPE DefaultVarType() {
  using U = std::remove_cv_t<V>;
  if constexpr (std::is_same_v<U, BSTR>) return VT_BSTR;
  else if constexpr (std::is_same_v<U, VARIANT>) return VT_VARIANT;
  else if constexpr (std::is_same_v<U, LONG> || std::is_enum_v<U>) return VT_I4;
  else if constexpr (std::is_same_v<U, SHORT>) return VT_I2;
  else if constexpr (std::is_same_v<U, double>) return VT_R8;
  else if constexpr (std::is_same_v<U, float>) return VT_R4;
  else if constexpr (std::is_same_v<U, BYTE>) return VT_UI1;
  else if constexpr (std::is_pointer_v<U> &&
                     std::is_base_of_v<IDispatch, std::remove_pointer_t<U>>) return VT_DISPATCH;
  else if constexpr (std::is_pointer_v<U> &&
                     std::is_base_of_v<IUnknown, std::remove_pointer_t<U>>) return VT_UNKNOWN;
  else static_assert(sizeof(U) == 0, "no VARIANT type for this property type");
}

// Stores a property value into a VARIANT (ownership of BSTRs and interface
// references moves into it).
template <typename V>
void StoreValue(VARIANT* v, VARTYPE vt, V value) {
  v->vt = vt;
  using U = std::remove_cv_t<V>;
  if constexpr (std::is_same_v<U, BSTR>) v->bstrVal = value;
  else if constexpr (std::is_same_v<U, VARIANT>) *v = value;
  else if constexpr (std::is_enum_v<U>) v->lVal = static_cast<LONG>(value);
  else if constexpr (std::is_pointer_v<U>) {
    if (vt == VT_DISPATCH) v->pdispVal = value;
    else v->punkVal = value;
  } else {
    switch (vt) {
      case VT_I4: v->lVal = static_cast<LONG>(value); break;
      case VT_I2: v->iVal = static_cast<SHORT>(value); break;
      case VT_BOOL: v->boolVal = static_cast<VARIANT_BOOL>(value); break;
      case VT_R8: v->dblVal = static_cast<double>(value); break;
      case VT_DATE: v->date = static_cast<double>(value); break;
      case VT_R4: v->fltVal = static_cast<float>(value); break;
      case VT_UI1: v->bVal = static_cast<BYTE>(value); break;
      default: v->vt = VT_EMPTY; break;
    }
  }
}

// Reads a property value from a VARIANT already converted to vt.
template <typename V>
V LoadValue(const VARIANT& v, VARTYPE vt) {
  using U = std::remove_cv_t<V>;
  if constexpr (std::is_same_v<U, BSTR>) return v.bstrVal;
  else if constexpr (std::is_same_v<U, VARIANT>) return v;
  else if constexpr (std::is_enum_v<U>) return static_cast<U>(v.lVal);
  else if constexpr (std::is_pointer_v<U>) {
    return static_cast<U>(vt == VT_DISPATCH ? static_cast<IUnknown*>(v.pdispVal) : v.punkVal);
  } else {
    switch (vt) {
      case VT_I4: return static_cast<U>(v.lVal);
      case VT_I2: return static_cast<U>(v.iVal);
      case VT_BOOL: return static_cast<U>(v.boolVal);
      case VT_R8: return static_cast<U>(v.dblVal);
      case VT_DATE: return static_cast<U>(v.date);
      case VT_R4: return static_cast<U>(v.fltVal);
      case VT_UI1: return static_cast<U>(v.bVal);
      default: return U{};
    }
  }
}

// Converts an incoming argument to vt (following VT_BYREF); for an
// interface-typed property the object is asked for the property's interface.
VEXA_COM_API HRESULT CoerceArgument(const VARIANT* in, VARTYPE vt, VARIANT* out);

}  // namespace detail

// A property entry from a getter HRESULT (T::*)(V*) and optionally a setter
// HRESULT (T::*)(V). VT overrides the VARIANT type where the C++ type is
// shared (DATE and double, VARIANT_BOOL and SHORT).
template <auto Get, auto Put = nullptr, VARTYPE VT = 0>
constexpr auto DispProperty(DISPID id, const char16_t* name) {
  using GT = detail::MemberTraits<decltype(Get)>;
  using T = typename GT::Class;
  using V = std::remove_pointer_t<typename GT::Arg>;
  constexpr VARTYPE vt = VT ? VT : detail::DefaultVarType<V>();
  DispatchEntry<T> e{id, name};
  e.get = [](T* self, VARIANT* result) -> HRESULT {
    V value{};
    const HRESULT hr = (self->*Get)(&value);
    if (SUCCEEDED(hr)) detail::StoreValue<V>(result, vt, value);
    return hr;
  };
  if constexpr (!std::is_same_v<decltype(Put), std::nullptr_t>) {
    e.put = [](T* self, VARIANT* value) -> HRESULT {
      Variant converted;
      HRESULT hr = detail::CoerceArgument(value, vt, &converted);
      if (FAILED(hr)) return hr;
      return (self->*Put)(detail::LoadValue<V>(converted, vt));
    };
  }
  return e;
}

// A method entry written by hand: the arguments arrive as DISPPARAMS.
template <typename T>
constexpr DispatchEntry<T> DispMethod(DISPID id, const char16_t* name,
                                      HRESULT (*method)(T*, DISPPARAMS*, VARIANT*)) {
  DispatchEntry<T> e{id, name};
  e.method = method;
  return e;
}

// ---- Method entries from member functions --------------------------------------

namespace detail {

template <typename M>
struct MethodTraits;
template <typename C, typename... A>
struct MethodTraits<HRESULT (C::*)(A...)> {
  using Class = C;
  using Args = std::tuple<A...>;
  static constexpr std::size_t kCount = sizeof...(A);
};

// The argument itself when it is a VARIANT holding another by reference.
inline const VARIANT& Dereferenced(const VARIANT& v) {
  return (v.vt == (VT_BYREF | VT_VARIANT) && v.pvarVal) ? *v.pvarVal : v;
}
inline bool IsMissing(const VARIANT& v) {
  const VARIANT& d = Dereferenced(v);
  return d.vt == VT_EMPTY || d.vt == VT_NULL || d.vt == VT_ERROR;
}

// How one parameter of type P is taken from its VARIANT. In-parameters are
// converted to the parameter's type; out-parameters (pointers) come by
// reference, with the parameter's own type or as a VARIANT that receives
// the value, or, for the last parameter only, are left off and then give
// the call's result.
template <typename P, typename = void>
struct DispParam;

// Text: a missing argument (empty, null or left out) is a null string.
template <>
struct DispParam<BSTR> {
  Variant value;
  HRESULT In(const VARIANT& v) {
    if (IsMissing(v)) return S_OK;
    return CoerceArgument(&v, VT_BSTR, &value);
  }
  BSTR Get() { return value.vt == VT_BSTR ? value.bstrVal : nullptr; }
};

template <typename P, VARTYPE kVt>
struct DispScalarIn {
  Variant value;
  HRESULT In(const VARIANT& v) { return CoerceArgument(&v, kVt, &value); }
  P Get() { return LoadValue<P>(value, kVt); }
};
template <>
struct DispParam<LONG> : DispScalarIn<LONG, VT_I4> {};
template <>
struct DispParam<VARIANT_BOOL> : DispScalarIn<VARIANT_BOOL, VT_BOOL> {};
template <>
struct DispParam<double> : DispScalarIn<double, VT_R8> {};
template <typename E>
struct DispParam<E, std::enable_if_t<std::is_enum_v<E>>> : DispScalarIn<E, VT_I4> {};

template <>
struct DispParam<VARIANT> {
  Variant value;
  HRESULT In(const VARIANT& v) { return VariantCopyInd(&value, &v); }
  VARIANT Get() { return value; }
};

// An interface: an object argument asked for the parameter's interface; a
// missing one is null.
template <typename I>
struct DispParam<I*, std::enable_if_t<std::is_base_of_v<IUnknown, I>>> {
  ComPtr<I> object;
  HRESULT In(const VARIANT& given) {
    if (IsMissing(given)) return S_OK;
    Variant v;
    if (FAILED(VariantCopyInd(&v, &given))) return DISP_E_TYPEMISMATCH;
    if (v.vt != VT_DISPATCH && v.vt != VT_UNKNOWN) return DISP_E_TYPEMISMATCH;
    if (!v.punkVal) return S_OK;
    return SUCCEEDED(v.punkVal->QueryInterface(IidOf<I>(), object.PutVoid())) ? S_OK : DISP_E_TYPEMISMATCH;
  }
  I* Get() { return object.Get(); }
};

// What an out-parameter of type V* is in a VARIANT.
template <typename V>
constexpr VARTYPE OutVarType() {
  if constexpr (std::is_pointer_v<V> && std::is_base_of_v<IDispatch, std::remove_pointer_t<V>>) {
    return VT_DISPATCH;
  } else if constexpr (std::is_pointer_v<V> && std::is_base_of_v<IUnknown, std::remove_pointer_t<V>>) {
    return VT_UNKNOWN;
  } else if constexpr (std::is_same_v<V, VARIANT_BOOL>) {
    return VT_BOOL;
  } else {
    return DefaultVarType<V>();
  }
}

template <typename V>
struct DispParam<V*, std::enable_if_t<!std::is_base_of_v<IUnknown, V>>> {
  static constexpr VARTYPE kVt = OutVarType<V>();
  V local{};
  V* target = &local;
  VARIANT* deliver = nullptr;  // receives the value after the call

  HRESULT In(const VARIANT& v) {
    if (v.vt == (VT_BYREF | kVt) && v.byref) {
      target = static_cast<V*>(v.byref);
      return S_OK;
    }
    if (v.vt == (VT_BYREF | VT_VARIANT) && v.pvarVal && kVt != VT_VARIANT) {
      deliver = v.pvarVal;
      return S_OK;
    }
    return DISP_E_TYPEMISMATCH;
  }
  void ToResult(VARIANT* result) { deliver = result; }
  V* Get() { return target; }
  // Hands the value to the VARIANT that receives it (ownership moves).
  void Deliver(HRESULT hr) {
    if (!deliver) return;
    if (FAILED(hr)) {
      if constexpr (kVt == VT_BSTR || kVt == VT_DISPATCH || kVt == VT_UNKNOWN || kVt == VT_VARIANT) {
        VARIANT dropped;
        VariantInit(&dropped);
        StoreValue<V>(&dropped, kVt, local);
        VariantClear(&dropped);
      }
      return;
    }
    VariantClear(deliver);
    StoreValue<V>(deliver, kVt, local);
  }
};

// Pointers are out-parameters, except text and interfaces.
template <typename P>
struct IsOutParam : std::bool_constant<std::is_pointer_v<P> && !std::is_same_v<P, BSTR> &&
                                       !std::is_base_of_v<IUnknown, std::remove_pointer_t<P>>> {};

template <typename P>
void DeliverParam(P& p, HRESULT hr) {
  if constexpr (requires { p.Deliver(hr); }) p.Deliver(hr);
}

template <auto Method, typename T>
HRESULT InvokeMethodEntry(T* self, DISPPARAMS* params, VARIANT* result) {
  using Traits = MethodTraits<decltype(Method)>;
  using Params = typename Traits::Args;
  constexpr std::size_t n = Traits::kCount;
  const UINT given = params ? params->cArgs : 0;
  if (params && params->cNamedArgs != 0) return DISP_E_PARAMNOTFOUND;
  bool lastIsResult = false;
  if constexpr (n > 0) {
    using Last = std::tuple_element_t<n - 1, Params>;
    lastIsResult = IsOutParam<Last>::value && given + 1 == n;
  }
  if (given != n && !lastIsResult) return DISP_E_BADPARAMCOUNT;
  if (given > 0 && !params->rgvarg) return DISP_E_BADPARAMCOUNT;
  return [&]<std::size_t... I>(std::index_sequence<I...>) -> HRESULT {
    std::tuple<DispParam<std::tuple_element_t<I, Params>>...> args;
    HRESULT hr = S_OK;
    // Arguments arrive last first.
    (((hr = SUCCEEDED(hr) ? (I < given ? std::get<I>(args).In(params->rgvarg[given - 1 - I]) : S_OK) : hr)), ...);
    if (FAILED(hr)) return hr;
    if constexpr (n > 0) {
      if constexpr (IsOutParam<std::tuple_element_t<n - 1, Params>>::value) {
        if (lastIsResult) std::get<n - 1>(args).ToResult(result);
      }
    }
    hr = (self->*Method)(std::get<I>(args).Get()...);
    (DeliverParam(std::get<I>(args), hr), ...);
    return hr;
  }(std::make_index_sequence<n>{});
}

}  // namespace detail

// A method entry from a member function: the Invoke arguments are converted
// to its parameters as described at DispParam above. T defaults to the
// class that declares the method; give it for a method inherited from a base.
template <auto Method, typename T = typename detail::MethodTraits<decltype(Method)>::Class>
constexpr DispatchEntry<T> DispMethodOf(DISPID id, const char16_t* name) {
  return DispMethod<T>(id, name, &detail::InvokeMethodEntry<Method, T>);
}

namespace detail {
// Checks flags and arguments common to every entry. Returns S_OK with *value
// set to the argument of a put, or an error.
VEXA_COM_API HRESULT CheckInvoke(WORD flags, DISPPARAMS* params, bool hasGet, bool hasPut, bool hasPutRef,
                    bool hasMethod, UINT* argErr, int* action, VARIANT** value);
enum InvokeAction { kGet = 1, kPut = 2, kPutRef = 3, kMethod = 4 };

template <typename T>
HRESULT InvokeEntry(T* self, const DispatchEntry<T>& e, WORD flags, DISPPARAMS* params,
                    VARIANT* result, UINT* argErr) {
  int action = 0;
  VARIANT* value = nullptr;
  HRESULT hr = CheckInvoke(flags, params, e.get != nullptr, e.put != nullptr,
                           e.putref != nullptr, e.method != nullptr, argErr, &action, &value);
  if (FAILED(hr)) return hr;
  switch (action) {
    case kGet: {
      Variant scratch;
      VARIANT* out = result ? result : &scratch;
      if (result) VariantClear(result);
      return e.get(self, out);
    }
    case kPut:
      return e.put(self, value);
    case kPutRef:
      return e.putref(self, value);
    default: {
      Variant scratch;
      VARIANT* out = result ? result : &scratch;
      if (result) VariantClear(result);
      return e.method(self, params, out);
    }
  }
}
}  // namespace detail

// IDispatch for T over the dual interface Itf, from T::DispatchTable().
// GetIDsOfNames looks the names up in the table (case-insensitively);
// GetTypeInfo gives type information made from the same table, in the type
// library T::TypeLibrary() names (when T has one) and under the name
// VEXA_DEFINE_IID gave the interface.
template <typename T, typename Itf>
class DispatchImpl : public Itf {
 public:
  HRESULT GetTypeInfoCount(UINT* pctinfo) override {
    if (!pctinfo) return E_POINTER;
    *pctinfo = 1;
    return S_OK;
  }
  HRESULT GetTypeInfo(UINT index, LCID, ITypeInfo** ppTInfo) override {
    if (!ppTInfo) return E_POINTER;
    *ppTInfo = nullptr;
    if (index != 0) return DISP_E_BADINDEX;
    std::vector<DispatchMember> members;
    for (const auto& e : T::DispatchTable()) {
      members.push_back({e.dispid, e.name ? e.name : u"", e.get != nullptr, e.put != nullptr, e.putref != nullptr,
                         e.method != nullptr});
    }
    const TypeLibraryId* library = nullptr;
    if constexpr (requires { T::TypeLibrary(); }) library = &T::TypeLibrary();
    std::u16string_view name;
    if constexpr (requires { InterfaceId<Itf>::name; }) name = InterfaceId<Itf>::name;
    return CreateDispatchTypeInfo(IidOf<Itf>(), name, library, members, ppTInfo);
  }
  HRESULT GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
    if (!names || !ids) return E_POINTER;
    HRESULT hr = S_OK;
    for (UINT i = 0; i < count; ++i) {
      ids[i] = DISPID_UNKNOWN;
      if (i == 0 && names[0]) {
        for (const auto& e : T::DispatchTable()) {
          if (e.name && NamesEqual(e.name, names[0])) {
            ids[0] = e.dispid;
            break;
          }
        }
      }
      if (ids[i] == DISPID_UNKNOWN) hr = DISP_E_UNKNOWNNAME;
    }
    return hr;
  }
  HRESULT Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                 EXCEPINFO*, UINT* argErr) override {
    for (const auto& e : T::DispatchTable()) {
      if (e.dispid != id) continue;
      return detail::InvokeEntry(static_cast<T*>(this), e, flags, params, result, argErr);
    }
    return DISP_E_MEMBERNOTFOUND;
  }

 private:
  static bool NamesEqual(const char16_t* a, const char16_t* b) {
    for (; *a && *b; ++a, ++b) {
      char16_t x = *a, y = *b;
      if (x >= 'A' && x <= 'Z') x = static_cast<char16_t>(x - 'A' + 'a');
      if (y >= 'A' && y <= 'Z') y = static_cast<char16_t>(y - 'A' + 'a');
      if (x != y) return false;
    }
    return *a == *b;
  }
};

// ISupportErrorInfo answering S_OK for the listed interfaces.
template <typename... Itfs>
class SupportErrorInfoImpl : public ISupportErrorInfo {
 public:
  HRESULT InterfaceSupportsErrorInfo(REFIID iid) override {
    return ((iid == IidOf<Itfs>()) || ...) ? S_OK : S_FALSE;
  }
};

}  // namespace vexa::com
