// IOPCCommon: locale, client name and error texts.
#include "error_texts.h"
#include "guard.h"
#include "server.h"
#include "task_mem.h"

namespace quillon {

STDMETHODIMP TServer::SetLocaleID(LCID dwLcid) {
  if (dwLcid != 0 && dwLcid != LOCALE_USER_DEFAULT && dwLcid != LOCALE_SYSTEM_DEFAULT) return E_INVALIDARG;
  localeId_ = dwLcid;
  return S_OK;
}

STDMETHODIMP TServer::GetLocaleID(LCID* pdwLcid) {
  if (!pdwLcid) return E_INVALIDARG;
  *pdwLcid = localeId_;
  return S_OK;
}

STDMETHODIMP TServer::QueryAvailableLocaleIDs(DWORD* pdwCount, LCID** pdwLcid) {
  if (!pdwCount || !pdwLcid || *pdwLcid) return E_INVALIDARG;
  LCID* ids = static_cast<LCID*>(CoTaskMemAlloc(2 * sizeof(LCID)));
  if (!ids) return E_FAIL;
  ids[0] = LOCALE_SYSTEM_DEFAULT;
  ids[1] = LOCALE_USER_DEFAULT;
  *pdwCount = 2;
  *pdwLcid = ids;
  return S_OK;
}

STDMETHODIMP TServer::GetErrorString(HRESULT dwError, LPWSTR* ppString) {
  if (!ppString) return E_INVALIDARG;
  *ppString = nullptr;
  return ComGuard(Log(), L"GetErrorString", E_FAIL, [&] {
    std::wstring text = ErrorText(dwError);
    if (text.empty()) return E_INVALIDARG;
    *ppString = TaskMemString(text).Detach();
    return S_OK;
  });
}

STDMETHODIMP TServer::SetClientName(LPCWSTR szName) {
  return ComGuard(Log(), L"SetClientName", E_FAIL, [&] {
    clientName_ = szName ? szName : L"";
    return S_OK;
  });
}

}  // namespace quillon
