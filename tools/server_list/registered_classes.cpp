#include "registered_classes.h"

#include <algorithm>

#include "com_ptr.h"
#include "reg_key.h"

namespace serverlist {
namespace {

using quillon::ComPtr;
using quillon::RegKey;

// The default value of Key\Subkey, empty when there is none or it is no text.
std::wstring DefaultText(HKEY key, const wchar_t* subkey) {
  DWORD bytes = 0;
  if (RegGetValueW(key, subkey, nullptr, RRF_RT_REG_SZ, nullptr, nullptr, &bytes) != ERROR_SUCCESS) return {};
  std::wstring text(bytes / sizeof(wchar_t) + 1, L'\0');
  bytes = DWORD(text.size() * sizeof(wchar_t));
  if (RegGetValueW(key, subkey, nullptr, RRF_RT_REG_SZ, nullptr, text.data(), &bytes) != ERROR_SUCCESS) return {};
  text.resize(wcsnlen(text.c_str(), text.size()));
  return text;
}

}  // namespace

HRESULT ClassesOfCategories(ULONG implementedCount, const CATID* implemented, ULONG requiredCount,
                            const CATID* required, std::vector<CLSID>& classes) {
  classes.clear();
  ComPtr<ICatInformation> categories;
  HRESULT hr = CoCreateInstance(CLSID_StdComponentCategoriesMgr, nullptr, CLSCTX_INPROC_SERVER, IID_ICatInformation,
                                categories.PutVoid());
  if (FAILED(hr)) return hr;
  // A class of any one of the implemented categories is listed. Some
  // managers list only the classes of all of them when given several, so
  // they are asked one category at a time.
  const ULONG asks = implementedCount == ULONG(-1) ? 1 : implementedCount;
  for (ULONG i = 0; i < asks; ++i) {
    ComPtr<IEnumCLSID> found;
    hr = categories->EnumClassesOfCategories(implementedCount == ULONG(-1) ? ULONG(-1) : 1,
                                             implementedCount == ULONG(-1) ? nullptr : const_cast<CATID*>(implemented + i),
                                             requiredCount, const_cast<CATID*>(required), found.Put());
    if (FAILED(hr)) return hr;
    CLSID batch[64];
    ULONG fetched = 0;
    while (found && SUCCEEDED(found->Next(ULONG(std::size(batch)), batch, &fetched)) && fetched > 0) {
      for (ULONG k = 0; k < fetched && k < std::size(batch); ++k)
        if (std::find(classes.begin(), classes.end(), batch[k]) == classes.end()) classes.push_back(batch[k]);
      if (fetched < std::size(batch)) break;
    }
  }
  return S_OK;
}

HRESULT NamesOfClass(const CLSID& clsid, ClassNames& names) {
  names = {};
  wchar_t text[40] = {};
  StringFromGUID2(clsid, text, 40);
  RegKey key;
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, (std::wstring(L"CLSID\\") + text).c_str(), 0, KEY_READ, key.Put()) !=
      ERROR_SUCCESS)
    return REGDB_E_CLASSNOTREG;
  names.userType = DefaultText(key.Get(), nullptr);
  names.progId = DefaultText(key.Get(), L"ProgID");
  names.versionIndependentProgId = DefaultText(key.Get(), L"VersionIndependentProgID");
  return S_OK;
}

}  // namespace serverlist
