#pragma once
// The item properties of a tag as clients receive them: arrays and property
// lists from the COM task allocator, made from the plain data the tag gives.
#include <windows.h>

#include "opc_da.h"
#include "opc_tag.h"

namespace quillon {

// The item-property queries of IOPCItemProperties.
HRESULT QueryAvailableProperties(const TOPCTag& tag, DWORD* count, DWORD** ids, LPWSTR** descriptions,
                                 VARTYPE** types);
HRESULT GetItemProperties(const TOPCTag& tag, DWORD count, const DWORD* ids, VARIANT** values, HRESULT** errors);
HRESULT LookupItemIDs(const TOPCTag& tag, DWORD count, const DWORD* ids, HRESULT** errors, LPWSTR** itemIds);

// One browse element (all properties, or the listed ones) and one property
// list; values are copied only when asked for.
void FillBrowseElement(const TOPCTag& tag, bool allProperties, bool withValues, OPCBROWSEELEMENT& element,
                       DWORD count, const DWORD* ids);
void FillItemProperties(const TOPCTag& tag, bool withValues, DWORD count, OPCITEMPROPERTIES& list,
                        const DWORD* ids);

}  // namespace quillon
