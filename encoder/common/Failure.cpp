#include "encoder/common/Failure.h"

#include <cstring>

namespace vidlathe {

namespace {
thread_local FailureLog* tLog = nullptr;
thread_local std::string tLastFailure;
}  // namespace

void FailureLog::Record(std::string reason) {
  std::lock_guard lock(mutex_);
  if (reason_.empty()) reason_ = std::move(reason);
}

std::string FailureLog::reason() const {
  std::lock_guard lock(mutex_);
  return reason_;
}

FailureScope::FailureScope(FailureLog* log) : previous_(tLog) { tLog = log; }
FailureScope::~FailureScope() { tLog = previous_; }

FailureLog* CurrentFailureLog() { return tLog; }

bool Fail(std::string reason) {
  if (tLog) tLog->Record(std::move(reason));
  else if (tLastFailure.empty()) tLastFailure = std::move(reason);
  return false;
}

std::string FileReason(const std::string& path, const std::string& what, int error) {
  std::string r = path + ": " + what;
  if (error) r += std::string(": ") + std::strerror(error);
  return r;
}

void SetLastFailure(std::string reason) { tLastFailure = std::move(reason); }
const std::string& LastFailure() { return tLastFailure; }

}  // namespace vidlathe
