// Internal to the registry store: the in-memory form of a hive, the text
// format (parse, apply, write) and the byte form of values shared by the
// text format and the Windows-shaped calls.
#pragma once

#include "platform/registry/RegistryTypes.h"

#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace vexa::reg::detail {

// Key paths: components split on '\' or '/', empty ones dropped, joined
// with '\'. Fold() is the case-insensitive lookup form.
std::vector<std::string> SplitKey(std::string_view key);
std::string NormalKey(std::string_view key);
std::string Fold(std::string_view s);
std::string JoinKey(std::string_view parent, std::string_view child);
bool HasControlChar(std::string_view s);

struct NamedValue {
  std::string name;  // "" is the default value
  Value value;
};

struct Key {
  std::string path;  // in the case each component was first written
  std::vector<NamedValue> values;
  const NamedValue* Find(std::string_view name) const;
  NamedValue* Find(std::string_view name);
};

// The keys of one hive by folded path. Every ancestor of a key is present
// too; the hive's root ("") is present only when it holds values.
using KeyMap = std::map<std::string, Key>;

// Finds or adds a key and its ancestors. Components new to `map` take their
// case from `caseFrom` when it has them (so the writable layer keeps the
// case of the defaults), else the case given.
Key& EnsureKey(KeyMap& map, std::string_view path, const KeyMap* caseFrom);
const Key* FindKey(const KeyMap& map, std::string_view path);
// Removes a key and everything below it; false when the key is absent.
bool EraseTree(KeyMap& map, std::string_view path);
// The direct subkeys of `path`.
std::vector<const Key*> Children(const KeyMap& map, std::string_view path);
// Sets a value, keeping the case of an existing name (or of the same name
// in `caseFrom`).
void PutValue(Key& key, std::string_view name, const Value& value, const Key* caseFrom);

// The stored hives. HKEY_CLASSES_ROOT has no storage of its own: it is
// Software\Classes of both.
struct Layer {
  KeyMap machine, user;
  KeyMap& Of(Hive h) { return h == Hive::LocalMachine ? machine : user; }
  const KeyMap& Of(Hive h) const { return h == Hive::LocalMachine ? machine : user; }
};

inline constexpr std::string_view kClassesKey = "Software\\Classes";

// One line of a registry text.
struct Op {
  enum Kind { kKey, kDeleteKey, kSetValue, kDeleteValue } kind = kKey;
  Hive hive = Hive::LocalMachine;
  std::string path;  // normalised
  std::string name;  // kSetValue, kDeleteValue
  Value value;       // kSetValue
  int line = 0;
};

// Parses a text that starts with the line "REGEDIT4". On failure returns
// BadFile and sets the last error to "<source> line N: <what>".
Status ParseText(std::string_view text, std::string_view source, std::vector<Op>* ops);

struct ApplyOptions {
  Hive classesRoot = Hive::CurrentUser;  // where HKEY_CLASSES_ROOT keys go
  bool restrictHive = false;             // a hive file: only `onlyHive` allowed
  Hive onlyHive = Hive::LocalMachine;
  bool substitute = false;  // the defaults layer's placeholders
  std::string share, dataHome;
  const Layer* caseFrom = nullptr;
  std::string source;
};
Status ApplyOps(const std::vector<Op>& ops, Layer* layer, const ApplyOptions& options);

// The text of a hive file: "REGEDIT4", then one section per key that holds
// values or has no subkeys (ancestors are implied).
std::string FormatHive(const KeyMap& map, Hive hive);
const char* RootName(Hive hive);

// Values as the bytes the Windows-shaped calls and hex(n) lists carry:
// strings UTF-8 with their NUL, DWORD little-endian, multi-strings each
// with its NUL and one more at the end.
std::vector<BYTE> ToBytes(const Value& v);
// InvalidArgument for a malformed DWORD, WrongType for an unknown type.
Status FromBytes(DWORD type, const BYTE* data, std::size_t size, Value* out);
// InvalidArgument for a value that cannot be stored (NUL inside a string,
// an empty multi-string item), WrongType for a type outside the five.
Status CheckValue(const Value& v);

void SetLastError(std::string message);
// Status of a key in the merged view (Ok, NoKey or BadFile).
Status KeyStatus(Hive hive, std::string_view key);

}  // namespace vexa::reg::detail
