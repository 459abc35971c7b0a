// IOPCGroupStateMgt, IOPCGroupStateMgt2 and IOPCPublicGroupStateMgt.
#include "group.h"
#include "guard.h"
#include "opc_error.h"
#include "percent_deadband.h"
#include "task_mem.h"

namespace quillon {
namespace {

bool IsBlank(std::wstring_view s) {
  for (wchar_t c : s)
    if (c > L' ') return false;
  return true;
}

// The definitions of a clone's items, with the strings they own.
struct Definitions {
  std::vector<OPCITEMDEF> defs;
  ~Definitions() {
    for (auto& d : defs) {
      CoTaskMemFree(d.szAccessPath);
      CoTaskMemFree(d.szItemID);
    }
  }
};

}  // namespace

STDMETHODIMP TGroup::GetState(DWORD* pUpdateRate, BOOL* pActive, LPWSTR* ppName, LONG* pTimeBias,
                              FLOAT* pPercentDeadband, LCID* pLCID, OPCHANDLE* phClientGroup,
                              OPCHANDLE* phServerGroup) {
  if (removed_) return E_FAIL;
  return ComGuard(Log(), L"GetState", E_FAIL, [&] {
    if (!pUpdateRate || !pActive || !ppName || !pTimeBias || !pPercentDeadband || !pLCID || !phClientGroup ||
        !phServerGroup)
      return E_POINTER;
    TaskMem<wchar_t> name = TaskMemString(name_);
    *pUpdateRate = engine_.UpdateRate();
    *pActive = engine_.Active();
    *pTimeBias = timeBias_;
    *pPercentDeadband = percentDeadband_;
    *pLCID = localeId_;
    *phClientGroup = clientHandle_;
    *phServerGroup = handle_;
    *ppName = name.Detach();
    return S_OK;
  });
}

STDMETHODIMP TGroup::SetState(DWORD* pRequestedUpdateRate, DWORD* pRevisedUpdateRate, BOOL* pActive,
                              LONG* pTimeBias, FLOAT* pPercentDeadband, LCID* pLCID, OPCHANDLE* phClientGroup) {
  if (removed_) return E_FAIL;
  return ComGuard(Log(), L"SetState", E_FAIL, [&] {
    HRESULT result = S_OK;
    if (pPercentDeadband) {
      FLOAT d = *pPercentDeadband;
      if (!IsPercentDeadband(d)) return E_INVALIDARG;
      if (d != percentDeadband_) items_.MarkAllPending();
      percentDeadband_ = d;
    }
    if (pTimeBias) timeBias_ = *pTimeBias;
    if (phClientGroup) clientHandle_ = *phClientGroup;
    if (pLCID) localeId_ = *pLCID;
    if (pActive) SetActive(*pActive);
    if (pRequestedUpdateRate) {
      SetUpdateRate(*pRequestedUpdateRate);
      if (engine_.UpdateRate() != *pRequestedUpdateRate) result = OPC_S_UNSUPPORTEDRATE;
    }
    if (pRevisedUpdateRate) *pRevisedUpdateRate = engine_.UpdateRate();
    engine_.ResetTimer();
    return result;
  });
}

STDMETHODIMP TGroup::SetName(LPCWSTR szName) {
  if (removed_) return E_FAIL;
  return ComGuard(Log(), L"SetState", E_FAIL, [&] {
    std::wstring name = szName ? szName : L"";
    if (IsBlank(name)) return E_INVALIDARG;
    if (server_ && !server_->IsGroupNameFree(name)) return OPC_E_DUPLICATENAME;
    name_ = std::move(name);
    return S_OK;
  });
}

STDMETHODIMP TGroup::CloneGroup(LPCWSTR szName, REFIID riid, LPUNKNOWN* ppUnk) {
  if (ppUnk) *ppUnk = nullptr;
  if (removed_ || !server_) return E_FAIL;
  return ComGuard(Log(), L"TGroup.CloneGroup", E_FAIL, [&] {
    if (!ppUnk) return E_INVALIDARG;
    // The server's AddGroup may re-enter this group's server; keep both alive.
    ComPtr<TGroup> self(this);
    ComPtr<IOPCServer> server(server_->ComServer());
    LONG timeBias = timeBias_;
    FLOAT deadband = percentDeadband_;
    OPCHANDLE hServer = 0;
    DWORD revised = 0;
    ComPtr<IUnknown> clone;
    HRESULT result = server->AddGroup(szName, FALSE, engine_.UpdateRate(), clientHandle_, &timeBias, &deadband, localeId_,
                                      &hServer, &revised, riid, clone.Put());
    if (FAILED(result)) return result;
    // A clone that cannot get its items is no clone: it goes again.
    struct Unfinished {
      IOPCServer* server;
      OPCHANDLE handle;
      ~Unfinished() {
        if (server) server->RemoveGroup(handle, TRUE);
      }
    } unfinished{server.Get(), hServer};
    if (!items_.Empty()) {
      ComPtr<IOPCItemMgt> itemMgt;
      HRESULT hr = clone->QueryInterface(IID_IOPCItemMgt, reinterpret_cast<void**>(itemMgt.Put()));
      if (FAILED(hr)) return hr;
      Definitions arrays;
      arrays.defs.reserve(items_.Size());
      items_.ForEach([&](const TOPCItem& item) {
        if (!item.GetDefinition(arrays.defs.emplace_back())) throw std::runtime_error("item definition failed");
      });
      OPCITEMRESULT* results = nullptr;
      HRESULT* errors = nullptr;
      result = itemMgt->AddItems(DWORD(arrays.defs.size()), arrays.defs.data(), &results, &errors);
      auto ownedResults = TaskMem<OPCITEMRESULT>::Adopt(results, arrays.defs.size());
      auto ownedErrors = TaskMem<HRESULT>::Adopt(errors, arrays.defs.size());
      if (FAILED(result)) return result;
    }
    unfinished.server = nullptr;
    *ppUnk = clone.Detach();
    return result;
  });
}

STDMETHODIMP TGroup::SetKeepAlive(DWORD dwKeepAliveTime, DWORD* pdwRevisedKeepAliveTime) {
  return ComGuard(Log(), L"SetKeepAlive", E_FAIL, [&] {
    if (!pdwRevisedKeepAliveTime) return E_POINTER;
    *pdwRevisedKeepAliveTime = engine_.SetKeepAlive(dwKeepAliveTime);
    return *pdwRevisedKeepAliveTime == dwKeepAliveTime ? S_OK : OPC_S_UNSUPPORTEDRATE;
  });
}

STDMETHODIMP TGroup::GetKeepAlive(DWORD* pdwKeepAliveTime) {
  if (!pdwKeepAliveTime) return E_POINTER;
  *pdwKeepAliveTime = engine_.KeepAlive();
  return S_OK;
}

STDMETHODIMP TGroup::GetState(BOOL* pPublic) {
  if (!pPublic) return E_POINTER;
  *pPublic = isPublic_ ? -1 : FALSE;
  return S_OK;
}

STDMETHODIMP TGroup::MoveToPublic() {
  return ComGuard(Log(), L"MoveToPublic", E_FAIL, [&] {
    if (isPublic_) return OPC_E_PUBLIC;
    if (removed_ || !server_) return E_FAIL;
    if (server_->HasPublicGroupNamed(name_)) return OPC_E_DUPLICATENAME;
    server_->MoveGroupToPublic(this);
    isPublic_ = true;
    return S_OK;
  });
}

}  // namespace quillon
