// IRecordInfo: what a VARIANT carrying a record (VT_RECORD) holds to copy and
// free the record. Apart from TypeInfo.h so that the VARIANT code needs
// nothing of type information beyond it.
#pragma once

#include "platform/com/Types.h"
#include "platform/com/Unknown.h"

struct ITypeInfo;
struct VARIANT;

struct IRecordInfo : IUnknown {
  virtual HRESULT RecordInit(void* pvNew) = 0;
  virtual HRESULT RecordClear(void* pvExisting) = 0;
  virtual HRESULT RecordCopy(void* pvExisting, void* pvNew) = 0;
  virtual HRESULT GetGuid(GUID* pguid) = 0;
  virtual HRESULT GetName(BSTR* pbstrName) = 0;
  virtual HRESULT GetSize(ULONG* pcbSize) = 0;
  virtual HRESULT GetTypeInfo(ITypeInfo** ppTypeInfo) = 0;
  virtual HRESULT GetField(void* pvData, LPCOLESTR szFieldName, VARIANT* pvarField) = 0;
  virtual HRESULT GetFieldNoCopy(void* pvData, LPCOLESTR szFieldName, VARIANT* pvarField, void** ppvDataCArray) = 0;
  virtual HRESULT PutField(ULONG wFlags, void* pvData, LPCOLESTR szFieldName, VARIANT* pvarField) = 0;
  virtual HRESULT PutFieldNoCopy(ULONG wFlags, void* pvData, LPCOLESTR szFieldName, VARIANT* pvarField) = 0;
  virtual HRESULT GetFieldNames(ULONG* pcNames, BSTR* rgBstrNames) = 0;
  virtual BOOL IsMatchingType(IRecordInfo* pRecordInfo) = 0;
  virtual void* RecordCreate() = 0;
  virtual HRESULT RecordCreateCopy(void* pvSource, void** ppvDest) = 0;
  virtual HRESULT RecordDestroy(void* pvRecord) = 0;

 protected:
  ~IRecordInfo() = default;
};
VEXA_DEFINE_IID(IRecordInfo, "{0000002F-0000-0000-C000-000000000046}")
