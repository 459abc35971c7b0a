#pragma once
// One OPC group of one server object: its state, its items, its hidden window
// with the update and keep-alive timers, and its IOPCDataCallback point.
#include <objbase.h>

#include <memory>
#include <string>
#include <vector>

#include "async_data.h"
#include "com_object.h"
#include "connection_point.h"
#include "critical_section.h"
#include "group_context.h"
#include "group_owner.h"
#include "guard.h"
#include "item_set.h"
#include "mutex_lock.h"
#include "opc_da.h"
#include "opc_error.h"
#include "opc_item.h"
#include "task_mem.h"
#include "transaction_queues.h"
#include "update_engine.h"
#include "unique_handle.h"

namespace quillon {

class TGroup : public ComObject<IOPCItemSamplingMgt, IOPCItemDeadbandMgt, IOPCGroupStateMgt2, IOPCAsyncIO3,
                                IOPCSyncIO2, IOPCAsyncIO, IDataObject, IOPCPublicGroupStateMgt, IOPCItemMgt,
                                IConnectionPointContainer>,
               private UpdatePort {
 public:
  TGroup(std::shared_ptr<const GroupContext> context, GroupOwner* owner);

  OPCHANDLE GroupHandle() const { return handle_; }
  const std::wstring& Name() const { return name_; }
  bool Removed() const { return removed_; }
  bool IsPublic() const { return isPublic_; }
  DWORD UpdateRate() const { return engine_.UpdateRate(); }
  GroupOwner* Owner() const { return server_; }
  const LogSink& Log() const { return context_->host; }

  // Set by the server's AddGroup, in this order.
  void SetName(std::wstring name) { name_ = std::move(name); }
  void SetClientHandle(OPCHANDLE h) { clientHandle_ = h; }
  void SetTimeBias(LONG bias) { timeBias_ = bias; }
  void SetPercentDeadband(FLOAT deadband) { percentDeadband_ = deadband; }
  void SetLocale(LCID lcid) { localeId_ = lcid; }
  // The revised rate: never below the server's minimum.
  void SetUpdateRate(DWORD requested) { engine_.SetUpdateRate(requested, DWORD(context_->scanRate)); }
  void SetActive(BOOL active);
  void SetRemoved() { removed_ = true; }
  void SetPublic() { isPublic_ = true; }

  // Frees items, transactions, window and connections now; the object stays
  // (answering E_FAIL as removed) until its last reference goes.
  void Teardown();
  // The server is going: the group must never reach it again.
  void DetachFromServer() { server_ = nullptr; }

  // The item of this group that a server handle names, or none.
  TOPCItem* FindItem(OPCHANDLE handle) const { return items_.Find(handle); }
  // The item of entry I of a client's list of handles, warming the lookups
  // of the entries ahead: a list of 100,000 handles otherwise waits on memory
  // at every entry.
  TOPCItem* FindItemAt(const OPCHANDLE* handles, DWORD count, DWORD i) const {
    items_.PrefetchAhead(handles, count, i);
    return items_.Find(handles[i]);
  }

  // IOPCGroupStateMgt / IOPCGroupStateMgt2
  STDMETHODIMP GetState(DWORD* pUpdateRate, BOOL* pActive, LPWSTR* ppName, LONG* pTimeBias,
                        FLOAT* pPercentDeadband, LCID* pLCID, OPCHANDLE* phClientGroup,
                        OPCHANDLE* phServerGroup) override;
  STDMETHODIMP SetState(DWORD* pRequestedUpdateRate, DWORD* pRevisedUpdateRate, BOOL* pActive, LONG* pTimeBias,
                        FLOAT* pPercentDeadband, LCID* pLCID, OPCHANDLE* phClientGroup) override;
  STDMETHODIMP SetName(LPCWSTR szName) override;
  STDMETHODIMP CloneGroup(LPCWSTR szName, REFIID riid, LPUNKNOWN* ppUnk) override;
  STDMETHODIMP SetKeepAlive(DWORD dwKeepAliveTime, DWORD* pdwRevisedKeepAliveTime) override;
  STDMETHODIMP GetKeepAlive(DWORD* pdwKeepAliveTime) override;

  // IOPCPublicGroupStateMgt
  STDMETHODIMP GetState(BOOL* pPublic) override;
  STDMETHODIMP MoveToPublic() override;

  // IOPCItemMgt
  STDMETHODIMP AddItems(DWORD dwCount, OPCITEMDEF* pItemArray, OPCITEMRESULT** ppAddResults,
                        HRESULT** ppErrors) override;
  STDMETHODIMP ValidateItems(DWORD dwCount, OPCITEMDEF* pItemArray, BOOL bBlobUpdate,
                             OPCITEMRESULT** ppValidationResults, HRESULT** ppErrors) override;
  STDMETHODIMP RemoveItems(DWORD dwCount, OPCHANDLE* phServer, HRESULT** ppErrors) override;
  STDMETHODIMP SetActiveState(DWORD dwCount, OPCHANDLE* phServer, BOOL bActive, HRESULT** ppErrors) override;
  STDMETHODIMP SetClientHandles(DWORD dwCount, OPCHANDLE* phServer, OPCHANDLE* phClient,
                                HRESULT** ppErrors) override;
  STDMETHODIMP SetDatatypes(DWORD dwCount, OPCHANDLE* phServer, VARTYPE* pRequestedDatatypes,
                            HRESULT** ppErrors) override;
  STDMETHODIMP CreateEnumerator(REFIID riid, LPUNKNOWN* ppUnk) override;

  // IOPCSyncIO / IOPCSyncIO2
  STDMETHODIMP Read(OPCDATASOURCE dwSource, DWORD dwCount, OPCHANDLE* phServer, OPCITEMSTATE** ppItemValues,
                    HRESULT** ppErrors) override;
  STDMETHODIMP Write(DWORD dwCount, OPCHANDLE* phServer, VARIANT* pItemValues, HRESULT** ppErrors) override;
  STDMETHODIMP ReadMaxAge(DWORD dwCount, OPCHANDLE* phServer, DWORD* pdwMaxAge, VARIANT** ppvValues,
                          WORD** ppwQualities, FILETIME** ppftTimeStamps, HRESULT** ppErrors) override;
  STDMETHODIMP WriteVQT(DWORD dwCount, OPCHANDLE* phServer, OPCITEMVQT* pItemVQT, HRESULT** ppErrors) override;

  // The per-item steps of every read and write path; a null item (none for
  // the handle, or removed meanwhile) answers OPC_E_INVALIDHANDLE.
  HRESULT ReadItem(DWORD source, TOPCItem* item, FILETIME* timeStamp, WORD* quality, VARIANT* value);
  HRESULT ReadItemAge(DWORD maxAgeMs, TOPCItem* item, FILETIME* timeStamp, WORD* quality, VARIANT* value);
  HRESULT WriteItem(TOPCItem* item, const VARIANT& value);

  // IOPCAsyncIO2 / IOPCAsyncIO3
  STDMETHODIMP Read(DWORD dwCount, OPCHANDLE* phServer, DWORD dwTransactionID, DWORD* pdwCancelID,
                    HRESULT** ppErrors) override;
  STDMETHODIMP Write(DWORD dwCount, OPCHANDLE* phServer, VARIANT* pItemValues, DWORD dwTransactionID,
                     DWORD* pdwCancelID, HRESULT** ppErrors) override;
  STDMETHODIMP Refresh2(OPCDATASOURCE dwSource, DWORD dwTransactionID, DWORD* pdwCancelID) override;
  STDMETHODIMP Cancel2(DWORD dwCancelID) override;
  STDMETHODIMP SetEnable(BOOL bEnable) override;
  STDMETHODIMP GetEnable(BOOL* pbEnable) override;
  STDMETHODIMP ReadMaxAge(DWORD dwCount, OPCHANDLE* phServer, DWORD* pdwMaxAge, DWORD dwTransactionID,
                          DWORD* pdwCancelID, HRESULT** ppErrors) override;
  STDMETHODIMP WriteVQT(DWORD dwCount, OPCHANDLE* phServer, OPCITEMVQT* pItemVQT, DWORD dwTransactionID,
                        DWORD* pdwCancelID, HRESULT** ppErrors) override;
  STDMETHODIMP RefreshMaxAge(DWORD dwMaxAge, DWORD dwTransactionID, DWORD* pdwCancelID) override;

  // IOPCAsyncIO (DA 1.0)
  STDMETHODIMP Read(DWORD dwConnection, OPCDATASOURCE dwSource, DWORD dwCount, OPCHANDLE* phServer,
                    DWORD* pTransactionID, HRESULT** ppErrors) override;
  STDMETHODIMP Write(DWORD dwConnection, DWORD dwCount, OPCHANDLE* phServer, VARIANT* pItemValues,
                     DWORD* pTransactionID, HRESULT** ppErrors) override;
  STDMETHODIMP Refresh(DWORD dwConnection, OPCDATASOURCE dwSource, DWORD* pTransactionID) override;
  STDMETHODIMP Cancel(DWORD dwTransactionID) override;

  // IDataObject: only the advise methods are offered.
  STDMETHODIMP GetData(FORMATETC*, STGMEDIUM*) override { return E_NOTIMPL; }
  STDMETHODIMP GetDataHere(FORMATETC*, STGMEDIUM*) override { return E_NOTIMPL; }
  STDMETHODIMP QueryGetData(FORMATETC*) override { return E_NOTIMPL; }
  STDMETHODIMP GetCanonicalFormatEtc(FORMATETC*, FORMATETC*) override { return E_NOTIMPL; }
  STDMETHODIMP SetData(FORMATETC*, STGMEDIUM*, BOOL) override { return E_NOTIMPL; }
  STDMETHODIMP EnumFormatEtc(DWORD, IEnumFORMATETC** ppenumFormatEtc) override {
    if (ppenumFormatEtc) *ppenumFormatEtc = nullptr;
    return E_NOTIMPL;
  }
  STDMETHODIMP DAdvise(FORMATETC* pformatetc, DWORD advf, IAdviseSink* pAdvSink, DWORD* pdwConnection) override;
  STDMETHODIMP DUnadvise(DWORD dwConnection) override;
  STDMETHODIMP EnumDAdvise(IEnumSTATDATA** ppenumAdvise) override {
    if (ppenumAdvise) *ppenumAdvise = nullptr;
    return E_NOTIMPL;
  }

  // IOPCItemDeadbandMgt
  STDMETHODIMP SetItemDeadband(DWORD dwCount, OPCHANDLE* phServer, FLOAT* pPercentDeadband,
                               HRESULT** ppErrors) override;
  STDMETHODIMP GetItemDeadband(DWORD dwCount, OPCHANDLE* phServer, FLOAT** ppPercentDeadband,
                               HRESULT** ppErrors) override;
  STDMETHODIMP ClearItemDeadband(DWORD dwCount, OPCHANDLE* phServer, HRESULT** ppErrors) override;

  // IOPCItemSamplingMgt: sampling and buffering are not offered.
  STDMETHODIMP SetItemSamplingRate(DWORD, OPCHANDLE*, DWORD*, DWORD**, HRESULT**) override { return E_NOTIMPL; }
  STDMETHODIMP GetItemSamplingRate(DWORD, OPCHANDLE*, DWORD**, HRESULT**) override { return E_NOTIMPL; }
  STDMETHODIMP ClearItemSamplingRate(DWORD, OPCHANDLE*, HRESULT**) override { return E_NOTIMPL; }
  STDMETHODIMP SetItemBufferEnable(DWORD, OPCHANDLE*, BOOL*, HRESULT**) override { return E_NOTIMPL; }
  STDMETHODIMP GetItemBufferEnable(DWORD, OPCHANDLE*, BOOL**, HRESULT**) override { return E_NOTIMPL; }

  // IConnectionPointContainer
  STDMETHODIMP EnumConnectionPoints(IEnumConnectionPoints** ppEnum) override;
  STDMETHODIMP FindConnectionPoint(REFIID riid, IConnectionPoint** ppCP) override;

  // The group window's procedure.
  LRESULT DoWndProc(UINT msg, WPARAM wParam, LPARAM lParam);

 protected:
  ~TGroup() override;
  void* QueryOther(REFIID riid) override;

 private:
  // One definition: its code, and the tag it names when it can be added.
  HRESULT ValidateItem(const OPCITEMDEF& def, OPCITEMRESULT& result, TOPCTag** found);
  // The arrays of ValidateItems and AddItems, with the tags found per entry.
  HRESULT ValidateAll(DWORD count, const OPCITEMDEF* defs, TaskMem<OPCITEMRESULT>& results,
                      TaskMem<HRESULT>& errors, std::vector<TOPCTag*>& tags);
  TOPCItem* AddItem(std::shared_ptr<TOPCTag> tag, const OPCITEMDEF& def);
  // Takes one item out of the set, the host told; it goes with DropDetached,
  // once the queued transactions have forgotten it.
  std::unique_ptr<TOPCItem> DetachItem(TOPCItem& item);
  void DropDetached(std::vector<std::unique_ptr<TOPCItem>>& detached);
  // The frame of the per-item list methods: E_FAIL when removed, E_INVALIDARG
  // for no entries, else one code per entry and S_FALSE when any is not S_OK.
  template <class PerItem>
  HRESULT ForEachHandle(const wchar_t* operation, DWORD count, const OPCHANDLE* handles, HRESULT** ppErrors,
                        PerItem perItem);
  // Asynchronous transactions.
  using Queue = TTransactionQueues::Kind;
  // Checks the handles of a request, one code per entry into Errors; the
  // accepted items in request order, with their indexes in the request.
  HRESULT AcceptItems(DWORD count, const OPCHANDLE* handles, WORD rights, TaskMem<HRESULT>& errors,
                      std::vector<TOPCItem*>& items, std::vector<DWORD>& indexes);
  // The steps every request with an item list shares: accept the handles,
  // make the transaction of the accepted items with Make(items, their
  // indexes in the request), and queue it.
  template <class Make>
  HRESULT QueueItemRequest(const wchar_t* operation, Queue q, DWORD count, const OPCHANDLE* handles, WORD rights,
                           HRESULT** ppErrors, DWORD* pdwCancelID, Make make);
  // Posts the queue's message and appends the transaction; E_FAIL when posting fails.
  HRESULT Enqueue(Queue q, std::unique_ptr<TAsyncData> t, DWORD* pdwCancelID);
  void ExecuteHead(Queue q);
  void CompleteRead(const TAsyncData& t, bool refresh);
  void CompleteWrite(const TAsyncData& t);
  HRESULT AsyncCancel(DWORD id);

  // Hands out an item's cached state, the value in the client's type.
  HRESULT HandOut(const TOPCItem& item, FILETIME* timeStamp, WORD* quality, VARIANT* value) const;

  // UpdatePort: the engine's timers are the window's.
  void SetUpdateTimer(DWORD ms) override;
  void SetKeepAliveTimer(DWORD ms) override;
  bool HasSink() const override { return dataCallback_ || adviseSink_; }
  void MarkAllInitial() override { items_.MarkAllInitial(); }
  void DeliverUpdate() override;
  void DeliverKeepAlive() override;

  void ConnectToGroup(IUnknown* sink, bool connecting);
  void SendDataChange();
  void MarkUpdated();

  // A call on a sink answered Hr. When that means the client is gone, the
  // group drops its sinks at once, logs it, and has the client's server
  // object reclaimed.
  void SinkFailed(HRESULT hr, const wchar_t* call);
  void ReclaimGoneClient();
  // Whether a sink whose calls answer nothing still reaches its client:
  // one round trip, at most once a second; S_OK when not asked.
  HRESULT ProbeSink(IUnknown* sink);

  // DA 1.0 streams.
  void SendStreamDataChange();
  void CompleteStreamRead(const TAsyncData& t);
  void CompleteStreamWrite(const TAsyncData& t);
  // Copies the stream into a fixed global block, hands it to the advise sink
  // and frees it when the call returns.
  void Deliver(FORMATETC format, const std::vector<uint8_t>& stream);

  std::shared_ptr<const GroupContext> context_;
  OPCHANDLE handle_;
  GroupOwner* server_;
  TItemSet items_;
  HWND window_ = nullptr;
  std::wstring name_;
  OPCHANDLE clientHandle_ = 0;
  LCID localeId_ = 0;
  LONG timeBias_;
  FLOAT percentDeadband_ = 0;
  bool removed_ = false;
  bool isPublic_ = false;
  TTransactionQueues queues_;
  TUpdateEngine engine_{*this};
  ComPtr<TConnectionPoint> dataPoint_;
  ComPtr<IOPCDataCallback> dataCallback_;
  ComPtr<IAdviseSink> adviseSink_;
  FORMATETC dataFormat_;
  FORMATETC writeCompleteFormat_;
  bool tornDown_ = false;
  DWORD lastProbe_ = 0;
};

template <class PerItem>
inline HRESULT TGroup::ForEachHandle(const wchar_t* operation, DWORD count, const OPCHANDLE* handles, HRESULT** ppErrors,
                                     PerItem perItem) {
  if (removed_) return E_FAIL;
  if (count == 0 || !handles || !ppErrors) return E_INVALIDARG;
  return ComGuard(Log(), operation, E_FAIL, [&] {
    TaskMem<HRESULT> errors(count);
    HRESULT result = S_OK;
    // Once for the call: every wait on a kernel object is a round trip.
    MutexLock lock(items_.ItemLock(), 1000);
    for (DWORD i = 0; i < count; ++i) {
      if (!lock.Locked()) {
        errors[i] = E_FAIL;
      } else if (TOPCItem* item = FindItemAt(handles, count, i)) {
        errors[i] = perItem(i, *item);
      } else {
        errors[i] = OPC_E_INVALIDHANDLE;
      }
      if (errors[i] != S_OK) result = S_FALSE;
    }
    *ppErrors = errors.Detach();
    return result;
  });
}

template <class Make>
inline HRESULT TGroup::QueueItemRequest(const wchar_t* operation, Queue q, DWORD count, const OPCHANDLE* handles,
                                        WORD rights, HRESULT** ppErrors, DWORD* pdwCancelID, Make make) {
  return ComGuard(Log(), operation, E_FAIL, [&] {
    std::vector<TOPCItem*> items;
    std::vector<DWORD> indexes;
    TaskMem<HRESULT> errors(count);
    HRESULT result = AcceptItems(count, handles, rights, errors, items, indexes);
    if (!items.empty()) {
      std::unique_ptr<TAsyncData> t = make(std::move(items), indexes);
      if (FAILED(Enqueue(q, std::move(t), pdwCancelID))) return E_FAIL;
    }
    *ppErrors = errors.Detach();
    return result;
  });
}

// The write values of the accepted entries, as VQTs whose VARIANTs the
// transaction copies.
inline std::vector<OPCITEMVQT> ValuesAt(const VARIANT* values, const std::vector<DWORD>& indexes) {
  std::vector<OPCITEMVQT> picked(indexes.size());
  for (size_t k = 0; k < indexes.size(); ++k) picked[k].vDataValue = values[indexes[k]];
  return picked;
}

}  // namespace quillon
