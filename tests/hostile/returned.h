#pragma once
// Owners of the callee-allocated results that opc_client.h has no owner for,
// freed as a real client must free them, whatever the call answered.
#include <windows.h>
#include <oleauto.h>

#include <type_traits>

#include "opc_da.h"

namespace hostile {

inline void FreeVariant(VARIANT& v) { VariantClear(&v); }
inline void FreeString(LPWSTR& s) { CoTaskMemFree(s); }
inline void FreeState(OPCITEMSTATE& s) { VariantClear(&s.vDataValue); }
inline void FreeProperties(OPCITEMPROPERTIES& p) {
  for (DWORD i = 0; p.pItemProperties && i < p.dwNumProperties; ++i) {
    CoTaskMemFree(p.pItemProperties[i].szItemID);
    CoTaskMemFree(p.pItemProperties[i].szDescription);
    VariantClear(&p.pItemProperties[i].vValue);
  }
  CoTaskMemFree(p.pItemProperties);
}
inline void FreeElement(OPCBROWSEELEMENT& e) {
  CoTaskMemFree(e.szName);
  CoTaskMemFree(e.szItemID);
  FreeProperties(e.ItemProperties);
}

// An [out, size_is(,n)] array; N is the count the marshaller sized it by.
template <class T, auto Free = nullptr>
struct OutArray {
  T* p = nullptr;
  DWORD n = 0;
  OutArray() = default;
  explicit OutArray(DWORD count) : n(count) {}
  OutArray(const OutArray&) = delete;
  OutArray& operator=(const OutArray&) = delete;
  ~OutArray() {
    if constexpr (!std::is_null_pointer_v<decltype(Free)>)
      for (DWORD i = 0; p && i < n; ++i) Free(p[i]);
    CoTaskMemFree(p);
  }
};

using Variants = OutArray<VARIANT, FreeVariant>;
using Strings = OutArray<LPWSTR, FreeString>;
using States = OutArray<OPCITEMSTATE, FreeState>;
using PropertiesArray = OutArray<OPCITEMPROPERTIES, FreeProperties>;
using Elements = OutArray<OPCBROWSEELEMENT, FreeElement>;

struct Status {
  OPCSERVERSTATUS* p = nullptr;
  Status() = default;
  Status(const Status&) = delete;
  Status& operator=(const Status&) = delete;
  ~Status() {
    if (p) CoTaskMemFree(p->szVendorInfo);
    CoTaskMemFree(p);
  }
};

// A STGMEDIUM the server filled, or nothing.
struct Medium {
  STGMEDIUM m{};
  Medium() = default;
  Medium(const Medium&) = delete;
  Medium& operator=(const Medium&) = delete;
  ~Medium() {
    if (m.tymed != TYMED_NULL) ReleaseStgMedium(&m);
  }
};

}  // namespace hostile
