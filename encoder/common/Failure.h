// Why a call of the library failed. The entry points answer 0 (or leave a
// record empty) on failure, as their callers expect; the reason is kept as
// a text per calling thread, which callers can read and log through
// Vidlathe_GetLastFailure.
//
// Within a call, every thread the call runs (the caller's, the encoder's,
// the multiplexer's, the readers') records through the call's FailureLog;
// the first reason recorded is the one kept, later ones being as a rule its
// consequences. The entry point hands it to its caller's thread at the end.
#pragma once

#include <mutex>
#include <string>

namespace vidlathe {

class FailureLog {
 public:
  void Record(std::string reason);
  std::string reason() const;

 private:
  mutable std::mutex mutex_;
  std::string reason_;
};

// Makes log the current call's log on the calling thread for the scope's
// life (the previous one is restored after).
class FailureScope {
 public:
  explicit FailureScope(FailureLog* log);
  ~FailureScope();
  FailureScope(const FailureScope&) = delete;
  FailureScope& operator=(const FailureScope&) = delete;

 private:
  FailureLog* previous_;
};

// The current call's log on this thread (nullptr outside a call).
FailureLog* CurrentFailureLog();

// Records why the current call fails; returns false, so that a check can
// end with `return Fail(...)`.
bool Fail(std::string reason);
// "path: what" with the system's text for errno appended when it is set,
// as in "a.mp2: cannot open: No such file or directory".
std::string FileReason(const std::string& path, const std::string& what, int error = 0);

// The calling thread's last failure: empty after a call that succeeded.
void SetLastFailure(std::string reason);
const std::string& LastFailure();

}  // namespace vidlathe
