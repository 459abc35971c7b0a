#include "server_factory.h"

#include <string>

#include "error_texts.h"
#include "guard.h"
#include "logging.h"
#include "server.h"

namespace quillon {

ComPtr<TServerFactory> TServerFactory::Register(const CLSID& clsid, std::shared_ptr<ModuleState> module) {
  ComPtr<TServerFactory> factory(new TServerFactory(std::move(module)));
  HRESULT hr = CoRegisterClassObject(clsid, static_cast<IClassFactory*>(factory.Get()), CLSCTX_LOCAL_SERVER,
                                     REGCLS_MULTIPLEUSE, &factory->cookie_);
  if (FAILED(hr)) throw EOPC(hr, "CoRegisterClassObject failed: " + ErrorName(hr));
  factory->KeepStub();
  return factory;
}

// Under Wine every activation marshals the class object afresh, and the
// client's release after CreateInstance deletes that stub again, which
// unregisters IClassFactory from the RPC runtime and waits for its calls to
// finish. When the CreateInstance call itself is still finishing on another
// thread, that wait can miss it and never end: the apartment hangs (seen as a
// client stalling in CoCreateInstance, the host's thread in
// RpcServerUnregisterIf). A stub kept for the registration's lifetime is
// never deleted, so nothing is unregistered.
void TServerFactory::KeepStub() {
  ComPtr<IStream> stream;
  HRESULT hr = CreateStreamOnHGlobal(nullptr, TRUE, stream.Put());
  if (SUCCEEDED(hr))
    hr = CoMarshalInterface(stream.Get(), IID_IClassFactory, static_cast<IClassFactory*>(this), MSHCTX_LOCAL,
                            nullptr, MSHLFLAGS_TABLESTRONG);
  if (FAILED(hr)) {
    Log().LogOperationError(L"The class object's stub is not kept: " + WidenMessage(ErrorName(hr)), L"Register");
    return;
  }
  keptStub_ = std::move(stream);
}

void TServerFactory::Revoke() {
  if (cookie_) CoRevokeClassObject(std::exchange(cookie_, 0));
  if (ComPtr<IStream> stream = std::move(keptStub_)) {
    const LARGE_INTEGER start{};
    if (SUCCEEDED(stream->Seek(start, STREAM_SEEK_SET, nullptr))) CoReleaseMarshalData(stream.Get());
  }
}

STDMETHODIMP TServerFactory::CreateInstance(IUnknown* outer, REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  if (outer) return CLASS_E_NOAGGREGATION;
  return ComGuard(Log(), L"TServerFactory.CreateInstance", E_FAIL, [&] {
    ComPtr<TServer> server = MakeCom<TServer>(module_);
    return server->QueryInterface(riid, ppv);
  });
}

// The host decides when the process ends, so locking changes nothing.
STDMETHODIMP TServerFactory::LockServer(BOOL) { return S_OK; }

}  // namespace quillon
