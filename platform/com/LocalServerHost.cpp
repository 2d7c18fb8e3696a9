// The server end of a local server: listens at one socket per class, keeps
// one object per connection and runs every call on its one thread; ends when
// it has held no connection for its idle time.
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <list>
#include <memory>
#include <vector>

#include "platform/com/ComPtr.h"
#include "platform/com/LocalServer_p.h"
#include "platform/com/Runtime.h"

namespace vexa::com {
namespace {

// How long the server waits for a client to take a reply before dropping it.
constexpr int kReplyTimeoutMs = 5000;

struct Connection {
  base::UniqueFd fd;
  std::string input;
  ComPtr<IUnknown> object;  // released when the connection closes
  StubFunction stub = nullptr;
  const LocalServerClass* cls = nullptr;
};

class Server {
 public:
  Server(std::span<const LocalServerClass> classes, const LocalServerOptions& options)
      : classes_(classes), options_(options) {}

  int Run() {
    if (!Listen()) return 1;
    ReportReady();
    auto idleSince = std::chrono::steady_clock::now();
    for (;;) {
      std::vector<pollfd> fds;
      for (const Listener& l : listeners_) fds.push_back({l.fd.Get(), POLLIN, 0});
      for (const Connection& c : connections_) fds.push_back({c.fd.Get(), POLLIN, 0});
      int timeout = -1;
      if (connections_.empty()) {
        const auto left = options_.idleTimeout - (std::chrono::steady_clock::now() - idleSince);
        timeout = static_cast<int>(
            std::max<long long>(0, std::chrono::duration_cast<std::chrono::milliseconds>(left).count()));
      }
      const int r = ::poll(fds.data(), fds.size(), timeout);
      if (r < 0 && errno != EINTR) return 1;
      if (r == 0 && connections_.empty()) {
        if (Revoke()) return 0;
        idleSince = std::chrono::steady_clock::now();
        continue;
      }
      if (r <= 0) continue;
      std::size_t i = 0;
      for (Listener& l : listeners_) {
        if (fds[i++].revents & POLLIN) Accept(l);
      }
      auto it = connections_.begin();
      for (std::size_t k = listeners_.size(); k < fds.size(); ++k) {
        // Accepted connections were appended after the polled ones.
        Connection& c = *it;
        const short ev = fds[k].revents;
        if (ev != 0 && !Serve(c)) {
          Drop(c);
          it = connections_.erase(it);
        } else {
          ++it;
        }
      }
      if (connections_.empty()) idleSince = std::chrono::steady_clock::now();
    }
  }

 private:
  struct Listener {
    base::UniqueFd fd;
    std::string path;
    const LocalServerClass* cls = nullptr;
  };

  bool Listen() {
    for (const LocalServerClass& cls : classes_) {
      const std::string path = LocalServerSocketPath(*cls.clsid);
      sockaddr_un addr;
      if (!wire::FillSocketAddress(path, &addr)) return false;
      base::UniqueFd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
      if (!fd) return false;
      if (::bind(fd.Get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        // A live server already answers there: leave it be. A dead one's
        // socket is replaced.
        const bool inUse = errno == EADDRINUSE;
        const base::UniqueFd other = inUse ? wire::ConnectTo(path, false) : base::UniqueFd();
        if (other || !inUse || errno != ECONNREFUSED) return false;
        ::unlink(path.c_str());
        if (::bind(fd.Get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) return false;
      }
      if (::listen(fd.Get(), 64) != 0) return false;
      listeners_.push_back({std::move(fd), path, &cls});
    }
    return !listeners_.empty();
  }

  // Tells the client that started this server that it listens.
  static void ReportReady() {
    const char* text = std::getenv(wire::kReadyFdVariable);
    if (!text) return;
    char* end = nullptr;
    const long fd = std::strtol(text, &end, 10);
    ::unsetenv(wire::kReadyFdVariable);
    if (end == text || *end != '\0' || fd < 3) return;
    const base::UniqueFd pipe(static_cast<int>(fd));
    const char byte = 'R';
    while (::write(pipe.Get(), &byte, 1) < 0 && errno == EINTR) {
    }
  }

  // Stops listening unless a client is connecting right now. Clients connect
  // under the start-up lock, so with the lock held a connection is either
  // already waiting here or will find no socket and start a new server.
  bool Revoke() {
    std::vector<std::unique_ptr<wire::StartupLock>> locks;
    for (const Listener& l : listeners_) {
      locks.push_back(std::make_unique<wire::StartupLock>(wire::LockPath(*l.cls->clsid)));
    }
    for (const Listener& l : listeners_) {
      if (wire::WaitFor(l.fd.Get(), POLLIN, wire::Deadline(0))) return false;
    }
    for (Listener& l : listeners_) ::unlink(l.path.c_str());
    listeners_.clear();
    return true;
  }

  void Accept(Listener& l) {
    for (;;) {
      base::UniqueFd fd(::accept4(l.fd.Get(), nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC));
      if (!fd) return;
      // Only the server's own user may hold its objects.
      ucred cred{};
      socklen_t len = sizeof cred;
      if (::getsockopt(fd.Get(), SOL_SOCKET, SO_PEERCRED, &cred, &len) != 0 || cred.uid != ::getuid()) {
        continue;
      }
      Connection c;
      c.fd = std::move(fd);
      c.cls = l.cls;
      connections_.push_back(std::move(c));
    }
  }

  // Reads what has arrived and answers every whole frame; false when the
  // connection is finished.
  bool Serve(Connection& c) {
    char buffer[16384];
    for (;;) {
      const ssize_t n = ::recv(c.fd.Get(), buffer, sizeof buffer, 0);
      if (n > 0) {
        c.input.append(buffer, static_cast<std::size_t>(n));
        continue;
      }
      if (n < 0 && errno == EINTR) continue;
      if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
      return false;  // closed by the client, or broken
    }
    std::size_t pos = 0;
    while (c.input.size() - pos >= 4) {
      std::uint32_t size = 0;
      WireReader(std::string_view(c.input).substr(pos, 4)).U32(&size);
      if (size > wire::kMaxFrame) return false;
      if (c.input.size() - pos - 4 < size) break;
      const std::string_view frame(c.input.data() + pos + 4, size);
      pos += 4 + size;
      if (!Answer(c, frame)) return false;
    }
    c.input.erase(0, pos);
    return true;
  }

  bool Answer(Connection& c, std::string_view frame) {
    WireReader in(frame);
    std::uint32_t kind = 0;
    if (!in.U32(&kind)) return false;
    SetErrorInfo(0, nullptr);
    WireWriter results;
    HRESULT hr = S_OK;
    if (kind == kWireCreate && !c.object) {
      hr = Create(c, in);
    } else if (kind == kWireCall && c.object) {
      std::uint32_t method = 0;
      if (!in.U32(&method)) return false;
      hr = c.stub(c.object.Get(), method, in, results);
    } else {
      return false;
    }
    WireWriter reply;
    reply.I32(hr);
    wire::PackErrorInfo(reply);
    std::string payload = reply.Data();
    payload += results.Data();
    return wire::SendFrame(c.fd.Get(), payload, wire::Deadline(kReplyTimeoutMs));
  }

  HRESULT Create(Connection& c, WireReader& in) {
    GUID clsid{}, iid{};
    if (!in.Guid(&clsid) || !in.Guid(&iid)) return RPC_E_SERVERFAULT;
    if (clsid != *c.cls->clsid) return CLASS_E_CLASSNOTAVAILABLE;
    StubFunction stub = nullptr;
    for (const LocalServerInterface& i : c.cls->interfaces) {
      if (*i.iid == iid) stub = i.stub;
    }
    if (!stub) return E_NOINTERFACE;
    ComPtr<IUnknown> object;
    const HRESULT hr = c.cls->create(iid, object.PutVoid());
    if (FAILED(hr)) return hr;
    c.object = std::move(object);
    c.stub = stub;
    return hr;
  }

  static void Drop(Connection& c) {
    c.object.Reset();
    // Error information set while releasing goes nowhere.
    SetErrorInfo(0, nullptr);
    c.fd.Reset();
  }

  std::span<const LocalServerClass> classes_;
  LocalServerOptions options_;
  std::vector<Listener> listeners_;
  std::list<Connection> connections_;
};

}  // namespace

int RunLocalServer(std::span<const LocalServerClass> classes, const LocalServerOptions& options) {
  // A client that vanishes mid-reply must not end the server.
  ::signal(SIGPIPE, SIG_IGN);
  CoInitialize(nullptr);
  const int code = Server(classes, options).Run();
  CoUninitialize();
  return code;
}

}  // namespace vexa::com
