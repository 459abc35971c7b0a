#pragma once
// A single-connection point: one sink at a time, for the IOPCShutdown point of
// the server and the IOPCDataCallback point of a group. The owner serves
// IConnectionPointContainer with FindConnectionPointIn/EnumConnectionPointsOf.
#include <ocidl.h>

#include <functional>

#include "com_object.h"
#include "logging.h"

namespace quillon {

class TConnectionPoint : public ComObject<IConnectionPoint> {
 public:
  // Called with the sink, as the point's interface, before Advise records it
  // (Connecting true) and before Unadvise forgets it (false).
  using ConnectHandler = std::function<void(IUnknown* sink, bool connecting)>;

  TConnectionPoint(const LogSink& log, IConnectionPointContainer* container, const IID& iid,
                   ConnectHandler onConnect);

  // The owner is going: the point forgets it and its sink.
  void Detach();
  // The sink's client is gone: the point forgets the sink as Unadvise would.
  void Drop();
  IUnknown* Sink() const { return sink_.Get(); }

  STDMETHODIMP GetConnectionInterface(IID* piid) override;
  STDMETHODIMP GetConnectionPointContainer(IConnectionPointContainer** ppcpc) override;
  STDMETHODIMP Advise(IUnknown* sink, DWORD* cookie) override;
  STDMETHODIMP Unadvise(DWORD cookie) override;
  STDMETHODIMP EnumConnections(IEnumConnections** ppEnum) override;

 protected:
  ~TConnectionPoint() override = default;

 private:
  const LogSink& log_;
  IConnectionPointContainer* container_;  // the owner, which holds this point
  IID iid_;
  ConnectHandler onConnect_;
  ComPtr<IUnknown> sink_;
  DWORD cookie_ = 0;
  DWORD nextCookie_ = 1;
};

HRESULT FindConnectionPointIn(TConnectionPoint* point, REFIID riid, IConnectionPoint** ppCP);
HRESULT EnumConnectionPointsOf(const LogSink& log, TConnectionPoint* point, IEnumConnectionPoints** ppEnum);

}  // namespace quillon
