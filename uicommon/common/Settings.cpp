#include "uicommon/common/Settings.h"

#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <unistd.h>
#include <vector>

#include "platform/base/Path.h"
#include "platform/base/Text.h"
#include "platform/registry/Registry.h"

namespace vexa::ui {

namespace {

struct SettingRow {
  const char* section;
  const char* name;
};

#include "uicommon/common/ValueTable.inc"

constexpr char kBasePath[] = "Software\\Tervane\\Lumacast\\";

std::mutex g_keyMutex;
// Set when the library is loaded, before anything else runs.
std::string g_persistenceKey = std::string(kBasePath) + "Kvi_No_Persist_Key";

std::string Key() {
  std::lock_guard<std::mutex> lock(g_keyMutex);
  return g_persistenceKey;
}

const SettingRow* Row(ValueId id) {
  const int n = static_cast<int>(id);
  if (n < 0 || n >= kValueIdCount) return nullptr;
  return &kValueTable[n];
}

std::string Format(const char* pattern, double v) {
  char buf[64];
  std::snprintf(buf, sizeof buf, pattern, v);
  return buf;
}
std::string FormatInt(int v) { return std::to_string(v); }

}  // namespace

std::string GetPersistentString(const char* section, const char* valueName,
                                const char* defaultValue) {
  const std::string fallback = defaultValue ? defaultValue : "";
  if (!section || !valueName) return fallback;
  HKEY root = nullptr;
  if (RegOpenKeyEx(HKEY_CURRENT_USER, Key().c_str(), 0, KEY_READ, &root) != ERROR_SUCCESS)
    return fallback;
  HKEY key = nullptr;
  const LONG opened = RegOpenKeyEx(root, section, 0, KEY_READ, &key);
  RegCloseKey(root);
  if (opened != ERROR_SUCCESS) return fallback;
  // The stored type is not looked at: the value's bytes up to the first NUL
  // are its text.
  std::string text;
  DWORD size = 0;
  if (RegQueryValueEx(key, valueName, nullptr, nullptr, nullptr, &size) == ERROR_SUCCESS &&
      size > 0) {
    std::vector<BYTE> buffer(size);
    if (RegQueryValueEx(key, valueName, nullptr, nullptr, buffer.data(), &size) ==
        ERROR_SUCCESS) {
      const char* p = reinterpret_cast<const char*>(buffer.data());
      std::size_t n = 0;
      while (n < size && p[n] != '\0') ++n;
      text.assign(p, n);
    }
  }
  RegCloseKey(key);
  return text.empty() ? fallback : text;
}

void WritePersistentString(std::string section, std::string valueName, std::string value) {
  HKEY root = nullptr;
  if (RegCreateKeyEx(HKEY_CURRENT_USER, Key().c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &root,
                     nullptr) != ERROR_SUCCESS)
    return;
  HKEY key = nullptr;
  const LONG created =
      RegCreateKeyEx(root, section.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr);
  RegCloseKey(root);
  if (created != ERROR_SUCCESS) return;
  RegSetValueEx(key, valueName.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                static_cast<DWORD>(value.size() + 1));
  RegCloseKey(key);
}

int GetIntValue(ValueId id, int defaultValue) {
  const SettingRow* row = Row(id);
  if (!row) return defaultValue;
  return std::atoi(
      GetPersistentString(row->section, row->name, FormatInt(defaultValue).c_str()).c_str());
}

float GetFloatValue(ValueId id, float defaultValue) {
  const SettingRow* row = Row(id);
  if (!row) return defaultValue;
  return static_cast<float>(std::atof(
      GetPersistentString(row->section, row->name, Format("%g", defaultValue).c_str()).c_str()));
}

std::string GetStrValue(ValueId id, const std::string& defaultValue) {
  const SettingRow* row = Row(id);
  if (!row) return defaultValue;
  return GetPersistentString(row->section, row->name, defaultValue.c_str());
}

std::string GetNumberedStrValue(ValueId id, int number, const std::string& defaultValue) {
  const SettingRow* row = Row(id);
  if (!row) return defaultValue;
  const std::string name = row->name + FormatInt(number);
  return GetPersistentString(row->section, name.c_str(), defaultValue.c_str());
}

void PutIntValue(ValueId id, int value) {
  if (const SettingRow* row = Row(id)) WritePersistentString(row->section, row->name, FormatInt(value));
}

void PutFloatValue(ValueId id, float value) {
  if (const SettingRow* row = Row(id))
    WritePersistentString(row->section, row->name, Format("%g", value));
}

void PutStrValue(ValueId id, const std::string& value) {
  if (const SettingRow* row = Row(id)) WritePersistentString(row->section, row->name, value);
}

void PutNumberedStrValue(ValueId id, int number, const std::string& value) {
  if (const SettingRow* row = Row(id))
    WritePersistentString(row->section, row->name + FormatInt(number), value);
}

QRect GetRectValue(ValueId, QRect) { return QRect(QPoint(0, 0), QSize(42, 42)); }

void PutRectValue(ValueId, QRect) {}

bool SetPersistenceKey(const char* keyName) {
  if (keyName) {
    std::lock_guard<std::mutex> lock(g_keyMutex);
    g_persistenceKey = std::string(kBasePath) + keyName;
    return true;
  }
  // The running program's file name, without folder and extension.
  std::string program;
  char buf[4096];
  const ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n > 0) program.assign(buf, static_cast<std::size_t>(n));
  std::string name = vexa::base::BaseName(program);
  const std::string ext = vexa::base::Extension(name);
  name.resize(name.size() - ext.size());
  std::lock_guard<std::mutex> lock(g_keyMutex);
  g_persistenceKey = std::string(kBasePath) + name;
  return false;
}

std::string GetAppDir() {
  return vexa::reg::GetString(vexa::reg::Hive::LocalMachine,
                              "Software\\Tervane\\Lumacast\\R48 Scanner\\Paths", "InstallDir")
      .value_or("");
}

std::string KviGetLanguage() {
  return vexa::ui::LanguageFromAbbreviation(vexa::ui::SystemLanguageAbbreviation());
}

const char* SettingSection(int id) {
  const SettingRow* row = Row(static_cast<ValueId>(id));
  return row ? row->section : nullptr;
}

const char* SettingName(int id) {
  const SettingRow* row = Row(static_cast<ValueId>(id));
  return row ? row->name : nullptr;
}

std::string PersistenceKey() { return Key(); }

std::string SystemLanguageAbbreviation() {
  const char* locale = nullptr;
  for (const char* var : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* v = std::getenv(var);
    if (v && *v) {
      locale = v;
      break;
    }
  }
  if (!locale) return "";
  // "fr_FR.UTF-8": the language letters, then the first letter of the
  // country, upper case, as the three-letter names are formed ("FRF" is
  // not one of them, but only the first two letters are ever read).
  std::string lang, country;
  const char* p = locale;
  while (*p && *p != '_' && *p != '.' && *p != '@') lang += *p++;
  if (*p == '_') {
    ++p;
    while (*p && *p != '.' && *p != '@') country += *p++;
  }
  if (lang.size() < 2 || lang == "C" || lang == "POSIX") return "";
  for (char c : lang)
    if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'))) return "";
  lang = vexa::base::ToUpperAscii(lang.substr(0, 2));
  // Japanese and Korean are "JPN" and "KOR" in that naming.
  if (lang == "JA") return "JPN";
  if (lang == "KO") return "KOR";
  return lang + (country.empty() ? std::string("X") : vexa::base::ToUpperAscii(country.substr(0, 1)));
}

std::string LanguageFromAbbreviation(const std::string& abbreviation) {
  if (abbreviation.size() < 3) return "english";
  const std::string two = vexa::base::ToLowerAscii(abbreviation.substr(0, 2));
  if (two == "fr") return "french";
  if (two == "es") return "spanish";
  if (two == "it") return "italian";
  if (two == "de") return "german";
  if (two == "jp") return "japanese";
  if (two == "ko") return "korean";
  return "english";
}

}  // namespace vexa::ui
