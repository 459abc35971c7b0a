#include "baseline_group.h"

#include <new>

#include "com_ptr.h"
#include "opc_da.h"

namespace bench {
namespace {

// Out-data handed to the caller only once the whole array is filled.
template <class T>
class TaskArray {
 public:
  explicit TaskArray(DWORD count) : p_(static_cast<T*>(CoTaskMemAlloc(count * sizeof(T)))) {}
  TaskArray(const TaskArray&) = delete;
  TaskArray& operator=(const TaskArray&) = delete;
  ~TaskArray() { CoTaskMemFree(p_); }
  explicit operator bool() const { return p_ != nullptr; }
  T& operator[](DWORD i) const { return p_[i]; }
  T* Detach() {
    T* p = p_;
    p_ = nullptr;
    return p;
  }

 private:
  T* p_;
};

class BaselineGroup final : public IOPCItemMgt, public IOPCSyncIO {
 public:
  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (riid == IID_IUnknown || riid == IID_IOPCItemMgt)
      *ppv = static_cast<IOPCItemMgt*>(this);
    else if (riid == IID_IOPCSyncIO)
      *ppv = static_cast<IOPCSyncIO*>(this);
    else
      return E_NOINTERFACE;
    AddRef();
    return S_OK;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return ULONG(InterlockedIncrement(&refs_)); }
  STDMETHODIMP_(ULONG) Release() override {
    LONG n = InterlockedDecrement(&refs_);
    if (n == 0) delete this;
    return ULONG(n);
  }

  STDMETHODIMP AddItems(DWORD count, OPCITEMDEF* defs, OPCITEMRESULT** ppResults, HRESULT** ppErrors) override {
    if (count == 0 || !defs || !ppResults || !ppErrors) return E_INVALIDARG;
    TaskArray<OPCITEMRESULT> results(count);
    TaskArray<HRESULT> errors(count);
    if (!results || !errors) return E_OUTOFMEMORY;
    for (DWORD i = 0; i < count; ++i) {
      results[i] = {i + 1, VT_R8, 0, OPC_READABLE | OPC_WRITEABLE, 0, nullptr};
      errors[i] = S_OK;
    }
    *ppResults = results.Detach();
    *ppErrors = errors.Detach();
    return S_OK;
  }

  STDMETHODIMP Read(OPCDATASOURCE, DWORD count, OPCHANDLE* handles, OPCITEMSTATE** ppValues,
                    HRESULT** ppErrors) override {
    if (count == 0 || !handles || !ppValues || !ppErrors) return E_INVALIDARG;
    TaskArray<OPCITEMSTATE> states(count);
    TaskArray<HRESULT> errors(count);
    if (!states || !errors) return E_OUTOFMEMORY;
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    for (DWORD i = 0; i < count; ++i) {
      OPCITEMSTATE& s = states[i];
      s.hClient = handles[i];
      s.ftTimeStamp = now;
      s.wQuality = OPC_QUALITY_GOOD;
      s.wReserved = 0;
      VariantInit(&s.vDataValue);
      V_VT(&s.vDataValue) = VT_R8;
      V_R8(&s.vDataValue) = double(handles[i]);
      errors[i] = S_OK;
    }
    *ppValues = states.Detach();
    *ppErrors = errors.Detach();
    return S_OK;
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
  STDMETHODIMP Write(DWORD, OPCHANDLE*, VARIANT*, HRESULT**) override { return E_NOTIMPL; }

 private:
  ~BaselineGroup() = default;
  LONG refs_ = 0;
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
