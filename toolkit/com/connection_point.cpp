#include "connection_point.h"

#include <olectl.h>

#include "enumerator.h"

namespace quillon {
namespace {

// The snapshot holds a reference on each sink for as long as it lives.
struct HeldConnection {
  ComPtr<IUnknown> sink;
  DWORD cookie;
};

struct ConnectionPolicy {
  using Out = CONNECTDATA;
  static void CopyOut(const HeldConnection& c, CONNECTDATA& out) {
    out.pUnk = ComPtr<IUnknown>(c.sink).Detach();
    out.dwCookie = c.cookie;
  }
  static void Discard(CONNECTDATA& out) {
    if (out.pUnk) out.pUnk->Release();
    out.pUnk = nullptr;
  }
};

struct PointPolicy {
  using Out = IConnectionPoint*;
  static void CopyOut(const ComPtr<IConnectionPoint>& p, IConnectionPoint*& out) {
    out = ComPtr<IConnectionPoint>(p).Detach();
  }
  static void Discard(IConnectionPoint*& out) {
    if (out) out->Release();
    out = nullptr;
  }
};

using TEnumConnections = TEnum<IEnumConnections, HeldConnection, ConnectionPolicy>;
using TEnumConnectionPoints = TEnum<IEnumConnectionPoints, ComPtr<IConnectionPoint>, PointPolicy>;

}  // namespace

TConnectionPoint::TConnectionPoint(const LogSink& log, IConnectionPointContainer* container, const IID& iid,
                                   ConnectHandler onConnect)
    : log_(log), container_(container), iid_(iid), onConnect_(std::move(onConnect)) {}

void TConnectionPoint::Detach() {
  container_ = nullptr;
  onConnect_ = nullptr;
  sink_.Reset();
}

STDMETHODIMP TConnectionPoint::GetConnectionInterface(IID* piid) {
  if (!piid) return E_POINTER;
  *piid = iid_;
  return S_OK;
}

STDMETHODIMP TConnectionPoint::GetConnectionPointContainer(IConnectionPointContainer** ppcpc) {
  if (!ppcpc) return E_POINTER;
  *ppcpc = container_;
  // A point whose group or server object is gone has no container to hand back.
  if (!container_) return E_FAIL;
  container_->AddRef();
  return S_OK;
}

STDMETHODIMP TConnectionPoint::Advise(IUnknown* sink, DWORD* cookie) {
  if (!cookie) return E_POINTER;
  *cookie = 0;
  if (!sink) return E_POINTER;
  if (sink_ || !container_) return CONNECT_E_CANNOTCONNECT;
  return ComGuard(log_, L"Advise", E_FAIL, [&] {
    // A sink that cannot take the point's calls is refused before anything is connected.
    ComPtr<IUnknown> typed;
    if (FAILED(sink->QueryInterface(iid_, reinterpret_cast<void**>(typed.Put())))) return CONNECT_E_CANNOTCONNECT;
    if (!typed) return CONNECT_E_CANNOTCONNECT;
    if (onConnect_) onConnect_(typed.Get(), true);
    // The connection enumerator hands back the sink as the client gave it.
    sink_ = ComPtr<IUnknown>(sink);
    cookie_ = nextCookie_++;
    *cookie = cookie_;
    return S_OK;
  });
}

STDMETHODIMP TConnectionPoint::Unadvise(DWORD cookie) {
  if (!sink_ || cookie == 0 || cookie != cookie_) return CONNECT_E_NOCONNECTION;
  return ComGuard(log_, L"Unadvise", E_FAIL, [&] {
    Drop();
    return S_OK;
  });
}

void TConnectionPoint::Drop() {
  if (!sink_) return;
  ComPtr<IUnknown> sink = std::move(sink_);
  cookie_ = 0;
  if (onConnect_) onConnect_(sink.Get(), false);
}

STDMETHODIMP TConnectionPoint::EnumConnections(IEnumConnections** ppEnum) {
  if (!ppEnum) return E_POINTER;
  *ppEnum = nullptr;
  return ComGuard(log_, L"EnumConnections", E_OUTOFMEMORY, [&] {
    std::vector<HeldConnection> held;
    if (sink_) held.push_back({sink_, cookie_});
    auto snapshot = std::make_shared<const std::vector<HeldConnection>>(std::move(held));
    *ppEnum = MakeCom<TEnumConnections>(log_, std::move(snapshot), 0).Detach();
    return S_OK;
  });
}

HRESULT FindConnectionPointIn(TConnectionPoint* point, REFIID riid, IConnectionPoint** ppCP) {
  if (!ppCP) return E_POINTER;
  *ppCP = nullptr;
  IID iid;
  if (!point || FAILED(point->GetConnectionInterface(&iid)) || iid != riid) return CONNECT_E_NOCONNECTION;
  *ppCP = point;
  point->AddRef();
  return S_OK;
}

HRESULT EnumConnectionPointsOf(const LogSink& log, TConnectionPoint* point, IEnumConnectionPoints** ppEnum) {
  if (!ppEnum) return E_POINTER;
  *ppEnum = nullptr;
  return ComGuard(log, L"EnumConnectionPoints", E_OUTOFMEMORY, [&] {
    std::vector<ComPtr<IConnectionPoint>> points;
    if (point) points.emplace_back(point);
    auto snapshot = std::make_shared<const std::vector<ComPtr<IConnectionPoint>>>(std::move(points));
    *ppEnum = MakeCom<TEnumConnectionPoints>(log, std::move(snapshot), 0).Detach();
    return S_OK;
  });
}

}  // namespace quillon
