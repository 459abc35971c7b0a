#include "server_list.h"

#include "com_object.h"
#include "guard.h"
#include "guid_enum.h"
#include "opc_server_list.h"
#include "process_reference.h"
#include "registered_classes.h"
#include "task_mem.h"

namespace serverlist {
namespace {

using quillon::ComGuard;
using quillon::ComPtr;
using quillon::TaskMem;
using quillon::TaskMemString;

// An array a count describes must be there, unless the count leaves the list
// out ((ULONG)-1) or it is empty.
bool ListGiven(ULONG count, const CATID* list) { return count == 0 || count == ULONG(-1) || list; }

class TServerList : public quillon::ComObject<IOPCServerList2, IOPCServerList> {
 public:
  explicit TServerList(const quillon::LogSink& log) : log_(log) {}

  STDMETHODIMP EnumClassesOfCategories(ULONG cImplemented, CATID rgcatidImpl[], ULONG cRequired,
                                       CATID rgcatidReq[], IOPCEnumGUID** ppenumClsid) override {
    return Enumerate(L"IOPCServerList2.EnumClassesOfCategories", cImplemented, rgcatidImpl, cRequired, rgcatidReq,
                     ppenumClsid, MakeOpcEnumGuid);
  }

  STDMETHODIMP EnumClassesOfCategories(ULONG cImplemented, CATID rgcatidImpl[], ULONG cRequired,
                                       CATID rgcatidReq[], IEnumGUID** ppenumClsid) override {
    return Enumerate(L"IOPCServerList.EnumClassesOfCategories", cImplemented, rgcatidImpl, cRequired, rgcatidReq,
                     ppenumClsid, MakeEnumGuid);
  }

  STDMETHODIMP GetClassDetails(REFCLSID clsid, LPOLESTR* ppszProgID, LPOLESTR* ppszUserType,
                               LPOLESTR* ppszVerIndProgID) override {
    if (!ppszVerIndProgID) return E_POINTER;
    *ppszVerIndProgID = nullptr;
    return Details(L"IOPCServerList2.GetClassDetails", clsid, ppszProgID, ppszUserType, ppszVerIndProgID);
  }

  STDMETHODIMP GetClassDetails(REFCLSID clsid, LPOLESTR* ppszProgID, LPOLESTR* ppszUserType) override {
    return Details(L"IOPCServerList.GetClassDetails", clsid, ppszProgID, ppszUserType, nullptr);
  }

  STDMETHODIMP CLSIDFromProgID(LPCOLESTR szProgId, LPCLSID clsid) override {
    if (!clsid) return E_POINTER;
    *clsid = CLSID_NULL;
    if (!szProgId) return E_INVALIDARG;
    return ComGuard(log_, L"IOPCServerList.CLSIDFromProgID", E_FAIL,
                    [&]() -> HRESULT { return ::CLSIDFromProgID(szProgId, clsid); });
  }

 private:
  template <class Enum, class Make>
  HRESULT Enumerate(const wchar_t* operation, ULONG cImplemented, const CATID* implemented, ULONG cRequired,
                    const CATID* required, Enum** out, Make make) {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (!ListGiven(cImplemented, implemented) || !ListGiven(cRequired, required)) return E_INVALIDARG;
    return ComGuard(log_, operation, E_FAIL, [&]() -> HRESULT {
      std::vector<CLSID> classes;
      HRESULT hr = ClassesOfCategories(cImplemented, implemented, cRequired, required, classes);
      if (FAILED(hr)) return hr;
      *out = make(log_, std::move(classes)).Detach();
      return S_OK;
    });
  }

  HRESULT Details(const wchar_t* operation, REFCLSID clsid, LPOLESTR* progId, LPOLESTR* userType,
                  LPOLESTR* versionIndependent) {
    if (!progId || !userType) return E_POINTER;
    *progId = *userType = nullptr;
    return ComGuard(log_, operation, E_FAIL, [&]() -> HRESULT {
      ClassNames names;
      HRESULT hr = NamesOfClass(clsid, names);
      if (FAILED(hr)) return hr;
      // Every string is made before any is handed out.
      TaskMem<wchar_t> p = TaskMemString(names.progId), u = TaskMemString(names.userType), v;
      if (versionIndependent) v = TaskMemString(names.versionIndependentProgId);
      *progId = p.Detach();
      *userType = u.Detach();
      if (versionIndependent) *versionIndependent = v.Detach();
      return S_OK;
    });
  }

  const quillon::LogSink& log_;
  ProcessReference process_;
};

}  // namespace

ComPtr<IUnknown> MakeServerList(const quillon::LogSink& log) {
  return ComPtr<IUnknown>(static_cast<IOPCServerList2*>(quillon::MakeCom<TServerList>(log).Get()));
}

}  // namespace serverlist
