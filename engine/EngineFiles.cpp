#include "engine/EngineFiles.h"

#include <sys/stat.h>
#include <sys/statvfs.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "platform/base/File.h"
#include "platform/base/OwnedTempDir.h"
#include "platform/base/Path.h"
#include "platform/base/Time.h"

namespace vexa::engine {

Result MakeWorkFolders(std::string_view parent, WorkFolders* out) {
  static constexpr char kPrefix[] = "IVEXAEngine::SetTempDirectory - ";
  const std::string dir = base::ToNativePath(std::string(parent));
  if (dir.empty()) {
    return Result::Fail(EngineCode::kTemporaryDirFail, std::string(kPrefix) + "Can not change to temporary directory");
  }
  std::error_code ec;
  const std::filesystem::path p = std::filesystem::absolute(dir, ec);
  if (ec || !base::DirExists(p.string())) {
    return Result::Fail(EngineCode::kTemporaryDirFail, std::string(kPrefix) + "Can not change to temporary directory");
  }
  // The folder names its owner; those of killed runs are removed first.
  const std::string root = base::MakeOwnedTempDir(p.lexically_normal().string(), "zzz");
  if (root.empty()) {
    return Result::Fail(EngineCode::kTemporaryDirFail, std::string(kPrefix) + "Can not create temporary directory");
  }
  // Everything written in it is the run's own and goes when the run ends:
  // no sync to the device for its files.
  base::MarkWorkFolder(root);
  WorkFolders f;
  f.root = root;
  struct Folder {
    std::string* path;
    const char* relative;
    const char* message;
  } folders[] = {
      {&f.vexaxml, "vexaxml", "Can not create VEXAXML temporary working directory"},
      {&f.vexaprt, "vexaprt", "Can not create VEXAPRT temporary working directory"},
      {&f.vexaod, "vexaod", "Can not create VEXAOD temporary working directory"},
      {&f.content, "vexaod/content", "Can not create VEXAOD temporary content directory"},
      {&f.thumb, "vexaod/thumb", "Can not create VEXAOD temporary thumb directory"},
      {&f.webres, "vexaod/webres", "Can not create VEXAOD temporary webres directory"},
      {&f.original, "vexaod/original", "Can not create VEXAOD temporary original directory"},
      {&f.vexapc, "vexapc", "Can not create VEXAPC temporary working directory"},
  };
  for (const auto& folder : folders) *folder.path = base::JoinPath(root, folder.relative);
  f.pageMirror = f.vexapc + "/ORLDISC/ALBUM_A/";
  *out = f;
  for (const auto& folder : folders) {
    if (::mkdir(folder.path->c_str(), 0700) != 0 && errno != EEXIST) {
      return Result::Fail(EngineCode::kSubmoduleSetTempDirectoryFail, std::string(kPrefix) + folder.message);
    }
  }
  return Result::Ok();
}

Result GetModifiedSystemTime(std::string_view srcFile, SYSTEMTIME* out) {
  static constexpr char kMethod[] = "IVEXAEngine::GetModifiedSystemTime";
  if (srcFile.empty()) {
    return Result::FailAs(kMethod, EngineCode::kParameterInvalid,
                          "IVEXAEngine::GetModifiedSystemTime - You must specify a valid srcFile to read from");
  }
  struct stat st {};
  if (::stat(std::string(srcFile).c_str(), &st) != 0) {
    return Result::FailAs(kMethod, EngineCode::kParameterInvalid,
                          FormatLastSystemError(errno) +
                              "IVEXAEngine::GetModifiedSystemTime - Can not get find data for srcFile");
  }
  const auto when = std::chrono::system_clock::time_point(std::chrono::duration_cast<std::chrono::system_clock::duration>(
      std::chrono::seconds(st.st_mtim.tv_sec) + std::chrono::nanoseconds(st.st_mtim.tv_nsec)));
  const base::CalendarTime t = base::ToLocalTime(when);
  if (t.year < 1601 || t.year > 30827) {
    return Result::FailAs(kMethod, EngineCode::kParameterInvalid,
                          FormatLastSystemError(EOVERFLOW) +
                              "IVEXAEngine::GetModifiedSystemTime - FileTimeToSystemTime conversion failed");
  }
  out->wYear = static_cast<WORD>(t.year);
  out->wMonth = static_cast<WORD>(t.month);
  out->wDayOfWeek = static_cast<WORD>(t.dayOfWeek);
  out->wDay = static_cast<WORD>(t.day);
  out->wHour = static_cast<WORD>(t.hour);
  out->wMinute = static_cast<WORD>(t.minute);
  out->wSecond = static_cast<WORD>(t.second);
  out->wMilliseconds = static_cast<WORD>(t.milliseconds);
  return Result::Ok();
}

Result CleanDirectory(std::string_view startPath) {
  if (startPath.empty()) return Result::Refuse("IVEXAEngine::CleanDirectory - invalid parameter startPath");
  base::RemoveTreeNoFollow(startPath);
  return Result::Ok();
}

Result GenerateTemporaryFileName(const std::string& workRoot, std::string* out) {
  static constexpr char kMethod[] = "VEXAEngine::GenerateTemporaryFileName";
  if (workRoot.empty()) {
    return Result::FailAs(kMethod, EngineCode::kHelpermoduleMethodFail,
                          "VEXAEngine::GenerateTemporaryFileName - m_TempDirectory not set");
  }
  *out = base::MakeTempFile(workRoot, "sdkt");
  if (out->empty()) {
    return Result::FailAs(kMethod, EngineCode::kHelpermoduleMethodFail,
                          "VEXAEngine::GenerateTemporaryFileName - GetTempFileName failed");
  }
  return Result::Ok();
}

bool HasTempSpace(const std::string& workRoot, std::uint64_t limit) {
  struct statvfs fs {};
  const std::string dir = workRoot.empty() ? base::TempDirectory() : workRoot;
  if (::statvfs(dir.c_str(), &fs) != 0) return true;
  const std::uint64_t free = static_cast<std::uint64_t>(fs.f_bavail) * fs.f_frsize;
  return free >= limit;
}

std::string FormatLastSystemError(int error) {
  if (error == 0) return {};
  char text[512];
  std::snprintf(text, sizeof text, "%d: %s\n", error, std::strerror(error));
  return text;
}

}  // namespace vexa::engine
