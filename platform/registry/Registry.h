// The registry store: hives of keys and typed values kept in REGEDIT4-like
// text files. A read-only layer of defaults (share/vexa/registry/*.reg, shipped
// with the programs) lies under a writable layer per user
// ($VEXA_REGISTRY_DIR, else $XDG_CONFIG_HOME/vexa/registry/, else
// ~/.config/vexa/registry/). Reads see the writable layer first. Key and
// value names are case-insensitive. Writes take a file lock and replace the
// hive file by rename, so concurrent writers never lose each other's values.
//
// The store directory is looked up from the environment on every call, so a
// test may point VEXA_REGISTRY_DIR at a fresh folder at any time.
//
// Two faces: a C++ API (vexa::reg) and, below it, the calls in the shape of
// the Windows registry API that the system's code is written against; both
// report the same failure kinds (no such key, no such value, buffer too
// small, wrong type).
#pragma once

#include "platform/registry/RegistryTypes.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vexa::reg {

VEXA_REGISTRY_API const char* StatusText(Status s);
// What the last failing call in this thread ran into, e.g. which file and
// line made it return BadFile.
VEXA_REGISTRY_API std::string LastError();

// A key path such as "SOFTWARE\Tervane\Kv Orlune Disc\CurrentVersion";
// '\' and '/' both separate components. An empty path is the hive's root.
// HKEY_CLASSES_ROOT is the merged view of HKLM\Software\Classes and
// HKCU\Software\Classes (the user's wins); writes to it go to HKCU.

VEXA_REGISTRY_API bool KeyExists(Hive hive, std::string_view key);
VEXA_REGISTRY_API Status GetValue(Hive hive, std::string_view key, std::string_view name, Value* out);
// Convenience readers: nullopt when the key or value is missing or of
// another type.
VEXA_REGISTRY_API std::optional<std::string> GetString(Hive hive, std::string_view key, std::string_view name);
VEXA_REGISTRY_API std::optional<DWORD> GetDword(Hive hive, std::string_view key, std::string_view name);

VEXA_REGISTRY_API Status CreateKey(Hive hive, std::string_view key);
// Creates the key when it is missing.
VEXA_REGISTRY_API Status SetValue(Hive hive, std::string_view key, std::string_view name, const Value& value);
// Like keys, a value present only in the defaults layer cannot be deleted
// (NoValue).
VEXA_REGISTRY_API Status DeleteValue(Hive hive, std::string_view key, std::string_view name);
// Deletes a key with all its subkeys and values from the writable layer.
// A key present only in the defaults layer cannot be deleted (NoKey).
VEXA_REGISTRY_API Status DeleteKeyTree(Hive hive, std::string_view key);

// Names of the direct subkeys and of the values of a key (merged view),
// in the case they were first written.
VEXA_REGISTRY_API Status ListSubkeys(Hive hive, std::string_view key, std::vector<std::string>* out);
VEXA_REGISTRY_API Status ListValues(Hive hive, std::string_view key, std::vector<std::string>* out);

// Parses "HKLM\...", "HKEY_LOCAL_MACHINE\...", "HKCU\...", "HKCR\..." into
// a hive and a key path.
VEXA_REGISTRY_API bool ParseRootedKey(std::string_view rooted, Hive* hive, std::string* key);

// Registry script import: applies a REGEDIT4-like text to the writable
// layer (used by DllRegisterServer). The text starts with the line
// "REGEDIT4"; "[-KEY]" lines delete a key tree; keys under
// HKEY_CLASSES_ROOT go to HKCU\Software\Classes. A malformed script
// changes nothing (BadFile).
VEXA_REGISTRY_API Status ImportText(std::string_view text);
// Removes every key named in the script with everything below it, and the
// parents that this leaves empty (used by DllUnregisterServer).
VEXA_REGISTRY_API Status RemoveScriptKeys(std::string_view text);

// Folder of the writable layer in effect now.
VEXA_REGISTRY_API std::string WritableDir();
// Folder of the defaults layer (share/vexa/registry of this installation).
VEXA_REGISTRY_API std::string DefaultsDir();

}  // namespace vexa::reg

// ---- The calls in the shape of the Windows registry API -------------------

struct HKEY__;
using HKEY = HKEY__*;
using REGSAM = DWORD;

#define HKEY_CLASSES_ROOT  (reinterpret_cast<HKEY>(static_cast<std::uintptr_t>(0x80000000u)))
#define HKEY_CURRENT_USER  (reinterpret_cast<HKEY>(static_cast<std::uintptr_t>(0x80000001u)))
#define HKEY_LOCAL_MACHINE (reinterpret_cast<HKEY>(static_cast<std::uintptr_t>(0x80000002u)))

constexpr LONG ERROR_SUCCESS = 0;
constexpr LONG ERROR_FILE_NOT_FOUND = 2;
constexpr LONG ERROR_ACCESS_DENIED = 5;
constexpr LONG ERROR_INVALID_HANDLE = 6;
constexpr LONG ERROR_BAD_FORMAT = 11;
constexpr LONG ERROR_WRITE_FAULT = 29;
constexpr LONG ERROR_INVALID_PARAMETER = 87;
constexpr LONG ERROR_MORE_DATA = 234;
constexpr LONG ERROR_NO_MORE_ITEMS = 259;
constexpr LONG ERROR_UNSUPPORTED_TYPE = 1630;

constexpr DWORD REG_NONE = 0;
constexpr DWORD REG_SZ = 1;
constexpr DWORD REG_EXPAND_SZ = 2;
constexpr DWORD REG_BINARY = 3;
constexpr DWORD REG_DWORD = 4;
constexpr DWORD REG_MULTI_SZ = 7;

constexpr REGSAM KEY_READ = 0x20019;
constexpr REGSAM KEY_WRITE = 0x20006;
constexpr REGSAM KEY_ALL_ACCESS = 0xF003F;
constexpr REGSAM KEY_QUERY_VALUE = 0x0001;
constexpr REGSAM KEY_SET_VALUE = 0x0002;

// Handles are real objects; close each with RegCloseKey. Strings are UTF-8.
// RegQueryValueEx gives strings with their terminating NUL counted in the
// size, ERROR_MORE_DATA with the needed size when the buffer is too small,
// and the value's size alone when data is null.
VEXA_REGISTRY_API LONG RegOpenKeyEx(HKEY key, const char* subKey, DWORD options, REGSAM sam, HKEY* result);
VEXA_REGISTRY_API LONG RegCreateKeyEx(HKEY key, const char* subKey, DWORD reserved, char* cls, DWORD options,
                    REGSAM sam, void* security, HKEY* result, DWORD* disposition);
VEXA_REGISTRY_API LONG RegCloseKey(HKEY key);
VEXA_REGISTRY_API LONG RegQueryValueEx(HKEY key, const char* name, DWORD* reserved, DWORD* type, BYTE* data,
                     DWORD* cbData);
VEXA_REGISTRY_API LONG RegSetValueEx(HKEY key, const char* name, DWORD reserved, DWORD type, const BYTE* data,
                   DWORD cbData);
VEXA_REGISTRY_API LONG RegDeleteValue(HKEY key, const char* name);
VEXA_REGISTRY_API LONG RegDeleteKey(HKEY key, const char* subKey);
VEXA_REGISTRY_API LONG RegEnumKeyEx(HKEY key, DWORD index, char* name, DWORD* cchName, DWORD* reserved,
                  char* cls, DWORD* cchClass, void* lastWrite);
VEXA_REGISTRY_API LONG RegEnumValue(HKEY key, DWORD index, char* name, DWORD* cchName, DWORD* reserved,
                  DWORD* type, BYTE* data, DWORD* cbData);

constexpr DWORD REG_CREATED_NEW_KEY = 1;
constexpr DWORD REG_OPENED_EXISTING_KEY = 2;
