// The calls in the shape of the Windows registry API, over vexa::reg.
#include "platform/registry/Registry.h"
#include "platform/registry/RegistryModel_p.h"

#include <cstring>
#include <memory>
#include <mutex>
#include <set>

using namespace vexa::reg;
using namespace vexa::reg::detail;

// An open key: a hive and a normalised path. Only handles in the live set
// are accepted, so a closed or made-up handle gives ERROR_INVALID_HANDLE.
struct HKEY__ {
  Hive hive;
  std::string path;
};

namespace {

std::mutex g_handleMutex;
std::set<HKEY> g_handles;

bool Resolve(HKEY key, Hive* hive, std::string* path) {
  if (key == HKEY_LOCAL_MACHINE || key == HKEY_CURRENT_USER || key == HKEY_CLASSES_ROOT) {
    *hive = key == HKEY_LOCAL_MACHINE  ? Hive::LocalMachine
            : key == HKEY_CURRENT_USER ? Hive::CurrentUser
                                       : Hive::ClassesRoot;
    path->clear();
    return true;
  }
  std::lock_guard<std::mutex> lock(g_handleMutex);
  if (!g_handles.count(key)) return false;
  *hive = key->hive;
  *path = key->path;
  return true;
}

HKEY NewHandle(Hive hive, std::string path) {
  std::unique_ptr<HKEY__> h(new HKEY__{hive, std::move(path)});  // freed when the set cannot grow
  std::lock_guard<std::mutex> lock(g_handleMutex);
  g_handles.insert(h.get());
  return h.release();
}

LONG ToError(Status s) {
  switch (s) {
    case Status::Ok: return ERROR_SUCCESS;
    case Status::NoKey:
    case Status::NoValue: return ERROR_FILE_NOT_FOUND;
    case Status::MoreData: return ERROR_MORE_DATA;
    case Status::WrongType: return ERROR_UNSUPPORTED_TYPE;
    case Status::InvalidArgument: return ERROR_INVALID_PARAMETER;
    case Status::BadFile: return ERROR_BAD_FORMAT;
    case Status::IoError: return ERROR_WRITE_FAULT;
  }
  return ERROR_INVALID_PARAMETER;
}

// Copies `bytes` to a caller's buffer the way the registry calls do: the
// size alone when data is null, ERROR_MORE_DATA with the needed size when
// the buffer is too small.
LONG GiveBytes(const std::vector<BYTE>& bytes, BYTE* data, DWORD* cbData) {
  if (data && !cbData) return ERROR_INVALID_PARAMETER;
  if (!cbData) return ERROR_SUCCESS;
  const DWORD room = *cbData;
  *cbData = static_cast<DWORD>(bytes.size());
  if (!data) return ERROR_SUCCESS;
  if (room < bytes.size()) return ERROR_MORE_DATA;
  if (!bytes.empty()) std::memcpy(data, bytes.data(), bytes.size());
  return ERROR_SUCCESS;
}

// A name into a character buffer of *cch characters (NUL included). On
// success *cch is the length without the NUL; when it does not fit, the
// length with the NUL.
LONG GiveName(const std::string& s, char* name, DWORD* cch) {
  if (!name || !cch) return ERROR_INVALID_PARAMETER;
  if (*cch < s.size() + 1) {
    *cch = static_cast<DWORD>(s.size() + 1);
    return ERROR_MORE_DATA;
  }
  std::memcpy(name, s.c_str(), s.size() + 1);
  *cch = static_cast<DWORD>(s.size());
  return ERROR_SUCCESS;
}

const char* OrEmpty(const char* s) { return s ? s : ""; }

}  // namespace

LONG RegOpenKeyEx(HKEY key, const char* subKey, DWORD, REGSAM, HKEY* result) {
  Hive hive;
  std::string path;
  if (!result) return ERROR_INVALID_PARAMETER;
  *result = nullptr;
  if (!Resolve(key, &hive, &path)) return ERROR_INVALID_HANDLE;
  path = NormalKey(JoinKey(path, OrEmpty(subKey)));
  if (Status s = KeyStatus(hive, path); s != Status::Ok) return ToError(s);
  *result = NewHandle(hive, std::move(path));
  return ERROR_SUCCESS;
}

LONG RegCreateKeyEx(HKEY key, const char* subKey, DWORD, char*, DWORD, REGSAM, void*, HKEY* result,
                    DWORD* disposition) {
  Hive hive;
  std::string path;
  if (!result) return ERROR_INVALID_PARAMETER;
  *result = nullptr;
  if (!Resolve(key, &hive, &path)) return ERROR_INVALID_HANDLE;
  path = NormalKey(JoinKey(path, OrEmpty(subKey)));
  const Status before = KeyStatus(hive, path);
  if (before != Status::Ok && before != Status::NoKey) return ToError(before);
  if (before == Status::NoKey) {
    if (Status s = CreateKey(hive, path); s != Status::Ok) return ToError(s);
  }
  if (disposition) *disposition = before == Status::Ok ? REG_OPENED_EXISTING_KEY : REG_CREATED_NEW_KEY;
  *result = NewHandle(hive, std::move(path));
  return ERROR_SUCCESS;
}

LONG RegCloseKey(HKEY key) {
  if (key == HKEY_LOCAL_MACHINE || key == HKEY_CURRENT_USER || key == HKEY_CLASSES_ROOT) {
    return ERROR_SUCCESS;
  }
  {
    std::lock_guard<std::mutex> lock(g_handleMutex);
    if (!g_handles.erase(key)) return ERROR_INVALID_HANDLE;
  }
  delete key;
  return ERROR_SUCCESS;
}

LONG RegQueryValueEx(HKEY key, const char* name, DWORD*, DWORD* type, BYTE* data, DWORD* cbData) {
  Hive hive;
  std::string path;
  if (!Resolve(key, &hive, &path)) return ERROR_INVALID_HANDLE;
  Value v;
  if (Status s = GetValue(hive, path, OrEmpty(name), &v); s != Status::Ok) return ToError(s);
  if (type) *type = static_cast<DWORD>(v.type);
  return GiveBytes(ToBytes(v), data, cbData);
}

LONG RegSetValueEx(HKEY key, const char* name, DWORD, DWORD type, const BYTE* data, DWORD cbData) {
  Hive hive;
  std::string path;
  if (!Resolve(key, &hive, &path)) return ERROR_INVALID_HANDLE;
  if (!data && cbData > 0) return ERROR_INVALID_PARAMETER;
  static const BYTE kNothing = 0;
  Value v;
  if (Status s = FromBytes(type, data ? data : &kNothing, cbData, &v); s != Status::Ok) {
    return ToError(s);
  }
  return ToError(SetValue(hive, path, OrEmpty(name), v));
}

LONG RegDeleteValue(HKEY key, const char* name) {
  Hive hive;
  std::string path;
  if (!Resolve(key, &hive, &path)) return ERROR_INVALID_HANDLE;
  return ToError(DeleteValue(hive, path, OrEmpty(name)));
}

LONG RegDeleteKey(HKEY key, const char* subKey) {
  Hive hive;
  std::string path;
  if (!Resolve(key, &hive, &path)) return ERROR_INVALID_HANDLE;
  path = NormalKey(JoinKey(path, OrEmpty(subKey)));
  // Only a key without subkeys; DeleteKeyTree removes whole trees.
  std::vector<std::string> children;
  if (Status s = ListSubkeys(hive, path, &children); s != Status::Ok) return ToError(s);
  if (!children.empty()) return ERROR_ACCESS_DENIED;
  return ToError(DeleteKeyTree(hive, path));
}

LONG RegEnumKeyEx(HKEY key, DWORD index, char* name, DWORD* cchName, DWORD*, char* cls, DWORD* cchClass,
                  void*) {
  Hive hive;
  std::string path;
  if (!Resolve(key, &hive, &path)) return ERROR_INVALID_HANDLE;
  std::vector<std::string> names;
  if (Status s = ListSubkeys(hive, path, &names); s != Status::Ok) return ToError(s);
  if (index >= names.size()) return ERROR_NO_MORE_ITEMS;
  if (cls && cchClass && *cchClass > 0) *cls = '\0';
  if (cchClass) *cchClass = 0;
  return GiveName(names[index], name, cchName);
}

LONG RegEnumValue(HKEY key, DWORD index, char* name, DWORD* cchName, DWORD*, DWORD* type, BYTE* data,
                  DWORD* cbData) {
  Hive hive;
  std::string path;
  if (!Resolve(key, &hive, &path)) return ERROR_INVALID_HANDLE;
  std::vector<std::string> names;
  if (Status s = ListValues(hive, path, &names); s != Status::Ok) return ToError(s);
  if (index >= names.size()) return ERROR_NO_MORE_ITEMS;
  Value v;
  if (Status s = GetValue(hive, path, names[index], &v); s != Status::Ok) return ToError(s);
  if (LONG e = GiveName(names[index], name, cchName); e != ERROR_SUCCESS) return e;
  if (type) *type = static_cast<DWORD>(v.type);
  return GiveBytes(ToBytes(v), data, cbData);
}
