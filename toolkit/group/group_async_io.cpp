// IOPCAsyncIO2 and IOPCAsyncIO3: requests checked at once and queued as
// transactions, executed when the group window dispatches their message.
#include <algorithm>

#include "group.h"
#include "group_window.h"
#include "guard.h"
#include "task_mem.h"
#include <olectl.h>

#include "opc_error.h"

namespace quillon {
HRESULT TGroup::AcceptItems(DWORD count, const OPCHANDLE* handles, WORD rights, TaskMem<HRESULT>& errors,
                            std::vector<TOPCItem*>& items, std::vector<DWORD>& indexes) {
  HRESULT result = S_OK;
  for (DWORD i = 0; i < count; ++i) {
    TOPCItem* item = FindItemAt(handles, count, i);
    if (!item)
      errors[i] = OPC_E_INVALIDHANDLE;
    else if (item->TagRemoved())
      errors[i] = OPC_E_UNKNOWNITEMID;
    else if (item->Tag().CheckAccess(rights) != S_OK)
      errors[i] = OPC_E_BADRIGHTS;
    else {
      errors[i] = S_OK;
      items.push_back(item);
      indexes.push_back(i);
    }
    if (errors[i] != S_OK) result = S_FALSE;
  }
  return result;
}

HRESULT TGroup::Enqueue(Queue q, std::unique_ptr<TAsyncData> t, DWORD* pdwCancelID) {
  static constexpr UINT kMessages[] = {kAsyncReadMessage, kAsyncWriteMessage, kAsyncRefreshMessage};
  Lock lock(queues_.QueueLock());
  if (!window_ || !PostMessageW(window_, kMessages[int(q)], 0, 0)) return E_FAIL;
  *pdwCancelID = t->ID();
  queues_.Push(q, std::move(t));
  return S_OK;
}

STDMETHODIMP TGroup::Read(DWORD dwCount, OPCHANDLE* phServer, DWORD dwTransactionID, DWORD* pdwCancelID,
                          HRESULT** ppErrors) {
  if (removed_) return E_FAIL;
  if (dwCount == 0 || !phServer || !pdwCancelID || !ppErrors) return E_INVALIDARG;
  if (!dataCallback_) return CONNECT_E_NOCONNECTION;
  return QueueItemRequest(L"Read", Queue::Read, dwCount, phServer, OPC_READABLE, ppErrors, pdwCancelID,
                          [&](std::vector<TOPCItem*> items, const std::vector<DWORD>&) {
                            return std::make_unique<TAsyncData>(queues_.NewId(dwTransactionID), std::move(items),
                                                                nullptr, nullptr);
                          });
}

STDMETHODIMP TGroup::ReadMaxAge(DWORD dwCount, OPCHANDLE* phServer, DWORD* pdwMaxAge, DWORD dwTransactionID,
                                DWORD* pdwCancelID, HRESULT** ppErrors) {
  if (removed_) return E_FAIL;
  if (dwCount == 0 || !phServer || !pdwMaxAge || !pdwCancelID || !ppErrors) return E_INVALIDARG;
  if (!dataCallback_) return CONNECT_E_NOCONNECTION;
  return QueueItemRequest(L"Read", Queue::Read, dwCount, phServer, OPC_READABLE, ppErrors, pdwCancelID,
                          [&](std::vector<TOPCItem*> items, const std::vector<DWORD>& indexes) {
                            std::vector<DWORD> maxAges;
                            for (DWORD i : indexes) maxAges.push_back(pdwMaxAge[i]);
                            auto t = std::make_unique<TAsyncData>(queues_.NewId(dwTransactionID), std::move(items),
                                                                  maxAges.data(), nullptr);
                            t->SetUseMaxAge();
                            return t;
                          });
}

STDMETHODIMP TGroup::Write(DWORD dwCount, OPCHANDLE* phServer, VARIANT* pItemValues, DWORD dwTransactionID,
                           DWORD* pdwCancelID, HRESULT** ppErrors) {
  if (removed_) return E_FAIL;
  if (dwCount == 0 || !phServer || !pItemValues || !pdwCancelID || !ppErrors) return E_INVALIDARG;
  if (!dataCallback_) return CONNECT_E_NOCONNECTION;
  return QueueItemRequest(L"Write", Queue::Write, dwCount, phServer, OPC_WRITEABLE, ppErrors, pdwCancelID,
                          [&](std::vector<TOPCItem*> items, const std::vector<DWORD>& indexes) {
                            return std::make_unique<TAsyncData>(queues_.NewId(dwTransactionID), std::move(items),
                                                                nullptr, ValuesAt(pItemValues, indexes).data());
                          });
}

STDMETHODIMP TGroup::WriteVQT(DWORD dwCount, OPCHANDLE* phServer, OPCITEMVQT* pItemVQT, DWORD dwTransactionID,
                              DWORD* pdwCancelID, HRESULT** ppErrors) {
  if (removed_) return E_FAIL;
  if (dwCount == 0 || !phServer || !pItemVQT || !pdwCancelID || !ppErrors) return E_INVALIDARG;
  if (!dataCallback_) return CONNECT_E_NOCONNECTION;
  // Only the values travel: quality and time stamp have nowhere to go.
  return QueueItemRequest(L"WriteVQT", Queue::Write, dwCount, phServer, OPC_WRITEABLE, ppErrors, pdwCancelID,
                          [&](std::vector<TOPCItem*> items, const std::vector<DWORD>& indexes) {
                            std::vector<OPCITEMVQT> values;
                            for (DWORD i : indexes) values.push_back(pItemVQT[i]);
                            return std::make_unique<TAsyncData>(queues_.NewId(dwTransactionID), std::move(items),
                                                                nullptr, values.data());
                          });
}

STDMETHODIMP TGroup::Refresh2(OPCDATASOURCE dwSource, DWORD dwTransactionID, DWORD* pdwCancelID) {
  if (removed_) return E_FAIL;
  if (!pdwCancelID) return E_INVALIDARG;
  if (!dataCallback_) return CONNECT_E_NOCONNECTION;
  return ComGuard(Log(), L"Refresh2", E_FAIL, [&] {
    std::vector<TOPCItem*> items = items_.Readable();
    if (items.empty()) return S_FALSE;
    auto t = std::make_unique<TAsyncData>(queues_.NewId(dwTransactionID), std::move(items), nullptr, nullptr);
    t->SetSource(dwSource);
    return Enqueue(Queue::Refresh, std::move(t), pdwCancelID);
  });
}

STDMETHODIMP TGroup::RefreshMaxAge(DWORD dwMaxAge, DWORD dwTransactionID, DWORD* pdwCancelID) {
  if (removed_ || !engine_.Active()) return E_FAIL;
  if (!pdwCancelID) return E_INVALIDARG;
  if (!dataCallback_) return CONNECT_E_NOCONNECTION;
  return ComGuard(Log(), L"Refresh2", E_FAIL, [&] {
    std::vector<TOPCItem*> items = items_.Readable();
    if (items.empty()) return S_FALSE;
    std::vector<DWORD> maxAges(items.size(), dwMaxAge);
    auto t = std::make_unique<TAsyncData>(queues_.NewId(dwTransactionID), std::move(items), maxAges.data(), nullptr);
    t->SetUseMaxAge();
    return Enqueue(Queue::Refresh, std::move(t), pdwCancelID);
  });
}

STDMETHODIMP TGroup::Cancel2(DWORD dwCancelID) {
  return ComGuard(Log(), L"AsyncCancel", E_FAIL, [&] { return AsyncCancel(dwCancelID); });
}

HRESULT TGroup::AsyncCancel(DWORD id) {
  if (removed_) return E_FAIL;
  if (!dataCallback_ && !adviseSink_) return CONNECT_E_NOCONNECTION;
  Lock lock(queues_.QueueLock());
  if (!queues_.Cancel(id)) return E_FAIL;
  if (ComPtr<IOPCDataCallback> callback = dataCallback_) callback->OnCancelComplete(id, clientHandle_);
  return S_OK;
}

STDMETHODIMP TGroup::SetEnable(BOOL bEnable) {
  if (removed_) return E_FAIL;
  if (!dataCallback_) return CONNECT_E_NOCONNECTION;
  return ComGuard(Log(), L"SetEnable", E_FAIL, [&] {
    engine_.SetEnabled(bEnable);
    return S_OK;
  });
}

STDMETHODIMP TGroup::GetEnable(BOOL* pbEnable) {
  if (removed_) return E_FAIL;
  if (!pbEnable) return E_INVALIDARG;
  if (!dataCallback_) return CONNECT_E_NOCONNECTION;
  *pbEnable = engine_.Enabled();
  return S_OK;
}

void TGroup::ExecuteHead(Queue q) {
  // Held through the completion, which may queue or cancel others.
  Lock lock(queues_.QueueLock());
  std::unique_ptr<TAsyncData> t = queues_.PopHead(q);
  if (!t) return;
  // The connections present now decide, not the interface of the request.
  if (dataCallback_) {
    if (q == Queue::Write)
      CompleteWrite(*t);
    else
      CompleteRead(*t, q == Queue::Refresh);
  } else if (adviseSink_) {
    if (q == Queue::Write)
      CompleteStreamWrite(*t);
    else
      CompleteStreamRead(*t);
  }
}

void TGroup::CompleteRead(const TAsyncData& t, bool refresh) {
  try {
    const DWORD n = t.Count();
    TaskMem<VARIANT> values(n);
    TaskMem<WORD> qualities(n);
    TaskMem<FILETIME> stamps(n);
    TaskMem<HRESULT> errors(n);
    HRESULT masterError = S_OK;
    for (DWORD i = 0; i < n; ++i) {
      errors[i] = t.UseMaxAge() ? ReadItemAge(t.MaxAge(i), t.Item(i), &stamps[i], &qualities[i], &values[i])
                                : ReadItem(t.Source(), t.Item(i), &stamps[i], &qualities[i], &values[i]);
      if (errors[i] != S_OK) masterError = S_FALSE;
    }
    ComPtr<IOPCDataCallback> callback = dataCallback_;
    OPCHANDLE* handles = const_cast<OPCHANDLE*>(t.ClientHandles());
    if (refresh)
      SinkFailed(callback->OnDataChange(t.ID(), clientHandle_, S_OK, masterError, n, handles, values.Get(),
                                        qualities.Get(), stamps.Get(), errors.Get()),
                 L"OnDataChange");
    else
      SinkFailed(callback->OnReadComplete(t.ID(), clientHandle_, S_OK, masterError, n, handles, values.Get(),
                                          qualities.Get(), stamps.Get(), errors.Get()),
                 L"OnReadComplete");
  } catch (...) {
  }
}

void TGroup::CompleteWrite(const TAsyncData& t) {
  const DWORD n = t.Count();
  TaskMem<HRESULT> errors(n);
  HRESULT masterError = S_OK;
  for (DWORD i = 0; i < n; ++i) {
    errors[i] = WriteItem(t.Item(i), t.Value(i));
    if (errors[i] != S_OK) masterError = S_FALSE;
  }
  ComPtr<IOPCDataCallback> callback = dataCallback_;
  SinkFailed(callback->OnWriteComplete(t.ID(), clientHandle_, masterError, n,
                                       const_cast<OPCHANDLE*>(t.ClientHandles()), errors.Get()),
             L"OnWriteComplete");
}

}  // namespace quillon
