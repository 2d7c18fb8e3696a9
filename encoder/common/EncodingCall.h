// The rule that one encoding call runs in a process at a time: every entry
// point that encodes holds an EncodingCall for the whole call. A second
// caller waits for the first; a call made from inside a running call (a
// picture source calling back into the library) is refused rather than left
// waiting for itself.
#pragma once

#include <mutex>

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

}  // namespace vidlathe
