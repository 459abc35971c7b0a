// IOPCItemProperties and IOPCItemIO: properties, reads and writes by item ID,
// without a group.
#include "guard.h"
#include "mutex_lock.h"
#include "opc_error.h"
#include "opc_tag.h"
#include "property_lists.h"
#include "server.h"
#include "task_mem.h"

namespace quillon {
namespace {

TOPCTag* FindTag(const AddressSpace& space, LPCWSTR itemId) {
  return itemId && *itemId ? space.Find(itemId) : nullptr;
}

// The frame of the three property methods: the item ID is checked, the
// address space held, and the operation on the tag answers.
template <class Operation>
HRESULT WithTag(const ModuleState& module, const wchar_t* name, LPWSTR szItemID, Operation operation) {
  if (!szItemID || !*szItemID) return OPC_E_INVALIDITEMID;
  MutexLock lock(module.Space().Mutex(), kAddressSpaceWaitMs);
  if (!lock.Locked()) return E_FAIL;
  return ComGuard(module.Host, name, E_FAIL, [&] {
    TOPCTag* tag = FindTag(module.Space(), szItemID);
    if (!tag) return OPC_E_UNKNOWNITEMID;
    return operation(*tag);
  });
}

}  // namespace

STDMETHODIMP TServer::QueryAvailableProperties(LPWSTR szItemID, DWORD* pdwCount, DWORD** ppPropertyIDs,
                                               LPWSTR** ppDescriptions, VARTYPE** ppvtDataTypes) {
  if (!pdwCount || !ppPropertyIDs || !ppDescriptions || !ppvtDataTypes) return E_INVALIDARG;
  return WithTag(*module_, L"QueryAvailableProperties", szItemID, [&](TOPCTag& tag) {
    return quillon::QueryAvailableProperties(tag, pdwCount, ppPropertyIDs, ppDescriptions, ppvtDataTypes);
  });
}

STDMETHODIMP TServer::GetItemProperties(LPWSTR szItemID, DWORD dwCount, DWORD* pdwPropertyIDs, VARIANT** ppvData,
                                        HRESULT** ppErrors) {
  if (dwCount == 0 || !pdwPropertyIDs || !ppvData || !ppErrors) return E_INVALIDARG;
  return WithTag(*module_, L"GetItemProperties", szItemID, [&](TOPCTag& tag) {
    return quillon::GetItemProperties(tag, dwCount, pdwPropertyIDs, ppvData, ppErrors);
  });
}

STDMETHODIMP TServer::LookupItemIDs(LPWSTR szItemID, DWORD dwCount, DWORD* pdwPropertyIDs, LPWSTR** ppszNewItemIDs,
                                    HRESULT** ppErrors) {
  if (dwCount == 0 || !pdwPropertyIDs || !ppszNewItemIDs || !ppErrors) return E_INVALIDARG;
  return WithTag(*module_, L"LookupItemIDs", szItemID, [&](TOPCTag& tag) {
    return quillon::LookupItemIDs(tag, dwCount, pdwPropertyIDs, ppErrors, ppszNewItemIDs);
  });
}

STDMETHODIMP TServer::Read(DWORD dwCount, LPCWSTR* pszItemIDs, DWORD* pdwMaxAge, VARIANT** ppvValues,
                           WORD** ppwQualities, FILETIME** ppftTimeStamps, HRESULT** ppErrors) {
  if (dwCount == 0 || !pszItemIDs || !pdwMaxAge || !ppvValues || !ppwQualities || !ppftTimeStamps || !ppErrors)
    return E_INVALIDARG;
  MutexLock lock(module_->Space().Mutex(), kAddressSpaceWaitMs);
  if (!lock.Locked()) return E_FAIL;
  return ComGuard(Log(), L"TServer.Read", E_FAIL, [&] {
    HRESULT result = S_OK;
    // Zero-filled: a failed item's entries carry no stale memory.
    TaskMem<VARIANT> values(dwCount);
    TaskMem<WORD> qualities(dwCount);
    TaskMem<FILETIME> stamps(dwCount);
    TaskMem<HRESULT> errors(dwCount);
    for (DWORD i = 0; i < dwCount; ++i) {
      TOPCTag* tag = FindTag(module_->Space(), pszItemIDs[i]);
      if (!pszItemIDs[i] || !*pszItemIDs[i])
        errors[i] = OPC_E_INVALIDITEMID;
      else if (!tag)
        errors[i] = OPC_E_UNKNOWNITEMID;
      else if (!(tag->AccessRights() & OPC_READABLE))
        errors[i] = OPC_E_BADRIGHTS;
      else
        errors[i] = tag->MaxAgeRead(pdwMaxAge[i]);
      if (SUCCEEDED(errors[i]) && tag && !tag->Removed()) {
        HRESULT hr = VariantCopy(&values[i], const_cast<VARIANT*>(&tag->Value()));
        if (FAILED(hr)) {
          errors[i] = hr;
        } else {
          qualities[i] = tag->Quality();
          stamps[i] = tag->TimeStamp();
          errors[i] = S_OK;
        }
      } else if (SUCCEEDED(errors[i])) {
        errors[i] = OPC_E_UNKNOWNITEMID;  // the host removed it while reading
      }
      if (errors[i] != S_OK) result = S_FALSE;
    }
    *ppvValues = values.Detach();
    *ppwQualities = qualities.Detach();
    *ppftTimeStamps = stamps.Detach();
    *ppErrors = errors.Detach();
    return result;
  });
}

STDMETHODIMP TServer::WriteVQT(DWORD dwCount, LPCWSTR* pszItemIDs, OPCITEMVQT* pItemVQT, HRESULT** ppErrors) {
  if (dwCount == 0 || !pszItemIDs || !pItemVQT || !ppErrors) return E_INVALIDARG;
  MutexLock lock(module_->Space().Mutex(), kAddressSpaceWaitMs);
  if (!lock.Locked()) return E_FAIL;
  return ComGuard(Log(), L"TServer.WriteVQT", E_FAIL, [&] {
    HRESULT result = S_OK;
    TaskMem<HRESULT> errors(dwCount);
    for (DWORD i = 0; i < dwCount; ++i) {
      TOPCTag* tag = FindTag(module_->Space(), pszItemIDs[i]);
      HRESULT hr;
      if (!pszItemIDs[i] || !*pszItemIDs[i])
        hr = OPC_E_INVALIDITEMID;
      else if (!tag)
        hr = OPC_E_UNKNOWNITEMID;
      else if (tag->CheckAccess(OPC_WRITEABLE) != S_OK)
        hr = OPC_E_BADRIGHTS;
      else if ((hr = tag->ValidateWriteValue(pItemVQT[i].vDataValue)) == S_OK)
        hr = tag->DeviceWrite(pItemVQT[i].vDataValue);
      errors[i] = hr;
      if (hr != S_OK) result = S_FALSE;
    }
    *ppErrors = errors.Detach();
    return result;
  });
}

}  // namespace quillon
