// IOPCServerPublicGroups over the process-wide list of public groups.
#include "group.h"
#include "guard.h"
#include "opc_error.h"
#include "server.h"

namespace quillon {

STDMETHODIMP TServer::GetPublicGroupByName(LPCWSTR szName, REFIID riid, LPUNKNOWN* ppUnk) {
  if (ppUnk) *ppUnk = nullptr;
  return ComGuard(Log(), L"GetPublicGroupByName", E_FAIL, [&] {
    if (!szName || !*szName || !ppUnk) return E_INVALIDARG;
    TGroup* group = GetGrp(std::wstring_view(szName), true);
    if (!group) return E_INVALIDARG;
    return group->QueryInterface(riid, reinterpret_cast<void**>(ppUnk));
  });
}

STDMETHODIMP TServer::RemovePublicGroup(OPCHANDLE hServerGroup, BOOL bForce) {
  return ComGuard(Log(), L"RemovePublicGroup", E_FAIL, [&] {
    TGroup* found = GetGrp(hServerGroup, true);
    if (!found) return E_INVALIDARG;
    ComPtr<TGroup> group(found);
    Lock lock(module_->GroupRemovalLock);
    group->SetRemoved();
    // Besides this call's own reference, only the list's is left: nobody holds it.
    if (!bForce && group->References() >= 3) return OPC_S_INUSE;
    module_->PublicGroupList.Remove(group.Get());
    group->Teardown();
    return S_OK;
  });
}

}  // namespace quillon
