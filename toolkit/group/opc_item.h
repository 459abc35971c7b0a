#pragma once
// One item of one group: the client's view of a tag, with the value, quality
// and timestamp last taken from it for that client. It observes its tag, so
// that a change puts it on the group's list of items to test.
#include <windows.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "opc_da.h"
#include "opc_tag.h"
#include "tag_observer.h"
#include "variant.h"

namespace quillon {

class TOPCItem final : public TagObserver {
 public:
  TOPCItem(std::shared_ptr<TOPCTag> tag, const OPCITEMDEF& def);
  TOPCItem(const TOPCItem&) = delete;
  TOPCItem& operator=(const TOPCItem&) = delete;
  ~TOPCItem();

  // The list of items that the group's next update tick must test. An item
  // joins it (once) when its tag changes or its own test could answer
  // differently; the tick takes the whole list. The item knows its place in
  // it, so that leaving it costs the same however long it is.
  using PendingList = std::vector<TOPCItem*>;
  void SetPendingList(PendingList* list, uint32_t order) {
    pending_ = list;
    order_ = order;
  }
  void MarkPending() {
    if (pending_ && pendingAt_ == kNotPending) {
      pending_->push_back(this);
      pendingAt_ = uint32_t(pending_->size() - 1);
    }
  }
  void TagChanged() override { MarkPending(); }
  // The next change test answers "changed" whatever the tag did, so a
  // subscriber that starts listening gets the current state once.
  void MarkInitial() {
    initial_ = true;
    MarkPending();
  }
  // The tick took the list.
  void ClearQueued() { pendingAt_ = kNotPending; }
  // The item's place in its group's order of addition: ticks report items in
  // that order.
  uint32_t Order() const { return order_; }
  void SetOrder(uint32_t order) { order_ = order; }

  // Taken out of its group's set, about to go: waiting transactions must
  // forget it.
  bool Detached() const { return detached_; }
  void SetDetached() { detached_ = true; }

  TOPCTag& Tag() const { return *tag_; }
  void PrefetchTag() const { tag_->PrefetchHot(); }
  // The tag left the address space: the item answers as an unknown item.
  bool TagRemoved() const { return tag_->Removed(); }

  OPCHANDLE ServerHandle() const { return serverHandle_; }
  bool Active() const { return active_; }
  void SetActive(bool active) {
    active_ = active;
    if (active) MarkPending();
  }
  OPCHANDLE ClientHandle() const { return clientHandle_; }
  void SetClientHandle(OPCHANDLE h) { clientHandle_ = h; }
  VARTYPE RequestedDataType() const { return requestedDataType_; }
  void SetRequestedDataType(VARTYPE vt) { requestedDataType_ = vt; }
  bool DeadbandSet() const { return deadbandSet_; }
  float Deadband() const { return deadband_; }
  void SetDeadband(float percent) {
    deadband_ = percent;
    deadbandSet_ = true;
    MarkPending();
  }
  void ClearDeadband() {
    deadbandSet_ = false;
    MarkPending();
  }

  const VARIANT& Value() const { return value_.Get(); }
  WORD Quality() const { return quality_; }
  const FILETIME& TimeStamp() const { return timeStamp_; }

  // Fill records for the item enumerator and for cloning; false (logged) on failure.
  bool GetAttributes(OPCITEMATTRIBUTES& attributes) const;
  bool GetDefinition(OPCITEMDEF& def) const;

  HRESULT Read(OPCDATASOURCE source);
  HRESULT ReadMaxAge(DWORD maxAgeMs);
  HRESULT Write(const VARIANT& v);
  // Whether the tag moved away from what this client last got, by the item's
  // own deadband or else the group's, or the item was marked initial; takes
  // the tag's state when it did.
  bool HasChanged(float groupDeadband);

 private:
  static constexpr uint32_t kNotPending = ~0u;

  void TakeFromTag();
  void LeavePending();

  // In order of size, so that a group of 100,000 items pays no padding.
  std::shared_ptr<TOPCTag> tag_;
  // The tag's change count and the deadband at the last test that found no
  // change: while both stay, the answer stays, without comparing values.
  uint64_t unchangedAtCount_ = ~0ULL;
  Variant value_;
  FILETIME timeStamp_{};
  PendingList* pending_ = nullptr;
  float unchangedAtDeadband_ = 0;
  // Deadbands come as FLOATs and are kept as they came.
  float deadband_ = 0;
  OPCHANDLE clientHandle_;
  OPCHANDLE serverHandle_;
  uint32_t order_ = 0;
  uint32_t pendingAt_ = kNotPending;
  WORD quality_ = OPC_QUALITY_BAD;
  VARTYPE requestedDataType_;
  bool active_;
  bool deadbandSet_ = false;
  bool initial_ = false;
  bool detached_ = false;
};

}  // namespace quillon
