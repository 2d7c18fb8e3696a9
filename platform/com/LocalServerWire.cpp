// The wire format of the local servers: value packing, frames on a socket
// with bounded waits, the reply's error information, and the paths and lock
// that client and server meet at.
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

#include "platform/base/Path.h"
#include "platform/com/ComPtr.h"
#include "platform/com/LocalServer_p.h"
#include "platform/com/Runtime.h"

namespace vexa::com {

// ---- Values ------------------------------------------------------------------

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

std::string LocalServerSocketPath(REFCLSID clsid) { return wire::RuntimePath(clsid, ".sock"); }
std::string LocalServerLogPath(REFCLSID clsid) { return wire::RuntimePath(clsid, ".log"); }

namespace wire {

// ---- Paths ---------------------------------------------------------------------

std::string RuntimePath(REFCLSID clsid, const char* suffix) {
  const std::string dir = base::RuntimeDirectory();
  if (dir.empty()) return "";
  return base::JoinPath(dir, GuidToString(clsid) + suffix);
}

std::string LockPath(REFCLSID clsid) { return RuntimePath(clsid, ".lock"); }

bool FillSocketAddress(const std::string& path, sockaddr_un* addr) {
  std::memset(addr, 0, sizeof *addr);
  addr->sun_family = AF_UNIX;
  if (path.empty() || path.size() >= sizeof addr->sun_path) return false;
  std::memcpy(addr->sun_path, path.c_str(), path.size() + 1);
  return true;
}

base::UniqueFd ConnectTo(const std::string& path, bool nonBlocking) {
  sockaddr_un addr;
  if (!FillSocketAddress(path, &addr)) return {};
  base::UniqueFd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (!fd) return {};
  // Connecting to a local socket never waits for the peer: it either
  // queues at once or fails.
  if (::connect(fd.Get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) return {};
  if (nonBlocking) {
    const int flags = ::fcntl(fd.Get(), F_GETFL);
    if (flags < 0 || ::fcntl(fd.Get(), F_SETFL, flags | O_NONBLOCK) != 0) return {};
  }
  return fd;
}

// ---- Waits and frames ------------------------------------------------------------

namespace {
long long NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}
}  // namespace

Deadline::Deadline(int budgetMs) : endMs_(budgetMs < 0 ? -1 : NowMs() + budgetMs) {}

int Deadline::LeftMs() const {
  if (endMs_ < 0) return -1;
  const long long left = endMs_ - NowMs();
  return left <= 0 ? 0 : static_cast<int>(std::min<long long>(left, 1 << 30));
}

bool WaitFor(int fd, short events, const Deadline& deadline) {
  pollfd p{fd, events, 0};
  for (;;) {
    const int r = ::poll(&p, 1, deadline.LeftMs());
    if (r < 0 && errno == EINTR) continue;
    return r > 0;
  }
}

namespace {

// Writes all of data, waiting for room whenever the socket is full.
bool SendAll(int fd, std::string_view data, const Deadline& deadline, bool* timedOut) {
  while (!data.empty()) {
    const ssize_t n = ::send(fd, data.data(), data.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n > 0) {
      data.remove_prefix(static_cast<std::size_t>(n));
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      if (WaitFor(fd, POLLOUT, deadline)) continue;
      if (timedOut) *timedOut = deadline.Passed();
    }
    return false;
  }
  return true;
}

// Reads exactly size bytes, waiting for each part to arrive.
bool ReceiveAll(int fd, char* data, std::size_t size, const Deadline& deadline, bool* timedOut) {
  while (size > 0) {
    const ssize_t n = ::recv(fd, data, size, MSG_DONTWAIT);
    if (n > 0) {
      data += n;
      size -= static_cast<std::size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      if (WaitFor(fd, POLLIN, deadline)) continue;
      if (timedOut) *timedOut = deadline.Passed();
    }
    return false;  // closed by the peer, or broken
  }
  return true;
}

}  // namespace

bool SendFrame(int fd, std::string_view payload, const Deadline& deadline, bool* timedOut) {
  if (timedOut) *timedOut = false;
  WireWriter header;
  header.U32(static_cast<std::uint32_t>(payload.size()));
  return SendAll(fd, header.Data(), deadline, timedOut) && SendAll(fd, payload, deadline, timedOut);
}

bool ReceiveFrame(int fd, std::string* payload, const Deadline& deadline, bool* timedOut) {
  if (timedOut) *timedOut = false;
  char header[4];
  if (!ReceiveAll(fd, header, sizeof header, deadline, timedOut)) return false;
  std::uint32_t size = 0;
  WireReader(std::string_view(header, 4)).U32(&size);
  if (size > kMaxFrame) return false;
  payload->resize(size);
  return ReceiveAll(fd, payload->data(), size, deadline, timedOut);
}

// ---- Replies -----------------------------------------------------------------------

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

// ---- The start-up lock ----------------------------------------------------------------

StartupLock::StartupLock(const std::string& path)
    : fd_(::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600)) {
  if (!fd_) return;
  while (::flock(fd_.Get(), LOCK_EX) != 0) {
    if (errno != EINTR) {
      fd_.Reset();
      return;
    }
  }
}

}  // namespace wire
}  // namespace vexa::com
