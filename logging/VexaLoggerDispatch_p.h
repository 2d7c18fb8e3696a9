// The dispatch table of IVexaLogger, shared by the logger and its proxy: each
// entry unpacks the Invoke arguments and calls the interface method (a
// missing text argument is a null string).
#pragma once

#include <span>

#include "idl/vexalog.h"

namespace vexa::logging {

template <typename T>
std::span<const com::DispatchEntry<T>> VexaLoggerDispatchTable() {
  static const com::DispatchEntry<T> kTable[] = {
      com::DispProperty<&T::get_LogFilePath>(DISPID_VexaLogger_LogFilePath, u"LogFilePath"),
      com::DispMethodOf<&T::ResetLogFile>(DISPID_VexaLogger_ResetLogFile, u"ResetLogFile"),
      com::DispMethodOf<&T::WriteMessage>(DISPID_VexaLogger_WriteMessage, u"WriteMessage"),
      com::DispMethodOf<&T::WriteMessages>(DISPID_VexaLogger_WriteMessages, u"WriteMessages"),
  };
  return kTable;
}

}  // namespace vexa::logging
