// DA 1.0 clients: IDataObject advise, IOPCAsyncIO requests, and the data and
// write-complete streams they receive through IAdviseSink.
#include <olectl.h>

#include <cstring>

#include "group.h"
#include "guard.h"
#include "stream_layout.h"
#include "variant.h"

namespace quillon {
namespace {

uint64_t Ticks(const FILETIME& ft) { return (uint64_t(ft.dwHighDateTime) << 32) | ft.dwLowDateTime; }

// A value as it travels in a stream: the VARIANT's own bytes, never a pointer
// of this process. A string's characters follow it; other values that live
// outside the VARIANT (arrays, interfaces, references) travel as their type
// with an empty payload.
std::vector<uint8_t> ValueImage(const VARIANT& v) {
  VARIANT copy = v;
  const VARTYPE vt = V_VT(&v);
  std::vector<uint8_t> extra;
  if (vt == VT_BSTR) {
    BSTR s = V_BSTR(&v);
    extra = StringImage(reinterpret_cast<const char16_t*>(s ? s : L""), s ? SysStringLen(s) : 0);
    // The whole payload, not just the pointer: on 32-bit builds the rest of it
    // is whatever the value's producer left there.
    std::memset(&copy.llVal, 0, sizeof copy.llVal);
  } else if ((vt & (VT_ARRAY | VT_BYREF)) || vt == VT_UNKNOWN || vt == VT_DISPATCH || vt == VT_RECORD) {
    std::memset(&copy.llVal, 0, sizeof copy.llVal);
  }
  std::vector<uint8_t> image(sizeof(VARIANT) + extra.size());
  std::memcpy(image.data(), &copy, sizeof(VARIANT));
  if (!extra.empty()) std::memcpy(image.data() + sizeof(VARIANT), extra.data(), extra.size());
  return image;
}

}  // namespace

STDMETHODIMP TGroup::DAdvise(FORMATETC* pformatetc, DWORD, IAdviseSink* pAdvSink, DWORD* pdwConnection) {
  if (!pdwConnection) return E_INVALIDARG;
  *pdwConnection = 0;
  if (!pformatetc || !pAdvSink) return E_INVALIDARG;
  return ComGuard(Log(), L"DAdvise", E_FAIL, [&] {
    const StreamFormats& m = context_->formats;
    DWORD connection;
    if (pformatetc->cfFormat == m.DataTime) {
      dataFormat_ = *pformatetc;
      connection = 1;
    } else if (pformatetc->cfFormat == m.Data) {
      dataFormat_ = *pformatetc;
      connection = 2;
    } else if (pformatetc->cfFormat == m.WriteComplete) {
      writeCompleteFormat_ = *pformatetc;
      connection = 3;
    } else {
      Log().LogOperationError(L"Unknown data format", L"DAdvise");
      return E_FAIL;
    }
    // A target device is not kept: the pointer is the caller's.
    dataFormat_.ptd = nullptr;
    writeCompleteFormat_.ptd = nullptr;
    if (connection != 3) items_.MarkAllInitial();
    adviseSink_ = ComPtr<IAdviseSink>(pAdvSink);
    engine_.Reenable();
    *pdwConnection = connection;
    return S_OK;
  });
}

STDMETHODIMP TGroup::DUnadvise(DWORD dwConnection) {
  if (dwConnection < 1 || dwConnection > 3) return E_INVALIDARG;
  adviseSink_.Reset();
  engine_.ResetTimer();
  return S_OK;
}

STDMETHODIMP TGroup::Read(DWORD, OPCDATASOURCE dwSource, DWORD dwCount, OPCHANDLE* phServer, DWORD* pTransactionID,
                          HRESULT** ppErrors) {
  if (removed_) return E_FAIL;
  if (!adviseSink_) return CONNECT_E_NOCONNECTION;
  if (dwCount == 0 || !phServer || !pTransactionID || !ppErrors) return E_INVALIDARG;
  return QueueItemRequest(L"Read", Queue::Read, dwCount, phServer, OPC_READABLE, ppErrors, pTransactionID,
                          [&](std::vector<TOPCItem*> items, const std::vector<DWORD>&) {
                            auto t = std::make_unique<TAsyncData>(queues_.NewId(0), std::move(items), nullptr, nullptr);
                            t->SetSource(dwSource);
                            return t;
                          });
}

STDMETHODIMP TGroup::Write(DWORD, DWORD dwCount, OPCHANDLE* phServer, VARIANT* pItemValues, DWORD* pTransactionID,
                           HRESULT** ppErrors) {
  if (removed_) return E_FAIL;
  if (!adviseSink_) return CONNECT_E_NOCONNECTION;
  if (dwCount == 0 || !phServer || !pItemValues || !pTransactionID || !ppErrors) return E_INVALIDARG;
  return QueueItemRequest(L"Write", Queue::Write, dwCount, phServer, OPC_WRITEABLE, ppErrors, pTransactionID,
                          [&](std::vector<TOPCItem*> items, const std::vector<DWORD>& indexes) {
                            return std::make_unique<TAsyncData>(queues_.NewId(0), std::move(items), nullptr,
                                                                ValuesAt(pItemValues, indexes).data());
                          });
}

STDMETHODIMP TGroup::Refresh(DWORD, OPCDATASOURCE dwSource, DWORD* pTransactionID) {
  if (removed_) return E_FAIL;
  if (!adviseSink_) return CONNECT_E_NOCONNECTION;
  if (!pTransactionID) return E_INVALIDARG;
  return ComGuard(Log(), L"Read", E_FAIL, [&] {
    std::vector<TOPCItem*> items = items_.Readable();
    if (items.empty()) return S_FALSE;
    auto t = std::make_unique<TAsyncData>(queues_.NewId(0), std::move(items), nullptr, nullptr);
    t->SetSource(dwSource);
    return Enqueue(Queue::Refresh, std::move(t), pTransactionID);
  });
}

STDMETHODIMP TGroup::Cancel(DWORD dwTransactionID) {
  return ComGuard(Log(), L"AsyncCancel", E_FAIL, [&] { return AsyncCancel(dwTransactionID); });
}

void TGroup::Deliver(FORMATETC format, const std::vector<uint8_t>& stream) {
  ComPtr<IAdviseSink> sink = adviseSink_;
  if (!sink) return;
  HGLOBAL block = GlobalAlloc(GMEM_FIXED, stream.size());
  if (!block) throw std::bad_alloc();
  std::memcpy(reinterpret_cast<void*>(block), stream.data(), stream.size());
  STGMEDIUM medium{};
  medium.tymed = TYMED_HGLOBAL;
  medium.hGlobal = block;
  // IAdviseSink::OnDataChange returns nothing, so whether its client is
  // still there is asked afterwards.
  sink->OnDataChange(&format, &medium);
  GlobalFree(block);
  SinkFailed(ProbeSink(sink.Get()), L"IAdviseSink::OnDataChange");
}

void TGroup::SendStreamDataChange() {
  MutexLock lock(items_.ItemLock(), 1000);
  if (!lock.Locked()) return;
  std::vector<StreamItem> stream;
  int32_t status = S_OK;
  for (TOPCItem* item : TakeChangedItems(items_, percentDeadband_)) {
    StreamItem s;
    s.clientHandle = item->ClientHandle();
    Variant value;
    FILETIME ts{};
    WORD quality = 0;
    if (SUCCEEDED(HandOut(*item, &ts, &quality, &value))) {
      s.quality = quality;
      s.timeStamp = Ticks(ts);
      if (quality != OPC_QUALITY_GOOD) status = S_FALSE;
    }
    s.value = ValueImage(value.Get());
    stream.push_back(std::move(s));
  }
  if (stream.empty()) return;
  const bool withTime = dataFormat_.cfFormat == context_->formats.DataTime;
  Deliver(dataFormat_, BuildDataStream(withTime, clientHandle_, 0, status, stream));
  MarkUpdated();
}

void TGroup::CompleteStreamRead(const TAsyncData& t) {
  std::vector<StreamItem> stream(t.Count());
  int32_t status = S_OK;
  for (DWORD i = 0; i < t.Count(); ++i) {
    Variant value;
    FILETIME ts{};
    WORD quality = 0;
    HRESULT hr = t.UseMaxAge() ? ReadItemAge(t.MaxAge(i), t.Item(i), &ts, &quality, &value)
                               : ReadItem(t.Source(), t.Item(i), &ts, &quality, &value);
    if (hr != S_OK) status = S_FALSE;
    if (FAILED(hr)) {
      value.Clear();
      quality = 0;
      ts = FILETIME{};
    }
    stream[i].clientHandle = t.ClientHandles()[i];
    stream[i].quality = quality;
    stream[i].timeStamp = Ticks(ts);
    stream[i].value = ValueImage(value.Get());
  }
  const bool withTime = dataFormat_.cfFormat == context_->formats.DataTime;
  Deliver(dataFormat_, BuildDataStream(withTime, clientHandle_, t.ID(), status, stream));
}

void TGroup::CompleteStreamWrite(const TAsyncData& t) {
  std::vector<WriteResult> results(t.Count());
  for (DWORD i = 0; i < t.Count(); ++i)
    results[i] = {t.ClientHandles()[i], WriteItem(t.Item(i), t.Value(i))};
  Deliver(writeCompleteFormat_, BuildWriteCompleteStream(clientHandle_, t.ID(), results));
}

}  // namespace quillon
