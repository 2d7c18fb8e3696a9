// The entry points' frame. One encoding call runs in a process at a time:
// every entry point that encodes holds an EncodingCall for the whole call.
// A second caller waits for the first; a call made from inside a running
// call (a picture source or progress callback calling back into the
// library) is refused rather than left waiting for itself.
//
// RunEntryPoint wraps an entry point's body: it takes the lock when the
// call encodes, collects the failure reason of every thread of the call,
// and leaves it as the calling thread's last failure.
#pragma once

#include <mutex>
#include <string>
#include <utility>

#include "encoder/common/Failure.h"

namespace vidlathe {

class EncodingCall {
 public:
  EncodingCall();
  ~EncodingCall();
  EncodingCall(const EncodingCall&) = delete;
  EncodingCall& operator=(const EncodingCall&) = delete;
  bool entered() const { return lock_.owns_lock(); }

 private:
  std::unique_lock<std::mutex> lock_;
};

enum class CallKind { kEncoding, kProbe };

// Runs body (returning 1 or 0) as the entry point `name`; a failure without
// a recorded reason is reported as "<name> failed".
template <typename Body>
int RunEntryPoint(const char* name, CallKind kind, Body&& body) {
  FailureLog log;
  int result = 0;
  {
    FailureScope scope(&log);
    if (kind == CallKind::kEncoding) {
      EncodingCall call;
      if (call.entered()) result = std::forward<Body>(body)();
      else Fail(std::string(name) + ": called from inside a running encoding call");
    } else {
      result = std::forward<Body>(body)();
    }
  }
  std::string reason = log.reason();
  if (!result && reason.empty()) reason = std::string(name) + " failed";
  SetLastFailure(result ? std::string() : std::move(reason));
  return result;
}

}  // namespace vidlathe
