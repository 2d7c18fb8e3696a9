// The standard interfaces of the component model. Each is an abstract class
// whose virtual methods are in the declared slot order; objects are released
// through Release, never deleted through an interface pointer.
#pragma once

#include "platform/com/Types.h"
#include "platform/com/Unknown.h"
#include "platform/com/Variant.h"

#define STDMETHODCALLTYPE
#define STDMETHOD(name) virtual HRESULT name
#define STDMETHOD_(type, name) virtual type name
#define PURE = 0

struct IClassFactory : IUnknown {
  virtual HRESULT CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppv) = 0;
  virtual HRESULT LockServer(BOOL fLock) = 0;

 protected:
  ~IClassFactory() = default;
};
VEXA_DEFINE_IID(IClassFactory, "{00000001-0000-0000-C000-000000000046}")

struct ISupportErrorInfo : IUnknown {
  virtual HRESULT InterfaceSupportsErrorInfo(REFIID riid) = 0;

 protected:
  ~ISupportErrorInfo() = default;
};
VEXA_DEFINE_IID(ISupportErrorInfo, "{DF0B3D60-548F-101B-8E65-08002B2BD119}")

struct IErrorInfo : IUnknown {
  virtual HRESULT GetGUID(GUID* pGUID) = 0;
  virtual HRESULT GetSource(BSTR* pBstrSource) = 0;
  virtual HRESULT GetDescription(BSTR* pBstrDescription) = 0;
  virtual HRESULT GetHelpFile(BSTR* pBstrHelpFile) = 0;
  virtual HRESULT GetHelpContext(DWORD* pdwHelpContext) = 0;

 protected:
  ~IErrorInfo() = default;
};
VEXA_DEFINE_IID(IErrorInfo, "{1CF2B120-547D-101B-8E65-08002B2BD119}")

struct ICreateErrorInfo : IUnknown {
  virtual HRESULT SetGUID(REFGUID rguid) = 0;
  virtual HRESULT SetSource(LPOLESTR szSource) = 0;
  virtual HRESULT SetDescription(LPOLESTR szDescription) = 0;
  virtual HRESULT SetHelpFile(LPOLESTR szHelpFile) = 0;
  virtual HRESULT SetHelpContext(DWORD dwHelpContext) = 0;

 protected:
  ~ICreateErrorInfo() = default;
};
VEXA_DEFINE_IID(ICreateErrorInfo, "{22F03340-547D-101B-8E65-08002B2BD119}")

struct IEnumVARIANT : IUnknown {
  virtual HRESULT Next(ULONG celt, VARIANT* rgVar, ULONG* pCeltFetched) = 0;
  virtual HRESULT Skip(ULONG celt) = 0;
  virtual HRESULT Reset() = 0;
  virtual HRESULT Clone(IEnumVARIANT** ppEnum) = 0;

 protected:
  ~IEnumVARIANT() = default;
};
VEXA_DEFINE_IID(IEnumVARIANT, "{00020404-0000-0000-C000-000000000046}")

struct IPersist : IUnknown {
  virtual HRESULT GetClassID(CLSID* pClassID) = 0;

 protected:
  ~IPersist() = default;
};
VEXA_DEFINE_IID(IPersist, "{0000010C-0000-0000-C000-000000000046}")
