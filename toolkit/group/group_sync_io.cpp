// IOPCSyncIO and IOPCSyncIO2, and the per-item read and write steps that the
// asynchronous and stream paths share.
#include "group.h"
#include "guard.h"
#include "opc_error.h"
#include "task_mem.h"

namespace quillon {
namespace {

// A failed conversion to the client's type, as the item's code.
HRESULT ConversionCode(HRESULT hr) {
  switch (hr) {
    case DISP_E_OVERFLOW:
    case DISP_E_TYPEMISMATCH: return hr;
    case E_OUTOFMEMORY: throw std::bad_alloc();
    default: return OPC_E_BADTYPE;
  }
}

}  // namespace

HRESULT TGroup::HandOut(const TOPCItem& item, FILETIME* timeStamp, WORD* quality, VARIANT* value) const {
  VARIANT converted;
  VariantInit(&converted);
  VARIANT& cached = const_cast<VARIANT&>(item.Value());
  const VARTYPE requested = item.RequestedDataType();
  if (IsPlainVariantType(V_VT(&cached)) && (requested == VT_EMPTY || requested == V_VT(&cached))) {
    converted = cached;
  } else {
    HRESULT hr = requested == VT_EMPTY ? VariantCopy(&converted, &cached)
                                       : VariantChangeType(&converted, &cached, 0, requested);
    if (FAILED(hr)) return ConversionCode(hr);
  }
  *value = converted;
  *timeStamp = item.TimeStamp();
  *quality = item.Quality();
  return S_OK;
}

HRESULT TGroup::ReadItem(DWORD source, TOPCItem* item, FILETIME* timeStamp, WORD* quality, VARIANT* value) {
  if (!item) return OPC_E_INVALIDHANDLE;
  return ComGuard(Log(), L"TGroup.ReadItem", E_FAIL, [&] {
    HRESULT result = item->Read(source == OPC_DS_DEVICE ? OPC_DS_DEVICE : OPC_DS_CACHE);
    if (FAILED(result)) return result;
    HRESULT handed = HandOut(*item, timeStamp, quality, value);
    if (FAILED(handed)) return handed;
    if (source == OPC_DS_CACHE && !engine_.Active()) *quality = OPC_QUALITY_OUT_OF_SERVICE;
    return result;
  });
}

HRESULT TGroup::ReadItemAge(DWORD maxAgeMs, TOPCItem* item, FILETIME* timeStamp, WORD* quality, VARIANT* value) {
  if (!item) return OPC_E_INVALIDHANDLE;
  return ComGuard(Log(), L"TGroup.ReadItemAge", E_FAIL, [&] {
    HRESULT result = item->ReadMaxAge(maxAgeMs);
    if (FAILED(result)) return result;
    HRESULT handed = HandOut(*item, timeStamp, quality, value);
    return FAILED(handed) ? handed : result;
  });
}

HRESULT TGroup::WriteItem(TOPCItem* item, const VARIANT& value) {
  if (!item) return OPC_E_INVALIDHANDLE;
  return item->Write(value);
}

STDMETHODIMP TGroup::Read(OPCDATASOURCE dwSource, DWORD dwCount, OPCHANDLE* phServer, OPCITEMSTATE** ppItemValues,
                          HRESULT** ppErrors) {
  if (removed_) return E_FAIL;
  if (dwCount == 0 || (dwSource != OPC_DS_CACHE && dwSource != OPC_DS_DEVICE)) return E_INVALIDARG;
  if (!phServer || !ppItemValues || !ppErrors) return E_INVALIDARG;
  return ComGuard(Log(), L"Read", E_FAIL, [&] {
    HRESULT result = S_OK;
    // Zero-filled: a failed item's entry carries no stale memory.
    TaskMem<OPCITEMSTATE> states(dwCount);
    TaskMem<HRESULT> errors(dwCount);
    for (DWORD i = 0; i < dwCount; ++i) {
      OPCITEMSTATE& s = states[i];
      TOPCItem* item = FindItemAt(phServer, dwCount, i);
      errors[i] = ReadItem(dwSource, item, &s.ftTimeStamp, &s.wQuality, &s.vDataValue);
      if (FAILED(errors[i]))
        result = S_FALSE;
      else
        s.hClient = item->ClientHandle();
    }
    *ppItemValues = states.Detach();
    *ppErrors = errors.Detach();
    return result;
  });
}

STDMETHODIMP TGroup::Write(DWORD dwCount, OPCHANDLE* phServer, VARIANT* pItemValues, HRESULT** ppErrors) {
  if (removed_) return E_FAIL;
  if (dwCount == 0 || !phServer || !pItemValues || !ppErrors) return E_INVALIDARG;
  return ComGuard(Log(), L"Write", E_FAIL, [&] {
    HRESULT result = S_OK;
    TaskMem<HRESULT> errors(dwCount);
    for (DWORD i = 0; i < dwCount; ++i) {
      errors[i] = WriteItem(FindItemAt(phServer, dwCount, i), pItemValues[i]);
      if (errors[i] != S_OK) result = S_FALSE;
    }
    *ppErrors = errors.Detach();
    return result;
  });
}

STDMETHODIMP TGroup::ReadMaxAge(DWORD dwCount, OPCHANDLE* phServer, DWORD* pdwMaxAge, VARIANT** ppvValues,
                                WORD** ppwQualities, FILETIME** ppftTimeStamps, HRESULT** ppErrors) {
  if (removed_) return E_FAIL;
  if (dwCount == 0 || !phServer || !pdwMaxAge || !ppvValues || !ppwQualities || !ppftTimeStamps || !ppErrors)
    return E_INVALIDARG;
  return ComGuard(Log(), L"Read", E_FAIL, [&] {
    HRESULT result = S_OK;
    TaskMem<VARIANT> values(dwCount);
    TaskMem<WORD> qualities(dwCount);
    TaskMem<FILETIME> stamps(dwCount);
    TaskMem<HRESULT> errors(dwCount);
    for (DWORD i = 0; i < dwCount; ++i) {
      errors[i] = ReadItemAge(pdwMaxAge[i], FindItemAt(phServer, dwCount, i), &stamps[i], &qualities[i], &values[i]);
      if (errors[i] != S_OK) result = S_FALSE;
    }
    *ppvValues = values.Detach();
    *ppwQualities = qualities.Detach();
    *ppftTimeStamps = stamps.Detach();
    *ppErrors = errors.Detach();
    return result;
  });
}

STDMETHODIMP TGroup::WriteVQT(DWORD dwCount, OPCHANDLE* phServer, OPCITEMVQT* pItemVQT, HRESULT** ppErrors) {
  if (removed_) return E_FAIL;
  if (dwCount == 0 || !phServer || !pItemVQT || !ppErrors) return E_INVALIDARG;
  return ComGuard(Log(), L"WriteVQT", E_FAIL, [&] {
    HRESULT result = S_OK;
    TaskMem<HRESULT> errors(dwCount);
    // Only the value is written: quality and time stamp have nowhere to go.
    for (DWORD i = 0; i < dwCount; ++i) {
      errors[i] = WriteItem(FindItemAt(phServer, dwCount, i), pItemVQT[i].vDataValue);
      if (errors[i] != S_OK) result = S_FALSE;
    }
    *ppErrors = errors.Detach();
    return result;
  });
}

}  // namespace quillon
