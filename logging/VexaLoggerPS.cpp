#include "logging/VexaLoggerPS.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>

#include "idl/ProductKey.h"
#include "logging/VexaLoggerDispatch_p.h"
#include "platform/base/Path.h"
#include "platform/base/Text.h"
#include "platform/base/UniqueFd.h"
#include "platform/registry/Registry.h"

namespace vexa::logging {
namespace {

constexpr char kUndeliveredName[] = "vexalog-undelivered.txt";

// Where a line goes that the server did not take: beside the logs, in the
// data directory the server itself writes to.
std::string UndeliveredPath() {
  std::string dir = reg::GetString(reg::Hive::LocalMachine, kProductKey, "APP_PATH_DATA").value_or("");
  if (dir.empty()) dir = base::TempDirectory();
  return base::JoinPath(base::ToNativePath(dir), kUndeliveredName);
}

// Appends "YYYYMMDDTHHMMSS TYPE COMPONENT: text" and CR LF to the file of
// undelivered lines; "" on success, else the reason.
std::string KeepUndelivered(const std::string& path, BSTR component, BSTR type, std::u16string_view text) {
  char stamp[32] = "";
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  if (::localtime_r(&now, &local)) std::strftime(stamp, sizeof stamp, "%Y%m%dT%H%M%S", &local);
  const std::string line = std::string(stamp) + " " + com::BstrToUtf8(type) + " " +
                           com::BstrToUtf8(component) + ": " + base::Utf16ToUtf8(text) + "\r\n";
  // Beside the logs, and like them the user's alone.
  base::MakePrivateDirs(base::DirName(path));
  base::UniqueFd fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600));
  if (!fd) return std::strerror(errno);
  std::string_view rest = line;
  while (!rest.empty()) {
    const ssize_t n = ::write(fd.Get(), rest.data(), rest.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return n < 0 ? std::strerror(errno) : "nothing was written";
    rest.remove_prefix(static_cast<std::size_t>(n));
  }
  if (!fd.Close()) return std::strerror(errno);
  return "";
}

using com::Bstr;
using com::LocalServerChannel;
using com::WireReader;
using com::WireWriter;

// Stands in the client for an object of the server. IUnknown, IDispatch
// (by the interface's dispatch table) and ISupportErrorInfo are answered
// here; every IVexaLogger call goes over the connection.
class CVexaLoggerProxy : public com::ComObjectRoot,
                         public com::DispatchImpl<CVexaLoggerProxy, IVexaLogger>,
                         public com::SupportErrorInfoImpl<IVexaLogger> {
 public:
  using Interfaces =
      com::InterfaceMap<IVexaLogger, com::Via<IDispatch, IVexaLogger>, ISupportErrorInfo>;
  static const com::TypeLibraryId& TypeLibrary() { return kVEXALOGLib; }

  explicit CVexaLoggerProxy(std::unique_ptr<LocalServerChannel> channel)
      : channel_(std::move(channel)) {}

  static std::span<const com::DispatchEntry<CVexaLoggerProxy>> DispatchTable() {
    return VexaLoggerDispatchTable<CVexaLoggerProxy>();
  }

  HRESULT get_LogFilePath(BSTR* pVal) override {
    if (!pVal) return E_POINTER;
    *pVal = nullptr;
    WireReader results;
    const HRESULT hr = channel_->Call(kLoggerLogFilePath, WireWriter(), &results);
    if (FAILED(hr)) return hr;
    Bstr path;
    if (!results.String(&path)) return RPC_E_SERVERFAULT;
    *pVal = path.Detach();
    return hr;
  }
  HRESULT ResetLogFile() override {
    return channel_->Call(kLoggerResetLogFile, WireWriter(), nullptr);
  }
  HRESULT WriteMessage(BSTR strComponentName, BSTR strMsgType, BSTR strMsg) override {
    WireWriter args;
    args.String(strComponentName);
    args.String(strMsgType);
    args.String(strMsg);
    const HRESULT hr = channel_->Call(kLoggerWriteMessage, args, nullptr);
    return Delivered(hr, strComponentName, strMsgType, com::BstrView(strMsg));
  }
  HRESULT WriteMessages(BSTR strComponentName, BSTR strMsgType, BSTR strMsg1, BSTR strMsg2,
                        BSTR strMsg3, BSTR strMsg4, BSTR strMsg5) override {
    WireWriter args;
    std::u16string joined;
    for (BSTR s : {strComponentName, strMsgType, strMsg1, strMsg2, strMsg3, strMsg4, strMsg5}) {
      args.String(s);
    }
    for (BSTR s : {strMsg1, strMsg2, strMsg3, strMsg4, strMsg5}) joined += com::BstrView(s);
    const HRESULT hr = channel_->Call(kLoggerWriteMessages, args, nullptr);
    if (!strMsg1) return hr;
    return Delivered(hr, strComponentName, strMsgType, joined);
  }

 private:
  // A line the server did not take (it stopped answering, or the
  // connection broke) is not lost: it is appended to the file of
  // undelivered lines, and the error says where it went.
  static HRESULT Delivered(HRESULT hr, BSTR component, BSTR type, std::u16string_view text) {
    if (hr != RPC_E_TIMEOUT && hr != RPC_E_DISCONNECTED) return hr;
    const std::string why = com::TakeError().Utf8Description();
    if (!component || !type) return com::ReportError(CLSID_VexaLogger, why, IID_IVexaLogger, hr);
    const std::string path = UndeliveredPath();
    const std::string failure = KeepUndelivered(path, component, type, text);
    const std::string where = failure.empty() ? "the line was kept in " + path
                                              : "the line could not be kept in " + path + ": " + failure;
    return com::ReportError(CLSID_VexaLogger, "IVexaLogger::WriteMessage - " + why + "; " + where,
                            IID_IVexaLogger, hr);
  }

  std::unique_ptr<LocalServerChannel> channel_;
};

HRESULT VexaLoggerStub(IUnknown* object, std::uint32_t method, WireReader& args,
                       WireWriter& results) {
  // The object was created for IID_IVexaLogger: this is that pointer.
  auto* logger = static_cast<IVexaLogger*>(object);
  switch (method) {
    case kLoggerLogFilePath: {
      if (!args.AtEnd()) return RPC_E_SERVERFAULT;
      Bstr path;
      const HRESULT hr = logger->get_LogFilePath(path.Out());
      if (SUCCEEDED(hr)) results.String(path.Get());
      return hr;
    }
    case kLoggerResetLogFile:
      if (!args.AtEnd()) return RPC_E_SERVERFAULT;
      return logger->ResetLogFile();
    case kLoggerWriteMessage: {
      Bstr a[3];
      for (Bstr& s : a) {
        if (!args.String(&s)) return RPC_E_SERVERFAULT;
      }
      if (!args.AtEnd()) return RPC_E_SERVERFAULT;
      return logger->WriteMessage(a[0].Get(), a[1].Get(), a[2].Get());
    }
    case kLoggerWriteMessages: {
      Bstr a[7];
      for (Bstr& s : a) {
        if (!args.String(&s)) return RPC_E_SERVERFAULT;
      }
      if (!args.AtEnd()) return RPC_E_SERVERFAULT;
      return logger->WriteMessages(a[0].Get(), a[1].Get(), a[2].Get(), a[3].Get(), a[4].Get(),
                                   a[5].Get(), a[6].Get());
    }
    default:
      return RPC_E_SERVERFAULT;
  }
}

const com::LocalServerInterface kServerInterfaces[] = {
    {&IID_IVexaLogger, &VexaLoggerStub},
};

}  // namespace

std::span<const com::LocalServerInterface> VexaLoggerServerInterfaces() {
  return kServerInterfaces;
}

}  // namespace vexa::logging

using namespace vexa;

extern "C" HRESULT VexaActivateLocalServer(REFCLSID clsid, const char* serverPath, REFIID iid,
                                           void** ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  if (!serverPath) return E_INVALIDARG;
  std::unique_ptr<com::LocalServerChannel> channel;
  HRESULT hr = com::LocalServerChannel::Connect(clsid, serverPath, IID_IVexaLogger, &channel);
  if (FAILED(hr)) return hr;
  return com::ComObject<logging::CVexaLoggerProxy>::CreateInstance(iid, ppv, std::move(channel));
}
