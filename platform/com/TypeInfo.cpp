// Type information from dispatch tables, and the registered record types.
#include "platform/com/TypeInfo.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <tuple>

#include "platform/com/ComObject.h"
#include "platform/com/Runtime.h"

namespace vexa::com {
namespace {

bool SameName(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char16_t x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char16_t>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char16_t>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

BSTR NewBstr(std::u16string_view s) { return SysAllocStringLen(s.data(), static_cast<UINT>(s.size())); }

// Bytes a field of type vt takes in a record; 0 for a type a record cannot
// hold.
std::size_t FieldSize(VARTYPE vt) {
  switch (vt) {
    case VT_I1: case VT_UI1: return 1;
    case VT_I2: case VT_UI2: case VT_BOOL: return 2;
    case VT_I4: case VT_UI4: case VT_INT: case VT_UINT: case VT_R4: return 4;
    case VT_I8: case VT_UI8: case VT_R8: case VT_DATE: return 8;
    case VT_BSTR: return sizeof(BSTR);
    case VT_VARIANT: return sizeof(VARIANT);
    default: return 0;
  }
}

// ---- Type libraries ----------------------------------------------------------------

class CTypeLib;

using LibraryKey = std::tuple<std::uint32_t, std::uint16_t, std::uint16_t, std::uint64_t, WORD, WORD, LCID>;
LibraryKey KeyOf(const GUID& g, WORD major, WORD minor, LCID lcid) {
  std::uint64_t tail = 0;
  for (BYTE b : g.Data4) tail = tail << 8 | b;
  return {g.Data1, g.Data2, g.Data3, tail, major, minor, lcid};
}

// The type libraries that classes and record types have named, each with
// the types made known in it so far. Libraries live as long as the process.
struct Libraries {
  std::mutex mutex;
  std::map<LibraryKey, ComPtr<CTypeLib>> byKey;
};
Libraries& AllLibraries() {
  static Libraries* libraries = new Libraries;  // outlives every type information
  return *libraries;
}

class CTypeLib : public ComObjectRoot, public ITypeLib {
 public:
  using Interfaces = InterfaceMap<ITypeLib>;
  explicit CTypeLib(const TypeLibraryId& id) : id_(id), name_(id.name ? id.name : u"") {}

  const TypeLibraryId& Id() const { return id_; }

  // Adds (or replaces, by identifier) a type of this library; returns its index.
  UINT Add(const GUID& guid, ComPtr<ITypeInfo> info) {
    std::lock_guard lock(mutex_);
    for (UINT i = 0; i < types_.size(); ++i) {
      if (types_[i].first == guid) {
        types_[i].second = std::move(info);
        return i;
      }
    }
    types_.emplace_back(guid, std::move(info));
    return static_cast<UINT>(types_.size() - 1);
  }

  UINT GetTypeInfoCount() override {
    std::lock_guard lock(mutex_);
    return static_cast<UINT>(types_.size());
  }
  HRESULT GetTypeInfo(UINT index, ITypeInfo** out) override {
    if (!out) return E_INVALIDARG;
    *out = nullptr;
    std::lock_guard lock(mutex_);
    if (index >= types_.size()) return TYPE_E_ELEMENTNOTFOUND;
    return types_[index].second.CopyTo(out);
  }
  HRESULT GetTypeInfoType(UINT index, TYPEKIND* kind) override {
    if (!kind) return E_INVALIDARG;
    ComPtr<ITypeInfo> info;
    HRESULT hr = GetTypeInfo(index, info.Put());
    if (FAILED(hr)) return hr;
    TYPEATTR* attr = nullptr;
    if (FAILED(hr = info->GetTypeAttr(&attr))) return hr;
    *kind = attr->typekind;
    info->ReleaseTypeAttr(attr);
    return S_OK;
  }
  HRESULT GetTypeInfoOfGuid(REFGUID guid, ITypeInfo** out) override {
    if (!out) return E_INVALIDARG;
    *out = nullptr;
    std::lock_guard lock(mutex_);
    for (const auto& [g, info] : types_) {
      if (g == guid) return info.CopyTo(out);
    }
    return TYPE_E_ELEMENTNOTFOUND;
  }
  HRESULT GetLibAttr(TLIBATTR** out) override {
    if (!out) return E_INVALIDARG;
    *out = new (std::nothrow) TLIBATTR{id_.libid, id_.lcid, SYS_WIN64, id_.major, id_.minor, 0};
    return *out ? S_OK : E_OUTOFMEMORY;
  }
  HRESULT GetTypeComp(ITypeComp** out) override {
    if (out) *out = nullptr;
    return E_NOTIMPL;
  }
  HRESULT GetDocumentation(INT index, BSTR* name, BSTR* doc, DWORD* context, BSTR* helpFile) override {
    if (doc) *doc = nullptr;
    if (context) *context = 0;
    if (helpFile) *helpFile = nullptr;
    if (index == -1) {
      if (name) *name = NewBstr(name_);
      return S_OK;
    }
    ComPtr<ITypeInfo> info;
    HRESULT hr = GetTypeInfo(static_cast<UINT>(index), info.Put());
    if (FAILED(hr)) return hr;
    return info->GetDocumentation(MEMBERID_NIL, name, nullptr, nullptr, nullptr);
  }
  HRESULT IsName(LPOLESTR, ULONG, BOOL* found) override {
    if (found) *found = FALSE;
    return E_NOTIMPL;
  }
  HRESULT FindName(LPOLESTR, ULONG, ITypeInfo**, MEMBERID*, USHORT* found) override {
    if (found) *found = 0;
    return E_NOTIMPL;
  }
  void ReleaseTLibAttr(TLIBATTR* attr) override { delete attr; }

 private:
  TypeLibraryId id_;
  std::u16string name_;
  std::mutex mutex_;
  std::vector<std::pair<GUID, ComPtr<ITypeInfo>>> types_;
};

// The library of id, made on first use.
ComPtr<CTypeLib> LibraryOf(const TypeLibraryId& id) {
  Libraries& all = AllLibraries();
  std::lock_guard lock(all.mutex);
  ComPtr<CTypeLib>& lib = all.byKey[KeyOf(id.libid, id.major, id.minor, id.lcid)];
  if (!lib) {
    ComObject<CTypeLib>* made = nullptr;
    if (FAILED(ComObject<CTypeLib>::CreateInstance(&made, id))) return {};
    lib = ComPtr<CTypeLib>::Attach(made);
  }
  return lib;
}

// ---- What every type information shares ----------------------------------------------

template <typename T>
class TypeInfoBase : public ComObjectRoot, public ITypeInfo {
 public:
  HRESULT GetTypeComp(ITypeComp** out) override {
    if (out) *out = nullptr;
    return E_NOTIMPL;
  }
  HRESULT GetRefTypeOfImplType(UINT, HREFTYPE*) override { return E_NOTIMPL; }
  HRESULT GetImplTypeFlags(UINT, INT*) override { return E_NOTIMPL; }
  HRESULT GetDllEntry(MEMBERID, INVOKEKIND, BSTR*, BSTR*, WORD*) override { return E_NOTIMPL; }
  HRESULT GetRefTypeInfo(HREFTYPE, ITypeInfo** out) override {
    if (out) *out = nullptr;
    return E_NOTIMPL;
  }
  HRESULT AddressOfMember(MEMBERID, INVOKEKIND, void** out) override {
    if (out) *out = nullptr;
    return E_NOTIMPL;
  }
  HRESULT CreateInstance(IUnknown*, REFIID, void** out) override {
    if (out) *out = nullptr;
    return E_NOTIMPL;
  }
  HRESULT GetMops(MEMBERID, BSTR* mops) override {
    if (mops) *mops = nullptr;
    return E_NOTIMPL;
  }
  HRESULT GetContainingTypeLib(ITypeLib** lib, UINT* index) override {
    if (lib) *lib = nullptr;
    if (!library_) return TYPE_E_LIBNOTREGISTERED;
    if (index) *index = index_;
    if (lib) {
      *lib = library_.Get();
      (*lib)->AddRef();
    }
    return S_OK;
  }
  void ReleaseTypeAttr(TYPEATTR* attr) override { delete attr; }
  void ReleaseFuncDesc(FUNCDESC* desc) override { delete desc; }
  void ReleaseVarDesc(VARDESC* desc) override { delete desc; }

  void SetLibrary(ComPtr<CTypeLib> library, UINT index) {
    library_ = std::move(library);
    index_ = index;
  }

 protected:
  TYPEATTR* NewTypeAttr(const GUID& guid, TYPEKIND kind) const {
    auto* a = new (std::nothrow) TYPEATTR{};
    if (!a) return nullptr;
    a->guid = guid;
    a->memidConstructor = MEMBERID_NIL;
    a->memidDestructor = MEMBERID_NIL;
    a->typekind = kind;
    if (library_) {
      a->lcid = library_->Id().lcid;
      a->wMajorVerNum = library_->Id().major;
      a->wMinorVerNum = library_->Id().minor;
    }
    return a;
  }

  ComPtr<CTypeLib> library_;
  UINT index_ = 0;
};

// ---- Dispatch interfaces -----------------------------------------------------------------

class CDispatchTypeInfo : public TypeInfoBase<CDispatchTypeInfo> {
 public:
  using Interfaces = InterfaceMap<ITypeInfo>;

  CDispatchTypeInfo(const IID& iid, std::u16string name, std::vector<DispatchMember> members)
      : iid_(iid), name_(std::move(name)), members_(std::move(members)) {
    // One description per way of invoking a member, as a type library
    // lists a property's get and put apart.
    for (std::size_t i = 0; i < members_.size(); ++i) {
      const DispatchMember& m = members_[i];
      if (m.method) functions_.push_back({i, INVOKE_FUNC});
      if (m.get) functions_.push_back({i, INVOKE_PROPERTYGET});
      if (m.put) functions_.push_back({i, INVOKE_PROPERTYPUT});
      if (m.putref) functions_.push_back({i, INVOKE_PROPERTYPUTREF});
    }
  }

  HRESULT GetTypeAttr(TYPEATTR** out) override {
    if (!out) return E_INVALIDARG;
    *out = NewTypeAttr(iid_, TKIND_DISPATCH);
    if (!*out) return E_OUTOFMEMORY;
    (*out)->cFuncs = static_cast<WORD>(std::min<std::size_t>(functions_.size(), 0xFFFF));
    (*out)->cbSizeVft = 7 * sizeof(void*);  // IUnknown and IDispatch
    (*out)->cbAlignment = alignof(void*);
    (*out)->cbSizeInstance = sizeof(void*);
    (*out)->wTypeFlags = TYPEFLAG_FDUAL | TYPEFLAG_FDISPATCHABLE;
    return S_OK;
  }
  HRESULT GetFuncDesc(UINT index, FUNCDESC** out) override {
    if (!out) return E_INVALIDARG;
    *out = nullptr;
    if (index >= functions_.size()) return TYPE_E_ELEMENTNOTFOUND;
    const auto& [member, kind] = functions_[index];
    auto* d = new (std::nothrow) FUNCDESC{};
    if (!d) return E_OUTOFMEMORY;
    d->memid = members_[member].dispid;
    d->funckind = FUNC_DISPATCH;
    d->invkind = kind;
    d->callconv = CC_STDCALL;
    // A put takes the value; how many arguments a method takes its table
    // does not say.
    d->cParams = kind == INVOKE_PROPERTYPUT || kind == INVOKE_PROPERTYPUTREF ? 1 : 0;
    d->cParamsOpt = kind == INVOKE_FUNC ? -1 : 0;
    d->elemdescFunc.tdesc.vt = VT_VARIANT;
    *out = d;
    return S_OK;
  }
  HRESULT GetVarDesc(UINT, VARDESC** out) override {
    if (out) *out = nullptr;
    return TYPE_E_ELEMENTNOTFOUND;
  }
  HRESULT GetNames(MEMBERID memid, BSTR* names, UINT max, UINT* count) override {
    if (!names || !count) return E_INVALIDARG;
    *count = 0;
    const DispatchMember* m = Find(memid);
    if (!m) return TYPE_E_ELEMENTNOTFOUND;
    if (max == 0) return S_OK;
    names[0] = NewBstr(m->name);
    *count = 1;
    return names[0] ? S_OK : E_OUTOFMEMORY;
  }
  HRESULT GetIDsOfNames(LPOLESTR* names, UINT count, MEMBERID* ids) override {
    if (!names || !ids) return E_INVALIDARG;
    HRESULT hr = S_OK;
    for (UINT i = 0; i < count; ++i) {
      ids[i] = MEMBERID_NIL;
      if (i == 0 && names[0]) {
        for (const DispatchMember& m : members_) {
          if (SameName(m.name, names[0])) ids[0] = m.dispid;
        }
      }
      if (ids[i] == MEMBERID_NIL) hr = DISP_E_UNKNOWNNAME;
    }
    return hr;
  }
  // Invokes through the instance's own dispatch table.
  HRESULT Invoke(void* instance, MEMBERID memid, WORD flags, DISPPARAMS* params, VARIANT* result,
                 EXCEPINFO* excep, UINT* argErr) override {
    if (!instance) return E_INVALIDARG;
    auto* object = static_cast<IDispatch*>(instance);
    return object->Invoke(memid, GUID_NULL, library_ ? library_->Id().lcid : 0, flags, params, result, excep,
                          argErr);
  }
  HRESULT GetDocumentation(MEMBERID memid, BSTR* name, BSTR* doc, DWORD* context, BSTR* helpFile) override {
    if (doc) *doc = nullptr;
    if (context) *context = 0;
    if (helpFile) *helpFile = nullptr;
    if (memid == MEMBERID_NIL) {
      if (name) *name = NewBstr(name_);
      return S_OK;
    }
    const DispatchMember* m = Find(memid);
    if (!m) return TYPE_E_ELEMENTNOTFOUND;
    if (name) *name = NewBstr(m->name);
    return S_OK;
  }

 private:
  const DispatchMember* Find(MEMBERID memid) const {
    for (const DispatchMember& m : members_) {
      if (m.dispid == memid) return &m;
    }
    return nullptr;
  }

  IID iid_;
  std::u16string name_;
  std::vector<DispatchMember> members_;
  std::vector<std::pair<std::size_t, INVOKEKIND>> functions_;
};

// ---- Records ------------------------------------------------------------------------------

class CRecordTypeInfo : public TypeInfoBase<CRecordTypeInfo> {
 public:
  using Interfaces = InterfaceMap<ITypeInfo>;
  explicit CRecordTypeInfo(RecordType type) : type_(std::move(type)) {}
  const RecordType& Type() const { return type_; }

  HRESULT GetTypeAttr(TYPEATTR** out) override {
    if (!out) return E_INVALIDARG;
    *out = NewTypeAttr(type_.guid, TKIND_RECORD);
    if (!*out) return E_OUTOFMEMORY;
    (*out)->cVars = static_cast<WORD>(type_.fields.size());
    (*out)->cbSizeInstance = static_cast<ULONG>(type_.size);
    (*out)->cbAlignment = alignof(std::max_align_t);
    return S_OK;
  }
  HRESULT GetFuncDesc(UINT, FUNCDESC** out) override {
    if (out) *out = nullptr;
    return TYPE_E_ELEMENTNOTFOUND;
  }
  HRESULT GetVarDesc(UINT index, VARDESC** out) override {
    if (!out) return E_INVALIDARG;
    *out = nullptr;
    if (index >= type_.fields.size()) return TYPE_E_ELEMENTNOTFOUND;
    auto* d = new (std::nothrow) VARDESC{};
    if (!d) return E_OUTOFMEMORY;
    d->memid = static_cast<MEMBERID>(index);
    d->oInst = static_cast<ULONG>(type_.fields[index].offset);
    d->elemdescVar.tdesc.vt = type_.fields[index].vt;
    d->varkind = VAR_PERINSTANCE;
    *out = d;
    return S_OK;
  }
  HRESULT GetNames(MEMBERID memid, BSTR* names, UINT max, UINT* count) override {
    if (!names || !count) return E_INVALIDARG;
    *count = 0;
    if (memid < 0 || static_cast<std::size_t>(memid) >= type_.fields.size()) return TYPE_E_ELEMENTNOTFOUND;
    if (max == 0) return S_OK;
    names[0] = NewBstr(type_.fields[memid].name);
    *count = 1;
    return names[0] ? S_OK : E_OUTOFMEMORY;
  }
  HRESULT GetIDsOfNames(LPOLESTR* names, UINT count, MEMBERID* ids) override {
    if (!names || !ids) return E_INVALIDARG;
    HRESULT hr = S_OK;
    for (UINT i = 0; i < count; ++i) {
      ids[i] = MEMBERID_NIL;
      for (std::size_t f = 0; i == 0 && names[0] && f < type_.fields.size(); ++f) {
        if (SameName(type_.fields[f].name, names[0])) ids[0] = static_cast<MEMBERID>(f);
      }
      if (ids[i] == MEMBERID_NIL) hr = DISP_E_UNKNOWNNAME;
    }
    return hr;
  }
  HRESULT Invoke(void*, MEMBERID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override { return E_NOTIMPL; }
  HRESULT GetDocumentation(MEMBERID memid, BSTR* name, BSTR* doc, DWORD* context, BSTR* helpFile) override {
    if (doc) *doc = nullptr;
    if (context) *context = 0;
    if (helpFile) *helpFile = nullptr;
    if (memid == MEMBERID_NIL) {
      if (name) *name = NewBstr(type_.name);
      return S_OK;
    }
    if (memid < 0 || static_cast<std::size_t>(memid) >= type_.fields.size()) return TYPE_E_ELEMENTNOTFOUND;
    if (name) *name = NewBstr(type_.fields[memid].name);
    return S_OK;
  }

 private:
  RecordType type_;
};

class CRecordInfo : public ComObjectRoot, public IRecordInfo {
 public:
  using Interfaces = InterfaceMap<IRecordInfo>;
  explicit CRecordInfo(ComPtr<CRecordTypeInfo> typeInfo) : info_(std::move(typeInfo)), type_(info_->Type()) {}

  HRESULT RecordInit(void* data) override {
    if (!data) return E_INVALIDARG;
    std::memset(data, 0, type_.size);
    return S_OK;
  }
  HRESULT RecordClear(void* data) override {
    if (!data) return E_INVALIDARG;
    for (const RecordField& f : type_.fields) {
      void* at = static_cast<BYTE*>(data) + f.offset;
      if (f.vt == VT_BSTR) {
        BSTR s = nullptr;
        std::memcpy(&s, at, sizeof s);
        SysFreeString(s);
      } else if (f.vt == VT_VARIANT) {
        VariantClear(static_cast<VARIANT*>(at));
      }
    }
    std::memset(data, 0, type_.size);
    return S_OK;
  }
  HRESULT RecordCopy(void* existing, void* fresh) override {
    if (!existing || !fresh) return E_INVALIDARG;
    if (existing == fresh) return S_OK;
    RecordClear(fresh);
    std::memcpy(fresh, existing, type_.size);
    for (const RecordField& f : type_.fields) {
      void* to = static_cast<BYTE*>(fresh) + f.offset;
      const void* from = static_cast<const BYTE*>(existing) + f.offset;
      if (f.vt == VT_BSTR) {
        BSTR s = nullptr;
        std::memcpy(&s, from, sizeof s);
        BSTR copy = s ? SysAllocStringLen(s, SysStringLen(s)) : nullptr;
        std::memcpy(to, &copy, sizeof copy);
        if (s && !copy) return E_OUTOFMEMORY;
      } else if (f.vt == VT_VARIANT) {
        auto* v = static_cast<VARIANT*>(to);
        VariantInit(v);
        if (HRESULT hr = VariantCopy(v, static_cast<const VARIANT*>(from)); FAILED(hr)) return hr;
      }
    }
    return S_OK;
  }
  HRESULT GetGuid(GUID* guid) override {
    if (!guid) return E_INVALIDARG;
    *guid = type_.guid;
    return S_OK;
  }
  HRESULT GetName(BSTR* name) override {
    if (!name) return E_INVALIDARG;
    *name = NewBstr(type_.name);
    return *name ? S_OK : E_OUTOFMEMORY;
  }
  HRESULT GetSize(ULONG* size) override {
    if (!size) return E_INVALIDARG;
    *size = static_cast<ULONG>(type_.size);
    return S_OK;
  }
  HRESULT GetTypeInfo(ITypeInfo** out) override {
    if (!out) return E_INVALIDARG;
    *out = info_.Get();
    info_->AddRef();
    return S_OK;
  }
  HRESULT GetField(void* data, LPCOLESTR name, VARIANT* value) override {
    if (!data || !name || !value) return E_INVALIDARG;
    const RecordField* f = Field(name);
    if (!f) return DISP_E_UNKNOWNNAME;
    VARIANT view;
    VariantInit(&view);
    Load(*f, data, &view);
    return VariantCopy(value, &view);  // text and nested values are copied
  }
  HRESULT GetFieldNoCopy(void*, LPCOLESTR, VARIANT*, void**) override { return E_NOTIMPL; }
  // The value is converted to the field's type; the old value is freed.
  HRESULT PutField(ULONG flags, void* data, LPCOLESTR name, VARIANT* value) override {
    if (!data || !name || !value) return E_INVALIDARG;
    if (!(flags & (INVOKE_PROPERTYPUT | INVOKE_PROPERTYPUTREF))) return E_INVALIDARG;
    const RecordField* f = Field(name);
    if (!f) return DISP_E_UNKNOWNNAME;
    void* at = static_cast<BYTE*>(data) + f->offset;
    if (f->vt == VT_VARIANT) {
      Variant copy;
      if (HRESULT hr = VariantCopyInd(&copy, value); FAILED(hr)) return hr;
      VariantClear(static_cast<VARIANT*>(at));
      *static_cast<VARIANT*>(at) = copy.Detach();
      return S_OK;
    }
    Variant converted;
    if (HRESULT hr = VariantChangeType(&converted, value, 0, f->vt); FAILED(hr)) return hr;
    if (f->vt == VT_BSTR) {
      BSTR old = nullptr;
      std::memcpy(&old, at, sizeof old);
      SysFreeString(old);
      BSTR taken = converted.bstrVal;
      converted.vt = VT_EMPTY;
      std::memcpy(at, &taken, sizeof taken);
      return S_OK;
    }
    std::memcpy(at, &converted.llVal, FieldSize(f->vt));
    return S_OK;
  }
  HRESULT PutFieldNoCopy(ULONG, void*, LPCOLESTR, VARIANT*) override { return E_NOTIMPL; }
  HRESULT GetFieldNames(ULONG* count, BSTR* names) override {
    if (!count) return E_INVALIDARG;
    if (!names) {
      *count = static_cast<ULONG>(type_.fields.size());
      return S_OK;
    }
    const ULONG n = std::min<ULONG>(*count, static_cast<ULONG>(type_.fields.size()));
    for (ULONG i = 0; i < n; ++i) {
      names[i] = NewBstr(type_.fields[i].name);
      if (!names[i]) {
        for (ULONG k = 0; k < i; ++k) SysFreeString(names[k]);
        return E_OUTOFMEMORY;
      }
    }
    *count = n;
    return S_OK;
  }
  BOOL IsMatchingType(IRecordInfo* other) override {
    GUID g{};
    return other && SUCCEEDED(other->GetGuid(&g)) && g == type_.guid;
  }
  void* RecordCreate() override {
    void* data = CoTaskMemAlloc(type_.size);
    if (data) RecordInit(data);
    return data;
  }
  HRESULT RecordCreateCopy(void* source, void** out) override {
    if (!source || !out) return E_INVALIDARG;
    *out = RecordCreate();
    if (!*out) return E_OUTOFMEMORY;
    const HRESULT hr = RecordCopy(source, *out);
    if (FAILED(hr)) {
      RecordDestroy(*out);
      *out = nullptr;
    }
    return hr;
  }
  HRESULT RecordDestroy(void* data) override {
    if (!data) return S_OK;
    RecordClear(data);
    CoTaskMemFree(data);
    return S_OK;
  }

 private:
  const RecordField* Field(LPCOLESTR name) const {
    const std::u16string_view n(name);
    for (const RecordField& f : type_.fields) {
      if (f.name == n) return &f;
    }
    return nullptr;
  }
  // A VARIANT that views the field (owning nothing).
  static void Load(const RecordField& f, void* data, VARIANT* v) {
    const void* at = static_cast<const BYTE*>(data) + f.offset;
    if (f.vt == VT_VARIANT) {
      *v = *static_cast<const VARIANT*>(at);
      return;
    }
    v->vt = f.vt;
    v->llVal = 0;
    std::memcpy(&v->llVal, at, FieldSize(f.vt));
  }

  ComPtr<CRecordTypeInfo> info_;
  const RecordType& type_;
};

// Registered record types by their identifier.
struct Records {
  std::mutex mutex;
  std::vector<std::pair<GUID, ComPtr<IRecordInfo>>> byGuid;
};
Records& AllRecords() {
  static Records* records = new Records;
  return *records;
}

HRESULT CheckRecordType(const RecordType& type) {
  if (type.size == 0 || type.fields.empty()) return E_INVALIDARG;
  std::vector<std::pair<std::size_t, std::size_t>> spans;
  for (std::size_t i = 0; i < type.fields.size(); ++i) {
    const RecordField& f = type.fields[i];
    const std::size_t size = FieldSize(f.vt);
    if (f.name.empty() || size == 0 || f.offset > type.size || size > type.size - f.offset) return E_INVALIDARG;
    for (std::size_t k = 0; k < i; ++k) {
      if (type.fields[k].name == f.name) return E_INVALIDARG;
    }
    for (const auto& [at, length] : spans) {
      if (f.offset < at + length && at < f.offset + size) return E_INVALIDARG;
    }
    spans.emplace_back(f.offset, size);
  }
  return S_OK;
}

}  // namespace

HRESULT RegisterRecordType(const RecordType& type, IRecordInfo** info) {
  if (info) *info = nullptr;
  if (HRESULT hr = CheckRecordType(type); FAILED(hr)) return hr;
  ComObject<CRecordTypeInfo>* madeType = nullptr;
  HRESULT hr = ComObject<CRecordTypeInfo>::CreateInstance(&madeType, type);
  if (FAILED(hr)) return hr;
  ComPtr<CRecordTypeInfo> typeInfo = ComPtr<CRecordTypeInfo>::Attach(madeType);
  ComPtr<CTypeLib> library = LibraryOf(type.library);
  if (!library) return E_OUTOFMEMORY;
  typeInfo->SetLibrary(library, library->Add(type.guid, ComPtr<ITypeInfo>(typeInfo.Get())));
  ComPtr<IRecordInfo> record;
  if (FAILED(hr = ComObject<CRecordInfo>::Create(record.Put(), typeInfo))) return hr;
  Records& all = AllRecords();
  {
    std::lock_guard lock(all.mutex);
    auto it = std::find_if(all.byGuid.begin(), all.byGuid.end(), [&](const auto& r) { return r.first == type.guid; });
    if (it != all.byGuid.end()) {
      it->second = record;
    } else {
      all.byGuid.emplace_back(type.guid, record);
    }
  }
  if (info) *info = record.Detach();
  return S_OK;
}

HRESULT CreateDispatchTypeInfo(REFIID iid, std::u16string_view interfaceName, const TypeLibraryId* library,
                               std::span<const DispatchMember> members, ITypeInfo** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  ComObject<CDispatchTypeInfo>* made = nullptr;
  HRESULT hr = ComObject<CDispatchTypeInfo>::CreateInstance(
      &made, iid, std::u16string(interfaceName), std::vector<DispatchMember>(members.begin(), members.end()));
  if (FAILED(hr)) return hr;
  ComPtr<CDispatchTypeInfo> info = ComPtr<CDispatchTypeInfo>::Attach(made);
  if (library) {
    ComPtr<CTypeLib> lib = LibraryOf(*library);
    if (!lib) return E_OUTOFMEMORY;
    info->SetLibrary(lib, lib->Add(iid, ComPtr<ITypeInfo>(info.Get())));
  }
  *out = info.Detach();
  return S_OK;
}

}  // namespace vexa::com

using namespace vexa::com;

HRESULT GetRecordInfoFromGuids(REFGUID libid, ULONG major, ULONG minor, LCID lcid, REFGUID typeGuid,
                               IRecordInfo** out) {
  if (!out) return E_INVALIDARG;
  *out = nullptr;
  ComPtr<CTypeLib> library;
  {
    Libraries& all = AllLibraries();
    std::lock_guard lock(all.mutex);
    auto it = all.byKey.find(KeyOf(libid, static_cast<WORD>(major), static_cast<WORD>(minor), lcid));
    if (it == all.byKey.end()) return TYPE_E_LIBNOTREGISTERED;
    library = it->second;
  }
  ComPtr<ITypeInfo> info;
  if (FAILED(library->GetTypeInfoOfGuid(typeGuid, info.Put()))) return TYPE_E_ELEMENTNOTFOUND;
  return GetRecordInfoFromTypeInfo(info.Get(), out);
}

HRESULT GetRecordInfoFromTypeInfo(ITypeInfo* typeInfo, IRecordInfo** out) {
  if (!typeInfo || !out) return E_INVALIDARG;
  *out = nullptr;
  TYPEATTR* attr = nullptr;
  HRESULT hr = typeInfo->GetTypeAttr(&attr);
  if (FAILED(hr)) return hr;
  const GUID guid = attr->guid;
  const bool isRecord = attr->typekind == TKIND_RECORD;
  typeInfo->ReleaseTypeAttr(attr);
  if (!isRecord) return E_INVALIDARG;
  Records& all = AllRecords();
  std::lock_guard lock(all.mutex);
  for (const auto& [g, record] : all.byGuid) {
    if (g == guid) return record.CopyTo(out);
  }
  return TYPE_E_ELEMENTNOTFOUND;
}
