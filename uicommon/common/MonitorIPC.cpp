#include "uicommon/common/MonitorIPC.h"

#include <QDataStream>
#include <QLocalServer>
#include <QLocalSocket>
#include <QPointer>

#include "platform/base/Path.h"

namespace vexa::ui {

namespace {

constexpr int kRecordSize = 4 + 8 + 8;

QByteArray Record(unsigned msg, std::uintptr_t wParam, std::intptr_t lParam) {
  QByteArray bytes;
  QDataStream out(&bytes, QIODevice::WriteOnly);
  out.setByteOrder(QDataStream::LittleEndian);
  out << quint32(msg) << quint64(wParam) << qint64(lParam);
  return bytes;
}

// Sends one message record to the endpoint of a title; 0 when nobody
// listens there.
int Post(const std::string& title, unsigned msg, std::uintptr_t wParam, std::intptr_t lParam) {
  const std::string path = CMonitorIPCWindow::EndpointPath(title);
  if (path.empty()) return 0;
  QLocalSocket socket;
  socket.connectToServer(QString::fromStdString(path));
  if (!socket.waitForConnected(1000)) return 0;
  socket.write(Record(msg, wParam, lParam));
  const bool sent = socket.waitForBytesWritten(1000);
  socket.disconnectFromServer();
  return sent ? 1 : 0;
}

bool Listening(const std::string& title) {
  const std::string path = CMonitorIPCWindow::EndpointPath(title);
  if (path.empty()) return false;
  QLocalSocket socket;
  socket.connectToServer(QString::fromStdString(path));
  const bool ok = socket.waitForConnected(1000);
  socket.abort();
  return ok;
}

}  // namespace

std::string CMonitorIPCWindow::EndpointPath(const std::string& title) {
  const std::string dir = vexa::base::RuntimeDirectory();
  if (dir.empty()) return "";
  std::string name = std::string(kClassName) + "-";
  for (char c : title) name += (c == ' ' || c == '/') ? '_' : c;
  return vexa::base::JoinPath(dir, name);
}

CMonitorIPCWindow::CMonitorIPCWindow() = default;
CMonitorIPCWindow::~CMonitorIPCWindow() = default;

bool CMonitorIPCWindow::InitializeIPC(bool isMonitor, QObject* parent) {
  m_isMonitor = isMonitor;
  m_title = isMonitor ? kMonitorTitle : kAppTitle;
  m_otherTitle = isMonitor ? kAppTitle : kMonitorTitle;
  if (parent) setParent(parent);
  m_server = std::make_unique<QLocalServer>();
  const QString path = QString::fromStdString(EndpointPath(m_title));
  QLocalServer::removeServer(path);
  if (m_server->listen(path))
    connect(m_server.get(), &QLocalServer::newConnection, this, &CMonitorIPCWindow::OnConnection);
  return true;
}

bool CMonitorIPCWindow::OtherWindowAvailable() {
  m_otherFound = !m_otherTitle.empty() && Listening(m_otherTitle);
  return m_otherFound;
}

int CMonitorIPCWindow::PostMsgToOtherWindow(unsigned msg, std::uintptr_t wParam,
                                            std::intptr_t lParam) {
  if (m_otherTitle.empty()) return 0;
  if (!m_otherFound && !OtherWindowAvailable()) return 0;
  const int posted = Post(m_otherTitle, msg, wParam, lParam);
  if (!posted) m_otherFound = false;
  return posted;
}

void CMonitorIPCWindow::OnConnection() {
  while (QLocalSocket* socket = m_server->nextPendingConnection()) {
    connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
    connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
      while (socket->bytesAvailable() >= kRecordSize) {
        QDataStream in(socket->read(kRecordSize));
        in.setByteOrder(QDataStream::LittleEndian);
        quint32 msg = 0;
        quint64 w = 0;
        qint64 l = 0;
        in >> msg >> w >> l;
        Dispatch(msg, static_cast<std::uintptr_t>(w), static_cast<std::intptr_t>(l));
      }
    });
  }
}

void CMonitorIPCWindow::Dispatch(unsigned msg, std::uintptr_t w, std::intptr_t l) {
  switch (msg) {
    case WM_USER + 11: OnFormatFlash(w, l); break;
    case WM_USER + 12: OnFoundCamera(w, l); break;
    case WM_USER + 13: OnGotMedia(w, l); break;
    case WM_USER + 14: OnPCCardImagesAvailable(w, l); break;
    case WM_USER + 15: OnPropertyChange(w, l); break;
    case WM_USER + 16: OnResumeCameraPoll(w, l); break;
    case WM_USER + 17: OnResumeScannerPoll(w, l); break;
    case WM_USER + 18: OnSuspendCameraPoll(w, l); break;
    case WM_USER + 21: OnSuspendScannerPoll(w, l); break;
    case WM_TIMER: OnTimer(static_cast<unsigned>(w)); break;
    default: break;
  }
}

int PostMsgToMon(unsigned msg, std::uintptr_t wParam, std::intptr_t lParam) {
  return Post(CMonitorIPCWindow::kMonitorTitle, msg, wParam, lParam);
}

int PostMsgToApp(unsigned msg, std::uintptr_t wParam, std::intptr_t lParam) {
  return Post(CMonitorIPCWindow::kAppTitle, msg, wParam, lParam);
}

}  // namespace vexa::ui
