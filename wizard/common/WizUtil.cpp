#include "wizard/common/WizUtil.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <cstdio>
#include <cstdlib>

#include "platform/base/Path.h"
#include "platform/base/Text.h"
#include "wizard/common/FilePaths.h"
#include "wizard/common/Language.h"

namespace vexa::wiz {

using vexa::com::Bstr;
using vexa::reg::Hive;

LONG MapTVSystem(LONG value) {
  switch (value) {
    case VEXAWizTVPAL:
    case VEXAWizTVSECAM: return VEXAWizTVPAL;
    case VEXAWizTVINVALID: return VEXAWizTVINVALID;
    default: return VEXAWizTVNTSC;
  }
}

// ---- Registry ------------------------------------------------------------------------

namespace {
// Registry texts are paths and lists; the platform's own path limit bounds them.
constexpr std::size_t kRegistryTextLimit = 4096;

std::string ExpandEnvironment(std::string_view text, bool* ok) {
  std::string out;
  *ok = true;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') {
      out += text[i];
      continue;
    }
    const std::size_t end = text.find('%', i + 1);
    if (end == std::string_view::npos) {
      out.append(text.substr(i));
      break;
    }
    const std::string name(text.substr(i + 1, end - i - 1));
    const char* value = name.empty() ? nullptr : std::getenv(name.c_str());
    if (value) out += value;
    else out.append(text.substr(i, end - i + 1));
    i = end;
  }
  if (out.size() > 260) *ok = false;
  return out;
}
}  // namespace

bool CVexaWizUtil::ReadRegistryString(Hive hive, std::string_view key, std::string_view name,
                                      std::string* out) {
  if (!vexa::reg::KeyExists(hive, key)) {
    out->clear();
    return false;
  }
  vexa::reg::Value v;
  if (vexa::reg::GetValue(hive, key, name, &v) != vexa::reg::Status::Ok) return false;
  if (v.type != vexa::reg::ValueType::Sz && v.type != vexa::reg::ValueType::ExpandSz) return false;
  if (v.text.size() + 1 > kRegistryTextLimit) return false;
  *out = v.text;
  return true;
}

bool CVexaWizUtil::ReadRegistryDword(Hive hive, std::string_view key, std::string_view name, DWORD* out) {
  auto v = vexa::reg::GetDword(hive, key, name);
  *out = v.value_or(0);
  return v.has_value();
}

bool CVexaWizUtil::ReadRegistryValueAsText(Hive hive, std::string_view key, std::string_view name,
                                           std::string* out) {
  vexa::reg::Value v;
  if (vexa::reg::GetValue(hive, key, name, &v) != vexa::reg::Status::Ok) return false;
  switch (v.type) {
    case vexa::reg::ValueType::Sz:
      *out = v.text;
      return true;
    case vexa::reg::ValueType::ExpandSz: {
      bool ok = false;
      std::string expanded = ExpandEnvironment(v.text, &ok);
      if (!ok) return false;
      *out = std::move(expanded);
      return true;
    }
    case vexa::reg::ValueType::Dword:
      *out = std::to_string(static_cast<LONG>(v.dword));
      return true;
    default:
      return false;
  }
}

std::string CVexaWizUtil::GetSuppportedFileTypesFilter() {
  std::string s;
  ReadRegistryString(Hive::LocalMachine, kWizProductKey, "SUPPORTED_FILE_FILTER", &s);
  return s;
}

std::string CVexaWizUtil::GetSuppportedAudioFileTypesFilter() {
  std::string s;
  ReadRegistryString(Hive::LocalMachine, kWizProductKey, "SUPPORTED_AUDIO_FILE_FILTER", &s);
  return s;
}

std::string CVexaWizUtil::GetAudioPath() {
  std::string s;
  ReadRegistryString(Hive::LocalMachine, kWizProductKey, "APP_PATH_AUDIO", &s);
  return s;
}

// ---- Pattern lists ---------------------------------------------------------------------

bool CVexaWizUtil::NextToken(std::string_view source, std::size_t* position, std::string* token,
                             std::string_view delimiter) {
  if (*position >= source.size()) return false;
  const std::size_t end = delimiter.empty() ? std::string_view::npos : source.find(delimiter, *position);
  if (end == std::string_view::npos) {
    *token = std::string(source.substr(*position));
    *position = source.size();
  } else {
    *token = std::string(source.substr(*position, end - *position));
    *position = end + delimiter.size();
  }
  return true;
}

bool WizServices::GetFilteredExtensionList(std::string_view filter, std::string_view delimiter,
                                           StringArray* array) const {
  if (filter.empty()) {
    LogError("CVexaWizUtil::GetFilteredExtensionList - Empty filter.", false);
    return false;
  }
  if (delimiter.empty()) {
    LogError("CVexaWizUtil::GetFilteredExtensionList - Empty delimiter.", false);
    return false;
  }
  std::size_t pos = 0;
  std::string token;
  while (CVexaWizUtil::NextToken(filter, &pos, &token, delimiter)) array->push_back(token);
  if (array->empty()) {
    LogError("CVexaWizUtil::GetFilteredExtensionList - No filters in list.", false);
    return false;
  }
  return true;
}

bool WizServices::GetFilteredImageExtensions(StringArray* array) const {
  if (GetFilteredExtensionList(CVexaWizUtil::GetSuppportedFileTypesFilter(), ";", array)) return true;
  LogError("CVexaWizUtil::GetFilteredImageExtensions - GetFilteredExtensionList call failed on registry filter string.",
           false);
  if (GetFilteredExtensionList(kImageFilterDefault, ";", array)) return true;
  LogError("CVexaWizUtil::GetFilteredImageExtensions - GetFilteredExtensionList call failed on hard-coded filter string.",
           false);
  return false;
}

bool WizServices::GetFilteredAudioExtensions(StringArray* array) const {
  if (GetFilteredExtensionList(CVexaWizUtil::GetSuppportedAudioFileTypesFilter(), ";", array)) return true;
  LogError("CVexaWizUtil::GetFilteredAudioExtensions - GetFilteredExtensionList call failed on registry filter string.",
           false);
  if (GetFilteredExtensionList(kAudioFilterDefault, ";", array)) return true;
  LogError("CVexaWizUtil::GetFilteredAudioExtensions - GetFilteredExtensionList call failed on hard-coded filter string.",
           false);
  return false;
}

// ---- Folders ---------------------------------------------------------------------------------

std::string CVexaWizUtil::CacheDirectoryFor(std::string_view base) {
  std::size_t cut = std::string_view::npos;
  for (std::size_t i = base.size(); i-- > 0;) {
    if (base[i] == '/' || base[i] == '\\') {
      cut = i;
      break;
    }
  }
  std::string folder = cut == std::string_view::npos ? std::string() : std::string(base.substr(0, cut + 1));
  if (folder.empty()) folder = base::WithTrailingSeparator(base::TempDirectory());
  return folder + "vexacache";
}

bool CVexaWizUtil::CreateCacheDirectory(std::string* path) {
  // The thumbnails show the user's photos: the folder is the user's alone
  // (mode 0700, not a link). Without a home, it is the user's own private
  // folder in the temporary folder, never a shared name another user could
  // make first.
  std::string base;
  if (const char* xdg = std::getenv("XDG_CACHE_HOME"); xdg && *xdg == '/') {
    base = base::JoinPath(xdg, "vexa/");
  } else if (const char* home = std::getenv("HOME"); home && *home == '/') {
    base = base::JoinPath(home, ".cache/vexa/");
  } else {
    *path = base::PrivateTempDirectory("vexacache");
    return !path->empty();
  }
  *path = CacheDirectoryFor(base);
  return base::MakeDirs(base) && base::MakePrivateDir(*path);
}

std::string SessionFolder() {
  const std::string folder = base::UserConfigDirectory();
  // The session album and the settings name the user's photos and titles:
  // a folder made here is the user's alone.
  if (folder.empty() || !base::MakePrivateDirs(folder)) return std::string();
  return folder;
}

std::string InstallFolder() {
  std::string path;
  if (CVexaWizUtil::ReadRegistryString(Hive::LocalMachine, kWizProductKey, "APP_PATH", &path) &&
      !path.empty())
    return base::ToNativePath(path);
  return base::WithTrailingSeparator(base::ShareDir());
}

// ---- Strings and logs ---------------------------------------------------------------------

std::string WizServices::LoadString(int id, std::string_view fallback) const {
  std::string text;
  if (language && language->String(id, &text)) return text;
  LogError(Format("CVexaWizUtil::LoadString - Cannot load resource with id # %d and message %s", id,
                  std::string(fallback).c_str()),
           false);
  return std::string(fallback);
}

namespace {
bool Write(IVexaLogger* logger, const char* type, std::string_view text) {
  if (!logger) return false;
  Bstr component = Bstr::FromUtf8("vexawiz");
  Bstr kind = Bstr::FromUtf8(type);
  Bstr message = Bstr::FromUtf8(text);
  return SUCCEEDED(logger->WriteMessage(component.Get(), kind.Get(), message.Get()));
}
}  // namespace

bool WizServices::LogError(std::string_view text, bool withCalleeError) const {
  if (!logger) return false;
  bool ok = true;
  if (withCalleeError) {
    const std::string callee = CVexaWizUtil::GetLastComErrorText();
    if (!callee.empty()) {
      ok = Write(logger.Get(), "ERROR", callee);
      if (!ok) return false;
    }
  }
  if (!text.empty()) ok = Write(logger.Get(), "ERROR", text);
  return ok;
}

bool WizServices::LogInfo(std::string_view text) const {
  if (text.empty()) return false;
  return Write(logger.Get(), "INFO", text);
}

std::string CVexaWizUtil::GetLastComErrorText() {
  const vexa::com::ErrorText e = vexa::com::TakeError();
  return e.present ? e.Utf8Description() : std::string();
}

void CVexaWizUtil::AppendLineBreaks(int count, std::string* text) {
  for (int i = 0; i < count; ++i) *text += "\r\n";
}

void CVexaWizUtil::PumpMessages() {
  if (!QCoreApplication::instance()) return;
  QCoreApplication::processEvents(QEventLoop::AllEvents);
  QCoreApplication::sendPostedEvents(nullptr, 0);
}

HRESULT WizServices::Error(std::string_view text, bool withCalleeError) const {
  LogError(text, withCalleeError);
  return vexa::com::ReportError(CLSID_VEXAWizard1, text, IID_IVEXAWizard1, E_FAIL);
}

// ---- Update-check dates ----------------------------------------------------------------

void WizServices::SetUpdateCheckMode(std::string_view mode) {
  if (!mode.empty()) updateCheckMode = std::string(mode);
}

std::string WizServices::GetUpdateCheckMode() const {
  return updateCheckMode.empty() ? std::string(kCheckNone) : updateCheckMode;
}

void WizServices::SaveDateLastChecked() const {
  const base::CalendarTime now = clock->LocalNow();
  const std::string text = Format("%02d/%02d/%04d", now.month, now.day, now.year);
  vexa::reg::SetValue(Hive::CurrentUser, kWizProductKey, "DateLastCheckedForUpdate",
                      vexa::reg::Value::String(text));
}

std::time_t CVexaWizUtil::GetDateLastChecked() {
  std::string text;
  if (!ReadRegistryString(Hive::CurrentUser, kWizProductKey, "DateLastCheckedForUpdate", &text)) return 0;
  int fields[3] = {0, 0, 0};
  int n = 0;
  std::size_t pos = 0;
  std::string token;
  while (n < 3 && NextToken(text, &pos, &token, "/")) {
    if (token.empty() || token.size() > 4) return 0;
    for (char c : token)
      if (c < '0' || c > '9') return 0;
    fields[n++] = std::atoi(token.c_str());
  }
  if (n != 3 || pos < text.size()) return 0;
  const int month = fields[0], day = fields[1], year = fields[2];
  // Dates are 64-bit here, so any year from 1970 to 9999 is a date.
  if (month < 1 || month > 12 || day < 1 || day > 31 || year < 1970 || year > 9999) return 0;
  std::tm tm{};
  tm.tm_year = year - 1900;
  tm.tm_mon = month - 1;
  tm.tm_mday = day;
  tm.tm_isdst = -1;
  const std::time_t t = std::mktime(&tm);
  return t == static_cast<std::time_t>(-1) ? 0 : t;
}

int CVexaWizUtil::GetMaxDaysBetweenUpdateChecks() {
  std::string text;
  if (!ReadRegistryValueAsText(Hive::LocalMachine, kWizProductKey, "MaxDaysBetweenUpdateChecks", &text))
    return 30;
  if (text == "0") return 0;
  char* end = nullptr;
  const long v = std::strtol(text.c_str(), &end, 10);
  return v > 0 && v <= 36500 ? static_cast<int>(v) : 30;
}

bool AudioSourceExists(const std::string& path) {
  if (path.empty()) return false;
  if (base::FileExists(path)) return true;
  // An audio-CD track is named after its drive, which is what must exist.
  return base::EqualsNoCase(CvexaPath(path).GetExtension(), "cda") && CvexaPath(base::DirName(path)).Exists();
}

}  // namespace vexa::wiz
