// The log server vexalog: class VexaLogger and its dual interface
// IVexaLogger, shared by the server and every client that writes a log line.
#pragma once

#include "platform/com/Com.h"

// Appends time-stamped lines to the main log "vexalog.txt" and the debug log
// "vexalogD.txt". Methods after those of IDispatch, DISPIDs 1 to 4.
struct IVexaLogger : IDispatch {
  virtual HRESULT get_LogFilePath(BSTR* pVal) = 0;                        // DISPID 1
  virtual HRESULT ResetLogFile() = 0;                                     // DISPID 2
  virtual HRESULT WriteMessage(BSTR strComponentName, BSTR strMsgType,    // DISPID 3
                               BSTR strMsg) = 0;
  virtual HRESULT WriteMessages(BSTR strComponentName, BSTR strMsgType,   // DISPID 4
                                BSTR strMsg1, BSTR strMsg2, BSTR strMsg3, BSTR strMsg4,
                                BSTR strMsg5) = 0;

 protected:
  ~IVexaLogger() = default;
};
VEXA_DEFINE_IID(IVexaLogger, "{E91B0455-3CA0-4D40-A85A-71748FEB3732}")
VEXA_DEFINE_CLSID(VexaLogger, "{3ED54087-1700-4947-9722-B11D5DCD3A82}")

// The proxy/stub module registered for IVexaLogger uses the interface's IID
// as its class identifier.
VEXA_DEFINE_CLSID(VexaLoggerProxy, "{E91B0455-3CA0-4D40-A85A-71748FEB3732}")

inline constexpr GUID LIBID_VEXALOGLib = vexa::com::Guid("{00B3B6B8-6D47-4279-B984-7282DDBE87A4}");
// The type library the server's classes describe themselves in (version 1.0).
inline constexpr vexa::com::TypeLibraryId kVEXALOGLib{LIBID_VEXALOGLib, 1, 0, 0, u"VEXALOGLib"};
inline constexpr GUID APPID_vexalog = vexa::com::Guid("{0433AC9E-285C-4D9B-88D5-292957782A3C}");

inline constexpr char16_t kVexaLoggerProgId[] = u"Vexalog.VexaLogger.1";
inline constexpr char16_t kVexaLoggerVersionIndependentProgId[] = u"Vexalog.VexaLogger";

// DISPIDs of IVexaLogger.
enum : DISPID {
  DISPID_VexaLogger_LogFilePath = 1,
  DISPID_VexaLogger_ResetLogFile = 2,
  DISPID_VexaLogger_WriteMessage = 3,
  DISPID_VexaLogger_WriteMessages = 4,
};
