#include "property_lists.h"

#include "guard.h"
#include "opc_error.h"
#include "task_mem.h"

namespace quillon {
namespace {

// One code per requested ID into Errors: OPC_E_INVALID_PID for an ID the tag
// lacks, else S_OK once Fill(i, index of the property) has run; S_FALSE when
// any ID was unknown.
template <class Fill>
HRESULT ForEachPropertyId(const TOPCTag& tag, DWORD count, const DWORD* ids, TaskMem<HRESULT>& errors, Fill fill) {
  HRESULT result = S_OK;
  for (DWORD i = 0; i < count; ++i) {
    int index = tag.IndexOfPropertyId(ids[i]);
    if (index < 0) {
      errors[i] = OPC_E_INVALID_PID;
      result = S_FALSE;
    } else {
      fill(i, index);
      errors[i] = S_OK;
    }
  }
  return result;
}

}  // namespace

HRESULT QueryAvailableProperties(const TOPCTag& tag, DWORD* count, DWORD** ids, LPWSTR** descriptions,
                                 VARTYPE** types) {
  return ComGuard(tag.Context().host, L"TOPCTag.QueryAvailableProperties", E_FAIL, [&] {
    const int n = tag.PropertyCount();
    TaskMem<DWORD> idArray(static_cast<size_t>(n));
    TaskMem<LPWSTR> textArray(static_cast<size_t>(n));
    TaskMem<VARTYPE> typeArray(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) {
      idArray[size_t(i)] = tag.PropertyIdAt(i);
      textArray[size_t(i)] = TaskMemString(tag.PropertyDescriptionAt(i)).Detach();
      typeArray[size_t(i)] = tag.PropertyTypeAt(i);
    }
    *count = DWORD(n);
    *ids = idArray.Detach();
    *descriptions = textArray.Detach();
    *types = typeArray.Detach();
    return S_OK;
  });
}

HRESULT GetItemProperties(const TOPCTag& tag, DWORD count, const DWORD* ids, VARIANT** values, HRESULT** errors) {
  return ComGuard(tag.Context().host, L"TOPCTag.GetItemProperties", E_FAIL, [&] {
    TaskMem<VARIANT> valueArray(count);  // zero-filled: every entry VT_EMPTY
    TaskMem<HRESULT> errorArray(count);
    HRESULT result = ForEachPropertyId(tag, count, ids, errorArray,
                                       [&](DWORD i, int index) { tag.PropertyValueAt(index, valueArray[i]); });
    *values = valueArray.Detach();
    *errors = errorArray.Detach();
    return result;
  });
}

HRESULT LookupItemIDs(const TOPCTag& tag, DWORD count, const DWORD* ids, HRESULT** errors, LPWSTR** itemIds) {
  return ComGuard(tag.Context().host, L"TOPCTag.LookupItemIDs", E_FAIL, [&] {
    TaskMem<HRESULT> errorArray(count);
    TaskMem<LPWSTR> idArray(count);
    HRESULT result = ForEachPropertyId(tag, count, ids, errorArray, [&](DWORD i, int index) {
      idArray[i] = TaskMemString(tag.PropertyItemId(index)).Detach();
    });
    *errors = errorArray.Detach();
    *itemIds = idArray.Detach();
    return result;
  });
}

namespace {

// One OPCITEMPROPERTY for the property at Index of Tag.
void FillProperty(const TOPCTag& tag, int index, bool withValue, OPCITEMPROPERTY& p) {
  p.vtDataType = tag.PropertyTypeAt(index);
  p.dwPropertyID = tag.PropertyIdAt(index);
  p.szItemID = TaskMemString(tag.PropertyItemId(index)).Detach();
  p.szDescription = TaskMemString(tag.PropertyDescriptionAt(index)).Detach();
  if (withValue) tag.PropertyValueAt(index, p.vValue);
  p.hrErrorID = S_OK;
}

// Fills List with one entry per requested ID (Ids), or with every property
// when Ids is null; an array of 40-byte entries, zero-filled.
void FillList(const TOPCTag& tag, bool withValues, DWORD count, const DWORD* ids, OPCITEMPROPERTIES& list) {
  list.dwNumProperties = count;
  list.hrErrorID = S_OK;
  if (count == 0) return;
  TaskMem<OPCITEMPROPERTY> entries(count);
  for (DWORD i = 0; i < count; ++i) {
    int index = ids ? tag.IndexOfPropertyId(ids[i]) : int(i);
    if (index < 0) {
      entries[i].hrErrorID = OPC_E_INVALID_PID;
      list.hrErrorID = S_FALSE;
    } else {
      FillProperty(tag, index, withValues, entries[i]);
    }
  }
  list.pItemProperties = entries.Detach();
}

}  // namespace

void FillBrowseElement(const TOPCTag& tag, bool allProperties, bool withValues, OPCBROWSEELEMENT& element,
                       DWORD count, const DWORD* ids) {
  element.szName = TaskMemString(tag.Name()).Detach();
  element.szItemID = TaskMemString(tag.ItemId()).Detach();
  element.dwFlagValue = tag.HasChildren() ? OPC_BROWSE_HASCHILDREN : OPC_BROWSE_ISITEM;
  if (allProperties)
    FillList(tag, withValues, DWORD(tag.PropertyCount()), nullptr, element.ItemProperties);
  else
    FillList(tag, withValues, count, ids, element.ItemProperties);
}

void FillItemProperties(const TOPCTag& tag, bool withValues, DWORD count, OPCITEMPROPERTIES& list,
                        const DWORD* ids) {
  FillList(tag, withValues, count, ids, list);
}

}  // namespace quillon
