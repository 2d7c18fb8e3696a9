#include "logging/VexaLoggerPS.h"

#include "logging/VexaLoggerDispatch.h"

namespace vexa::logging {
namespace {

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
    return channel_->Call(kLoggerWriteMessage, args, nullptr);
  }
  HRESULT WriteMessages(BSTR strComponentName, BSTR strMsgType, BSTR strMsg1, BSTR strMsg2,
                        BSTR strMsg3, BSTR strMsg4, BSTR strMsg5) override {
    WireWriter args;
    for (BSTR s : {strComponentName, strMsgType, strMsg1, strMsg2, strMsg3, strMsg4, strMsg5}) {
      args.String(s);
    }
    return channel_->Call(kLoggerWriteMessages, args, nullptr);
  }

 private:
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
