// Messaging between an application and a background device monitor: each
// side is a hidden endpoint found by its title ("Kv Lumacast App R48 Scanner
// Hidden Window" and "Kv Lumacast Mon R48 Scanner Hidden Window"), a local
// socket in the user's runtime folder; a message posted to the other side is
// delivered to one of its handlers on its event loop.
#pragma once

#include <QObject>
#include <cstdint>
#include <memory>
#include <string>

#include "uicommon/common/CommonExport.h"

class QLocalServer;
class QLocalSocket;

namespace vexa::ui {

constexpr unsigned WM_USER = 0x0400;
constexpr unsigned WM_TIMER = 0x0113;

class VEXATHUMCOMMON_API CMonitorIPCWindow : public QObject {
  Q_OBJECT
 public:
  static constexpr const char* kClassName = "KvLumacastCommunicationsWindow";
  static constexpr const char* kMonitorTitle = "Kv Lumacast Mon R48 Scanner Hidden Window";
  static constexpr const char* kAppTitle = "Kv Lumacast App R48 Scanner Hidden Window";

  CMonitorIPCWindow();
  ~CMonitorIPCWindow() override;

  // Creates this side's endpoint; true even when it could not be made.
  virtual bool InitializeIPC(bool isMonitor, QObject* parent);
  virtual bool OtherWindowAvailable();
  // 0 when the other side is not there.
  virtual int PostMsgToOtherWindow(unsigned msg, std::uintptr_t wParam, std::intptr_t lParam);

  // The handlers of WM_USER + 11 to + 18 and + 21; they do nothing here.
  virtual long OnFormatFlash(std::uintptr_t, std::intptr_t) { return 0; }
  virtual long OnFoundCamera(std::uintptr_t, std::intptr_t) { return 0; }
  virtual long OnGotMedia(std::uintptr_t, std::intptr_t) { return 0; }
  virtual long OnPCCardImagesAvailable(std::uintptr_t, std::intptr_t) { return 0; }
  virtual long OnPropertyChange(std::uintptr_t, std::intptr_t) { return 0; }
  virtual long OnResumeCameraPoll(std::uintptr_t, std::intptr_t) { return 0; }
  virtual long OnResumeScannerPoll(std::uintptr_t, std::intptr_t) { return 0; }
  virtual long OnSuspendCameraPoll(std::uintptr_t, std::intptr_t) { return 0; }
  virtual long OnSuspendScannerPoll(std::uintptr_t, std::intptr_t) { return 0; }
  virtual void OnTimer(unsigned) {}

  // Where the endpoint of a title lives.
  static std::string EndpointPath(const std::string& title);

 private slots:
  void OnConnection();

 private:
  void Dispatch(unsigned msg, std::uintptr_t wParam, std::intptr_t lParam);
  bool m_isMonitor = false;
  std::string m_title, m_otherTitle;
  bool m_otherFound = false;
  std::unique_ptr<QLocalServer> m_server;
};

// Post a message to the monitor's or the application's endpoint; 0 when it
// is not there.
VEXATHUMCOMMON_API int PostMsgToMon(unsigned msg, std::uintptr_t wParam, std::intptr_t lParam);
VEXATHUMCOMMON_API int PostMsgToApp(unsigned msg, std::uintptr_t wParam, std::intptr_t lParam);

}  // namespace vexa::ui
