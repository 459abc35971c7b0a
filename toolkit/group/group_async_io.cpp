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
TGroup::TransactionQueue& TGroup::QueueOf(Queue q) {
  switch (q) {
    case Queue::Read: return readQueue_;
    case Queue::Write: return writeQueue_;
    default: return refreshQueue_;
  }
}

HRESULT TGroup::AcceptItems(DWORD count, const OPCHANDLE* handles, WORD rights, TaskMem<HRESULT>& errors,
                            std::vector<TOPCItem*>& items, std::vector<DWORD>& indexes) {
  HRESULT result = S_OK;
  for (DWORD i = 0; i < count; ++i) {
    TOPCItem* item = FindItem(handles[i]);
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

DWORD TGroup::TransactionId(DWORD requested) {
  if (requested != 0) return requested;
  // From a range of its own, skipping any id a live transaction carries, so
  // a cancel never reaches another transaction than the one meant.
  auto live = [&](DWORD id) {
    for (TransactionQueue* q : {&readQueue_, &writeQueue_, &refreshQueue_})
      for (const auto& t : *q)
        if (t->ID() == id) return true;
    return false;
  };
  DWORD id;
  do {
    id = nextTransactionId_++;
    if (nextTransactionId_ == 0) nextTransactionId_ = 0x80000000;
  } while (id == 0 || live(id));
  return id;
}

HRESULT TGroup::Enqueue(Queue q, std::unique_ptr<TAsyncData> t, DWORD* pdwCancelID) {
  static constexpr UINT kMessages[] = {kAsyncReadMessage, kAsyncWriteMessage, kAsyncRefreshMessage};
  Lock lock(queueLock_);
  if (!window_ || !PostMessageW(window_, kMessages[int(q)], 0, 0)) return E_FAIL;
  *pdwCancelID = t->ID();
  QueueOf(q).push_back(std::move(t));
  return S_OK;
}

std::vector<TOPCItem*> TGroup::ReadableItems() const {
  std::vector<TOPCItem*> items;
  for (const auto& item : items_)
    if (!item->TagRemoved() && item->Tag().CheckAccess(OPC_READABLE) == S_OK) items.push_back(item.get());
  return items;
}

STDMETHODIMP TGroup::Read(DWORD dwCount, OPCHANDLE* phServer, DWORD dwTransactionID, DWORD* pdwCancelID,
                          HRESULT** ppErrors) {
  if (removed_) return E_FAIL;
  if (dwCount == 0 || !phServer || !pdwCancelID || !ppErrors) return E_INVALIDARG;
  if (!dataCallback_) return CONNECT_E_NOCONNECTION;
  return QueueItemRequest(L"Read", Queue::Read, dwCount, phServer, OPC_READABLE, ppErrors, pdwCancelID,
                          [&](std::vector<TOPCItem*> items, const std::vector<DWORD>&) {
                            return std::make_unique<TAsyncData>(TransactionId(dwTransactionID), std::move(items),
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
                            auto t = std::make_unique<TAsyncData>(TransactionId(dwTransactionID), std::move(items),
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
                            return std::make_unique<TAsyncData>(TransactionId(dwTransactionID), std::move(items),
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
                            return std::make_unique<TAsyncData>(TransactionId(dwTransactionID), std::move(items),
                                                                nullptr, values.data());
                          });
}

STDMETHODIMP TGroup::Refresh2(OPCDATASOURCE dwSource, DWORD dwTransactionID, DWORD* pdwCancelID) {
  if (removed_) return E_FAIL;
  if (!pdwCancelID) return E_INVALIDARG;
  if (!dataCallback_) return CONNECT_E_NOCONNECTION;
  return ComGuard(Log(), L"Refresh2", E_FAIL, [&] {
    std::vector<TOPCItem*> items = ReadableItems();
    if (items.empty()) return S_FALSE;
    auto t = std::make_unique<TAsyncData>(TransactionId(dwTransactionID), std::move(items), nullptr, nullptr);
    t->SetSource(dwSource);
    return Enqueue(Queue::Refresh, std::move(t), pdwCancelID);
  });
}

STDMETHODIMP TGroup::RefreshMaxAge(DWORD dwMaxAge, DWORD dwTransactionID, DWORD* pdwCancelID) {
  if (removed_ || !active_) return E_FAIL;
  if (!pdwCancelID) return E_INVALIDARG;
  if (!dataCallback_) return CONNECT_E_NOCONNECTION;
  return ComGuard(Log(), L"Refresh2", E_FAIL, [&] {
    std::vector<TOPCItem*> items = ReadableItems();
    if (items.empty()) return S_FALSE;
    std::vector<DWORD> maxAges(items.size(), dwMaxAge);
    auto t = std::make_unique<TAsyncData>(TransactionId(dwTransactionID), std::move(items), maxAges.data(), nullptr);
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
  Lock lock(queueLock_);
  for (TransactionQueue* q : {&readQueue_, &refreshQueue_, &writeQueue_}) {
    auto it = std::find_if(q->begin(), q->end(), [&](const auto& t) { return t->ID() == id; });
    if (it == q->end()) continue;
    q->erase(it);
    if (ComPtr<IOPCDataCallback> callback = dataCallback_) callback->OnCancelComplete(id, clientHandle_);
    return S_OK;
  }
  return E_FAIL;
}

STDMETHODIMP TGroup::SetEnable(BOOL bEnable) {
  if (removed_) return E_FAIL;
  if (!dataCallback_) return CONNECT_E_NOCONNECTION;
  return ComGuard(Log(), L"SetEnable", E_FAIL, [&] {
    if (!bEnable != !enabled_) {
      enabled_ = bEnable;
      ResetTimer();
    }
    return S_OK;
  });
}

STDMETHODIMP TGroup::GetEnable(BOOL* pbEnable) {
  if (removed_) return E_FAIL;
  if (!pbEnable) return E_INVALIDARG;
  if (!dataCallback_) return CONNECT_E_NOCONNECTION;
  *pbEnable = enabled_;
  return S_OK;
}

void TGroup::ExecuteHead(Queue q) {
  Lock lock(queueLock_);
  TransactionQueue& queue = QueueOf(q);
  if (queue.empty()) return;
  std::unique_ptr<TAsyncData> t = std::move(queue.front());
  queue.pop_front();
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
