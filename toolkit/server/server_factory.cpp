#include "server_factory.h"

#include <string>

#include "../api/error_texts.h"
#include "../api/guard.h"
#include "server.h"

namespace quillon {

ComPtr<TServerFactory> TServerFactory::Register(const CLSID& clsid) {
  ComPtr<TServerFactory> factory = MakeCom<TServerFactory>();
  HRESULT hr = CoRegisterClassObject(clsid, static_cast<IClassFactory*>(factory.Get()), CLSCTX_LOCAL_SERVER,
                                     REGCLS_MULTIPLEUSE, &factory->cookie_);
  if (FAILED(hr)) throw EOPC(hr, "CoRegisterClassObject failed: " + ErrorName(hr));
  return factory;
}

void TServerFactory::Revoke() {
  if (cookie_) CoRevokeClassObject(std::exchange(cookie_, 0));
}

STDMETHODIMP TServerFactory::CreateInstance(IUnknown* outer, REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  if (outer) return CLASS_E_NOAGGREGATION;
  return ComGuard(L"TServerFactory.CreateInstance", E_FAIL, [&] {
    ComPtr<TServer> server = MakeCom<TServer>();
    return server->QueryInterface(riid, ppv);
  });
}

// The host decides when the process ends, so locking changes nothing.
STDMETHODIMP TServerFactory::LockServer(BOOL) { return S_OK; }

}  // namespace quillon
