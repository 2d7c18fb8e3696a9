// Events and windows of controls. A control that fires events offers a
// connection point per event interface; the host registers its sink (an
// IDispatch) with Advise and receives each event as an Invoke by DISPID. A
// control with a window hands it to the host through IVexaControlWindow
// (the window is a widget of the host's toolkit, passed as a plain pointer
// so this layer needs no toolkit).
#pragma once

#include <utility>
#include <vector>

#include "platform/com/ComObject.h"
#include "platform/com/ComPtr.h"
#include "platform/com/Interfaces.h"

struct IConnectionPointContainer;

constexpr HRESULT CONNECT_E_NOCONNECTION = static_cast<HRESULT>(0x80040200u);
constexpr HRESULT CONNECT_E_CANNOTCONNECT = static_cast<HRESULT>(0x80040202u);
inline constexpr IID IID_NULL{};

struct IConnectionPoint : IUnknown {
  virtual HRESULT GetConnectionInterface(IID* iid) = 0;
  virtual HRESULT GetConnectionPointContainer(IConnectionPointContainer** container) = 0;
  // Registers a sink; *cookie names the registration for Unadvise.
  virtual HRESULT Advise(IUnknown* sink, DWORD* cookie) = 0;
  virtual HRESULT Unadvise(DWORD cookie) = 0;
  virtual HRESULT EnumConnections(void** enumerator) = 0;

 protected:
  ~IConnectionPoint() = default;
};
VEXA_DEFINE_IID(IConnectionPoint, "{B196B286-BAB4-101A-B69C-00AA00341D07}")

struct IConnectionPointContainer : IUnknown {
  virtual HRESULT EnumConnectionPoints(void** enumerator) = 0;
  virtual HRESULT FindConnectionPoint(REFIID iid, IConnectionPoint** point) = 0;

 protected:
  ~IConnectionPointContainer() = default;
};
VEXA_DEFINE_IID(IConnectionPointContainer, "{B196B284-BAB4-101A-B69C-00AA00341D07}")

// A control's window for its host.
struct IVexaControlWindow : IUnknown {
  // Creates the window (once) as a child of parentWidget at the rectangle;
  // a null parent makes a top-level window.
  virtual HRESULT CreateControlWindow(void* parentWidget, LONG x, LONG y, LONG width, LONG height) = 0;
  // The window (null before it is created).
  virtual HRESULT GetControlWindow(void** widget) = 0;

 protected:
  ~IVexaControlWindow() = default;
};
VEXA_DEFINE_IID(IVexaControlWindow, "{6F3C2A51-1D7E-4B0A-9E54-2B8C7A1F0E36}")

namespace vexa::com {

// The sinks of one event interface and the firing of events to them. The
// connection point is a separate object that holds its container alive.
class VEXA_COM_API EventSinks {
 public:
  explicit EventSinks(const IID& eventIid) : m_iid(eventIid) {}
  const IID& Iid() const { return m_iid; }
  HRESULT Add(IUnknown* sink, DWORD* cookie);
  HRESULT Remove(DWORD cookie);
  int Count() const { return static_cast<int>(m_sinks.size()); }
  // Invokes the DISPID on every sink (arguments in call order); a sink
  // removed by an earlier one during the same event is not called.
  void Fire(DISPID id, std::vector<Variant> args = {});
  void Clear() { m_sinks.clear(); }

 private:
  IID m_iid;
  std::vector<std::pair<DWORD, ComPtr<IDispatch>>> m_sinks;
  DWORD m_next = 1;
};

// Creates the connection point object for sinks owned by `container`.
VEXA_COM_API HRESULT CreateConnectionPoint(IConnectionPointContainer* container, EventSinks* sinks,
                              IConnectionPoint** out);

}  // namespace vexa::com
