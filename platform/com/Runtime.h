// Class creation, class identifiers and ProgIDs, error information and
// apartment counting.
//
// Classes are found through the registry store: HKCR\CLSID\{clsid} with
// InprocServer32 naming a module in lib/vexa/ (loaded once, never unloaded,
// asked through its exported DllGetClassObject) or LocalServer32 naming a
// program in bin/ (reached through the proxy module registered for the
// requested interface, see LocalServerActivator and LocalServer.h; a request
// for IUnknown or IDispatch uses the proxy of the first interface of the
// class's type library that has one).
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/com/ComPtr.h"
#include "platform/com/Interfaces.h"

constexpr CLSCTX CLSCTX_INPROC_SERVER = 0x1;
constexpr CLSCTX CLSCTX_INPROC_HANDLER = 0x2;
constexpr CLSCTX CLSCTX_LOCAL_SERVER = 0x4;
constexpr CLSCTX CLSCTX_REMOTE_SERVER = 0x10;
constexpr CLSCTX CLSCTX_ALL = 0x17;
constexpr CLSCTX CLSCTX_SERVER = 0x15;

constexpr DWORD COINIT_APARTMENTTHREADED = 0x2;
constexpr DWORD COINIT_MULTITHREADED = 0x0;

// Counted per thread: S_OK for the first call on a thread, S_FALSE after.
VEXA_COM_API HRESULT CoInitialize(void* reserved);
VEXA_COM_API HRESULT CoInitializeEx(void* reserved, DWORD coInit);
VEXA_COM_API void CoUninitialize();

VEXA_COM_API HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* outer, CLSCTX context, REFIID iid, void** ppv);
VEXA_COM_API HRESULT CoGetClassObject(REFCLSID clsid, CLSCTX context, void* reserved, REFIID iid, void** ppv);

// ProgID lookups follow the version-independent ProgID's CurVer.
VEXA_COM_API HRESULT CLSIDFromProgID(LPCOLESTR progId, CLSID* clsid);
// *progId is allocated with CoTaskMemAlloc.
VEXA_COM_API HRESULT ProgIDFromCLSID(REFCLSID clsid, LPOLESTR* progId);
VEXA_COM_API HRESULT CLSIDFromString(LPCOLESTR text, CLSID* clsid);
// Writes "{...}" (39 characters with the NUL); returns the count, 0 if short.
VEXA_COM_API int StringFromGUID2(REFGUID guid, LPOLESTR buffer, int size);
VEXA_COM_API HRESULT CoCreateGuid(GUID* guid);

VEXA_COM_API void* CoTaskMemAlloc(std::size_t bytes);
VEXA_COM_API void CoTaskMemFree(void* p);

// Error information is kept per thread. GetErrorInfo hands it over and
// clears it (S_FALSE when there is none).
VEXA_COM_API HRESULT SetErrorInfo(ULONG reserved, IErrorInfo* info);
VEXA_COM_API HRESULT GetErrorInfo(ULONG reserved, IErrorInfo** info);
VEXA_COM_API HRESULT CreateErrorInfo(ICreateErrorInfo** info);

namespace vexa::com {

// Sets the thread's error information and returns hr.
VEXA_COM_API HRESULT SetError(std::u16string_view description, std::u16string_view source, REFIID iid,
                 HRESULT hr);
// Same, with the source taken as the ProgID registered for clsid.
VEXA_COM_API HRESULT ReportError(REFCLSID clsid, std::u16string_view description, REFIID iid, HRESULT hr);
VEXA_COM_API HRESULT ReportError(REFCLSID clsid, std::string_view utf8Description, REFIID iid, HRESULT hr);

// The thread's error information, read and cleared.
struct VEXA_COM_API ErrorText {
  bool present = false;
  std::u16string description;
  std::u16string source;
  IID iid{};
  std::string Utf8Description() const;
};
VEXA_COM_API ErrorText TakeError();

// Number of CoInitialize calls not yet balanced on this thread.
VEXA_COM_API int ApartmentCount();

// One class of an in-process server.
struct ClassEntry {
  const CLSID* clsid;
  HRESULT (*create)(REFIID iid, void** ppv);
};

// A class factory over one creation function.
VEXA_COM_API HRESULT CreateClassFactory(HRESULT (*create)(REFIID, void**), IClassFactory** out);
// What a server's DllGetClassObject does with its class table.
VEXA_COM_API HRESULT GetClassObjectFromTable(std::span<const ClassEntry> classes, REFCLSID clsid, REFIID iid,
                                void** ppv);

// Applies share/vexa/registry/<scriptName> to the writable registry layer, or
// removes its keys. Servers' DllRegisterServer/DllUnregisterServer call these.
VEXA_COM_API HRESULT RegisterServerScript(std::string_view scriptName);
VEXA_COM_API HRESULT UnregisterServerScript(std::string_view scriptName);

// An enumerator over a snapshot of values (for _NewEnum of collections).
VEXA_COM_API HRESULT CreateVariantEnumerator(std::vector<Variant> items, IEnumVARIANT** out);

// The signature a proxy module exports as "VexaActivateLocalServer": connect
// to (starting if need be) the local server program serverPath for class
// clsid and hand back a proxy for iid.
using LocalServerActivator = HRESULT (*)(REFCLSID clsid, const char* serverPath, REFIID iid,
                                         void** ppv);

// Path of the module or program a class is registered with ("" if none).
VEXA_COM_API std::string InprocServerPath(REFCLSID clsid);
VEXA_COM_API std::string LocalServerPath(REFCLSID clsid);

}  // namespace vexa::com

// The exports every in-process server has. `table` is a span-convertible
// array of vexa::com::ClassEntry; `script` the server's registry script name.
#define VEXA_COM_SERVER_EXPORTS(table, script)                                          \
  extern "C" VEXA_EXPORT HRESULT DllGetClassObject(           \
      REFCLSID clsid, REFIID iid, void** ppv) {                                          \
    return ::vexa::com::GetClassObjectFromTable(table, clsid, iid, ppv);                 \
  }                                                                                      \
  extern "C" VEXA_EXPORT HRESULT DllCanUnloadNow() {          \
    return S_FALSE;                                                                      \
  }                                                                                      \
  extern "C" VEXA_EXPORT HRESULT DllRegisterServer() {        \
    return ::vexa::com::RegisterServerScript(script);                                    \
  }                                                                                      \
  extern "C" VEXA_EXPORT HRESULT DllUnregisterServer() {      \
    return ::vexa::com::UnregisterServerScript(script);                                  \
  }
