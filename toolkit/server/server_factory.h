#pragma once
// The class object of the server class: every CreateInstance makes a new
// server object. Registered with COM as a multiple-use local server.
#include <objbase.h>

#include <memory>

#include "com_object.h"
#include "module_state.h"

namespace quillon {

class TServerFactory : public ComObject<IClassFactory> {
 public:
  // Registers a new class object for Clsid, making server objects of Module;
  // throws on failure.
  static ComPtr<TServerFactory> Register(const CLSID& clsid, std::shared_ptr<ModuleState> module);
  // Revokes the registration and the kept stub; COM releases its references.
  void Revoke();

  STDMETHODIMP CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override;
  STDMETHODIMP LockServer(BOOL lock) override;

 protected:
  ~TServerFactory() override = default;

 private:
  explicit TServerFactory(std::shared_ptr<ModuleState> module) : module_(std::move(module)) {}
  void KeepStub();
  const LogSink& Log() const { return module_->Host; }

  const std::shared_ptr<ModuleState> module_;
  DWORD cookie_ = 0;
  // A table-strong reference on this object's own stub, kept while registered.
  ComPtr<IStream> keptStub_;
};

}  // namespace quillon
