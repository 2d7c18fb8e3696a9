#include "wizard/update/HttpTransfer.h"

#include <curl/curl.h>

#include <QEventLoop>
#include <QSocketNotifier>
#include <QTimer>
#include <cstdlib>
#include <map>

#include "platform/base/Text.h"

namespace vexa::wiz {

namespace {
struct CurlGlobal {
  CurlGlobal() { curl_global_init(CURL_GLOBAL_DEFAULT); }
};
void EnsureCurl() { static CurlGlobal global; }
}  // namespace

struct HttpTransfer::Impl {
  CURLM* multi = nullptr;
  CURL* easy = nullptr;
  curl_slist* headers = nullptr;
  QEventLoop loop;
  QTimer timer;
  std::map<curl_socket_t, std::pair<std::unique_ptr<QSocketNotifier>, std::unique_ptr<QSocketNotifier>>> sockets;
  bool done = false;
  bool cancelled = false;
  CURLcode result = CURLE_OK;
  std::string disposition;

  ~Impl() {
    for (auto& [fd, pair] : sockets) {
      pair.first.reset();
      pair.second.reset();
    }
    sockets.clear();
    if (multi && easy) curl_multi_remove_handle(multi, easy);
    if (easy) curl_easy_cleanup(easy);
    if (multi) curl_multi_cleanup(multi);
    if (headers) curl_slist_free_all(headers);
  }
};

namespace {
// A notifier may be dropped from inside its own signal: it goes later.
void Drop(std::unique_ptr<QSocketNotifier>& n) {
  if (!n) return;
  n->setEnabled(false);
  n.release()->deleteLater();
}
}  // namespace

struct HttpCallbacks {
  static std::size_t Write(char* data, std::size_t size, std::size_t n, void* user) {
    auto* self = static_cast<HttpTransfer*>(user);
    if (self->m_holdBody) {
      // The body waits until the caller is ready for it.
      self->m_heldAtBody = true;
      return CURL_WRITEFUNC_PAUSE;
    }
    std::size_t bytes = size * n;
    if (self->m_received >= self->m_limit) return bytes;
    if (self->m_received + bytes > self->m_limit) bytes = static_cast<std::size_t>(self->m_limit - self->m_received);
    self->m_received += bytes;
    if (self->m_sink && !self->m_sink(data, bytes)) {
      self->m_sinkFailed = true;
      return 0;  // curl stops the transfer with a write error
    }
    return size * n;
  }

  static std::size_t Header(char* data, std::size_t size, std::size_t n, void* user) {
    auto* self = static_cast<HttpTransfer*>(user);
    std::string line(data, size * n);
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.pop_back();
    const std::size_t colon = line.find(':');
    if (colon != std::string::npos && base::EqualsNoCase(line.substr(0, colon), "Content-Disposition")) {
      std::size_t start = colon + 1;
      while (start < line.size() && line[start] == ' ') ++start;
      self->m->disposition = line.substr(start);
    } else if (line.rfind("HTTP/", 0) == 0) {
      // A new response (after a redirect) starts its headers afresh.
      self->m->disposition.clear();
    }
    return size * n;
  }

  static void Drive(HttpTransfer* self, curl_socket_t fd, int action) {
    int running = 0;
    curl_multi_socket_action(self->m->multi, fd, action, &running);
    CURLMsg* msg = nullptr;
    int left = 0;
    while ((msg = curl_multi_info_read(self->m->multi, &left))) {
      if (msg->msg == CURLMSG_DONE) {
        self->m->result = msg->data.result;
        self->m->done = true;
      }
    }
    if (self->m->done || self->m_heldAtBody) self->m->loop.quit();
  }

  static int Socket(CURL*, curl_socket_t fd, int what, void* user, void*) {
    auto* self = static_cast<HttpTransfer*>(user);
    auto& sockets = self->m->sockets;
    if (what == CURL_POLL_REMOVE) {
      auto it = sockets.find(fd);
      if (it != sockets.end()) {
        Drop(it->second.first);
        Drop(it->second.second);
        sockets.erase(it);
      }
      return 0;
    }
    auto& entry = sockets[fd];
    const bool wantRead = what == CURL_POLL_IN || what == CURL_POLL_INOUT;
    const bool wantWrite = what == CURL_POLL_OUT || what == CURL_POLL_INOUT;
    if (wantRead && !entry.first) {
      entry.first = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
      QObject::connect(entry.first.get(), &QSocketNotifier::activated, self,
                       [self, fd] { Drive(self, fd, CURL_CSELECT_IN); });
    } else if (!wantRead) {
      Drop(entry.first);
    }
    if (wantWrite && !entry.second) {
      entry.second = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Write);
      QObject::connect(entry.second.get(), &QSocketNotifier::activated, self,
                       [self, fd] { Drive(self, fd, CURL_CSELECT_OUT); });
    } else if (!wantWrite) {
      Drop(entry.second);
    }
    return 0;
  }

  static int Timer(CURLM*, long ms, void* user) {
    auto* self = static_cast<HttpTransfer*>(user);
    if (ms < 0) self->m->timer.stop();
    else self->m->timer.start(static_cast<int>(ms));
    return 0;
  }
};

HttpTransfer::HttpTransfer(std::string url, std::vector<std::string> headers, bool http10)
    : m(std::make_unique<Impl>()), m_url(std::move(url)), m_headers(std::move(headers)), m_http10(http10) {
  EnsureCurl();
}

HttpTransfer::~HttpTransfer() = default;

void HttpTransfer::Cancel() {
  m->cancelled = true;
  m->loop.quit();
}

bool HttpTransfer::Setup(HttpReply* reply) {
  m->multi = curl_multi_init();
  m->easy = curl_easy_init();
  if (!m->multi || !m->easy) {
    reply->error = "the transfer could not be set up";
    return false;
  }
  for (const std::string& h : m_headers) m->headers = curl_slist_append(m->headers, h.c_str());
  CURL* e = m->easy;
  curl_easy_setopt(e, CURLOPT_URL, m_url.c_str());
  // HTTPS only, redirects included: nothing is fetched in the clear, and a
  // redirect to http ends the transfer. The server's certificate and name
  // are verified (curl's default) against the system's certificates.
  curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, "https");
  curl_easy_setopt(e, CURLOPT_REDIR_PROTOCOLS_STR, "https");
  curl_easy_setopt(e, CURLOPT_SSL_VERIFYPEER, 1L);
  curl_easy_setopt(e, CURLOPT_SSL_VERIFYHOST, 2L);
  // The tests' loopback server has a certificate made for the test: only
  // they name its authority, in this variable.
  if (const char* ca = std::getenv(kTestCaFileVariable); ca && *ca) curl_easy_setopt(e, CURLOPT_CAINFO, ca);
  curl_easy_setopt(e, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(e, CURLOPT_MAXREDIRS, 5L);
  curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(e, CURLOPT_CONNECTTIMEOUT, 30L);
  // A server that stops sending for a minute ends the transfer.
  curl_easy_setopt(e, CURLOPT_LOW_SPEED_LIMIT, 1L);
  curl_easy_setopt(e, CURLOPT_LOW_SPEED_TIME, 60L);
  if (m_http10) curl_easy_setopt(e, CURLOPT_HTTP_VERSION, CURL_HTTP_VERSION_1_0);
  curl_easy_setopt(e, CURLOPT_HTTPHEADER, m->headers);
  curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, &HttpCallbacks::Write);
  curl_easy_setopt(e, CURLOPT_WRITEDATA, this);
  curl_easy_setopt(e, CURLOPT_HEADERFUNCTION, &HttpCallbacks::Header);
  curl_easy_setopt(e, CURLOPT_HEADERDATA, this);
  curl_multi_setopt(m->multi, CURLMOPT_SOCKETFUNCTION, &HttpCallbacks::Socket);
  curl_multi_setopt(m->multi, CURLMOPT_SOCKETDATA, this);
  curl_multi_setopt(m->multi, CURLMOPT_TIMERFUNCTION, &HttpCallbacks::Timer);
  curl_multi_setopt(m->multi, CURLMOPT_TIMERDATA, this);
  m->timer.setSingleShot(true);
  connect(&m->timer, &QTimer::timeout, this, [this] { HttpCallbacks::Drive(this, CURL_SOCKET_TIMEOUT, 0); });
  curl_multi_add_handle(m->multi, e);
  return true;
}

HttpReply HttpTransfer::Loop() {
  HttpReply reply;
  if (!m->done && !m->cancelled && !m_heldAtBody) m->loop.exec();
  reply.cancelled = m->cancelled;
  if (m_heldAtBody && !m->done && !m->cancelled) {
    reply.awaitingBody = true;
  } else {
    m->timer.stop();
    if (m->done && m->result == CURLE_OK) reply.transferred = true;
    else if (!m->cancelled) reply.error = m->done ? curl_easy_strerror(m->result) : "the transfer did not end";
  }
  long status = 0;
  curl_easy_getinfo(m->easy, CURLINFO_RESPONSE_CODE, &status);
  reply.status = status;
  reply.contentDisposition = m->disposition;
  return reply;
}

HttpReply HttpTransfer::Run() {
  HttpReply reply;
  m_holdBody = false;
  if (!Setup(&reply)) return reply;
  return Loop();
}

HttpReply HttpTransfer::RunToBody() {
  HttpReply reply;
  m_holdBody = true;
  if (!Setup(&reply)) return reply;
  return Loop();
}

HttpReply HttpTransfer::Resume() {
  m_holdBody = false;
  if (m_heldAtBody && !m->done && !m->cancelled) {
    m_heldAtBody = false;
    curl_easy_pause(m->easy, CURLPAUSE_CONT);
    // Unpausing may deliver data and finish at once.
    HttpCallbacks::Drive(this, CURL_SOCKET_TIMEOUT, 0);
  }
  return Loop();
}

bool IsHttpsUrl(std::string_view url) {
  return url.size() > 8 && base::EqualsNoCase(std::string(url.substr(0, 8)), "https://");
}

std::string UrlEncode(std::string_view text) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : text) {
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '_' ||
        c == '.' || c == '~') {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    }
  }
  return out;
}

}  // namespace vexa::wiz
