#include "platform/com/Runtime.h"

#include <dlfcn.h>

#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>

#include "platform/base/Module.h"
#include "platform/base/Path.h"
#include "platform/base/Text.h"
#include "platform/com/ComObject.h"
#include "platform/registry/Registry.h"

using vexa::base::Utf16ToUtf8;
using vexa::base::Utf8ToUtf16;

namespace vexa::com {
namespace {

thread_local int tApartments = 0;
// The thread's error information; released when the thread ends.
thread_local ComPtr<IErrorInfo> tErrorInfo;

class CErrorObject : public ComObjectRoot, public IErrorInfo, public ICreateErrorInfo {
 public:
  using Interfaces = InterfaceMap<IErrorInfo, ICreateErrorInfo>;

  HRESULT GetGUID(GUID* g) override {
    if (!g) return E_POINTER;
    *g = guid_;
    return S_OK;
  }
  HRESULT GetSource(BSTR* s) override { return Out(source_, s); }
  HRESULT GetDescription(BSTR* s) override { return Out(description_, s); }
  HRESULT GetHelpFile(BSTR* s) override { return Out(helpFile_, s); }
  HRESULT GetHelpContext(DWORD* c) override {
    if (!c) return E_POINTER;
    *c = helpContext_;
    return S_OK;
  }
  HRESULT SetGUID(REFGUID g) override {
    guid_ = g;
    return S_OK;
  }
  HRESULT SetSource(LPOLESTR s) override { return In(s, &source_); }
  HRESULT SetDescription(LPOLESTR s) override { return In(s, &description_); }
  HRESULT SetHelpFile(LPOLESTR s) override { return In(s, &helpFile_); }
  HRESULT SetHelpContext(DWORD c) override {
    helpContext_ = c;
    return S_OK;
  }

 private:
  static HRESULT Out(const Bstr& from, BSTR* to) {
    if (!to) return E_POINTER;
    *to = from.Copy();
    return S_OK;
  }
  static HRESULT In(LPOLESTR from, Bstr* to) {
    *to = Bstr(from);
    return S_OK;
  }
  GUID guid_{};
  Bstr source_, description_, helpFile_;
  DWORD helpContext_ = 0;
};

class CClassFactory : public ComObjectRoot, public IClassFactory {
 public:
  using Interfaces = InterfaceMap<IClassFactory>;
  explicit CClassFactory(HRESULT (*create)(REFIID, void**)) : create_(create) {}

  HRESULT CreateInstance(IUnknown* outer, REFIID iid, void** ppv) override {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    return create_(iid, ppv);
  }
  HRESULT LockServer(BOOL) override { return S_OK; }

 private:
  HRESULT (*create_)(REFIID, void**);
};

class CVariantEnumerator : public ComObjectRoot, public IEnumVARIANT {
 public:
  using Interfaces = InterfaceMap<IEnumVARIANT>;
  CVariantEnumerator(std::vector<Variant> items, std::size_t pos)
      : items_(std::move(items)), pos_(pos) {}

  HRESULT Next(ULONG celt, VARIANT* out, ULONG* fetched) override {
    if (!out) return E_POINTER;
    ULONG n = 0;
    while (n < celt && pos_ < items_.size()) {
      VariantInit(&out[n]);
      const HRESULT hr = VariantCopy(&out[n], &items_[pos_]);
      if (FAILED(hr)) {
        for (ULONG k = 0; k < n; ++k) VariantClear(&out[k]);
        if (fetched) *fetched = 0;
        return hr;
      }
      ++n;
      ++pos_;
    }
    if (fetched) *fetched = n;
    return n == celt ? S_OK : S_FALSE;
  }
  HRESULT Skip(ULONG celt) override {
    const std::size_t left = items_.size() - pos_;
    if (celt > left) {
      pos_ = items_.size();
      return S_FALSE;
    }
    pos_ += celt;
    return S_OK;
  }
  HRESULT Reset() override {
    pos_ = 0;
    return S_OK;
  }
  HRESULT Clone(IEnumVARIANT** out) override {
    if (!out) return E_POINTER;
    return ComObject<CVariantEnumerator>::Create(out, items_, pos_);
  }

 private:
  std::vector<Variant> items_;
  std::size_t pos_;
};

std::string ClsidKey(REFCLSID clsid) { return "CLSID\\" + GuidToString(clsid); }

// The default value of a key under HKEY_CLASSES_ROOT ("" when the key or
// the value is missing). A registry that cannot be read leaves *broken set
// with the store's reason (which file, which line, what is wrong there).
std::string DefaultValue(const std::string& key, std::string* broken = nullptr) {
  reg::Value v;
  const reg::Status s = reg::GetValue(reg::Hive::ClassesRoot, key, "", &v);
  if (s == reg::Status::BadFile) {
    if (broken && broken->empty()) *broken = reg::LastError();
    return "";
  }
  if (s != reg::Status::Ok || (v.type != reg::ValueType::Sz && v.type != reg::ValueType::ExpandSz)) return "";
  return v.text;
}

// REGDB_E_READREGDB with error information saying why the registry cannot
// be read: a class is not "not registered" when its registration could not
// be read at all.
HRESULT RegistryUnreadable(const std::string& reason) {
  return SetError(Utf8ToUtf16("the registry cannot be read: " + reason), u"", GUID_NULL, REGDB_E_READREGDB);
}

// Modules are loaded once and stay loaded for the life of the process:
// objects they made may outlive any bookkeeping of ours.
void* LoadServerModule(const std::string& name, HRESULT* hr) {
  static std::mutex mutex;
  static std::map<std::string, void*> loaded;
  std::lock_guard lock(mutex);
  if (auto it = loaded.find(name); it != loaded.end()) return it->second;
  base::Module m = base::Module::Load(name);
  if (!m) {
    *hr = CO_E_DLLNOTFOUND;
    return nullptr;
  }
  void* handle = m.Release();
  loaded.emplace(name, handle);
  return handle;
}

void* ModuleSymbol(const std::string& name, const char* symbol, HRESULT* hr) {
  void* handle = LoadServerModule(name, hr);
  if (!handle) return nullptr;
  void* sym = dlsym(handle, symbol);
  if (!sym) *hr = CO_E_ERRORINDLL;
  return sym;
}

HRESULT CreateInproc(REFCLSID clsid, const std::string& module, REFIID iid, void** ppv) {
  HRESULT hr = S_OK;
  using GetClassObjectFn = HRESULT (*)(REFCLSID, REFIID, void**);
  auto fn = reinterpret_cast<GetClassObjectFn>(ModuleSymbol(module, "DllGetClassObject", &hr));
  if (!fn) return hr;
  ComPtr<IClassFactory> factory;
  hr = fn(clsid, IidOf<IClassFactory>(), factory.PutVoid());
  if (FAILED(hr)) return hr;
  return factory->CreateInstance(nullptr, iid, ppv);
}

// For a client asking a local server's class for IUnknown or IDispatch: the
// proxy of the first interface of the class's type library that has one.
std::string ProxyOfClassInterfaces(REFCLSID clsid) {
  const std::string libid = DefaultValue(ClsidKey(clsid) + "\\TypeLib");
  std::vector<std::string> names;
  if (libid.empty() ||
      reg::ListSubkeys(reg::Hive::ClassesRoot, "Interface", &names) != reg::Status::Ok) {
    return "";
  }
  for (const std::string& name : names) {
    const std::string key = "Interface\\" + name;
    if (!base::EqualsNoCase(DefaultValue(key + "\\TypeLib"), libid)) continue;
    std::string proxy = DefaultValue(key + "\\ProxyStubClsid32");
    if (!proxy.empty()) return proxy;
  }
  return "";
}

HRESULT CreateLocal(REFCLSID clsid, const std::string& program, REFIID iid, void** ppv) {
  // The proxy module registered for the interface connects to the server.
  std::string proxyClsidText =
      DefaultValue("Interface\\" + GuidToString(iid) + "\\ProxyStubClsid32");
  if (proxyClsidText.empty() && (iid == IidOf<IUnknown>() || iid == IidOf<IDispatch>())) {
    proxyClsidText = ProxyOfClassInterfaces(clsid);
  }
  CLSID proxyClsid;
  if (proxyClsidText.empty() || !ParseGuid(proxyClsidText, &proxyClsid)) return E_NOINTERFACE;
  const std::string proxyModule = InprocServerPath(proxyClsid);
  if (proxyModule.empty()) return REGDB_E_IIDNOTREG;
  HRESULT hr = S_OK;
  auto activate = reinterpret_cast<LocalServerActivator>(
      ModuleSymbol(proxyModule, "VexaActivateLocalServer", &hr));
  if (!activate) return hr;
  std::string path = base::ToNativePath(program);
  if (path.find('/') == std::string::npos) path = base::JoinPath(base::BinDir(), path);
  return activate(clsid, path.c_str(), iid, ppv);
}

}  // namespace

std::string InprocServerPath(REFCLSID clsid) { return DefaultValue(ClsidKey(clsid) + "\\InprocServer32"); }
std::string LocalServerPath(REFCLSID clsid) { return DefaultValue(ClsidKey(clsid) + "\\LocalServer32"); }

HRESULT SetError(std::u16string_view description, std::u16string_view source, REFIID iid,
                 HRESULT hr) {
  ComPtr<ICreateErrorInfo> create;
  if (SUCCEEDED(CreateErrorInfo(create.Put()))) {
    std::u16string d(description), s(source);
    create->SetDescription(d.data());
    create->SetSource(s.data());
    create->SetGUID(iid);
    ComPtr<IErrorInfo> info;
    if (SUCCEEDED(create.As(&info))) SetErrorInfo(0, info.Get());
  }
  return hr;
}

HRESULT ReportError(REFCLSID clsid, std::u16string_view description, REFIID iid, HRESULT hr) {
  std::u16string source;
  LPOLESTR progId = nullptr;
  if (SUCCEEDED(ProgIDFromCLSID(clsid, &progId))) {
    source = progId;
    CoTaskMemFree(progId);
  } else {
    source = Utf8ToUtf16(GuidToString(clsid));
  }
  return SetError(description, source, iid, hr);
}

HRESULT ReportError(REFCLSID clsid, std::string_view utf8Description, REFIID iid, HRESULT hr) {
  return ReportError(clsid, std::u16string_view(Utf8ToUtf16(utf8Description)), iid, hr);
}

std::string ErrorText::Utf8Description() const { return Utf16ToUtf8(description); }

ErrorText TakeError() {
  ErrorText e;
  ComPtr<IErrorInfo> info;
  if (GetErrorInfo(0, info.Put()) != S_OK || !info) return e;
  e.present = true;
  Bstr d, s;
  info->GetDescription(d.Out());
  info->GetSource(s.Out());
  info->GetGUID(&e.iid);
  e.description = std::u16string(d.View());
  e.source = std::u16string(s.View());
  return e;
}

int ApartmentCount() { return tApartments; }

HRESULT CreateClassFactory(HRESULT (*create)(REFIID, void**), IClassFactory** out) {
  return ComObject<CClassFactory>::Create(out, create);
}

HRESULT GetClassObjectFromTable(std::span<const ClassEntry> classes, REFCLSID clsid, REFIID iid,
                                void** ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  for (const ClassEntry& c : classes) {
    if (*c.clsid == clsid) {
      ComPtr<IClassFactory> factory;
      const HRESULT hr = CreateClassFactory(c.create, factory.Put());
      if (FAILED(hr)) return hr;
      return factory->QueryInterface(iid, ppv);
    }
  }
  return CLASS_E_CLASSNOTAVAILABLE;
}

namespace {
HRESULT ReadScript(std::string_view scriptName, std::string* text) {
  const std::string path = base::JoinPath(base::JoinPath(base::ShareDir(), "registry"), scriptName);
  return base::ReadFile(path, text) ? S_OK : STG_E_FILENOTFOUND;
}
}  // namespace

HRESULT RegisterServerScript(std::string_view scriptName) {
  std::string text;
  HRESULT hr = ReadScript(scriptName, &text);
  if (FAILED(hr)) return hr;
  return reg::ImportText(text) == reg::Status::Ok ? S_OK : REGDB_E_WRITEREGDB;
}

HRESULT UnregisterServerScript(std::string_view scriptName) {
  std::string text;
  HRESULT hr = ReadScript(scriptName, &text);
  if (FAILED(hr)) return hr;
  return reg::RemoveScriptKeys(text) == reg::Status::Ok ? S_OK : REGDB_E_WRITEREGDB;
}

HRESULT CreateVariantEnumerator(std::vector<Variant> items, IEnumVARIANT** out) {
  if (!out) return E_POINTER;
  return ComObject<CVariantEnumerator>::Create(out, std::move(items), std::size_t{0});
}

namespace detail {

HRESULT CheckInvoke(WORD flags, DISPPARAMS* params, bool hasGet, bool hasPut, bool hasPutRef,
                    bool hasMethod, UINT* argErr, int* action, VARIANT** value) {
  const UINT args = params ? params->cArgs : 0;
  if (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) {
    if (!params || args < 1 || !params->rgvarg) return DISP_E_PARAMNOTOPTIONAL;
    if (params->cNamedArgs != 1 || !params->rgdispidNamedArgs ||
        params->rgdispidNamedArgs[0] != DISPID_PROPERTYPUT) {
      return DISP_E_PARAMNOTFOUND;
    }
    if (args != 1) return DISP_E_BADPARAMCOUNT;
    *value = &params->rgvarg[0];
    if (flags & DISPATCH_PROPERTYPUTREF) {
      if (!hasPutRef) return DISP_E_MEMBERNOTFOUND;
      *action = kPutRef;
    } else {
      if (!hasPut) return DISP_E_MEMBERNOTFOUND;
      *action = kPut;
    }
    return S_OK;
  }
  if ((flags & DISPATCH_METHOD) && hasMethod) {
    *action = kMethod;
    return S_OK;
  }
  if ((flags & DISPATCH_PROPERTYGET) && hasGet) {
    if (args != 0) return DISP_E_BADPARAMCOUNT;
    *action = kGet;
    return S_OK;
  }
  // A property read with arguments (such as a collection's Item) is served
  // by the member's method entry.
  if ((flags & DISPATCH_PROPERTYGET) && hasMethod) {
    *action = kMethod;
    return S_OK;
  }
  if (argErr) *argErr = 0;
  return DISP_E_MEMBERNOTFOUND;
}

HRESULT CoerceArgument(const VARIANT* in, VARTYPE vt, VARIANT* out) {
  if (vt == VT_VARIANT) return VariantCopyInd(out, in);
  return VariantChangeType(out, in, 0, vt);
}

}  // namespace detail
}  // namespace vexa::com

using namespace vexa::com;

HRESULT CoInitializeEx(void*, DWORD) {
  return tApartments++ == 0 ? S_OK : S_FALSE;
}

HRESULT CoInitialize(void* reserved) { return CoInitializeEx(reserved, COINIT_APARTMENTTHREADED); }

void CoUninitialize() {
  if (tApartments > 0 && --tApartments == 0) tErrorInfo.Reset();
}

HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* outer, CLSCTX context, REFIID iid, void** ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  if (tApartments == 0) return CO_E_NOTINITIALIZED;
  if (outer) return CLASS_E_NOAGGREGATION;
  std::string broken;
  if (context & (CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER)) {
    const std::string module = DefaultValue(ClsidKey(clsid) + "\\InprocServer32", &broken);
    if (!module.empty()) return CreateInproc(clsid, module, iid, ppv);
  }
  if ((context & CLSCTX_LOCAL_SERVER) && broken.empty()) {
    const std::string program = DefaultValue(ClsidKey(clsid) + "\\LocalServer32", &broken);
    if (!program.empty()) return CreateLocal(clsid, program, iid, ppv);
  }
  if (!broken.empty()) return RegistryUnreadable(broken);
  return REGDB_E_CLASSNOTREG;
}

HRESULT CoGetClassObject(REFCLSID clsid, CLSCTX context, void*, REFIID iid, void** ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  if (tApartments == 0) return CO_E_NOTINITIALIZED;
  if (!(context & (CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER))) return CLASS_E_CLASSNOTAVAILABLE;
  std::string broken;
  const std::string module = DefaultValue(ClsidKey(clsid) + "\\InprocServer32", &broken);
  if (!broken.empty()) return RegistryUnreadable(broken);
  if (module.empty()) return REGDB_E_CLASSNOTREG;
  HRESULT hr = S_OK;
  using GetClassObjectFn = HRESULT (*)(REFCLSID, REFIID, void**);
  auto fn = reinterpret_cast<GetClassObjectFn>(ModuleSymbol(module, "DllGetClassObject", &hr));
  if (!fn) return hr;
  return fn(clsid, iid, ppv);
}

HRESULT CLSIDFromProgID(LPCOLESTR progId, CLSID* clsid) {
  if (!progId || !clsid) return E_INVALIDARG;
  std::string name = Utf16ToUtf8(progId);
  std::string broken;
  for (int depth = 0; depth < 4 && !name.empty(); ++depth) {
    const std::string text = DefaultValue(name + "\\CLSID", &broken);
    if (!text.empty()) return ParseGuid(text, clsid) ? S_OK : CO_E_CLASSSTRING;
    name = DefaultValue(name + "\\CurVer", &broken);
  }
  if (!broken.empty()) return RegistryUnreadable(broken);
  return CO_E_CLASSSTRING;
}

HRESULT ProgIDFromCLSID(REFCLSID clsid, LPOLESTR* progId) {
  if (!progId) return E_INVALIDARG;
  *progId = nullptr;
  const std::string text = DefaultValue(ClsidKey(clsid) + "\\ProgID");
  if (text.empty()) return REGDB_E_CLASSNOTREG;
  const std::u16string w = Utf8ToUtf16(text);
  auto* out = static_cast<OLECHAR*>(CoTaskMemAlloc((w.size() + 1) * sizeof(OLECHAR)));
  if (!out) return E_OUTOFMEMORY;
  std::memcpy(out, w.c_str(), (w.size() + 1) * sizeof(OLECHAR));
  *progId = out;
  return S_OK;
}

HRESULT CLSIDFromString(LPCOLESTR text, CLSID* clsid) {
  if (!text || !clsid) return E_INVALIDARG;
  const std::string s = Utf16ToUtf8(text);
  if (s.size() != 38 || !ParseGuid(s, clsid)) return CO_E_CLASSSTRING;
  return S_OK;
}

int StringFromGUID2(REFGUID guid, LPOLESTR buffer, int size) {
  const std::u16string w = Utf8ToUtf16(GuidToString(guid));
  if (!buffer || size < static_cast<int>(w.size()) + 1) return 0;
  std::memcpy(buffer, w.c_str(), (w.size() + 1) * sizeof(OLECHAR));
  return static_cast<int>(w.size()) + 1;
}

HRESULT CoCreateGuid(GUID* guid) {
  if (!guid) return E_INVALIDARG;
  *guid = NewGuid();
  return S_OK;
}

void* CoTaskMemAlloc(std::size_t bytes) { return std::malloc(bytes ? bytes : 1); }
void CoTaskMemFree(void* p) { std::free(p); }

HRESULT SetErrorInfo(ULONG, IErrorInfo* info) {
  tErrorInfo = ComPtr<IErrorInfo>(info);
  return S_OK;
}

HRESULT GetErrorInfo(ULONG, IErrorInfo** info) {
  if (!info) return E_INVALIDARG;
  *info = tErrorInfo.Detach();
  return *info ? S_OK : S_FALSE;
}

HRESULT CreateErrorInfo(ICreateErrorInfo** info) {
  if (!info) return E_INVALIDARG;
  return ComObject<CErrorObject>::Create(info);
}
