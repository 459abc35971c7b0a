#pragma once
// The class object of the server class: every CreateInstance makes a new
// server object. Registered with COM as a multiple-use local server.
#include <objbase.h>

#include "../api/com_object.h"

namespace quillon {

class TServerFactory : public ComObject<IClassFactory> {
 public:
  // Registers a new class object for Clsid; throws on failure.
  static ComPtr<TServerFactory> Register(const CLSID& clsid);
  // Revokes the registration; COM releases its references.
  void Revoke();

  STDMETHODIMP CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override;
  STDMETHODIMP LockServer(BOOL lock) override;

 protected:
  ~TServerFactory() override = default;

 private:
  DWORD cookie_ = 0;
};

}  // namespace quillon
