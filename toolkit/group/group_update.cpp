// The update engine: the group window's timers, the change test over the
// items, and the data-change and keep-alive callbacks.
#include <algorithm>
#include <cmath>

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
  // A client may release the last reference from inside a callback.
  ComPtr<TGroup> self(this);
  LoggedStep(Log(), L"DoWndProc", [&] {
    switch (msg) {
      case WM_TIMER:
        if (wParam == kUpdateTimer) UpdateTick();
        else if (wParam == kKeepAliveTimer) KeepAliveTick();
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
  if (!active == !active_) return;
  active_ = active;
  ResetTimer();
  if (!active_) return;
  items_.MarkAllInitial();
  double elapsedMs = std::fabs(NowOleDate() - lastUpdate_) * 864e5;
  if (DWORD(elapsedMs) < updateRate_) SendUpdateNow();
}

void TGroup::ConnectToGroup(IUnknown* sink, bool connecting) {
  dataCallback_.Reset();
  if (connecting) {
    dataCallback_ = ComPtr<IOPCDataCallback>(static_cast<IOPCDataCallback*>(sink));
    items_.MarkAllInitial();
  }
  ResetTimer();
}

void TGroup::ResetTimer() {
  if (!window_) return;
  if (active_ && enabled_ && (dataCallback_ || adviseSink_))
    SetTimer(window_, kUpdateTimer, updateRate_, nullptr);
  else
    KillTimer(window_, kUpdateTimer);
}

void TGroup::ResetAliveTimer() {
  if (!window_) return;
  KillTimer(window_, kKeepAliveTimer);
  if ((dataCallback_ || adviseSink_) && keepAlive_ != 0) SetTimer(window_, kKeepAliveTimer, keepAlive_, nullptr);
}

void TGroup::UpdateTick() {
  if (!active_) return;
  SendUpdateNow();
}

// While a tick's call waits for its client, the runtime's modal loop may
// dispatch this thread's timers (Windows does). A client slow to answer would
// then get the next tick's call inside the first, and so on without end, each
// a frame deeper on this thread's stack: one tick's call at a time per group.
// What changes meanwhile stays pending for the tick after.
class TGroup::TickCall {
 public:
  explicit TickCall(TGroup& group) : group_(&group), busy_(group.delivering_) {
    if (!busy_) group.delivering_ = true;
  }
  TickCall(const TickCall&) = delete;
  TickCall& operator=(const TickCall&) = delete;
  ~TickCall() {
    if (!busy_) group_->delivering_ = false;
  }
  bool Busy() const { return busy_; }

 private:
  // The call may end in the group's removal: it lives until the flag is down.
  ComPtr<TGroup> group_;
  bool busy_;
};

void TGroup::SendUpdateNow() {
  const TickCall call(*this);
  if (call.Busy()) return;
  if (dataCallback_ && enabled_) SendDataChange();
  if (adviseSink_) SendStreamDataChange();
}

void TGroup::KeepAliveTick() {
  const TickCall call(*this);
  if (call.Busy()) return;
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
  }
  else if (adviseSink_)
    Deliver(dataFormat_, BuildKeepAliveStream(clientHandle_));
}

void TGroup::SendDataChange() {
  MutexLock lock(items_.ItemLock(), 1000);
  if (!lock.Locked()) return;
  // Only items whose tag moved (or whose test could answer differently)
  // since the last tick can have changed: the others are not looked at.
  std::vector<TOPCItem*> selected;
  for (TOPCItem* item : items_.TakePending())
    if (item->Active() && (item->TagRemoved() || item->Tag().CheckAccess(OPC_READABLE) == S_OK) &&
        item->HasChanged(percentDeadband_))
      selected.push_back(item);
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
  lastUpdate_ = FileTimeToOleDate(now);
  if (server_) server_->MarkUpdated(now);
  ResetAliveTimer();
}

}  // namespace quillon
