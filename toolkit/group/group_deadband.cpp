// IOPCItemDeadbandMgt: a deadband of an item's own, which the change test
// uses instead of the group's while it is set.
#include "group.h"
#include "percent_deadband.h"

namespace quillon {

STDMETHODIMP TGroup::SetItemDeadband(DWORD dwCount, OPCHANDLE* phServer, FLOAT* pPercentDeadband,
                                     HRESULT** ppErrors) {
  if (removed_) return E_FAIL;
  if (dwCount == 0 || !phServer || !pPercentDeadband || !ppErrors) return E_INVALIDARG;
  // One deadband out of range refuses the whole call before any item changes.
  for (DWORD i = 0; i < dwCount; ++i)
    if (!IsPercentDeadband(pPercentDeadband[i])) return E_INVALIDARG;
  return ForEachHandle(L"", dwCount, phServer, ppErrors, [&](DWORD i, TOPCItem& item) {
    item.SetDeadband(pPercentDeadband[i]);
    return S_OK;
  });
}

STDMETHODIMP TGroup::GetItemDeadband(DWORD dwCount, OPCHANDLE* phServer, FLOAT** ppPercentDeadband,
                                     HRESULT** ppErrors) {
  if (removed_) return E_FAIL;
  if (dwCount == 0 || !ppPercentDeadband) return E_INVALIDARG;
  return ComGuard(Log(), L"TGroup.GetItemDeadband", E_FAIL, [&] {
    TaskMem<FLOAT> deadbands(dwCount);
    HRESULT hr = ForEachHandle(L"TGroup.GetItemDeadband", dwCount, phServer, ppErrors, [&](DWORD i, TOPCItem& item) {
      deadbands[i] = FLOAT(item.Deadband());
      return S_OK;
    });
    if (SUCCEEDED(hr)) *ppPercentDeadband = deadbands.Detach();
    return hr;
  });
}

STDMETHODIMP TGroup::ClearItemDeadband(DWORD dwCount, OPCHANDLE* phServer, HRESULT** ppErrors) {
  return ForEachHandle(L"TGroup.ClearItemDeadband", dwCount, phServer, ppErrors, [&](DWORD, TOPCItem& item) {
    item.ClearDeadband();
    return S_OK;
  });
}

}  // namespace quillon
