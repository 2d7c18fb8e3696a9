#include "printing/kvprint/KvprintUtil.h"

#include <cstdlib>
#include <map>
#include <mutex>

#include "idl/ProductKey.h"
#include "idl/vexasdk.h"
#include "platform/base/Path.h"
#include "platform/base/Text.h"
#include "platform/base/ValidUtf8.h"
#include "platform/registry/Registry.h"

namespace vexa::kvprint {
namespace {

struct ModuleState {
  std::mutex mutex;
  std::string includePath;
  long maxImages = 0;  // read from the product key on first use
  bool libraryTried = false;
  bool libraryLoaded = false;
  std::map<int, std::string> texts;
};

ModuleState& State() {
  static ModuleState s;
  return s;
}

// The language library: a UTF-8 file "kvprint<abbreviation>.txt" in the
// installation's print folder, one "id=text" a line ("#" starts a comment).
bool LoadLibraryLocked(ModuleState& s) {
  const std::string abbrev =
      reg::GetString(reg::Hive::LocalMachine, kProductKey, "APP_LANG_ABBRV").value_or("");
  if (abbrev.empty() || abbrev.size() > 8) return false;
  for (char c : abbrev) {
    if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'))) return false;
  }
  std::string text;
  if (!base::ReadFile(base::JoinPath(base::JoinPath(base::ShareDir(), "print"), "kvprint" + abbrev + ".txt"),
                      &text)) {
    return false;
  }
  const std::string clean = base::ToValidUtf8(text);
  for (const std::string_view view : base::DataLines(clean)) {
    const std::string line(view);
    const std::size_t eq = line.find('=');
    if (eq == std::string::npos) continue;
    char* end = nullptr;
    const long id = std::strtol(line.c_str(), &end, 10);
    if (end != line.c_str() + eq) continue;
    s.texts[static_cast<int>(id)] = line.substr(eq + 1);
  }
  return true;
}

}  // namespace

std::string CKvprintUtil::GetIncludePath() {
  LoadLanguageLibrary();
  ModuleState& s = State();
  std::lock_guard lock(s.mutex);
  if (s.includePath.empty()) {
    std::string v = reg::GetString(reg::Hive::LocalMachine, kProductKey, "PR_INCLUDE_PATH").value_or("");
    if (v.size() > 2047) v = base::Utf8CutBytes(v, 2047);
    s.includePath = v;
  }
  return s.includePath;
}

long CKvprintUtil::GetMaxImages() {
  ModuleState& s = State();
  std::lock_guard lock(s.mutex);
  if (s.maxImages < 1) {
    const DWORD v = reg::GetDword(reg::Hive::LocalMachine, kProductKey, "MAX_IMAGES").value_or(0);
    s.maxImages = v >= 1 && v <= 1000000 ? static_cast<long>(v) : kVEXAEngineMaxStills;
  }
  return s.maxImages;
}

bool CKvprintUtil::LoadLanguageLibrary() {
  ModuleState& s = State();
  std::lock_guard lock(s.mutex);
  if (!s.libraryLoaded) s.libraryLoaded = LoadLibraryLocked(s);
  s.libraryTried = true;
  return !s.libraryLoaded;
}

bool CKvprintUtil::IsLanguageLibraryLoaded() {
  LoadLanguageLibrary();
  ModuleState& s = State();
  std::lock_guard lock(s.mutex);
  return s.libraryLoaded;
}

void CKvprintUtil::LoadString(int id, Bstr* out, std::u16string_view fallback) {
  LoadLanguageLibrary();
  std::string text;
  {
    ModuleState& s = State();
    std::lock_guard lock(s.mutex);
    auto it = s.texts.find(id);
    if (it != s.texts.end()) text = base::Utf8CutBytes(it->second, 511);
  }
  *out = text.empty() ? Bstr(fallback) : Bstr::FromUtf8(text);
}

bool CKvprintUtil::LoadStringAsFloat(int id, float* out, std::u16string_view fallback) {
  Bstr text;
  LoadString(id, &text, fallback);
  if (text.Length() == 0) return false;
  // The leading decimal number, in the C locale; text without one gives 0.
  const std::string s = text.Utf8();
  double v = 0;
  std::size_t i = 0;
  while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) ++i;
  bool negative = false;
  if (i < s.size() && (s[i] == '-' || s[i] == '+')) negative = s[i++] == '-';
  double scale = 0;
  for (; i < s.size(); ++i) {
    if (s[i] >= '0' && s[i] <= '9') {
      if (scale == 0) {
        v = v * 10 + (s[i] - '0');
      } else {
        v += (s[i] - '0') * scale;
        scale /= 10;
      }
    } else if (s[i] == '.' && scale == 0) {
      scale = 0.1;
    } else {
      break;
    }
  }
  *out = static_cast<float>(negative ? -v : v);
  return true;
}

void CKvprintUtil::ResetForTests() {
  ModuleState& s = State();
  std::lock_guard lock(s.mutex);
  s.includePath.clear();
  s.maxImages = 0;
  s.libraryTried = false;
  s.libraryLoaded = false;
  s.texts.clear();
}

HRESULT Fail(REFCLSID clsid, REFIID iid, std::string_view message) {
  return com::ReportError(clsid, message, iid, E_FAIL);
}

std::string JoinFolder(std::string_view folder, std::string_view name) {
  if (folder.empty()) return std::string(name);
  return base::JoinPath(folder, name);
}

}  // namespace vexa::kvprint
