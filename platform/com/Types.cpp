#include "platform/com/Types.h"

#include <uuid/uuid.h>

#include <cstdio>

std::string HresultName(HRESULT hr) {
  struct Name {
    HRESULT hr;
    const char* text;
  };
  static constexpr Name kNames[] = {
      {S_OK, "S_OK"},
      {S_FALSE, "S_FALSE"},
      {E_NOTIMPL, "E_NOTIMPL"},
      {E_NOINTERFACE, "E_NOINTERFACE"},
      {E_POINTER, "E_POINTER"},
      {E_ABORT, "E_ABORT"},
      {E_FAIL, "E_FAIL"},
      {E_UNEXPECTED, "E_UNEXPECTED"},
      {E_ACCESSDENIED, "E_ACCESSDENIED"},
      {E_HANDLE, "E_HANDLE"},
      {E_OUTOFMEMORY, "E_OUTOFMEMORY"},
      {E_INVALIDARG, "E_INVALIDARG"},
      {CLASS_E_NOAGGREGATION, "CLASS_E_NOAGGREGATION"},
      {CLASS_E_CLASSNOTAVAILABLE, "CLASS_E_CLASSNOTAVAILABLE"},
      {REGDB_E_CLASSNOTREG, "REGDB_E_CLASSNOTREG"},
      {REGDB_E_READREGDB, "REGDB_E_READREGDB"},
      {REGDB_E_WRITEREGDB, "REGDB_E_WRITEREGDB"},
      {REGDB_E_IIDNOTREG, "REGDB_E_IIDNOTREG"},
      {CO_E_NOTINITIALIZED, "CO_E_NOTINITIALIZED"},
      {CO_E_CLASSSTRING, "CO_E_CLASSSTRING"},
      {CO_E_DLLNOTFOUND, "CO_E_DLLNOTFOUND"},
      {CO_E_ERRORINDLL, "CO_E_ERRORINDLL"},
      {CO_E_SERVER_EXEC_FAILURE, "CO_E_SERVER_EXEC_FAILURE"},
      {RPC_E_DISCONNECTED, "RPC_E_DISCONNECTED"},
      {RPC_E_SERVERFAULT, "RPC_E_SERVERFAULT"},
      {RPC_E_TIMEOUT, "RPC_E_TIMEOUT"},
      {DISP_E_MEMBERNOTFOUND, "DISP_E_MEMBERNOTFOUND"},
      {DISP_E_TYPEMISMATCH, "DISP_E_TYPEMISMATCH"},
      {DISP_E_UNKNOWNNAME, "DISP_E_UNKNOWNNAME"},
      {DISP_E_BADVARTYPE, "DISP_E_BADVARTYPE"},
      {DISP_E_OVERFLOW, "DISP_E_OVERFLOW"},
      {DISP_E_BADINDEX, "DISP_E_BADINDEX"},
      {DISP_E_BADPARAMCOUNT, "DISP_E_BADPARAMCOUNT"},
      {DISP_E_PARAMNOTFOUND, "DISP_E_PARAMNOTFOUND"},
      {DISP_E_PARAMNOTOPTIONAL, "DISP_E_PARAMNOTOPTIONAL"},
      {STG_E_FILENOTFOUND, "STG_E_FILENOTFOUND"},
      {STG_E_PATHNOTFOUND, "STG_E_PATHNOTFOUND"},
      {STG_E_ACCESSDENIED, "STG_E_ACCESSDENIED"},
      {STG_E_WRITEFAULT, "STG_E_WRITEFAULT"},
      {STG_E_READFAULT, "STG_E_READFAULT"},
      {STG_E_MEDIUMFULL, "STG_E_MEDIUMFULL"},
      {TYPE_E_ELEMENTNOTFOUND, "TYPE_E_ELEMENTNOTFOUND"},
      {TYPE_E_LIBNOTREGISTERED, "TYPE_E_LIBNOTREGISTERED"},
  };
  for (const Name& n : kNames) {
    if (n.hr == hr) return n.text;
  }
  char buf[16];
  std::snprintf(buf, sizeof buf, "0x%08X", static_cast<unsigned>(hr));
  return buf;
}

namespace vexa::com {

namespace {
std::string Format(const GUID& g, bool upper, bool braces) {
  char buf[40];
  std::snprintf(buf, sizeof buf,
                upper ? "%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X"
                      : "%08x-%04x-%04x-%02x%02x-%02x%02x%02x%02x%02x%02x",
                static_cast<unsigned>(g.Data1), g.Data2, g.Data3, g.Data4[0], g.Data4[1],
                g.Data4[2], g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
  std::string out;
  if (braces) out.push_back('{');
  out.append(buf);
  if (braces) out.push_back('}');
  return out;
}
}  // namespace

std::string GuidToString(const GUID& g) { return Format(g, true, true); }
std::string GuidToLowerString(const GUID& g) { return Format(g, false, false); }

GUID NewGuid() {
  uuid_t u;
  uuid_generate_random(u);
  return GuidFromBytes(u);
}

}  // namespace vexa::com
