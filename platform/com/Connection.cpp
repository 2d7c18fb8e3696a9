#include "platform/com/Connection.h"

#include <algorithm>

namespace vexa::com {

HRESULT EventSinks::Add(IUnknown* sink, DWORD* cookie) {
  if (!sink || !cookie) return E_POINTER;
  *cookie = 0;
  ComPtr<IDispatch> dispatch;
  // The sink answers for the event interface or, at least, IDispatch.
  if (FAILED(sink->QueryInterface(m_iid, reinterpret_cast<void**>(dispatch.Put()))) &&
      FAILED(sink->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(dispatch.Put()))))
    return CONNECT_E_CANNOTCONNECT;
  *cookie = m_next++;
  m_sinks.emplace_back(*cookie, std::move(dispatch));
  return S_OK;
}

HRESULT EventSinks::Remove(DWORD cookie) {
  auto it = std::find_if(m_sinks.begin(), m_sinks.end(), [cookie](const auto& s) { return s.first == cookie; });
  if (it == m_sinks.end()) return CONNECT_E_NOCONNECTION;
  m_sinks.erase(it);
  return S_OK;
}

void EventSinks::Fire(DISPID id, std::vector<Variant> args) {
  // Arguments go in reverse order.
  std::vector<VARIANT> reversed;
  for (auto it = args.rbegin(); it != args.rend(); ++it) reversed.push_back(*it);
  DISPPARAMS params{reversed.empty() ? nullptr : reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
  // A snapshot of the cookies: sinks may unadvise while an event is out.
  std::vector<DWORD> cookies;
  for (const auto& s : m_sinks) cookies.push_back(s.first);
  for (DWORD cookie : cookies) {
    auto it = std::find_if(m_sinks.begin(), m_sinks.end(), [cookie](const auto& s) { return s.first == cookie; });
    if (it == m_sinks.end()) continue;
    ComPtr<IDispatch> sink = it->second;
    Variant result;
    sink->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, &result, nullptr, nullptr);
  }
}

namespace {
class ConnectionPoint : public ComObjectRoot, public IConnectionPoint {
 public:
  using Interfaces = InterfaceMap<IConnectionPoint>;
  ConnectionPoint(IConnectionPointContainer* container, EventSinks* sinks)
      : m_container(container), m_sinks(sinks) {}
  HRESULT GetConnectionInterface(IID* iid) override {
    if (!iid) return E_POINTER;
    *iid = m_sinks->Iid();
    return S_OK;
  }
  HRESULT GetConnectionPointContainer(IConnectionPointContainer** out) override {
    if (!out) return E_POINTER;
    *out = m_container.Get();
    (*out)->AddRef();
    return S_OK;
  }
  HRESULT Advise(IUnknown* sink, DWORD* cookie) override { return m_sinks->Add(sink, cookie); }
  HRESULT Unadvise(DWORD cookie) override { return m_sinks->Remove(cookie); }
  HRESULT EnumConnections(void** out) override {
    if (out) *out = nullptr;
    return E_NOTIMPL;
  }

 private:
  ComPtr<IConnectionPointContainer> m_container;  // keeps the sinks' owner alive
  EventSinks* m_sinks;
};
}  // namespace

HRESULT CreateConnectionPoint(IConnectionPointContainer* container, EventSinks* sinks, IConnectionPoint** out) {
  if (!container || !sinks || !out) return E_POINTER;
  return ComObject<ConnectionPoint>::Create(out, container, sinks);
}

}  // namespace vexa::com
