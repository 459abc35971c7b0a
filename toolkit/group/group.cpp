// The group object: construction, reference-counted lifetime, teardown,
// interfaces, and the state the server sets when it adds the group.
#include "group.h"

#include "../api/handles.h"
#include "../api/module_state.h"
#include "../server/server.h"
#include "group_window.h"

namespace quillon {
namespace {

double NowDays() {
  FILETIME ft;
  GetSystemTimeAsFileTime(&ft);
  uint64_t ticks = (uint64_t(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
  return double(ticks) / 864e9 - 109205.0;  // days since 1899-12-30
}

}  // namespace

TGroup::TGroup(TServer* server)
    : handle_(NewObjectHandle(this)),
      server_(server),
      itemLock_(CreateMutexW(nullptr, FALSE, nullptr)),
      timeBias_(Module().DefaultTimeBias),
      lastUpdate_(NowDays()) {
  if (!itemLock_) throw std::runtime_error("CreateMutex failed for the item lock");
  window_ = CreateGroupWindow(this);
  dataPoint_ = MakeCom<TConnectionPoint>(static_cast<IConnectionPointContainer*>(this), IID_IOPCDataCallback,
                                         [this](IUnknown* sink, bool connecting) { ConnectToGroup(sink, connecting); });
}

TGroup::~TGroup() { Teardown(); }

void* TGroup::QueryOther(REFIID riid) {
  if (riid == IID_IOPCGroupStateMgt) return static_cast<IOPCGroupStateMgt*>(static_cast<IOPCGroupStateMgt2*>(this));
  return nullptr;
}

void TGroup::Teardown() {
  if (tornDown_) return;
  tornDown_ = true;
  removed_ = true;
  enabled_ = FALSE;
  ResetTimer();
  // Items go without notifying the host.
  itemIndex_.clear();
  items_.clear();
  if (window_) {
    SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
    DestroyWindow(std::exchange(window_, nullptr));
  }
  if (dataPoint_) dataPoint_->Detach();
  dataCallback_.Reset();
  if (TServer* server = std::exchange(server_, nullptr)) server->DeleteGroup(this);
}

void TGroup::SetUpdateRate(DWORD requested) {
  DWORD minimum = DWORD(Module().ServerScanRate);
  updateRate_ = requested > minimum ? requested : minimum;
}

void TGroup::SetActive(BOOL active) {
  if (!active == !active_) return;
  active_ = active;
  ResetTimer();
}

TOPCItem* TGroup::FindItem(OPCHANDLE handle) const {
  auto it = itemIndex_.find(handle);
  return it == itemIndex_.end() ? nullptr : it->second;
}

void TGroup::ConnectToGroup(IUnknown* sink, bool connecting) {
  dataCallback_.Reset();
  if (connecting) sink->QueryInterface(IID_IOPCDataCallback, reinterpret_cast<void**>(dataCallback_.Put()));
  ResetTimer();
}

void TGroup::ResetTimer() {
  if (!window_) return;
  KillTimer(window_, kUpdateTimer);
  if (active_ && enabled_ && dataCallback_) SetTimer(window_, kUpdateTimer, updateRate_, nullptr);
}

LRESULT TGroup::DoWndProc(UINT msg, WPARAM wParam, LPARAM lParam) {
  return DefWindowProcW(window_, msg, wParam, lParam);
}

STDMETHODIMP TGroup::EnumConnectionPoints(IEnumConnectionPoints** ppEnum) {
  return EnumConnectionPointsOf(dataPoint_.Get(), ppEnum);
}

STDMETHODIMP TGroup::FindConnectionPoint(REFIID riid, IConnectionPoint** ppCP) {
  return FindConnectionPointIn(dataPoint_.Get(), riid, ppCP);
}

}  // namespace quillon
