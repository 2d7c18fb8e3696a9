// The entry points' frame. Every entry point that encodes holds an
// EncodingCall for the whole call. Each call owns everything it works with
// (its queues, threads, coder and flags), so calls from different threads
// run side by side; a call made from inside a running call (a picture
// source calling back into the library on the caller's thread) is refused.
//
// RunEntryPoint wraps an entry point's body: it marks the calling thread as
// inside a call when the call encodes, collects the failure reason of every
// thread of the call, and leaves it as the calling thread's last failure.
#pragma once

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
  bool entered() const { return entered_; }

 private:
  bool entered_ = false;
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
