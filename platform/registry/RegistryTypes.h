// The value types of the registry store (hives, value kinds, typed values
// and the failure kinds), apart from the calls of Registry.h so that the
// store's internal model can use them without the whole API.
#pragma once

#include "platform/base/Export.h"
#include "platform/base/WinTypes.h"

// What the registry store's library exports: the calls its callers use.
#define VEXA_REGISTRY_API VEXA_EXPORT

#include <string>
#include <vector>

namespace vexa::reg {

enum class Hive { LocalMachine, CurrentUser, ClassesRoot };

enum class ValueType : DWORD {
  None = 0,
  Sz = 1,
  ExpandSz = 2,
  Binary = 3,
  Dword = 4,
  MultiSz = 7,
};

enum class Status {
  Ok,
  NoKey,          // ERROR_FILE_NOT_FOUND for a key
  NoValue,        // ERROR_FILE_NOT_FOUND for a value
  MoreData,       // buffer too small
  WrongType,      // the value exists with another type
  InvalidArgument,
  BadFile,        // a hive file could not be read or parsed
  IoError,        // a hive file could not be written
};

struct VEXA_REGISTRY_API Value {
  ValueType type = ValueType::None;
  std::string text;                 // Sz, ExpandSz (UTF-8)
  DWORD dword = 0;                  // Dword
  std::vector<BYTE> binary;         // Binary
  std::vector<std::string> multi;   // MultiSz

  static Value String(std::string s, ValueType t = ValueType::Sz);
  static Value Dword(DWORD d);
  static Value Binary(std::vector<BYTE> b);
  static Value Multi(std::vector<std::string> m);

  bool operator==(const Value&) const = default;
};

}  // namespace vexa::reg
