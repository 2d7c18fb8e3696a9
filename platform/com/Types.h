// The component model's basic vocabulary: result codes, GUIDs and the scalar
// types that cross interfaces. The names are the ones the system's
// interfaces are written with.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "platform/base/Export.h"
#include "platform/base/WinTypes.h"

// What the component core's library exports: the entry points and the
// classes its callers use.
#define VEXA_COM_API VEXA_EXPORT

using HRESULT = std::int32_t;
using SCODE = HRESULT;
using DISPID = LONG;
using MEMBERID = DISPID;
using LCID = DWORD;
using VARTYPE = USHORT;
using VARIANT_BOOL = SHORT;
using DATE = double;
using OLECHAR = char16_t;
using LPOLESTR = OLECHAR*;
using LPCOLESTR = const OLECHAR*;
using BSTR = OLECHAR*;
using FLOAT = float;
using DOUBLE = double;
using CHAR = char;
using CLSCTX = DWORD;

constexpr VARIANT_BOOL VARIANT_TRUE = -1;
constexpr VARIANT_BOOL VARIANT_FALSE = 0;

constexpr HRESULT MakeHresult(unsigned severity, unsigned facility, unsigned code) {
  return static_cast<HRESULT>((severity << 31) | (facility << 16) | code);
}

constexpr bool SUCCEEDED(HRESULT hr) { return hr >= 0; }
constexpr bool FAILED(HRESULT hr) { return hr < 0; }

// Result codes the system uses. Values are the platform's own, since stored
// logs and callers compare them.
constexpr HRESULT S_OK = 0;
constexpr HRESULT S_FALSE = 1;
constexpr HRESULT E_NOTIMPL = static_cast<HRESULT>(0x80004001u);
constexpr HRESULT E_NOINTERFACE = static_cast<HRESULT>(0x80004002u);
constexpr HRESULT E_POINTER = static_cast<HRESULT>(0x80004003u);
constexpr HRESULT E_ABORT = static_cast<HRESULT>(0x80004004u);
constexpr HRESULT E_FAIL = static_cast<HRESULT>(0x80004005u);
constexpr HRESULT E_UNEXPECTED = static_cast<HRESULT>(0x8000FFFFu);
constexpr HRESULT E_ACCESSDENIED = static_cast<HRESULT>(0x80070005u);
constexpr HRESULT E_HANDLE = static_cast<HRESULT>(0x80070006u);
constexpr HRESULT E_OUTOFMEMORY = static_cast<HRESULT>(0x8007000Eu);
constexpr HRESULT E_INVALIDARG = static_cast<HRESULT>(0x80070057u);
constexpr HRESULT CLASS_E_NOAGGREGATION = static_cast<HRESULT>(0x80040110u);
constexpr HRESULT CLASS_E_CLASSNOTAVAILABLE = static_cast<HRESULT>(0x80040111u);
constexpr HRESULT REGDB_E_CLASSNOTREG = static_cast<HRESULT>(0x80040154u);
constexpr HRESULT REGDB_E_READREGDB = static_cast<HRESULT>(0x80040150u);
constexpr HRESULT REGDB_E_WRITEREGDB = static_cast<HRESULT>(0x80040151u);
constexpr HRESULT REGDB_E_IIDNOTREG = static_cast<HRESULT>(0x80040155u);
constexpr HRESULT CO_E_NOTINITIALIZED = static_cast<HRESULT>(0x800401F0u);
constexpr HRESULT CO_E_CLASSSTRING = static_cast<HRESULT>(0x800401F3u);
constexpr HRESULT CO_E_DLLNOTFOUND = static_cast<HRESULT>(0x800401F8u);
constexpr HRESULT CO_E_ERRORINDLL = static_cast<HRESULT>(0x800401F9u);
constexpr HRESULT CO_E_SERVER_EXEC_FAILURE = static_cast<HRESULT>(0x80080005u);
constexpr HRESULT RPC_E_DISCONNECTED = static_cast<HRESULT>(0x80010108u);
constexpr HRESULT RPC_E_SERVERFAULT = static_cast<HRESULT>(0x80010105u);
constexpr HRESULT RPC_E_TIMEOUT = static_cast<HRESULT>(0x8001011Fu);
constexpr HRESULT DISP_E_UNKNOWNINTERFACE = static_cast<HRESULT>(0x80020001u);
constexpr HRESULT DISP_E_MEMBERNOTFOUND = static_cast<HRESULT>(0x80020003u);
constexpr HRESULT DISP_E_PARAMNOTFOUND = static_cast<HRESULT>(0x80020004u);
constexpr HRESULT DISP_E_TYPEMISMATCH = static_cast<HRESULT>(0x80020005u);
constexpr HRESULT DISP_E_UNKNOWNNAME = static_cast<HRESULT>(0x80020006u);
constexpr HRESULT DISP_E_BADVARTYPE = static_cast<HRESULT>(0x80020008u);
constexpr HRESULT DISP_E_EXCEPTION = static_cast<HRESULT>(0x80020009u);
constexpr HRESULT DISP_E_OVERFLOW = static_cast<HRESULT>(0x8002000Au);
constexpr HRESULT DISP_E_BADINDEX = static_cast<HRESULT>(0x8002000Bu);
constexpr HRESULT DISP_E_BADPARAMCOUNT = static_cast<HRESULT>(0x8002000Eu);
constexpr HRESULT DISP_E_PARAMNOTOPTIONAL = static_cast<HRESULT>(0x8002000Fu);
constexpr HRESULT TYPE_E_ELEMENTNOTFOUND = static_cast<HRESULT>(0x8002802Bu);
constexpr HRESULT STG_E_FILENOTFOUND = static_cast<HRESULT>(0x80030002u);
constexpr HRESULT STG_E_PATHNOTFOUND = static_cast<HRESULT>(0x80030003u);
constexpr HRESULT STG_E_ACCESSDENIED = static_cast<HRESULT>(0x80030005u);
constexpr HRESULT STG_E_WRITEFAULT = static_cast<HRESULT>(0x8003001Du);
constexpr HRESULT STG_E_READFAULT = static_cast<HRESULT>(0x8003001Eu);
constexpr HRESULT STG_E_MEDIUMFULL = static_cast<HRESULT>(0x80030070u);
constexpr HRESULT TYPE_E_LIBNOTREGISTERED = static_cast<HRESULT>(0x8002801Du);

// Text for a result code ("E_FAIL", or "0x8004xxxx" for others).
VEXA_COM_API std::string HresultName(HRESULT hr);

// ---- GUIDs -----------------------------------------------------------------

struct GUID {
  DWORD Data1 = 0;
  WORD Data2 = 0;
  WORD Data3 = 0;
  BYTE Data4[8] = {};

  friend constexpr bool operator==(const GUID& a, const GUID& b) {
    if (a.Data1 != b.Data1 || a.Data2 != b.Data2 || a.Data3 != b.Data3) return false;
    for (int i = 0; i < 8; ++i) {
      if (a.Data4[i] != b.Data4[i]) return false;
    }
    return true;
  }
};

using IID = GUID;
using CLSID = GUID;
using REFGUID = const GUID&;
using REFIID = const IID&;
using REFCLSID = const CLSID&;

inline constexpr GUID GUID_NULL{};

namespace vexa::com {

constexpr int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// A GUID from its 16 bytes in text order (big-endian fields).
constexpr GUID GuidFromBytes(const std::uint8_t* b) {
  GUID g;
  g.Data1 = (DWORD(b[0]) << 24) | (DWORD(b[1]) << 16) | (DWORD(b[2]) << 8) | b[3];
  g.Data2 = static_cast<WORD>((b[4] << 8) | b[5]);
  g.Data3 = static_cast<WORD>((b[6] << 8) | b[7]);
  for (int i = 0; i < 8; ++i) g.Data4[i] = b[8 + i];
  return g;
}

// Parses "{8-4-4-4-12}" or the same 36 characters without braces. Returns
// false for anything else.
constexpr bool ParseGuid(std::string_view text, GUID* out) {
  if (text.size() == 38) {
    if (text.front() != '{' || text.back() != '}') return false;
    text = text.substr(1, 36);
  }
  if (text.size() != 36) return false;
  std::uint8_t bytes[16] = {};
  int b = 0;
  for (std::size_t i = 0; i < 36;) {
    if (i == 8 || i == 13 || i == 18 || i == 23) {
      if (text[i] != '-') return false;
      ++i;
      continue;
    }
    const int hi = HexDigit(text[i]);
    const int lo = HexDigit(text[i + 1]);
    if (hi < 0 || lo < 0) return false;
    bytes[b++] = static_cast<std::uint8_t>(hi * 16 + lo);
    i += 2;
  }
  *out = GuidFromBytes(bytes);
  return true;
}

// A GUID from a literal, checked at compile time when used in a constant.
consteval GUID Guid(const char* text) {
  GUID g;
  std::size_t n = 0;
  while (text[n]) ++n;
  if (!ParseGuid(std::string_view(text, n), &g)) throw "malformed GUID literal";
  return g;
}

// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}", upper case, as the registry
// writes them.
VEXA_COM_API std::string GuidToString(const GUID& g);
// The 36-character lower-case form without braces (the model's identifiers).
VEXA_COM_API std::string GuidToLowerString(const GUID& g);
// A new random GUID (libuuid).
VEXA_COM_API GUID NewGuid();

// Associates an interface type with its IID. Declared for each interface with
// VEXA_DEFINE_IID; a missing declaration is a compile error, never a wrong IID.
template <typename I>
struct InterfaceId;

template <typename I>
inline constexpr const IID& IidOf() {
  return InterfaceId<I>::value;
}

}  // namespace vexa::com

// Declares I's IID: vexa::com::IidOf<I>() and the constant IID_<I>; the
// interface's name is kept beside it (type information reports it).
#define VEXA_DEFINE_IID(I, text)                                   \
  template <>                                                      \
  struct vexa::com::InterfaceId<I> {                               \
    static constexpr IID value = vexa::com::Guid(text);            \
    static constexpr const char16_t* name = u"" #I;                \
  };                                                               \
  inline constexpr IID IID_##I = vexa::com::InterfaceId<I>::value;

// Declares a class identifier constant CLSID_<name>.
#define VEXA_DEFINE_CLSID(name, text) inline constexpr CLSID CLSID_##name = vexa::com::Guid(text);

template <>
struct std::hash<GUID> {
  std::size_t operator()(const GUID& g) const noexcept {
    std::size_t h = g.Data1;
    h = h * 31 + g.Data2;
    h = h * 31 + g.Data3;
    for (BYTE b : g.Data4) h = h * 31 + b;
    return h;
  }
};
