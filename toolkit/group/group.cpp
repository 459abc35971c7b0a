// The group object: construction, reference-counted lifetime, teardown,
// interfaces, and the state the server sets when it adds the group.
#include "group.h"

#include "clock.h"
#include "group_window.h"
#include "handles.h"

namespace quillon {
TGroup::TGroup(std::shared_ptr<const GroupContext> context, GroupOwner* owner)
    : context_(std::move(context)),
      handle_(NewObjectHandle(this)),
      server_(owner),
      timeBias_(context_->defaultTimeBias) {
  const StreamFormats& formats = context_->formats;
  dataFormat_ = {CLIPFORMAT(formats.DataTime), nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
  writeCompleteFormat_ = {CLIPFORMAT(formats.WriteComplete), nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
  window_ = CreateGroupWindow(this);
  dataPoint_ = MakeCom<TConnectionPoint>(Log(), static_cast<IConnectionPointContainer*>(this), IID_IOPCDataCallback,
                                         [this](IUnknown* sink, bool connecting) { ConnectToGroup(sink, connecting); });
}

TGroup::~TGroup() { Teardown(); }

void* TGroup::QueryOther(REFIID riid) {
  if (riid == IID_IOPCGroupStateMgt) return static_cast<IOPCGroupStateMgt*>(static_cast<IOPCGroupStateMgt2*>(this));
  if (riid == IID_IOPCSyncIO) return static_cast<IOPCSyncIO*>(static_cast<IOPCSyncIO2*>(this));
  if (riid == IID_IOPCAsyncIO2) return static_cast<IOPCAsyncIO2*>(static_cast<IOPCAsyncIO3*>(this));
  return nullptr;
}

void TGroup::Teardown() {
  if (tornDown_) return;
  tornDown_ = true;
  removed_ = true;
  engine_.Stop();
  queues_.Clear();
  // Items go without notifying the host.
  items_.Clear();
  if (window_) {
    SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
    DestroyWindow(std::exchange(window_, nullptr));
  }
  if (dataPoint_) dataPoint_->Detach();
  dataCallback_.Reset();
  adviseSink_.Reset();
  if (GroupOwner* server = std::exchange(server_, nullptr)) server->DeleteGroup(this);
}

STDMETHODIMP TGroup::EnumConnectionPoints(IEnumConnectionPoints** ppEnum) {
  return EnumConnectionPointsOf(Log(), dataPoint_.Get(), ppEnum);
}

STDMETHODIMP TGroup::FindConnectionPoint(REFIID riid, IConnectionPoint** ppCP) {
  return FindConnectionPointIn(dataPoint_.Get(), riid, ppCP);
}

}  // namespace quillon
