// BSTR, VARIANT, SAFEARRAY and their conversions, with RAII wrappers.
//
// A BSTR is UTF-16, length-prefixed and NUL-terminated; a null BSTR is
// distinct from an empty one (SysStringLen answers 0 for both).
#pragma once

#include <string>
#include <string_view>
#include <utility>

#include "platform/com/Types.h"

struct IUnknown;
struct IDispatch;
struct IRecordInfo;

// ---- VARTYPE ---------------------------------------------------------------
enum VARENUM : VARTYPE {
  VT_EMPTY = 0,
  VT_NULL = 1,
  VT_I2 = 2,
  VT_I4 = 3,
  VT_R4 = 4,
  VT_R8 = 5,
  VT_CY = 6,
  VT_DATE = 7,
  VT_BSTR = 8,
  VT_DISPATCH = 9,
  VT_ERROR = 10,
  VT_BOOL = 11,
  VT_VARIANT = 12,
  VT_UNKNOWN = 13,
  VT_I1 = 16,
  VT_UI1 = 17,
  VT_UI2 = 18,
  VT_UI4 = 19,
  VT_I8 = 20,
  VT_UI8 = 21,
  VT_INT = 22,
  VT_UINT = 23,
  VT_RECORD = 36,
  VT_ARRAY = 0x2000,
  VT_BYREF = 0x4000,
  VT_TYPEMASK = 0x0FFF,
};

// ---- SAFEARRAY (one-dimensional is what the system uses) -------------------
struct SAFEARRAYBOUND {
  ULONG cElements;
  LONG lLbound;
};

struct SAFEARRAY {
  USHORT cDims;
  USHORT fFeatures;
  ULONG cbElements;
  ULONG cLocks;
  void* pvData;
  VARTYPE vt;  // element type
  SAFEARRAYBOUND rgsabound[1];
};

// ---- VARIANT -----------------------------------------------------------------
struct VARIANT {
  VARTYPE vt;
  WORD wReserved1;
  WORD wReserved2;
  WORD wReserved3;
  union {
    LONGLONG llVal;
    ULONGLONG ullVal;
    LONG lVal;
    ULONG ulVal;
    INT intVal;
    UINT uintVal;
    SHORT iVal;
    USHORT uiVal;
    CHAR cVal;
    BYTE bVal;
    FLOAT fltVal;
    DOUBLE dblVal;
    VARIANT_BOOL boolVal;
    SCODE scode;
    DATE date;
    BSTR bstrVal;
    IUnknown* punkVal;
    IDispatch* pdispVal;
    SAFEARRAY* parray;
    BYTE* pbVal;
    SHORT* piVal;
    LONG* plVal;
    FLOAT* pfltVal;
    DOUBLE* pdblVal;
    VARIANT_BOOL* pboolVal;
    DATE* pdate;
    BSTR* pbstrVal;
    IUnknown** ppunkVal;
    IDispatch** ppdispVal;
    SAFEARRAY** pparray;
    VARIANT* pvarVal;
    void* byref;
    // VT_RECORD: the record's data and the information on its type. The
    // VARIANT owns the data (freed by VariantClear through RecordDestroy)
    // and one reference to the information.
    struct {
      void* pvRecord;
      IRecordInfo* pRecInfo;
    };
  };
};
using VARIANTARG = VARIANT;

// ---- BSTR functions ----------------------------------------------------------
VEXA_COM_API BSTR SysAllocString(const OLECHAR* text);
VEXA_COM_API BSTR SysAllocStringLen(const OLECHAR* text, UINT length);
// Byte-length form; data may be null (the contents are then zero).
VEXA_COM_API BSTR SysAllocStringByteLen(const char* data, UINT bytes);
VEXA_COM_API int SysReAllocString(BSTR* target, const OLECHAR* text);
VEXA_COM_API void SysFreeString(BSTR s);
VEXA_COM_API UINT SysStringLen(BSTR s);
VEXA_COM_API UINT SysStringByteLen(BSTR s);

// ---- VARIANT functions -------------------------------------------------------
VEXA_COM_API void VariantInit(VARIANT* v);
VEXA_COM_API HRESULT VariantClear(VARIANT* v);
VEXA_COM_API HRESULT VariantCopy(VARIANT* dest, const VARIANT* src);
// Copies, following one level of VT_BYREF.
VEXA_COM_API HRESULT VariantCopyInd(VARIANT* dest, const VARIANT* src);

constexpr USHORT VARIANT_NOVALUEPROP = 0x01;
constexpr USHORT VARIANT_ALPHABOOL = 0x02;
constexpr USHORT VARIANT_NOUSEROVERRIDE = 0x04;
constexpr USHORT VARIANT_LOCALBOOL = 0x10;

// Converts between the scalar types, text and dates. Text is read and written
// in a fixed, locale-independent form ("12.5", dates "2002/09/13 00:01:03").
// Errors: DISP_E_OVERFLOW for values outside the target's range,
// DISP_E_TYPEMISMATCH for text that does not convert or unsupported pairs,
// DISP_E_BADVARTYPE for unknown types. dest may equal src.
VEXA_COM_API HRESULT VariantChangeType(VARIANT* dest, const VARIANT* src, USHORT flags, VARTYPE vt);
VEXA_COM_API HRESULT VariantChangeTypeEx(VARIANT* dest, const VARIANT* src, LCID lcid, USHORT flags,
                            VARTYPE vt);

// ---- SAFEARRAY functions -------------------------------------------------------
constexpr USHORT FADF_BSTR = 0x0100;
constexpr USHORT FADF_UNKNOWN = 0x0200;
constexpr USHORT FADF_DISPATCH = 0x0400;
constexpr USHORT FADF_VARIANT = 0x0800;
constexpr USHORT FADF_HAVEVARTYPE = 0x0080;

// Element types supported: VT_UI1, VT_I2, VT_I4, VT_R4, VT_R8, VT_BOOL,
// VT_DATE, VT_BSTR, VT_VARIANT, VT_UNKNOWN, VT_DISPATCH. Only one dimension.
VEXA_COM_API SAFEARRAY* SafeArrayCreateVector(VARTYPE vt, LONG lowerBound, ULONG elements);
VEXA_COM_API SAFEARRAY* SafeArrayCreate(VARTYPE vt, UINT dims, const SAFEARRAYBOUND* bounds);
VEXA_COM_API HRESULT SafeArrayDestroy(SAFEARRAY* sa);
VEXA_COM_API HRESULT SafeArrayCopy(const SAFEARRAY* src, SAFEARRAY** out);
VEXA_COM_API HRESULT SafeArrayGetLBound(const SAFEARRAY* sa, UINT dim, LONG* out);
VEXA_COM_API HRESULT SafeArrayGetUBound(const SAFEARRAY* sa, UINT dim, LONG* out);
VEXA_COM_API HRESULT SafeArrayGetVartype(const SAFEARRAY* sa, VARTYPE* out);
VEXA_COM_API UINT SafeArrayGetDim(const SAFEARRAY* sa);
VEXA_COM_API HRESULT SafeArrayAccessData(SAFEARRAY* sa, void** data);
VEXA_COM_API HRESULT SafeArrayUnaccessData(SAFEARRAY* sa);
// Element access copies: a BSTR is duplicated, an interface AddRef'd, a
// VARIANT copied. Index out of range: DISP_E_BADINDEX.
VEXA_COM_API HRESULT SafeArrayGetElement(SAFEARRAY* sa, const LONG* index, void* out);
VEXA_COM_API HRESULT SafeArrayPutElement(SAFEARRAY* sa, const LONG* index, const void* value);

namespace vexa::com {

// Owns one BSTR.
class VEXA_COM_API Bstr {
 public:
  Bstr() = default;
  explicit Bstr(const OLECHAR* s) : s_(s ? SysAllocString(s) : nullptr) {}
  explicit Bstr(std::u16string_view s)
      : s_(SysAllocStringLen(s.data(), static_cast<UINT>(s.size()))) {}
  // From UTF-8 text.
  static Bstr FromUtf8(std::string_view utf8);
  // Takes ownership of an allocated BSTR.
  static Bstr Attach(BSTR s) {
    Bstr b;
    b.s_ = s;
    return b;
  }
  ~Bstr() { SysFreeString(s_); }
  Bstr(const Bstr& o) : s_(o.s_ ? SysAllocStringLen(o.s_, SysStringLen(o.s_)) : nullptr) {}
  Bstr(Bstr&& o) noexcept : s_(std::exchange(o.s_, nullptr)) {}
  Bstr& operator=(Bstr o) noexcept {
    std::swap(s_, o.s_);
    return *this;
  }

  BSTR Get() const { return s_; }
  bool IsNull() const { return s_ == nullptr; }
  UINT Length() const { return SysStringLen(s_); }
  // The slot to receive an out-parameter; frees what was held.
  BSTR* Out() {
    SysFreeString(s_);
    s_ = nullptr;
    return &s_;
  }
  BSTR Detach() { return std::exchange(s_, nullptr); }
  // A new copy for an out-parameter (null stays null).
  BSTR Copy() const { return s_ ? SysAllocStringLen(s_, SysStringLen(s_)) : nullptr; }
  std::u16string_view View() const { return s_ ? std::u16string_view(s_, SysStringLen(s_)) : std::u16string_view(); }
  std::string Utf8() const;

 private:
  BSTR s_ = nullptr;
};

// UTF-8 text of a BSTR (empty for null).
VEXA_COM_API std::string BstrToUtf8(BSTR s);
VEXA_COM_API std::u16string_view BstrView(BSTR s);

// Owns one VARIANT.
class VEXA_COM_API Variant : public VARIANT {
 public:
  Variant() { VariantInit(this); }
  Variant(const Variant& o) {
    VariantInit(this);
    VariantCopy(this, &o);
  }
  Variant(Variant&& o) noexcept {
    *static_cast<VARIANT*>(this) = o;
    VariantInit(&o);
  }
  explicit Variant(const VARIANT& o) {
    VariantInit(this);
    VariantCopy(this, &o);
  }
  Variant& operator=(const Variant& o) {
    if (this != &o) VariantCopy(this, &o);
    return *this;
  }
  Variant& operator=(Variant&& o) noexcept {
    if (this != &o) {
      VariantClear(this);
      *static_cast<VARIANT*>(this) = o;
      VariantInit(&o);
    }
    return *this;
  }
  ~Variant() { VariantClear(this); }

  static Variant I4(LONG v);
  static Variant I2(SHORT v);
  static Variant R8(double v);
  static Variant R4(float v);
  static Variant Bool(bool v);
  static Variant Date(DATE d);
  static Variant String(std::u16string_view s);
  static Variant Utf8(std::string_view s);
  static Variant Null();
  // Adds a reference to the object.
  static Variant Unknown(IUnknown* p);
  static Variant Dispatch(IDispatch* p);

  HRESULT ChangeType(VARTYPE vt, USHORT flags = 0) {
    return VariantChangeType(this, this, flags, vt);
  }
  void Clear() { VariantClear(this); }
  VARIANT* Out() {
    VariantClear(this);
    return this;
  }
  VARIANT Detach() {
    VARIANT v = *this;
    VariantInit(this);
    return v;
  }
};

// Owns one SAFEARRAY.
class SafeArray {
 public:
  SafeArray() = default;
  SafeArray(VARTYPE vt, ULONG elements, LONG lowerBound = 0)
      : sa_(SafeArrayCreateVector(vt, lowerBound, elements)) {}
  static SafeArray Attach(SAFEARRAY* sa) {
    SafeArray a;
    a.sa_ = sa;
    return a;
  }
  ~SafeArray() {
    if (sa_) SafeArrayDestroy(sa_);
  }
  SafeArray(const SafeArray&) = delete;
  SafeArray& operator=(const SafeArray&) = delete;
  SafeArray(SafeArray&& o) noexcept : sa_(std::exchange(o.sa_, nullptr)) {}
  SafeArray& operator=(SafeArray&& o) noexcept {
    std::swap(sa_, o.sa_);
    return *this;
  }
  SAFEARRAY* Get() const { return sa_; }
  SAFEARRAY* Detach() { return std::exchange(sa_, nullptr); }
  ULONG Count() const { return sa_ ? sa_->rgsabound[0].cElements : 0; }
  LONG LowerBound() const { return sa_ ? sa_->rgsabound[0].lLbound : 0; }

 private:
  SAFEARRAY* sa_ = nullptr;
};

}  // namespace vexa::com
