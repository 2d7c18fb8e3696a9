// A small in-process server used only by the component core's tests.
#pragma once

#include "platform/com/Com.h"

struct ITestThing : IDispatch {
  virtual HRESULT get_name(BSTR* value) = 0;             // DISPID 1
  virtual HRESULT put_name(BSTR value) = 0;
  virtual HRESULT get_count(LONG* value) = 0;            // DISPID 2
  virtual HRESULT put_count(LONG value) = 0;
  virtual HRESULT get_when(DATE* value) = 0;             // DISPID 3
  virtual HRESULT put_when(DATE value) = 0;
  virtual HRESULT get_flag(VARIANT_BOOL* value) = 0;     // DISPID 4
  virtual HRESULT put_flag(VARIANT_BOOL value) = 0;
  virtual HRESULT get_child(ITestThing** value) = 0;     // DISPID 5, read-only
  virtual HRESULT Fail(BSTR text) = 0;                   // sets error information

 protected:
  ~ITestThing() = default;
};
VEXA_DEFINE_IID(ITestThing, "{6C1F6E2A-43B1-4F0E-9A57-2D3B8E51C001}")
VEXA_DEFINE_CLSID(TestThing, "{6C1F6E2A-43B1-4F0E-9A57-2D3B8E51C002}")
// Registered but its module does not exist: creation must fail cleanly.
VEXA_DEFINE_CLSID(TestMissingModule, "{6C1F6E2A-43B1-4F0E-9A57-2D3B8E51C003}")
