#include "apps/vexa/VexaUtil.h"

#include <fcntl.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <utility>

#include "apps/vexa/Resources.h"
#include "platform/base/Path.h"
#include "platform/base/Text.h"
#include "platform/base/UniqueFd.h"

namespace vexa::app {

namespace {

constexpr char16_t kComponent[] = u"vexa";
constexpr char16_t kType[] = u"ERROR";
constexpr char16_t kInfoType[] = u"INFO";

// The program has one thread that talks to its components; these are only
// touched from it.
IVexaLogger* gLogger = nullptr;
std::vector<std::string> gKept;

bool gLogFailureTold = false;

// The least room a run's lines need beside the log.
constexpr unsigned long long kLeastLogRoom = 16 * 1024;

bool Write(IVexaLogger* logger, std::string_view text, const char16_t* kind = kType) {
  vexa::com::Bstr component(kComponent);
  vexa::com::Bstr type(kind);
  vexa::com::Bstr message = CVexaUtil::ToBstr(text);
  if (SUCCEEDED(logger->WriteMessage(component.Get(), type.Get(), message.Get()))) return true;
  const std::string why = CVexaUtil::LastComErrorText();
  CVexaUtil::TellLogFailure(why.empty() ? "the log server refused a line" : why);
  return false;
}

}  // namespace

void CVexaUtil::SetLogger(IVexaLogger* logger) {
  gLogger = logger;
  if (!gLogger) return;
  std::vector<std::string> kept = std::exchange(gKept, {});
  for (const std::string& line : kept) Write(gLogger, line);
}

IVexaLogger* CVexaUtil::Logger() { return gLogger; }

bool CVexaUtil::Log(std::string_view text, bool withCalleeError) {
  std::string callee;
  if (withCalleeError) callee = LastComErrorText();
  return LogWithCallee(callee, text);
}

bool CVexaUtil::LogInfo(std::string_view text) {
  if (!gLogger || text.empty()) return false;
  return Write(gLogger, text, kInfoType);
}

bool CVexaUtil::LogWithCallee(const std::string& callee, std::string_view text) {
  if (!gLogger) {
    if (!callee.empty()) gKept.push_back(callee);
    if (!text.empty()) gKept.emplace_back(text);
    return false;
  }
  bool ok = true;
  if (!callee.empty()) {
    ok = Write(gLogger, callee);
    if (!ok) return false;
  }
  if (!text.empty()) ok = Write(gLogger, text);
  return ok;
}

std::vector<std::string> CVexaUtil::TakeUndeliveredLines() { return std::exchange(gKept, {}); }

void CVexaUtil::TellLogFailure(const std::string& why) {
  if (gLogFailureTold) return;
  gLogFailureTold = true;
  std::fprintf(stderr, "vexa: this run cannot be logged, and goes on without its log: %s\n", why.c_str());
}

void CVexaUtil::CheckLogWritable() {
  if (!gLogger || gLogFailureTold) return;
  vexa::com::Bstr path;
  if (FAILED(gLogger->get_LogFilePath(path.Out()))) {
    vexa::com::TakeError();
    return;
  }
  const std::string file = path.Utf8();
  if (file.empty()) return;
  vexa::base::UniqueFd fd(::open(file.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC));
  if (!fd) {
    TellLogFailure(file + " cannot be opened: " + std::strerror(errno) + ".");
    return;
  }
  struct statvfs disk {};
  if (::fstatvfs(fd.Get(), &disk) != 0) return;
  const unsigned long long room = static_cast<unsigned long long>(disk.f_bavail) * disk.f_frsize;
  if (room >= kLeastLogRoom) return;
  const std::string dir = vexa::base::DirName(file);
  TellLogFailure(file + " cannot be written: " +
                 (room == 0 ? std::string(std::strerror(ENOSPC))
                            : "only " + std::to_string(room) + " bytes are free on its disk") +
                 ". Free space on the disk of " + dir + ".");
}

vexa::com::Bstr CVexaUtil::ToBstr(std::string_view text) { return vexa::com::Bstr::FromUtf8(text); }

std::string CVexaUtil::LoadString(int id, std::string_view fallback) {
  if (const char* text = FindStringResource(id)) return text;
  const std::string fallbackText(fallback);
  Log(Format("CVexaUtil::LoadString - Cannot load resource with id # %d and message %s", id,
             fallbackText.c_str()),
      false);
  return fallbackText;
}

std::string CVexaUtil::LastComErrorText() {
  const vexa::com::ErrorText error = vexa::com::TakeError();
  if (!error.present) return "";
  return error.Utf8Description();
}

std::string CVexaUtil::Format(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::string out = vexa::base::FormatV(format, args);
  va_end(args);
  return out;
}

}  // namespace vexa::app
