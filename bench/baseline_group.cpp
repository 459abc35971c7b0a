#include "baseline_group.h"

#include <new>

#include "com_object.h"
#include "opc_da.h"
#include "task_mem.h"

namespace bench {
namespace {

using quillon::TaskMem;

class BaselineGroup final : public quillon::ComObject<IOPCItemMgt, IOPCSyncIO> {
 public:
  STDMETHODIMP AddItems(DWORD count, OPCITEMDEF* defs, OPCITEMRESULT** ppResults, HRESULT** ppErrors) override {
    if (count == 0 || !defs || !ppResults || !ppErrors) return E_INVALIDARG;
    try {
      TaskMem<OPCITEMRESULT> results(count);
      TaskMem<HRESULT> errors(count);
      for (DWORD i = 0; i < count; ++i) {
        results[i] = {i + 1, VT_R8, 0, OPC_READABLE | OPC_WRITEABLE, 0, nullptr};
        errors[i] = S_OK;
      }
      *ppResults = results.Detach();
      *ppErrors = errors.Detach();
      return S_OK;
    } catch (const std::bad_alloc&) {
      return E_OUTOFMEMORY;
    }
  }

  STDMETHODIMP Read(OPCDATASOURCE, DWORD count, OPCHANDLE* handles, OPCITEMSTATE** ppValues,
                    HRESULT** ppErrors) override {
    if (count == 0 || !handles || !ppValues || !ppErrors) return E_INVALIDARG;
    try {
      TaskMem<OPCITEMSTATE> states(count);
      TaskMem<HRESULT> errors(count);
      FILETIME now;
      GetSystemTimeAsFileTime(&now);
      for (DWORD i = 0; i < count; ++i) {
        OPCITEMSTATE& s = states[i];
        s.hClient = handles[i];
        s.ftTimeStamp = now;
        s.wQuality = OPC_QUALITY_GOOD;
        V_VT(&s.vDataValue) = VT_R8;
        V_R8(&s.vDataValue) = double(handles[i]);
        errors[i] = S_OK;
      }
      *ppValues = states.Detach();
      *ppErrors = errors.Detach();
      return S_OK;
    } catch (const std::bad_alloc&) {
      return E_OUTOFMEMORY;
    }
  }

  // Nothing else is measured against the reference.
  STDMETHODIMP ValidateItems(DWORD, OPCITEMDEF*, BOOL, OPCITEMRESULT**, HRESULT**) override { return E_NOTIMPL; }
  STDMETHODIMP RemoveItems(DWORD, OPCHANDLE*, HRESULT**) override { return E_NOTIMPL; }
  STDMETHODIMP SetActiveState(DWORD, OPCHANDLE*, BOOL, HRESULT**) override { return E_NOTIMPL; }
  STDMETHODIMP SetClientHandles(DWORD, OPCHANDLE*, OPCHANDLE*, HRESULT**) override { return E_NOTIMPL; }
  STDMETHODIMP SetDatatypes(DWORD, OPCHANDLE*, VARTYPE*, HRESULT**) override { return E_NOTIMPL; }
  STDMETHODIMP CreateEnumerator(REFIID, LPUNKNOWN* ppUnk) override {
    if (ppUnk) *ppUnk = nullptr;
    return E_NOTIMPL;
  }
  STDMETHODIMP Write(DWORD count, OPCHANDLE* handles, VARIANT* values, HRESULT** ppErrors) override {
    if (count == 0 || !handles || !values || !ppErrors) return E_INVALIDARG;
    try {
      TaskMem<HRESULT> errors(count);
      for (DWORD i = 0; i < count; ++i) errors[i] = V_VT(&values[i]) == VT_R8 ? S_OK : DISP_E_TYPEMISMATCH;
      *ppErrors = errors.Detach();
      return S_OK;
    } catch (const std::bad_alloc&) {
      return E_OUTOFMEMORY;
    }
  }

 private:
  ~BaselineGroup() override = default;
};

// Lives as long as the process: its references count nothing.
class BaselineFactory final : public IClassFactory {
 public:
  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (riid != IID_IUnknown && riid != IID_IClassFactory) return E_NOINTERFACE;
    *ppv = static_cast<IClassFactory*>(this);
    return S_OK;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return 2; }
  STDMETHODIMP_(ULONG) Release() override { return 1; }
  STDMETHODIMP CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    auto* group = new (std::nothrow) BaselineGroup;
    if (!group) return E_OUTOFMEMORY;
    // The new object's count is 0 (ComObject): this takes the first reference.
    quillon::ComPtr<IOPCItemMgt> held(group);
    return held->QueryInterface(riid, ppv);
  }
  STDMETHODIMP LockServer(BOOL) override { return S_OK; }
};

BaselineFactory factory;

}  // namespace

HRESULT RegisterBaselineClass(const CLSID& clsid, DWORD* cookie) {
  return CoRegisterClassObject(clsid, &factory, CLSCTX_LOCAL_SERVER, REGCLS_MULTIPLEUSE, cookie);
}

}  // namespace bench
