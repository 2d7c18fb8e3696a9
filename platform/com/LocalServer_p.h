// Private to the component core: what the client and the server ends of a
// local server share besides the value packing of LocalServer.h — the
// socket and lock paths, frames on a socket, the reply's error information
// and the start-up lock.
#pragma once

#include <sys/un.h>

#include <string>
#include <string_view>

#include "platform/base/UniqueFd.h"
#include "platform/com/LocalServer.h"

namespace vexa::com::wire {

// Largest frame accepted: anything bigger is a broken or hostile peer.
constexpr std::uint32_t kMaxFrame = 64u << 20;

// The environment variable through which a client that starts a server
// names the pipe on which the server reports that it listens.
inline constexpr char kReadyFdVariable[] = "VEXA_LOCAL_SERVER_READY_FD";

// A file of the class's server in the runtime folder ("" when the folder is
// unusable): "{CLSID}" + suffix.
std::string RuntimePath(REFCLSID clsid, const char* suffix);
std::string LockPath(REFCLSID clsid);

// The address of the socket at path; false when the path does not fit.
bool FillSocketAddress(const std::string& path, sockaddr_un* addr);

// A connection to the socket at path; invalid when nobody listens there.
base::UniqueFd ConnectTo(const std::string& path, bool nonBlocking);

// A point in time a wait may not pass; a negative budget never ends.
class Deadline {
 public:
  explicit Deadline(int budgetMs);
  // Milliseconds left (0 when passed), or -1 for no deadline.
  int LeftMs() const;
  bool Passed() const { return LeftMs() == 0; }

 private:
  long long endMs_ = -1;
};

// Waits until fd is ready for `events` or the deadline passes; false on
// time-out or error.
bool WaitFor(int fd, short events, const Deadline& deadline);

// A frame is a 32-bit length, then the payload. Both calls work on blocking
// and non-blocking sockets and give up when the deadline passes (*timedOut
// then says so).
bool SendFrame(int fd, std::string_view payload, const Deadline& deadline, bool* timedOut = nullptr);
bool ReceiveFrame(int fd, std::string* payload, const Deadline& deadline, bool* timedOut = nullptr);

// The thread's error information (taken and cleared) packed for a reply.
void PackErrorInfo(WireWriter& out);
// Reads a reply's head, sets the thread's error information from it and
// returns the call's result; the reader is left at the out values. A
// malformed head gives RPC_E_DISCONNECTED.
HRESULT UnpackReply(WireReader* reader);

// Holds the start-up lock of a class for a scope.
class StartupLock {
 public:
  explicit StartupLock(const std::string& path);
  bool Held() const { return fd_.Valid(); }

 private:
  base::UniqueFd fd_;  // closing it releases the lock
};

}  // namespace vexa::com::wire
