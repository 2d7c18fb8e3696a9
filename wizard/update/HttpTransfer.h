// One HTTPS transfer over libcurl, driven from the Qt event loop (curl's
// multi interface on socket notifiers and a timer), so the windows stay
// responsive while it runs and nothing blocks a thread. Only https is
// spoken, redirects included; the server's certificate must verify against
// the system's authorities (or, in tests only, the file named by
// VEXA_UPDATE_TEST_CA_FILE).
#pragma once

#include <QObject>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace vexa::wiz {

struct HttpReply {
  bool transferred = false;  // the exchange completed (any status)
  bool awaitingBody = false; // stopped before the body (RunToBody)
  bool cancelled = false;
  long status = 0;
  std::string error;  // curl's text when the exchange failed
  std::string contentDisposition;
};

class HttpTransfer : public QObject {
  Q_OBJECT
 public:
  HttpTransfer(std::string url, std::vector<std::string> headers, bool http10 = true);
  ~HttpTransfer() override;

  // Receives the body as it arrives; false stops the transfer as failed.
  void SetSink(std::function<bool(const char* data, std::size_t size)> sink) { m_sink = std::move(sink); }
  // Stops reading after this many body bytes (the rest is dropped).
  void SetBodyLimit(std::uint64_t bytes) { m_limit = bytes; }
  // Runs the transfer, pumping the event loop until it ends.
  HttpReply Run();
  // Runs until the status and headers are in and the body is about to
  // come (or the transfer ends); Resume then runs the rest.
  HttpReply RunToBody();
  HttpReply Resume();
  // Ends the running transfer as cancelled (from a button of a window).
  void Cancel();
  bool SinkFailed() const { return m_sinkFailed; }

 private:
  struct Impl;
  std::unique_ptr<Impl> m;
  std::string m_url;
  std::vector<std::string> m_headers;
  bool m_http10;
  std::function<bool(const char*, std::size_t)> m_sink;
  std::uint64_t m_limit = UINT64_MAX;
  std::uint64_t m_received = 0;
  bool m_sinkFailed = false;
  bool m_holdBody = false;
  bool m_heldAtBody = false;

  HttpReply Loop();
  bool Setup(HttpReply* reply);

  friend struct HttpCallbacks;
};

// The environment variable through which tests name the certificate
// authority of their loopback server; nothing else sets it.
inline constexpr char kTestCaFileVariable[] = "VEXA_UPDATE_TEST_CA_FILE";

// True when url is an https address (the only kind a transfer takes).
bool IsHttpsUrl(std::string_view url);

// The value of a URL query field, escaped.
std::string UrlEncode(std::string_view text);

}  // namespace vexa::wiz
