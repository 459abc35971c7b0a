// IOPCServer: adding, finding, removing and enumerating groups, status and
// error texts.
#include "bstr.h"
#include "enum_string.h"
#include "enum_unknown.h"
#include "error_texts.h"
#include "group.h"
#include "guard.h"
#include "opc_error.h"
#include "percent_deadband.h"
#include "server.h"
#include "task_mem.h"

namespace quillon {
namespace {

void NotifyGroup(const HostPort& host, TServer* server, const std::wstring& name, LONG action) {
  if (GroupNotifyProc proc = host.Callbacks.groupNotify) proc(server->Handle(), Bstr(name).Detach(), action);
}

}  // namespace

STDMETHODIMP TServer::AddGroup(LPCWSTR szName, BOOL bActive, DWORD dwRequestedUpdateRate, OPCHANDLE hClientGroup,
                               LONG* pTimeBias, FLOAT* pPercentDeadband, DWORD dwLCID, OPCHANDLE* phServerGroup,
                               DWORD* pRevisedUpdateRate, REFIID riid, LPUNKNOWN* ppUnk) {
  if (ppUnk) *ppUnk = nullptr;
  return ComGuard(Log(), L"AddGroup", E_FAIL, [&] {
    if (!ppUnk || !phServerGroup || !pRevisedUpdateRate) return E_INVALIDARG;
    if (pPercentDeadband && !IsPercentDeadband(*pPercentDeadband)) return E_INVALIDARG;
    if (destroyed_) return E_FAIL;
    std::wstring name = szName ? szName : L"";
    if (name.empty())
      name = groups_.NewDefaultName();
    else if (!IsGroupNameFree(name))
      RaiseOPC(OPC_E_DUPLICATENAME);
    LONG timeBias = pTimeBias ? *pTimeBias : module_->DefaultTimeBias;
    FLOAT deadband = pPercentDeadband ? *pPercentDeadband : 0.0f;

    ComPtr<TGroup> group = MakeCom<TGroup>(module_->Groups, this);
    // Torn down unless it reaches the list: a half-made group must not stay
    // behind holding its window and a way back to this server.
    struct Unlisted {
      TGroup* group;
      ~Unlisted() {
        if (group) group->Teardown();
      }
    } unlisted{group.Get()};
    ComPtr<IUnknown> handedOut;
    if (FAILED(group->QueryInterface(riid, reinterpret_cast<void**>(handedOut.Put())))) RaiseOPC(E_NOINTERFACE);
    group->SetName(name);
    group->SetClientHandle(hClientGroup);
    group->SetTimeBias(timeBias);
    group->SetPercentDeadband(deadband);
    group->SetLocale(dwLCID);
    group->SetUpdateRate(dwRequestedUpdateRate);
    group->SetActive(bActive);
    groups_.Add(group.Get());  // the server's own reference
    unlisted.group = nullptr;
    ++status_.dwGroupCount;
    NotifyGroup(module_->Host, this, name, 0);
    *phServerGroup = group->GroupHandle();
    *pRevisedUpdateRate = group->UpdateRate();
    *ppUnk = handedOut.Detach();
    return group->UpdateRate() != dwRequestedUpdateRate ? OPC_S_UNSUPPORTEDRATE : S_OK;
  });
}

STDMETHODIMP TServer::GetErrorString(HRESULT dwError, LCID, LPWSTR* ppString) {
  return static_cast<IOPCCommon*>(this)->GetErrorString(dwError, ppString);
}

STDMETHODIMP TServer::GetGroupByName(LPCWSTR szName, REFIID riid, LPUNKNOWN* ppUnk) {
  if (!ppUnk) return E_INVALIDARG;
  *ppUnk = nullptr;
  if (!szName) return E_INVALIDARG;
  TGroup* group = GetGrp(std::wstring_view(szName), false);
  if (!group) return E_INVALIDARG;
  return group->QueryInterface(riid, reinterpret_cast<void**>(ppUnk));
}

STDMETHODIMP TServer::GetStatus(OPCSERVERSTATUS** ppServerStatus) {
  if (!ppServerStatus) return E_INVALIDARG;
  *ppServerStatus = nullptr;
  return ComGuard(Log(), L"GetStatus", E_FAIL, [&] {
    TaskMem<OPCSERVERSTATUS> status(1);
    *status.Get() = status_;
    GetSystemTimeAsFileTime(&status[0].ftCurrentTime);
    status[0].szVendorInfo = TaskMemString(module_->Host.VendorInfo).Detach();
    *ppServerStatus = status.Detach();
    return S_OK;
  });
}

STDMETHODIMP TServer::RemoveGroup(OPCHANDLE hServerGroup, BOOL bForce) {
  return ComGuard(Log(), L"RemoveGroup", E_FAIL, [&] {
    TGroup* found = GetGrp(hServerGroup, false);
    if (!found) RaiseOPC(E_INVALIDARG);
    ComPtr<TGroup> group(found);
    NotifyGroup(module_->Host, this, group->Name(), 1);
    Lock lock(module_->GroupRemovalLock);
    group->SetRemoved();
    // The server's reference goes now; the client's, if it holds one, keeps
    // the object alive answering E_FAIL until it lets go.
    bool inUse = !bForce && group->References() > 2;
    if (inUse) {
      DeleteGroup(group.Get());
      // Out of the list, the group would keep a pointer this object no
      // longer clears when it goes.
      group->DetachFromServer();
      return OPC_S_INUSE;
    }
    group->Teardown();
    return S_OK;
  });
}

STDMETHODIMP TServer::CreateGroupEnumerator(OPCENUMSCOPE dwScope, REFIID riid, LPUNKNOWN* ppUnk) {
  if (ppUnk) *ppUnk = nullptr;
  return ComGuard(Log(), L"CreateGroupEnumerator", E_FAIL, [&] {
    if (dwScope < OPC_ENUM_PRIVATE_CONNECTIONS || dwScope > OPC_ENUM_ALL) return E_INVALIDARG;
    if (riid != IID_IEnumString && riid != IID_IEnumUnknown) return E_NOINTERFACE;
    if (!ppUnk) return E_INVALIDARG;
    std::vector<std::wstring> names;
    std::vector<ComPtr<IUnknown>> units;
    auto collect = [&](TGroup* g) {
      names.push_back(g->Name());
      units.emplace_back(static_cast<IOPCItemMgt*>(g));
    };
    bool privates = dwScope == OPC_ENUM_PRIVATE_CONNECTIONS || dwScope == OPC_ENUM_ALL_CONNECTIONS ||
                    dwScope == OPC_ENUM_PRIVATE || dwScope == OPC_ENUM_ALL;
    bool publics = dwScope == OPC_ENUM_PUBLIC_CONNECTIONS || dwScope == OPC_ENUM_ALL_CONNECTIONS ||
                   dwScope == OPC_ENUM_PUBLIC || dwScope == OPC_ENUM_ALL;
    if (privates)
      for (auto& g : groups_.Groups()) collect(g.Get());
    if (publics)
      for (auto& g : module_->PublicGroupList.Groups()) collect(g.Get());
    bool empty = names.empty();
    if (riid == IID_IEnumString)
      *ppUnk = MakeEnumString(Log(), std::move(names)).Detach();
    else
      *ppUnk = MakeEnumUnknown(Log(), std::move(units)).Detach();
    return empty ? S_FALSE : S_OK;
  });
}

}  // namespace quillon
