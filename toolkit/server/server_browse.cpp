// IOPCBrowseServerAddressSpace and IOPCBrowse over the address space.
#include <string>

#include "browse_pages.h"
#include "enum_string.h"
#include "guard.h"
#include "mutex_lock.h"
#include "opc_error.h"
#include "opc_tag.h"
#include "property_lists.h"
#include "server.h"
#include "task_mem.h"

namespace quillon {

TOPCTag* TServer::BrowsePosition() {
  TOPCTag* root = module_->Space().Root();
  if (!browsePosition_ || browsePosition_->Removed()) browsePosition_ = root ? root->shared_from_this() : nullptr;
  if (!browsePosition_) RaiseOPC(E_FAIL);
  return browsePosition_.get();
}

STDMETHODIMP TServer::QueryOrganization(OPCNAMESPACETYPE* pNameSpaceType) {
  if (!pNameSpaceType) return E_INVALIDARG;
  *pNameSpaceType = OPC_NS_HIERARCHIAL;
  return S_OK;
}

STDMETHODIMP TServer::ChangeBrowsePosition(OPCBROWSEDIRECTION dwBrowseDirection, LPCWSTR szString) {
  MutexLock lock(module_->Space().Mutex(), kAddressSpaceWaitMs);
  if (!lock.Locked()) return E_FAIL;
  return ComGuard(Log(), L"ChangeBrowsePosition", E_FAIL, [&] {
    TOPCTag* position = BrowsePosition();
    std::wstring text = szString ? szString : L"";
    TOPCTag* target = nullptr;
    switch (dwBrowseDirection) {
      case OPC_BROWSE_UP:
        if (!position->Parent()) return E_FAIL;
        target = position->Parent();
        break;
      case OPC_BROWSE_DOWN:
        target = position->FindByItemId(text);
        if (!target || !target->HasChildren()) return E_INVALIDARG;
        break;
      case OPC_BROWSE_TO:
        if (text.empty()) {
          target = module_->Space().Root();
          break;
        }
        target = module_->Space().Root()->FindByItemId(text);
        if (!target || !target->HasChildren()) return E_INVALIDARG;
        break;
      default: return S_OK;
    }
    browsePosition_ = target->shared_from_this();
    return S_OK;
  });
}

STDMETHODIMP TServer::BrowseOPCItemIDs(OPCBROWSETYPE dwBrowseFilterType, LPCWSTR szFilterCriteria,
                                       VARTYPE vtDataTypeFilter, DWORD dwAccessRightsFilter,
                                       LPENUMSTRING* ppIEnumString) {
  if (!ppIEnumString) return E_INVALIDARG;
  *ppIEnumString = nullptr;
  if (dwBrowseFilterType < OPC_BRANCH || dwBrowseFilterType > OPC_FLAT || dwAccessRightsFilter > 3)
    return E_INVALIDARG;
  return ComGuard(Log(), L"BrowseOPCItemIDs", E_FAIL, [&] {
    std::vector<std::wstring> names;
    BrowsePosition()->ListMatchingChildrenV2(dwBrowseFilterType, szFilterCriteria ? szFilterCriteria : L"",
                                             vtDataTypeFilter, dwAccessRightsFilter, names);
    bool empty = names.empty();
    *ppIEnumString = MakeEnumString(Log(), std::move(names)).Detach();
    return empty ? S_FALSE : S_OK;
  });
}

STDMETHODIMP TServer::GetItemID(LPWSTR szItemDataID, LPWSTR* szItemID) {
  if (!szItemID) return E_INVALIDARG;
  *szItemID = nullptr;
  MutexLock lock(module_->Space().Mutex(), kAddressSpaceWaitMs);
  if (!lock.Locked()) return E_FAIL;
  return ComGuard(Log(), L"GetItemID", E_FAIL, [&] {
    TOPCTag* position = BrowsePosition();
    std::wstring name = szItemDataID ? szItemDataID : L"";
    TOPCTag* node = name.empty() ? position : position->FindByItemId(name);
    // A flat listing at the position hands out the full item IDs of what lies
    // below it: those resolve from the root.
    if (!node && position->Parent() && name.starts_with(position->ItemId() + module_->Host.TagQualifier))
      node = module_->Space().Root()->FindByItemId(name);
    if (!node) RaiseOPC(OPC_E_UNKNOWNITEMID);
    *szItemID = TaskMemString(node->ItemId()).Detach();
    return S_OK;
  });
}

STDMETHODIMP TServer::BrowseAccessPaths(LPCWSTR, LPENUMSTRING* ppIEnumString) {
  if (ppIEnumString) *ppIEnumString = nullptr;
  return E_NOTIMPL;
}

STDMETHODIMP TServer::GetProperties(DWORD dwItemCount, LPWSTR* pszItemIDs, BOOL bReturnPropertyValues,
                                    DWORD dwPropertyCount, DWORD* pdwPropertyIDs,
                                    OPCITEMPROPERTIES** ppItemProperties) {
  if (dwItemCount == 0 || !pszItemIDs || !ppItemProperties) return E_INVALIDARG;
  if (dwPropertyCount && !pdwPropertyIDs) return E_INVALIDARG;
  *ppItemProperties = nullptr;
  MutexLock lock(module_->Space().Mutex(), kAddressSpaceWaitMs);
  if (!lock.Locked()) return E_FAIL;
  return ComGuard(Log(), L"GetProperties", E_FAIL, [&] {
    TaskMem<OPCITEMPROPERTIES> lists(dwItemCount);
    for (DWORD i = 0; i < dwItemCount; ++i) {
      TOPCTag* tag = pszItemIDs[i] && module_->Space().Root() ? module_->Space().Root()->FindByItemId(pszItemIDs[i]) : nullptr;
      if (!tag)
        lists[i].hrErrorID = OPC_E_UNKNOWNITEMID;
      else
        FillItemProperties(*tag, bReturnPropertyValues != FALSE, dwPropertyCount, lists[i], pdwPropertyIDs);
    }
    *ppItemProperties = lists.Detach();
    return S_OK;
  });
}

STDMETHODIMP TServer::Browse(LPWSTR szItemID, LPWSTR* pszContinuationPoint, DWORD dwMaxElementsReturned,
                             OPCBROWSEFILTER dwBrowseFilter, LPWSTR szElementNameFilter, LPWSTR szVendorFilter,
                             BOOL bReturnAllProperties, BOOL bReturnPropertyValues, DWORD dwPropertyCount,
                             DWORD* pdwPropertyIDs, BOOL* pbMoreElements, DWORD* pdwCount,
                             OPCBROWSEELEMENT** ppBrowseElements) {
  if (!pszContinuationPoint || !pbMoreElements || !pdwCount || !ppBrowseElements) return E_INVALIDARG;
  if (dwPropertyCount && !pdwPropertyIDs) return E_INVALIDARG;
  *pdwCount = 0;
  *pbMoreElements = FALSE;
  *ppBrowseElements = nullptr;
  MutexLock lock(module_->Space().Mutex(), kAddressSpaceWaitMs);
  if (!lock.Locked()) return E_FAIL;
  return ComGuard(Log(), L"Browse", E_FAIL, [&] {
    TOPCTag* root = module_->Space().Root();
    if (!root) RaiseOPC(E_FAIL);
    std::wstring itemId = szItemID ? szItemID : L"";
    TOPCTag* node = itemId.empty() ? root : root->FindByItemId(itemId);
    if (!node) RaiseOPC(OPC_E_UNKNOWNITEMID);

    // The children themselves, not their names: siblings may share a name,
    // and a name may hold the qualifier, so looking them up again could miss.
    const std::wstring nameFilter = szElementNameFilter ? szElementNameFilter : L"";
    const std::wstring vendorFilter = szVendorFilter ? szVendorFilter : L"";
    const BrowseFilter listed = [&](TOPCTag& child) {
      return child.MatchesBrowseFilterV3(dwBrowseFilter, nameFilter, vendorFilter);
    };

    std::wstring point;
    if (LPWSTR given = std::exchange(*pszContinuationPoint, nullptr)) {
      point = given;
      CoTaskMemFree(given);
    }
    const BrowsePage page = PageOf(*node, listed, point, dwMaxElementsReturned);
    const size_t count = page.children.size();
    TaskMem<wchar_t> nextPoint;
    if (page.next) nextPoint = TaskMemString(*page.next);
    TaskMem<OPCBROWSEELEMENT> elements(count);
    for (size_t i = 0; i < count; ++i)
      FillBrowseElement(*page.children[i], bReturnAllProperties != FALSE, bReturnPropertyValues != FALSE,
                        elements[i], dwPropertyCount, pdwPropertyIDs);
    *pbMoreElements = nextPoint.Get() ? -1 : FALSE;
    *pszContinuationPoint = nextPoint.Detach();
    *pdwCount = DWORD(count);
    *ppBrowseElements = elements.Detach();
    return S_OK;
  });
}

}  // namespace quillon
