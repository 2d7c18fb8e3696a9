#include "platform/com/LocalServer.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <list>
#include <vector>

#include "platform/base/Path.h"
#include "platform/com/ComPtr.h"
#include "platform/com/Runtime.h"

extern char** environ;

namespace vexa::com {
namespace {

// Largest frame accepted: anything bigger is a broken or hostile peer.
constexpr std::uint32_t kMaxFrame = 64u << 20;
// How long a client waits for a server it started to be ready.
constexpr int kStartTimeoutMs = 20000;
// How long the server waits for a client to take a reply before dropping it.
constexpr int kReplyTimeoutMs = 5000;
constexpr char kReadyFdVariable[] = "VEXA_LOCAL_SERVER_READY_FD";

std::string RuntimePath(REFCLSID clsid, const char* suffix) {
  const std::string dir = base::RuntimeDirectory();
  if (dir.empty()) return "";
  return base::JoinPath(dir, GuidToString(clsid) + suffix);
}

std::string LockPath(REFCLSID clsid) { return RuntimePath(clsid, ".lock"); }

bool FillAddress(const std::string& path, sockaddr_un* addr) {
  std::memset(addr, 0, sizeof *addr);
  addr->sun_family = AF_UNIX;
  if (path.empty() || path.size() >= sizeof addr->sun_path) return false;
  std::memcpy(addr->sun_path, path.c_str(), path.size() + 1);
  return true;
}

int ConnectTo(const std::string& path) {
  sockaddr_un addr;
  if (!FillAddress(path, &addr)) return -1;
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

// Waits until fd is ready for `events`; false on timeout or error.
bool WaitFor(int fd, short events, int timeoutMs) {
  pollfd p{fd, events, 0};
  for (;;) {
    const int r = ::poll(&p, 1, timeoutMs);
    if (r < 0 && errno == EINTR) continue;
    return r > 0;
  }
}

// Writes all of data; on a non-blocking socket waits up to timeoutMs for
// room each time the socket is full (-1: wait as long as it takes).
bool SendAll(int fd, std::string_view data, int timeoutMs) {
  while (!data.empty()) {
    const ssize_t n = ::send(fd, data.data(), data.size(), MSG_NOSIGNAL);
    if (n > 0) {
      data.remove_prefix(static_cast<std::size_t>(n));
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK) && WaitFor(fd, POLLOUT, timeoutMs)) {
      continue;
    }
    return false;
  }
  return true;
}

bool SendFrame(int fd, const std::string& payload, int timeoutMs) {
  WireWriter header;
  header.U32(static_cast<std::uint32_t>(payload.size()));
  return SendAll(fd, header.Data(), timeoutMs) && SendAll(fd, payload, timeoutMs);
}

bool ReceiveAll(int fd, char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t n = ::recv(fd, data, size, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

bool ReceiveFrame(int fd, std::string* payload) {
  char header[4];
  if (!ReceiveAll(fd, header, sizeof header)) return false;
  std::uint32_t size = 0;
  WireReader(std::string_view(header, 4)).U32(&size);
  if (size > kMaxFrame) return false;
  payload->resize(size);
  return ReceiveAll(fd, payload->data(), size);
}

// The thread's error information (taken and cleared) packed for a reply.
void PackErrorInfo(WireWriter& out) {
  ComPtr<IErrorInfo> info;
  if (GetErrorInfo(0, info.Put()) != S_OK || !info) {
    out.U32(0);
    return;
  }
  Bstr description, source;
  GUID iid{};
  info->GetDescription(description.Out());
  info->GetSource(source.Out());
  info->GetGUID(&iid);
  out.U32(1);
  out.String(description.Get());
  out.String(source.Get());
  out.Guid(iid);
}

// Reads a reply's head, sets the thread's error information from it and
// returns the call's result; *results is left at the out values.
HRESULT UnpackReply(WireReader* reader) {
  std::int32_t hr = 0;
  std::uint32_t hasError = 0;
  if (!reader->I32(&hr) || !reader->U32(&hasError)) return RPC_E_DISCONNECTED;
  if (hasError) {
    Bstr description, source;
    GUID iid{};
    if (!reader->String(&description) || !reader->String(&source) || !reader->Guid(&iid)) {
      return RPC_E_DISCONNECTED;
    }
    ComPtr<ICreateErrorInfo> create;
    ComPtr<IErrorInfo> info;
    if (SUCCEEDED(CreateErrorInfo(create.Put()))) {
      create->SetDescription(description.Get());
      create->SetSource(source.Get());
      create->SetGUID(iid);
      create.As(&info);
    }
    SetErrorInfo(0, info.Get());
  } else {
    SetErrorInfo(0, nullptr);
  }
  return hr;
}

// Starts the server program detached from this process (it must outlive
// its first client) and waits until it listens. The server reports
// readiness by writing one byte into a pipe whose end it inherits; a server
// that dies first closes the pipe, so no polling of the socket is needed.
bool StartServer(const std::string& program, const std::string& logPath) {
  int ready[2];
  if (::pipe2(ready, O_CLOEXEC) != 0) return false;

  // Everything the child needs is prepared before fork: after it only
  // async-signal-safe calls are made.
  const std::string readyVariable = std::string(kReadyFdVariable) + "=" + std::to_string(ready[1]);
  std::vector<char*> env;
  for (char** e = environ; e && *e; ++e) {
    if (std::strncmp(*e, kReadyFdVariable, sizeof kReadyFdVariable - 1) != 0) env.push_back(*e);
  }
  env.push_back(const_cast<char*>(readyVariable.c_str()));
  env.push_back(nullptr);
  std::string arg0 = program, arg1 = "-Embedding";
  char* argv[] = {arg0.data(), arg1.data(), nullptr};

  const pid_t child = ::fork();
  if (child < 0) {
    ::close(ready[0]);
    ::close(ready[1]);
    return false;
  }
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
    ::fcntl(ready[1], F_SETFD, 0);
    ::execve(program.c_str(), argv, env.data());
    ::_exit(127);
  }
  ::close(ready[1]);
  int status = 0;
  while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  char byte = 0;
  bool ok = WaitFor(ready[0], POLLIN, kStartTimeoutMs);
  if (ok) {
    ssize_t n;
    while ((n = ::read(ready[0], &byte, 1)) < 0 && errno == EINTR) {
    }
    ok = n == 1;
  }
  ::close(ready[0]);
  return ok;
}

// Holds the start-up lock of a class for a scope.
class StartupLock {
 public:
  explicit StartupLock(const std::string& path) {
    fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd_ < 0) return;
    while (::flock(fd_, LOCK_EX) != 0) {
      if (errno != EINTR) {
        ::close(std::exchange(fd_, -1));
        return;
      }
    }
  }
  ~StartupLock() {
    if (fd_ >= 0) ::close(fd_);  // closing releases the lock
  }
  bool Held() const { return fd_ >= 0; }

 private:
  int fd_ = -1;
};

}  // namespace

// ---- Wire ------------------------------------------------------------------

void WireWriter::U32(std::uint32_t v) {
  for (int i = 0; i < 4; ++i) data_.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}

void WireWriter::Guid(const GUID& g) {
  U32(g.Data1);
  U32(static_cast<std::uint32_t>(g.Data2) | (static_cast<std::uint32_t>(g.Data3) << 16));
  data_.append(reinterpret_cast<const char*>(g.Data4), 8);
}

void WireWriter::String(BSTR s) {
  if (!s) {
    data_.push_back(0);
    return;
  }
  String(std::u16string_view(s, SysStringLen(s)));
}

void WireWriter::String(std::u16string_view s) {
  data_.push_back(1);
  U32(static_cast<std::uint32_t>(s.size()));
  for (char16_t c : s) {
    data_.push_back(static_cast<char>(c & 0xFF));
    data_.push_back(static_cast<char>(c >> 8));
  }
}

bool WireReader::U32(std::uint32_t* v) {
  if (data_.size() < 4) return false;
  std::uint32_t r = 0;
  for (int i = 0; i < 4; ++i) r |= static_cast<std::uint32_t>(static_cast<unsigned char>(data_[i])) << (8 * i);
  data_.remove_prefix(4);
  *v = r;
  return true;
}

bool WireReader::I32(std::int32_t* v) {
  std::uint32_t u = 0;
  if (!U32(&u)) return false;
  *v = static_cast<std::int32_t>(u);
  return true;
}

bool WireReader::Guid(GUID* g) {
  std::uint32_t a = 0, b = 0;
  if (data_.size() < 16 || !U32(&a) || !U32(&b)) return false;
  g->Data1 = a;
  g->Data2 = static_cast<WORD>(b & 0xFFFF);
  g->Data3 = static_cast<WORD>(b >> 16);
  std::memcpy(g->Data4, data_.data(), 8);
  data_.remove_prefix(8);
  return true;
}

bool WireReader::String(Bstr* s) {
  if (data_.empty()) return false;
  const char present = data_[0];
  if (present == 0) {
    data_.remove_prefix(1);
    *s = Bstr();
    return true;
  }
  if (present != 1) return false;
  std::string_view rest = data_.substr(1);
  WireReader lengthReader(rest);
  std::uint32_t length = 0;
  if (!lengthReader.U32(&length) || length > (rest.size() - 4) / 2) return false;
  std::u16string text(length, u'\0');
  const char* p = rest.data() + 4;
  for (std::uint32_t i = 0; i < length; ++i) {
    text[i] = static_cast<char16_t>(static_cast<unsigned char>(p[2 * i]) |
                                    (static_cast<unsigned char>(p[2 * i + 1]) << 8));
  }
  data_.remove_prefix(1 + 4 + 2 * static_cast<std::size_t>(length));
  *s = Bstr(std::u16string_view(text));
  return !s->IsNull();
}

// ---- Client ----------------------------------------------------------------

std::string LocalServerSocketPath(REFCLSID clsid) { return RuntimePath(clsid, ".sock"); }
std::string LocalServerLogPath(REFCLSID clsid) { return RuntimePath(clsid, ".log"); }

HRESULT LocalServerChannel::Connect(REFCLSID clsid, const std::string& serverPath, REFIID iid,
                                    std::unique_ptr<LocalServerChannel>* out) {
  if (!out) return E_POINTER;
  out->reset();
  const std::string socketPath = LocalServerSocketPath(clsid);
  if (socketPath.empty()) return CO_E_SERVER_EXEC_FAILURE;
  int fd = -1;
  {
    StartupLock lock(LockPath(clsid));
    if (!lock.Held()) return CO_E_SERVER_EXEC_FAILURE;
    fd = ConnectTo(socketPath);
    if (fd < 0) {
      // Nobody answers: whatever socket is left belongs to a server that died.
      ::unlink(socketPath.c_str());
      if (!StartServer(serverPath, LocalServerLogPath(clsid))) return CO_E_SERVER_EXEC_FAILURE;
      fd = ConnectTo(socketPath);
      if (fd < 0) return CO_E_SERVER_EXEC_FAILURE;
    }
  }
  std::unique_ptr<LocalServerChannel> channel(new LocalServerChannel(fd));
  WireWriter request;
  request.U32(kWireCreate);
  request.Guid(clsid);
  request.Guid(iid);
  WireReader results;
  const HRESULT hr = channel->Exchange(request.Data(), &results);
  if (hr == RPC_E_DISCONNECTED) return CO_E_SERVER_EXEC_FAILURE;
  if (FAILED(hr)) return hr;
  *out = std::move(channel);
  return hr;
}

LocalServerChannel::~LocalServerChannel() {
  if (fd_ >= 0) ::close(fd_);
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
  if (fd_ < 0 || !SendFrame(fd_, request, -1) || !ReceiveFrame(fd_, &reply_)) {
    if (fd_ >= 0) ::close(std::exchange(fd_, -1));
    SetErrorInfo(0, nullptr);
    return RPC_E_DISCONNECTED;
  }
  WireReader reader(reply_);
  const HRESULT hr = UnpackReply(&reader);
  if (results) *results = reader;
  return hr;
}

// ---- Server ----------------------------------------------------------------

namespace {

struct Connection {
  int fd = -1;
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
      for (const Listener& l : listeners_) fds.push_back({l.fd, POLLIN, 0});
      for (const Connection& c : connections_) fds.push_back({c.fd, POLLIN, 0});
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
    int fd = -1;
    std::string path;
    const LocalServerClass* cls = nullptr;
  };

  bool Listen() {
    for (const LocalServerClass& cls : classes_) {
      const std::string path = LocalServerSocketPath(*cls.clsid);
      sockaddr_un addr;
      if (!FillAddress(path, &addr)) return false;
      const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
      if (fd < 0) return false;
      if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        // A live server already answers there: leave it be. A dead one's
        // socket is replaced.
        const int other = errno == EADDRINUSE ? ConnectTo(path) : -1;
        if (other >= 0 || errno != ECONNREFUSED) {
          if (other >= 0) ::close(other);
          ::close(fd);
          return false;
        }
        ::unlink(path.c_str());
        if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
          ::close(fd);
          return false;
        }
      }
      if (::listen(fd, 64) != 0) {
        ::close(fd);
        return false;
      }
      listeners_.push_back({fd, path, &cls});
    }
    return !listeners_.empty();
  }

  // Tells the client that started this server that it listens.
  static void ReportReady() {
    const char* text = std::getenv(kReadyFdVariable);
    if (!text) return;
    char* end = nullptr;
    const long fd = std::strtol(text, &end, 10);
    ::unsetenv(kReadyFdVariable);
    if (end == text || *end != '\0' || fd < 3) return;
    const char byte = 'R';
    while (::write(static_cast<int>(fd), &byte, 1) < 0 && errno == EINTR) {
    }
    ::close(static_cast<int>(fd));
  }

  // Stops listening unless a client is connecting right now. Clients connect
  // under the start-up lock, so with the lock held a connection is either
  // already waiting here or will find no socket and start a new server.
  bool Revoke() {
    std::vector<std::unique_ptr<StartupLock>> locks;
    for (const Listener& l : listeners_) {
      locks.push_back(std::make_unique<StartupLock>(LockPath(*l.cls->clsid)));
    }
    for (const Listener& l : listeners_) {
      if (WaitFor(l.fd, POLLIN, 0)) return false;
    }
    for (Listener& l : listeners_) {
      ::unlink(l.path.c_str());
      ::close(l.fd);
    }
    listeners_.clear();
    return true;
  }

  void Accept(Listener& l) {
    for (;;) {
      const int fd = ::accept4(l.fd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
      if (fd < 0) return;
      // Only the server's own user may hold its objects.
      ucred cred{};
      socklen_t len = sizeof cred;
      if (::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &cred, &len) != 0 || cred.uid != ::getuid()) {
        ::close(fd);
        continue;
      }
      Connection c;
      c.fd = fd;
      c.cls = l.cls;
      connections_.push_back(std::move(c));
    }
  }

  // Reads what has arrived and answers every whole frame; false when the
  // connection is finished.
  bool Serve(Connection& c) {
    char buffer[16384];
    for (;;) {
      const ssize_t n = ::recv(c.fd, buffer, sizeof buffer, 0);
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
      if (size > kMaxFrame) return false;
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
    PackErrorInfo(reply);
    std::string payload = reply.Data();
    payload += results.Data();
    return SendFrame(c.fd, payload, kReplyTimeoutMs);
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
    ::close(c.fd);
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
