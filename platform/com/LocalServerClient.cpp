// The client end of a local server: connecting (starting the server program
// when none answers) and calls with a bounded wait for each reply.
#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/base/Path.h"
#include "platform/com/LocalServer_p.h"
#include "platform/com/Runtime.h"

extern char** environ;

namespace vexa::com {
namespace {

// How long a client waits for a server it started to be ready.
constexpr int kStartTimeoutMs = 20000;
// How long a call waits for its reply unless the environment says otherwise.
constexpr int kDefaultCallTimeoutMs = 30000;
constexpr char kCallTimeoutVariable[] = "VEXA_LOCAL_SERVER_TIMEOUT_MS";

// "30 s", or "250 ms" for a time that is no whole number of seconds.
std::string DurationText(int ms) {
  if (ms % 1000 == 0) return std::to_string(ms / 1000) + " s";
  return std::to_string(ms) + " ms";
}

// Starts the server program detached from this process (it must outlive
// its first client) and waits until it listens. The server reports
// readiness by writing one byte into a pipe whose end it inherits; a server
// that dies first closes the pipe, so no polling of the socket is needed.
bool StartServer(const std::string& program, const std::string& logPath) {
  int ends[2];
  if (::pipe2(ends, O_CLOEXEC) != 0) return false;
  base::UniqueFd readEnd(ends[0]), writeEnd(ends[1]);

  // Everything the child needs is prepared before fork: after it only
  // async-signal-safe calls are made.
  const std::string readyVariable = std::string(wire::kReadyFdVariable) + "=" + std::to_string(writeEnd.Get());
  std::vector<char*> env;
  for (char** e = environ; e && *e; ++e) {
    if (std::strncmp(*e, wire::kReadyFdVariable, sizeof wire::kReadyFdVariable - 1) != 0) env.push_back(*e);
  }
  env.push_back(const_cast<char*>(readyVariable.c_str()));
  env.push_back(nullptr);
  std::string arg0 = program, arg1 = "-Embedding";
  char* argv[] = {arg0.data(), arg1.data(), nullptr};
  const int writeFd = writeEnd.Get();

  const pid_t child = ::fork();
  if (child < 0) return false;
  if (child == 0) {
    ::setsid();
    const pid_t server = ::fork();
    if (server != 0) ::_exit(server < 0 ? 1 : 0);
    const int null = ::open("/dev/null", O_RDWR);
    if (null >= 0) {
      ::dup2(null, 0);
      ::dup2(null, 1);
    }
    const int log = ::open(logPath.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
    if (log >= 0) ::dup2(log, 2);
    ::fcntl(writeFd, F_SETFD, 0);
    ::execve(program.c_str(), argv, env.data());
    ::_exit(127);
  }
  writeEnd.Reset();
  int status = 0;
  while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  char byte = 0;
  bool ok = wire::WaitFor(readEnd.Get(), POLLIN, wire::Deadline(kStartTimeoutMs));
  if (ok) {
    ssize_t n;
    while ((n = ::read(readEnd.Get(), &byte, 1)) < 0 && errno == EINTR) {
    }
    ok = n == 1;
  }
  return ok;
}

}  // namespace

int LocalServerChannel::CallTimeoutMs() {
  const char* text = std::getenv(kCallTimeoutVariable);
  if (text && *text) {
    char* end = nullptr;
    const long ms = std::strtol(text, &end, 10);
    if (*end == '\0' && ms > 0 && ms <= 24L * 3600 * 1000) return static_cast<int>(ms);
  }
  return kDefaultCallTimeoutMs;
}

HRESULT LocalServerChannel::Connect(REFCLSID clsid, const std::string& serverPath, REFIID iid,
                                    std::unique_ptr<LocalServerChannel>* out) {
  if (!out) return E_POINTER;
  out->reset();
  const std::string name = base::BaseName(serverPath);
  auto fail = [&](const std::string& text) {
    return ReportError(clsid, std::string_view(text), iid, CO_E_SERVER_EXEC_FAILURE);
  };
  const std::string socketPath = LocalServerSocketPath(clsid);
  if (socketPath.empty()) {
    std::string why;
    base::RuntimeDirectory(&why);
    return fail("no usable runtime folder for the server " + name + (why.empty() ? "" : ": " + why));
  }
  base::UniqueFd fd;
  {
    wire::StartupLock lock(wire::LockPath(clsid));
    if (!lock.Held()) {
      return fail("the start-up lock " + wire::LockPath(clsid) + " cannot be taken: " + std::strerror(errno));
    }
    fd = wire::ConnectTo(socketPath, true);
    if (!fd) {
      // Nobody answers: whatever socket is left belongs to a server that died.
      ::unlink(socketPath.c_str());
      if (!StartServer(serverPath, LocalServerLogPath(clsid))) {
        return fail("the server " + serverPath + " could not be started (see " + LocalServerLogPath(clsid) +
                    ")");
      }
      fd = wire::ConnectTo(socketPath, true);
      if (!fd) return fail("the server " + name + " does not accept connections at " + socketPath);
    }
  }
  std::unique_ptr<LocalServerChannel> channel(new LocalServerChannel(std::move(fd), clsid, iid, name));
  WireWriter request;
  request.U32(kWireCreate);
  request.Guid(clsid);
  request.Guid(iid);
  WireReader results;
  HRESULT hr = channel->Exchange(request.Data(), &results);
  if (hr == RPC_E_DISCONNECTED) {
    return fail("the server " + name + " closed the connection while creating the object");
  }
  if (FAILED(hr)) return hr;
  *out = std::move(channel);
  return hr;
}

HRESULT LocalServerChannel::Call(std::uint32_t method, const WireWriter& args,
                                 WireReader* results) {
  WireWriter request;
  request.U32(kWireCall);
  request.U32(method);
  std::string payload = request.Data();
  payload += args.Data();
  return Exchange(payload, results);
}

HRESULT LocalServerChannel::Exchange(const std::string& request, WireReader* results) {
  if (!fd_) {
    return ReportError(clsid_, "the connection to the server " + serverName_ + " was given up earlier", iid_,
                       RPC_E_DISCONNECTED);
  }
  const int budget = CallTimeoutMs();
  const wire::Deadline deadline(budget);
  bool timedOut = false;
  if (!wire::SendFrame(fd_.Get(), request, deadline, &timedOut) ||
      !wire::ReceiveFrame(fd_.Get(), &reply_, deadline, &timedOut)) {
    // A reply that comes late would answer the wrong call: the connection
    // is given up, and the server releases the object when it sees it close.
    fd_.Reset();
    if (timedOut) {
      return ReportError(clsid_, "the server " + serverName_ + " did not answer within " + DurationText(budget),
                         iid_, RPC_E_TIMEOUT);
    }
    return ReportError(clsid_, "the connection to the server " + serverName_ + " was lost", iid_,
                       RPC_E_DISCONNECTED);
  }
  WireReader reader(reply_);
  const HRESULT hr = wire::UnpackReply(&reader);
  if (results) *results = reader;
  return hr;
}

}  // namespace vexa::com
