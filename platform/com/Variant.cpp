#include "platform/com/Variant.h"

#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>
#include <optional>
#include <string>

#include "platform/base/Text.h"
#include "platform/com/Date.h"
#include "platform/com/RecordInfo.h"
#include "platform/com/Unknown.h"

// ---- BSTR ----------------------------------------------------------------------
// Layout: a 4-byte byte count, the characters, a 2-byte NUL. The BSTR points
// at the first character.

namespace {
BSTR AllocBytes(const void* data, UINT bytes) {
  auto* block = static_cast<char*>(std::malloc(sizeof(std::uint32_t) + bytes + sizeof(OLECHAR)));
  if (!block) return nullptr;
  const std::uint32_t n = bytes;
  std::memcpy(block, &n, sizeof n);
  char* chars = block + sizeof n;
  if (data) std::memcpy(chars, data, bytes);
  else std::memset(chars, 0, bytes);
  chars[bytes] = 0;
  chars[bytes + 1] = 0;
  return reinterpret_cast<BSTR>(chars);
}
}  // namespace

BSTR SysAllocStringLen(const OLECHAR* text, UINT length) {
  if (length > (std::numeric_limits<std::uint32_t>::max() - 8) / 2) return nullptr;
  return AllocBytes(text, length * static_cast<UINT>(sizeof(OLECHAR)));
}

BSTR SysAllocString(const OLECHAR* text) {
  if (!text) return nullptr;
  UINT n = 0;
  while (text[n]) ++n;
  return SysAllocStringLen(text, n);
}

BSTR SysAllocStringByteLen(const char* data, UINT bytes) {
  if (bytes > std::numeric_limits<std::uint32_t>::max() - 8) return nullptr;
  return AllocBytes(data, bytes);
}

int SysReAllocString(BSTR* target, const OLECHAR* text) {
  if (!target) return FALSE;
  BSTR n = SysAllocString(text);
  if (text && !n) return FALSE;
  SysFreeString(*target);
  *target = n;
  return TRUE;
}

void SysFreeString(BSTR s) {
  if (s) std::free(reinterpret_cast<char*>(s) - sizeof(std::uint32_t));
}

UINT SysStringByteLen(BSTR s) {
  if (!s) return 0;
  std::uint32_t n;
  std::memcpy(&n, reinterpret_cast<char*>(s) - sizeof n, sizeof n);
  return n;
}

UINT SysStringLen(BSTR s) { return SysStringByteLen(s) / static_cast<UINT>(sizeof(OLECHAR)); }

// ---- VARIANT ---------------------------------------------------------------------

void VariantInit(VARIANT* v) {
  std::memset(v, 0, sizeof *v);
  v->vt = VT_EMPTY;
}

HRESULT VariantClear(VARIANT* v) {
  if (!v) return E_INVALIDARG;
  if (!(v->vt & VT_BYREF)) {
    if (v->vt & VT_ARRAY) {
      if (v->parray) SafeArrayDestroy(v->parray);
    } else {
      switch (v->vt) {
        case VT_BSTR: SysFreeString(v->bstrVal); break;
        case VT_DISPATCH:
          if (v->pdispVal) v->pdispVal->Release();
          break;
        case VT_UNKNOWN:
          if (v->punkVal) v->punkVal->Release();
          break;
        case VT_RECORD:
          if (v->pRecInfo) {
            v->pRecInfo->RecordDestroy(v->pvRecord);
            v->pRecInfo->Release();
          }
          break;
        default: break;
      }
    }
  }
  VariantInit(v);
  return S_OK;
}

namespace {

HRESULT CopyValue(VARIANT* dest, const VARIANT& src) {
  VARIANT tmp = src;
  if (!(src.vt & VT_BYREF)) {
    if (src.vt & VT_ARRAY) {
      tmp.parray = nullptr;
      if (src.parray) {
        const HRESULT hr = SafeArrayCopy(src.parray, &tmp.parray);
        if (FAILED(hr)) return hr;
      }
    } else if (src.vt == VT_BSTR) {
      tmp.bstrVal = src.bstrVal ? SysAllocStringLen(src.bstrVal, SysStringLen(src.bstrVal)) : nullptr;
      if (src.bstrVal && !tmp.bstrVal) return E_OUTOFMEMORY;
    } else if (src.vt == VT_DISPATCH) {
      if (tmp.pdispVal) tmp.pdispVal->AddRef();
    } else if (src.vt == VT_UNKNOWN) {
      if (tmp.punkVal) tmp.punkVal->AddRef();
    } else if (src.vt == VT_RECORD) {
      tmp.pvRecord = nullptr;
      if (src.pRecInfo) {
        if (src.pvRecord) {
          const HRESULT hr = src.pRecInfo->RecordCreateCopy(src.pvRecord, &tmp.pvRecord);
          if (FAILED(hr)) return hr;
        }
        src.pRecInfo->AddRef();
      }
    }
  }
  VariantClear(dest);
  *dest = tmp;
  return S_OK;
}

// Follows one level of VT_BYREF into a plain VARIANT view (no ownership).
bool Deref(const VARIANT& src, VARIANT* out) {
  if (!(src.vt & VT_BYREF)) {
    *out = src;
    return true;
  }
  VariantInit(out);
  const VARTYPE base = src.vt & ~VT_BYREF;
  if (!src.byref) return false;
  if (base & VT_ARRAY) {
    out->vt = base;
    out->parray = *src.pparray;
    return true;
  }
  out->vt = base;
  switch (base) {
    case VT_UI1: out->bVal = *src.pbVal; break;
    case VT_I2: out->iVal = *src.piVal; break;
    case VT_BOOL: out->boolVal = *src.pboolVal; break;
    case VT_I4: out->lVal = *src.plVal; break;
    case VT_R4: out->fltVal = *src.pfltVal; break;
    case VT_R8: out->dblVal = *src.pdblVal; break;
    case VT_DATE: out->date = *src.pdate; break;
    case VT_BSTR: out->bstrVal = *src.pbstrVal; break;
    case VT_UNKNOWN: out->punkVal = *src.ppunkVal; break;
    case VT_DISPATCH: out->pdispVal = *src.ppdispVal; break;
    case VT_VARIANT: return Deref(*src.pvarVal, out) && !(src.pvarVal->vt & VT_BYREF);
    default: return false;
  }
  return true;
}

}  // namespace

HRESULT VariantCopy(VARIANT* dest, const VARIANT* src) {
  if (!dest || !src) return E_INVALIDARG;
  if (dest == src) return S_OK;
  return CopyValue(dest, *src);
}

HRESULT VariantCopyInd(VARIANT* dest, const VARIANT* src) {
  if (!dest || !src) return E_INVALIDARG;
  VARIANT view;
  if (!Deref(*src, &view)) return DISP_E_BADVARTYPE;
  VARIANT copy;
  VariantInit(&copy);
  const HRESULT hr = CopyValue(&copy, view);
  if (FAILED(hr)) return hr;
  VariantClear(dest);
  *dest = copy;
  return S_OK;
}

// ---- VariantChangeType -----------------------------------------------------------

namespace {

enum class Kind { Empty, Null, Integer, Real, Bool, Date, Text, Object };

struct Scalar {
  Kind kind = Kind::Empty;
  long double integer = 0;  // exact for every 64-bit integer
  double real = 0;
  bool isUnsigned64 = false;
  unsigned long long u64 = 0;
  long long i64 = 0;
  std::u16string text;
  IUnknown* object = nullptr;
  bool isDispatch = false;
};

bool ToScalar(const VARIANT& v, Scalar* s) {
  switch (v.vt) {
    case VT_EMPTY: s->kind = Kind::Empty; return true;
    case VT_NULL: s->kind = Kind::Null; return true;
    case VT_I1: s->kind = Kind::Integer; s->i64 = static_cast<signed char>(v.cVal); break;
    case VT_UI1: s->kind = Kind::Integer; s->i64 = v.bVal; break;
    case VT_I2: s->kind = Kind::Integer; s->i64 = v.iVal; break;
    case VT_UI2: s->kind = Kind::Integer; s->i64 = v.uiVal; break;
    case VT_I4: s->kind = Kind::Integer; s->i64 = v.lVal; break;
    case VT_INT: s->kind = Kind::Integer; s->i64 = v.intVal; break;
    case VT_UI4: s->kind = Kind::Integer; s->i64 = v.ulVal; break;
    case VT_UINT: s->kind = Kind::Integer; s->i64 = v.uintVal; break;
    case VT_I8: s->kind = Kind::Integer; s->i64 = v.llVal; break;
    case VT_UI8:
      s->kind = Kind::Integer;
      s->isUnsigned64 = true;
      s->u64 = v.ullVal;
      s->integer = static_cast<long double>(v.ullVal);
      return true;
    case VT_R4: s->kind = Kind::Real; s->real = v.fltVal; return true;
    case VT_R8: s->kind = Kind::Real; s->real = v.dblVal; return true;
    case VT_DATE: s->kind = Kind::Date; s->real = v.date; return true;
    case VT_BOOL: s->kind = Kind::Bool; s->i64 = v.boolVal ? -1 : 0; break;
    case VT_BSTR: s->kind = Kind::Text; s->text = std::u16string(vexa::com::BstrView(v.bstrVal)); return true;
    case VT_UNKNOWN: s->kind = Kind::Object; s->object = v.punkVal; return true;
    case VT_DISPATCH:
      s->kind = Kind::Object;
      s->object = v.pdispVal;
      s->isDispatch = true;
      return true;
    default: return false;
  }
  s->integer = static_cast<long double>(s->i64);
  return true;
}

std::string Trim(std::string s) {
  const auto first = s.find_first_not_of(" \t\r\n");
  if (first == std::string::npos) return "";
  const auto last = s.find_last_not_of(" \t\r\n");
  return s.substr(first, last - first + 1);
}

// Parses a decimal number: [sign] digits [. digits] [e [sign] digits].
bool ParseNumber(const std::u16string& text, long double* out) {
  const std::string s = Trim(vexa::base::Utf16ToUtf8(text));
  if (s.empty()) return false;
  std::size_t i = 0;
  if (s[i] == '+' || s[i] == '-') ++i;
  std::size_t digits = 0;
  while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) ++i, ++digits;
  if (i < s.size() && s[i] == '.') {
    ++i;
    while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) ++i, ++digits;
  }
  if (digits == 0) return false;
  if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
    ++i;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
    std::size_t expDigits = 0;
    while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) ++i, ++expDigits;
    if (expDigits == 0) return false;
  }
  if (i != s.size()) return false;
  char* end = nullptr;
  *out = std::strtold(s.c_str(), &end);
  return end && *end == '\0';
}

std::optional<long double> ParseBoolText(const std::u16string& text) {
  const std::string s = Trim(vexa::base::Utf16ToUtf8(text));
  if (vexa::base::EqualsNoCase(s, "true") || vexa::base::EqualsNoCase(s, "#TRUE#")) return -1;
  if (vexa::base::EqualsNoCase(s, "false") || vexa::base::EqualsNoCase(s, "#FALSE#")) return 0;
  return std::nullopt;
}

// Reads one unsigned number of at most maxDigits digits.
bool ReadField(const std::string& s, std::size_t& i, int maxDigits, int* out) {
  int n = 0, digits = 0;
  while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i])) && digits < maxDigits) {
    n = n * 10 + (s[i] - '0');
    ++i;
    ++digits;
  }
  *out = n;
  return digits > 0;
}

// Dates: "YYYY/MM/DD", "YYYY-MM-DD", "MM/DD/YYYY", each optionally followed by
// a time; or a time alone "HH:MM[:SS[.fff]] [AM|PM]".
bool ParseDateText(const std::u16string& text, DATE* out) {
  const std::string s = Trim(vexa::base::Utf16ToUtf8(text));
  if (s.empty()) return false;
  SYSTEMTIME st{};
  st.wYear = 1899;
  st.wMonth = 12;
  st.wDay = 30;
  std::size_t i = 0;
  bool haveDate = false;
  // Is there a date part? It has a '/' or a '-' before any ':'.
  const std::size_t colon = s.find(':');
  const std::size_t sep = s.find_first_of("/-");
  if (sep != std::string::npos && (colon == std::string::npos || sep < colon)) {
    int a, b, c;
    if (!ReadField(s, i, 4, &a)) return false;
    const std::size_t aDigits = i;
    if (i >= s.size() || (s[i] != '/' && s[i] != '-')) return false;
    const char sepChar = s[i++];
    if (!ReadField(s, i, 2, &b)) return false;
    if (i >= s.size() || s[i] != sepChar) return false;
    ++i;
    const std::size_t cStart = i;
    if (!ReadField(s, i, 4, &c)) return false;
    if (aDigits == 4) {
      st.wYear = static_cast<WORD>(a);
      st.wMonth = static_cast<WORD>(b);
      st.wDay = static_cast<WORD>(c);
    } else if (i - cStart == 4 && sepChar == '/') {
      st.wMonth = static_cast<WORD>(a);
      st.wDay = static_cast<WORD>(b);
      st.wYear = static_cast<WORD>(c);
    } else {
      return false;
    }
    haveDate = true;
    if (i < s.size() && (s[i] == 'T' || s[i] == ' ')) {
      while (i < s.size() && (s[i] == ' ' || s[i] == 'T')) ++i;
    }
  }
  if (i < s.size()) {
    int h, m, sec = 0, ms = 0;
    if (!ReadField(s, i, 2, &h) || i >= s.size() || s[i] != ':') return false;
    ++i;
    if (!ReadField(s, i, 2, &m)) return false;
    if (i < s.size() && s[i] == ':') {
      ++i;
      if (!ReadField(s, i, 2, &sec)) return false;
      if (i < s.size() && s[i] == '.') {
        ++i;
        const std::size_t start = i;
        if (!ReadField(s, i, 3, &ms)) return false;
        for (std::size_t d = i - start; d < 3; ++d) ms *= 10;
      }
    }
    while (i < s.size() && s[i] == ' ') ++i;
    if (i < s.size()) {
      const std::string ampm = s.substr(i);
      const bool pm = vexa::base::EqualsNoCase(ampm, "PM");
      if (!pm && !vexa::base::EqualsNoCase(ampm, "AM")) return false;
      if (h < 1 || h > 12) return false;
      h = (h % 12) + (pm ? 12 : 0);
      i = s.size();
    }
    st.wHour = static_cast<WORD>(h);
    st.wMinute = static_cast<WORD>(m);
    st.wSecond = static_cast<WORD>(sec);
    st.wMilliseconds = static_cast<WORD>(ms);
  } else if (!haveDate) {
    return false;
  }
  return SystemTimeToVariantTime(&st, out) == TRUE;
}

std::u16string FormatDate(DATE d, bool* ok) {
  SYSTEMTIME st{};
  if (!VariantTimeToSystemTime(d, &st)) {
    *ok = false;
    return {};
  }
  *ok = true;
  char buf[64];
  const bool hasTime = st.wHour || st.wMinute || st.wSecond;
  const bool hasDate = std::trunc(d) != 0.0;
  if (hasDate && hasTime) {
    std::snprintf(buf, sizeof buf, "%04u/%02u/%02u %02u:%02u:%02u", st.wYear, st.wMonth, st.wDay,
                  st.wHour, st.wMinute, st.wSecond);
  } else if (hasTime) {
    std::snprintf(buf, sizeof buf, "%02u:%02u:%02u", st.wHour, st.wMinute, st.wSecond);
  } else {
    std::snprintf(buf, sizeof buf, "%04u/%02u/%02u", st.wYear, st.wMonth, st.wDay);
  }
  return vexa::base::Utf8ToUtf16(buf);
}

std::u16string FormatReal(double v, int digits) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.*G", digits, v);
  return vexa::base::Utf8ToUtf16(buf);
}

// A numeric view of the source, for integer, real, bool and date targets.
HRESULT NumericOf(const Scalar& s, long double* out, bool* exactInteger) {
  *exactInteger = false;
  switch (s.kind) {
    case Kind::Empty: *out = 0; *exactInteger = true; return S_OK;
    case Kind::Integer:
    case Kind::Bool: *out = s.integer; *exactInteger = true; return S_OK;
    case Kind::Real:
    case Kind::Date:
      if (std::isnan(s.real)) return DISP_E_OVERFLOW;
      *out = s.real;
      return S_OK;
    case Kind::Text: {
      if (auto b = ParseBoolText(s.text)) {
        *out = *b;
        *exactInteger = true;
        return S_OK;
      }
      if (!ParseNumber(s.text, out)) return DISP_E_TYPEMISMATCH;
      return S_OK;
    }
    default: return DISP_E_TYPEMISMATCH;
  }
}

template <typename I>
HRESULT ToInteger(const Scalar& s, I* out) {
  if (s.isUnsigned64) {
    if (s.u64 > static_cast<unsigned long long>(std::numeric_limits<I>::max())) return DISP_E_OVERFLOW;
    *out = static_cast<I>(s.u64);
    return S_OK;
  }
  long double v;
  bool exact;
  const HRESULT hr = NumericOf(s, &v, &exact);
  if (FAILED(hr)) return hr;
  if (!exact) v = std::nearbyintl(v);  // half to even, as automation rounds
  if (v < static_cast<long double>(std::numeric_limits<I>::min()) ||
      v > static_cast<long double>(std::numeric_limits<I>::max())) {
    return DISP_E_OVERFLOW;
  }
  *out = static_cast<I>(v);
  return S_OK;
}

HRESULT Convert(const Scalar& s, VARTYPE vt, USHORT flags, VARIANT* out) {
  VariantInit(out);
  HRESULT hr = S_OK;
  switch (vt) {
    case VT_EMPTY: return S_OK;
    case VT_NULL:
      if (s.kind != Kind::Null && s.kind != Kind::Empty) return DISP_E_TYPEMISMATCH;
      out->vt = VT_NULL;
      return S_OK;
    case VT_I1: {
      signed char v = 0;
      hr = ToInteger(s, &v);
      out->cVal = static_cast<CHAR>(v);
      break;
    }
    case VT_UI1: hr = ToInteger(s, &out->bVal); break;
    case VT_I2: hr = ToInteger(s, &out->iVal); break;
    case VT_UI2: hr = ToInteger(s, &out->uiVal); break;
    case VT_I4: hr = ToInteger(s, &out->lVal); break;
    case VT_INT: hr = ToInteger(s, &out->intVal); break;
    case VT_UI4: hr = ToInteger(s, &out->ulVal); break;
    case VT_UINT: hr = ToInteger(s, &out->uintVal); break;
    case VT_I8: hr = ToInteger(s, &out->llVal); break;
    case VT_UI8: hr = ToInteger(s, &out->ullVal); break;
    case VT_R4:
    case VT_R8: {
      long double v;
      bool exact;
      if (s.kind == Kind::Null) return DISP_E_TYPEMISMATCH;
      hr = NumericOf(s, &v, &exact);
      if (FAILED(hr)) break;
      if (vt == VT_R4) {
        if (std::fabs(v) > FLT_MAX) return DISP_E_OVERFLOW;
        out->fltVal = static_cast<float>(v);
      } else {
        if (std::fabs(v) > DBL_MAX) return DISP_E_OVERFLOW;
        out->dblVal = static_cast<double>(v);
      }
      break;
    }
    case VT_BOOL: {
      long double v;
      bool exact;
      hr = NumericOf(s, &v, &exact);
      if (SUCCEEDED(hr)) out->boolVal = v != 0 ? VARIANT_TRUE : VARIANT_FALSE;
      break;
    }
    case VT_DATE: {
      if (s.kind == Kind::Text) {
        if (!ParseDateText(s.text, &out->date)) {
          // A plain number is a day count.
          long double v;
          if (!ParseNumber(s.text, &v)) return DISP_E_TYPEMISMATCH;
          if (!(v > kMinDate - 1.0L && v < kMaxDate + 1.0L)) return DISP_E_OVERFLOW;
          out->date = static_cast<double>(v);
        }
        break;
      }
      long double v;
      bool exact;
      hr = NumericOf(s, &v, &exact);
      if (FAILED(hr)) break;
      if (!(v > kMinDate - 1.0L && v < kMaxDate + 1.0L)) return DISP_E_OVERFLOW;
      out->date = static_cast<double>(v);
      break;
    }
    case VT_BSTR: {
      std::u16string text;
      switch (s.kind) {
        case Kind::Empty: break;
        case Kind::Integer:
          text = vexa::base::Utf8ToUtf16(s.isUnsigned64 ? std::to_string(s.u64) : std::to_string(s.i64));
          break;
        case Kind::Bool:
          if (flags & (VARIANT_ALPHABOOL | VARIANT_LOCALBOOL)) text = s.i64 ? u"True" : u"False";
          else text = s.i64 ? u"-1" : u"0";
          break;
        case Kind::Real: text = FormatReal(s.real, 15); break;
        case Kind::Date: {
          bool ok;
          text = FormatDate(s.real, &ok);
          if (!ok) return DISP_E_OVERFLOW;
          break;
        }
        case Kind::Text: text = s.text; break;
        default: return DISP_E_TYPEMISMATCH;
      }
      out->bstrVal = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
      if (!out->bstrVal) return E_OUTOFMEMORY;
      break;
    }
    case VT_UNKNOWN:
    case VT_DISPATCH: {
      if (s.kind != Kind::Object) return DISP_E_TYPEMISMATCH;
      if (!s.object) {
        out->punkVal = nullptr;
        break;
      }
      void* p = nullptr;
      hr = s.object->QueryInterface(vt == VT_DISPATCH ? vexa::com::IidOf<IDispatch>()
                                                      : vexa::com::IidOf<IUnknown>(),
                                    &p);
      if (FAILED(hr)) return DISP_E_TYPEMISMATCH;
      out->punkVal = static_cast<IUnknown*>(p);
      break;
    }
    default: return DISP_E_BADVARTYPE;
  }
  if (FAILED(hr)) {
    VariantInit(out);
    return hr;
  }
  out->vt = vt;
  return S_OK;
}

}  // namespace

HRESULT VariantChangeTypeEx(VARIANT* dest, const VARIANT* src, LCID, USHORT flags, VARTYPE vt) {
  if (!dest || !src) return E_INVALIDARG;
  VARIANT view;
  if (!Deref(*src, &view)) return DISP_E_BADVARTYPE;
  if ((vt & (VT_ARRAY | VT_BYREF)) || (view.vt & VT_ARRAY)) {
    if (view.vt != vt) return DISP_E_TYPEMISMATCH;
    VARIANT copy;
    VariantInit(&copy);
    const HRESULT hr = CopyValue(&copy, view);
    if (FAILED(hr)) return hr;
    VariantClear(dest);
    *dest = copy;
    return S_OK;
  }
  if (view.vt == vt) {
    // Same type: an exact copy (an out-of-range VARIANT_BOOL stays as it is
    // so the receiver can refuse it).
    VARIANT copy;
    VariantInit(&copy);
    const HRESULT hr = CopyValue(&copy, view);
    if (FAILED(hr)) return hr;
    VariantClear(dest);
    *dest = copy;
    return S_OK;
  }
  Scalar s;
  if (!ToScalar(view, &s)) return DISP_E_BADVARTYPE;
  VARIANT result;
  VariantInit(&result);
  const HRESULT hr = Convert(s, vt, flags, &result);
  if (FAILED(hr)) return hr;
  VariantClear(dest);  // safe when dest == src: the scalar holds its own copy
  *dest = result;
  return S_OK;
}

HRESULT VariantChangeType(VARIANT* dest, const VARIANT* src, USHORT flags, VARTYPE vt) {
  return VariantChangeTypeEx(dest, src, LOCALE_USER_DEFAULT, flags, vt);
}

// ---- SAFEARRAY ------------------------------------------------------------------

namespace {
ULONG ElementSize(VARTYPE vt) {
  switch (vt) {
    case VT_UI1: case VT_I1: return 1;
    case VT_I2: case VT_UI2: case VT_BOOL: return 2;
    case VT_I4: case VT_UI4: case VT_R4: case VT_INT: case VT_UINT: return 4;
    case VT_R8: case VT_DATE: case VT_I8: case VT_UI8: return 8;
    case VT_BSTR: return sizeof(BSTR);
    case VT_UNKNOWN: case VT_DISPATCH: return sizeof(IUnknown*);
    case VT_VARIANT: return sizeof(VARIANT);
    default: return 0;
  }
}

USHORT FeaturesOf(VARTYPE vt) {
  switch (vt) {
    case VT_BSTR: return FADF_BSTR | FADF_HAVEVARTYPE;
    case VT_UNKNOWN: return FADF_UNKNOWN | FADF_HAVEVARTYPE;
    case VT_DISPATCH: return FADF_DISPATCH | FADF_HAVEVARTYPE;
    case VT_VARIANT: return FADF_VARIANT | FADF_HAVEVARTYPE;
    default: return FADF_HAVEVARTYPE;
  }
}

void ReleaseElements(SAFEARRAY* sa) {
  const ULONG n = sa->rgsabound[0].cElements;
  for (ULONG i = 0; i < n; ++i) {
    switch (sa->vt) {
      case VT_BSTR: SysFreeString(static_cast<BSTR*>(sa->pvData)[i]); break;
      case VT_UNKNOWN:
      case VT_DISPATCH:
        if (IUnknown* p = static_cast<IUnknown**>(sa->pvData)[i]) p->Release();
        break;
      case VT_VARIANT: VariantClear(&static_cast<VARIANT*>(sa->pvData)[i]); break;
      default: return;
    }
  }
}

HRESULT ElementAddress(SAFEARRAY* sa, const LONG* index, void** where) {
  if (!sa || !index) return E_INVALIDARG;
  const long long i = static_cast<long long>(*index) - sa->rgsabound[0].lLbound;
  if (i < 0 || i >= static_cast<long long>(sa->rgsabound[0].cElements)) return DISP_E_BADINDEX;
  *where = static_cast<char*>(sa->pvData) + i * sa->cbElements;
  return S_OK;
}
}  // namespace

SAFEARRAY* SafeArrayCreate(VARTYPE vt, UINT dims, const SAFEARRAYBOUND* bounds) {
  if (dims != 1 || !bounds) return nullptr;
  return SafeArrayCreateVector(vt, bounds[0].lLbound, bounds[0].cElements);
}

SAFEARRAY* SafeArrayCreateVector(VARTYPE vt, LONG lowerBound, ULONG elements) {
  const ULONG size = ElementSize(vt);
  if (!size) return nullptr;
  if (elements > std::numeric_limits<ULONG>::max() / size) return nullptr;
  auto* sa = static_cast<SAFEARRAY*>(std::calloc(1, sizeof(SAFEARRAY)));
  if (!sa) return nullptr;
  sa->cDims = 1;
  sa->fFeatures = FeaturesOf(vt);
  sa->cbElements = size;
  sa->vt = vt;
  sa->rgsabound[0].cElements = elements;
  sa->rgsabound[0].lLbound = lowerBound;
  sa->pvData = std::calloc(elements ? elements : 1, size);
  if (!sa->pvData) {
    std::free(sa);
    return nullptr;
  }
  if (vt == VT_VARIANT) {
    for (ULONG i = 0; i < elements; ++i) VariantInit(&static_cast<VARIANT*>(sa->pvData)[i]);
  }
  return sa;
}

HRESULT SafeArrayDestroy(SAFEARRAY* sa) {
  if (!sa) return S_OK;
  if (sa->cLocks) return static_cast<HRESULT>(0x8002000Du);  // DISP_E_ARRAYISLOCKED
  ReleaseElements(sa);
  std::free(sa->pvData);
  std::free(sa);
  return S_OK;
}

HRESULT SafeArrayCopy(const SAFEARRAY* src, SAFEARRAY** out) {
  if (!src || !out) return E_INVALIDARG;
  SAFEARRAY* sa = SafeArrayCreateVector(src->vt, src->rgsabound[0].lLbound, src->rgsabound[0].cElements);
  if (!sa) return E_OUTOFMEMORY;
  const ULONG n = src->rgsabound[0].cElements;
  for (ULONG i = 0; i < n; ++i) {
    switch (src->vt) {
      case VT_BSTR: {
        BSTR s = static_cast<BSTR*>(src->pvData)[i];
        static_cast<BSTR*>(sa->pvData)[i] = s ? SysAllocStringLen(s, SysStringLen(s)) : nullptr;
        break;
      }
      case VT_UNKNOWN:
      case VT_DISPATCH: {
        IUnknown* p = static_cast<IUnknown**>(src->pvData)[i];
        if (p) p->AddRef();
        static_cast<IUnknown**>(sa->pvData)[i] = p;
        break;
      }
      case VT_VARIANT:
        VariantCopy(&static_cast<VARIANT*>(sa->pvData)[i], &static_cast<const VARIANT*>(src->pvData)[i]);
        break;
      default:
        std::memcpy(sa->pvData, src->pvData, static_cast<std::size_t>(n) * src->cbElements);
        i = n;
        break;
    }
  }
  *out = sa;
  return S_OK;
}

HRESULT SafeArrayGetLBound(const SAFEARRAY* sa, UINT dim, LONG* out) {
  if (!sa || !out) return E_INVALIDARG;
  if (dim != 1) return DISP_E_BADINDEX;
  *out = sa->rgsabound[0].lLbound;
  return S_OK;
}

HRESULT SafeArrayGetUBound(const SAFEARRAY* sa, UINT dim, LONG* out) {
  if (!sa || !out) return E_INVALIDARG;
  if (dim != 1) return DISP_E_BADINDEX;
  *out = static_cast<LONG>(sa->rgsabound[0].lLbound + static_cast<long long>(sa->rgsabound[0].cElements) - 1);
  return S_OK;
}

HRESULT SafeArrayGetVartype(const SAFEARRAY* sa, VARTYPE* out) {
  if (!sa || !out) return E_INVALIDARG;
  *out = sa->vt;
  return S_OK;
}

UINT SafeArrayGetDim(const SAFEARRAY* sa) { return sa ? sa->cDims : 0; }

HRESULT SafeArrayAccessData(SAFEARRAY* sa, void** data) {
  if (!sa || !data) return E_INVALIDARG;
  ++sa->cLocks;
  *data = sa->pvData;
  return S_OK;
}

HRESULT SafeArrayUnaccessData(SAFEARRAY* sa) {
  if (!sa) return E_INVALIDARG;
  if (sa->cLocks == 0) return E_UNEXPECTED;
  --sa->cLocks;
  return S_OK;
}

HRESULT SafeArrayGetElement(SAFEARRAY* sa, const LONG* index, void* out) {
  void* where;
  const HRESULT hr = ElementAddress(sa, index, &where);
  if (FAILED(hr)) return hr;
  if (!out) return E_INVALIDARG;
  switch (sa->vt) {
    case VT_BSTR: {
      BSTR s = *static_cast<BSTR*>(where);
      *static_cast<BSTR*>(out) = s ? SysAllocStringLen(s, SysStringLen(s)) : nullptr;
      if (s && !*static_cast<BSTR*>(out)) return E_OUTOFMEMORY;
      return S_OK;
    }
    case VT_UNKNOWN:
    case VT_DISPATCH: {
      IUnknown* p = *static_cast<IUnknown**>(where);
      if (p) p->AddRef();
      *static_cast<IUnknown**>(out) = p;
      return S_OK;
    }
    case VT_VARIANT:
      VariantInit(static_cast<VARIANT*>(out));
      return VariantCopy(static_cast<VARIANT*>(out), static_cast<VARIANT*>(where));
    default:
      std::memcpy(out, where, sa->cbElements);
      return S_OK;
  }
}

HRESULT SafeArrayPutElement(SAFEARRAY* sa, const LONG* index, const void* value) {
  void* where;
  const HRESULT hr = ElementAddress(sa, index, &where);
  if (FAILED(hr)) return hr;
  switch (sa->vt) {
    case VT_BSTR: {
      const auto s = static_cast<BSTR>(const_cast<void*>(value));
      BSTR copy = s ? SysAllocStringLen(s, SysStringLen(s)) : nullptr;
      if (s && !copy) return E_OUTOFMEMORY;
      SysFreeString(*static_cast<BSTR*>(where));
      *static_cast<BSTR*>(where) = copy;
      return S_OK;
    }
    case VT_UNKNOWN:
    case VT_DISPATCH: {
      auto* p = static_cast<IUnknown*>(const_cast<void*>(value));
      if (p) p->AddRef();
      if (IUnknown* old = *static_cast<IUnknown**>(where)) old->Release();
      *static_cast<IUnknown**>(where) = p;
      return S_OK;
    }
    case VT_VARIANT:
      if (!value) return E_INVALIDARG;
      return VariantCopy(static_cast<VARIANT*>(where), static_cast<const VARIANT*>(value));
    default:
      if (!value) return E_INVALIDARG;
      std::memcpy(where, value, sa->cbElements);
      return S_OK;
  }
}

// ---- wrappers ----------------------------------------------------------------------

namespace vexa::com {

std::u16string_view BstrView(BSTR s) {
  return s ? std::u16string_view(s, SysStringLen(s)) : std::u16string_view();
}

std::string BstrToUtf8(BSTR s) { return vexa::base::Utf16ToUtf8(BstrView(s)); }

Bstr Bstr::FromUtf8(std::string_view utf8) { return Bstr(vexa::base::Utf8ToUtf16(utf8)); }

std::string Bstr::Utf8() const { return BstrToUtf8(s_); }

namespace {
template <typename M, typename V>
Variant MakeScalar(VARTYPE vt, M VARIANT::*member, V value) {
  Variant r;
  r.vt = vt;
  r.*member = static_cast<M>(value);
  return r;
}
}  // namespace

Variant Variant::I4(LONG v) { return MakeScalar(VT_I4, &VARIANT::lVal, v); }
Variant Variant::I2(SHORT v) { return MakeScalar(VT_I2, &VARIANT::iVal, v); }
Variant Variant::R8(double v) { return MakeScalar(VT_R8, &VARIANT::dblVal, v); }
Variant Variant::R4(float v) { return MakeScalar(VT_R4, &VARIANT::fltVal, v); }
Variant Variant::Bool(bool v) {
  return MakeScalar(VT_BOOL, &VARIANT::boolVal, v ? VARIANT_TRUE : VARIANT_FALSE);
}
Variant Variant::Date(DATE d) { return MakeScalar(VT_DATE, &VARIANT::date, d); }
Variant Variant::String(std::u16string_view s) {
  Variant r;
  r.vt = VT_BSTR;
  r.bstrVal = SysAllocStringLen(s.data(), static_cast<UINT>(s.size()));
  return r;
}
Variant Variant::Utf8(std::string_view s) { return String(vexa::base::Utf8ToUtf16(s)); }
Variant Variant::Null() {
  Variant r;
  r.vt = VT_NULL;
  return r;
}
Variant Variant::Unknown(IUnknown* p) {
  Variant r;
  r.vt = VT_UNKNOWN;
  r.punkVal = p;
  if (p) p->AddRef();
  return r;
}
Variant Variant::Dispatch(IDispatch* p) {
  Variant r;
  r.vt = VT_DISPATCH;
  r.pdispVal = p;
  if (p) p->AddRef();
  return r;
}

}  // namespace vexa::com
