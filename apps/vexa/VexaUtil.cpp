#include "apps/vexa/VexaUtil.h"

#include <cstdarg>
#include <cstdio>
#include <utility>

#include "apps/vexa/Resources.h"
#include "platform/base/Text.h"

namespace vexa::app {

namespace {

constexpr char16_t kComponent[] = u"vexa";
constexpr char16_t kType[] = u"ERROR";

// The program has one thread that talks to its components; these are only
// touched from it.
IVexaLogger* gLogger = nullptr;
std::vector<std::string> gKept;

bool Write(IVexaLogger* logger, std::string_view text) {
  vexa::com::Bstr component(kComponent);
  vexa::com::Bstr type(kType);
  vexa::com::Bstr message = CVexaUtil::ToBstr(text);
  return SUCCEEDED(logger->WriteMessage(component.Get(), type.Get(), message.Get()));
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
