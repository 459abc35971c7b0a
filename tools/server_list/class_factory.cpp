#include "class_factory.h"

#include "com_object.h"
#include "guard.h"
#include "process_reference.h"
#include "server_list.h"

namespace serverlist {
namespace {

class TServerListFactory : public quillon::ComObject<IClassFactory> {
 public:
  explicit TServerListFactory(const quillon::LogSink& log) : log_(log) {}

  STDMETHODIMP CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    return quillon::ComGuard(log_, L"ServerList.CreateInstance", E_FAIL,
                             [&]() -> HRESULT { return MakeServerList(log_)->QueryInterface(riid, ppv); });
  }

  STDMETHODIMP LockServer(BOOL lock) override {
    if (lock)
      HoldProcess();
    else
      ReleaseProcess();
    return S_OK;
  }

 private:
  const quillon::LogSink& log_;
};

}  // namespace

quillon::ComPtr<IClassFactory> MakeServerListFactory(const quillon::LogSink& log) {
  return quillon::ComPtr<IClassFactory>(quillon::MakeCom<TServerListFactory>(log).Get());
}

}  // namespace serverlist
