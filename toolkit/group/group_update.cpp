// The group's side of the update engine: the window's timers and messages,
// the connections, and what goes to the sinks at a tick.
#include "clock.h"
#include "group.h"
#include "group_window.h"
#include "guard.h"
#include "mutex_lock.h"
#include "opc_error.h"
#include "stream_layout.h"
#include "task_mem.h"

namespace quillon {

LRESULT TGroup::DoWndProc(UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg != WM_TIMER && msg != kAsyncReadMessage && msg != kAsyncWriteMessage && msg != kAsyncRefreshMessage &&
      msg != kClientGoneMessage)
    return DefWindowProcW(window_, msg, wParam, lParam);
  // A client may release the last reference from inside a callback; the
  // engine's state must outlive the call.
  ComPtr<TGroup> self(this);
  LoggedStep(Log(), L"DoWndProc", [&] {
    switch (msg) {
      case WM_TIMER:
        if (wParam == kUpdateTimer) engine_.OnUpdateTimer();
        else if (wParam == kKeepAliveTimer) engine_.OnKeepAliveTimer();
        break;
      case kAsyncReadMessage: ExecuteHead(Queue::Read); break;
      case kAsyncWriteMessage: ExecuteHead(Queue::Write); break;
      case kAsyncRefreshMessage: ExecuteHead(Queue::Refresh); break;
      case kClientGoneMessage: ReclaimGoneClient(); break;
    }
  });
  return 0;
}

void TGroup::SetActive(BOOL active) {
  // Coming alive may call the client, which may release the group meanwhile.
  ComPtr<TGroup> self(this);
  engine_.SetActive(active);
}

void TGroup::ConnectToGroup(IUnknown* sink, bool connecting) {
  dataCallback_.Reset();
  if (connecting) {
    dataCallback_ = ComPtr<IOPCDataCallback>(static_cast<IOPCDataCallback*>(sink));
    items_.MarkAllInitial();
  }
  engine_.ResetTimer();
}

void TGroup::SetUpdateTimer(DWORD ms) {
  if (!window_) return;
  if (ms)
    SetTimer(window_, kUpdateTimer, ms, nullptr);
  else
    KillTimer(window_, kUpdateTimer);
}

void TGroup::SetKeepAliveTimer(DWORD ms) {
  if (!window_) return;
  if (ms)
    SetTimer(window_, kKeepAliveTimer, ms, nullptr);
  else
    KillTimer(window_, kKeepAliveTimer);
}

// To the data callback, then (later) the DA 1.0 sink.
void TGroup::DeliverUpdate() {
  if (dataCallback_ && engine_.Enabled()) SendDataChange();
  if (adviseSink_) SendStreamDataChange();
}

void TGroup::DeliverKeepAlive() {
  if (ComPtr<IOPCDataCallback> callback = dataCallback_) {
    // Empty arrays, not null ones: the proxy refuses null top-level arrays
    // before the call leaves this process, even with a count of 0.
    OPCHANDLE handles[1] = {};
    VARIANT values[1] = {};
    WORD qualities[1] = {};
    FILETIME stamps[1] = {};
    HRESULT errors[1] = {};
    SinkFailed(callback->OnDataChange(0, clientHandle_, S_OK, S_OK, 0, handles, values, qualities, stamps, errors),
               L"OnDataChange");
  } else if (adviseSink_) {
    Deliver(dataFormat_, BuildKeepAliveStream(clientHandle_));
  }
}

void TGroup::SendDataChange() {
  MutexLock lock(items_.ItemLock(), 1000);
  if (!lock.Locked()) return;
  std::vector<TOPCItem*> selected = TakeChangedItems(items_, percentDeadband_);
  if (selected.empty()) return;

  const DWORD n = DWORD(selected.size());
  TaskMem<OPCHANDLE> handles(n);
  TaskMem<VARIANT> values(n);  // zero-filled: VT_EMPTY
  TaskMem<WORD> qualities(n);
  TaskMem<FILETIME> stamps(n);
  TaskMem<HRESULT> errors(n);
  HRESULT masterQuality = S_OK, masterError = S_OK;
  for (DWORD i = 0; i < n; ++i) {
    TOPCItem& item = *selected[i];
    handles[i] = item.ClientHandle();
    // A move beyond the deadband since the selection: send the newer state.
    item.HasChanged(percentDeadband_);
    errors[i] = HandOut(item, &stamps[i], &qualities[i], &values[i]);
    if (FAILED(errors[i])) {
      errors[i] = OPC_E_BADTYPE;
      masterError = S_FALSE;
    } else if (qualities[i] != OPC_QUALITY_GOOD) {
      masterQuality = S_FALSE;
    }
  }
  ComPtr<IOPCDataCallback> callback = dataCallback_;
  HRESULT hr = callback->OnDataChange(0, clientHandle_, masterQuality, masterError, n, handles.Get(), values.Get(),
                                      qualities.Get(), stamps.Get(), errors.Get());
  if (SUCCEEDED(hr))
    MarkUpdated();
  else
    SinkFailed(hr, L"OnDataChange");
}

void TGroup::MarkUpdated() {
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  if (server_) server_->MarkUpdated(now);
  engine_.Updated(FileTimeToOleDate(now));
}

}  // namespace quillon
