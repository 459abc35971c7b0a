#pragma once
// One item of one group: the client's view of a tag, with the value, quality
// and timestamp last taken from it for that client. It observes its tag, so
// that a change puts it on the group's list of items to test.
#include <windows.h>

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
  // differently; the tick takes the whole list.
  void SetPendingList(std::vector<TOPCItem*>* list, uint64_t sequence) {
    pending_ = list;
    sequence_ = sequence;
  }
  void MarkPending() {
    if (pending_ && !queued_) {
      queued_ = true;
      pending_->push_back(this);
    }
  }
  void TagChanged() override { MarkPending(); }
  // The next change test answers "changed" whatever the tag did, so a
  // subscriber that starts listening gets the current state once.
  void MarkInitial() {
    initial_ = true;
    MarkPending();
  }
  void ClearQueued() { queued_ = false; }
  // Order of addition to the group: ticks report items in that order.
  uint64_t Sequence() const { return sequence_; }

  TOPCTag& Tag() const { return *tag_; }
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
  double Deadband() const { return deadband_; }
  void SetDeadband(double percent) {
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
  void TakeFromTag();

  std::shared_ptr<TOPCTag> tag_;
  // The tag's change count and the deadband at the last test that found no
  // change: while both stay, the answer stays, without comparing values.
  uint64_t unchangedAtCount_ = ~0ULL;
  double unchangedAtDeadband_ = 0;
  bool deadbandSet_ = false;
  double deadband_ = 0;
  bool active_;
  OPCHANDLE clientHandle_;
  Variant value_;
  WORD quality_ = OPC_QUALITY_BAD;
  VARTYPE requestedDataType_;
  FILETIME timeStamp_{};
  OPCHANDLE serverHandle_;
  std::vector<TOPCItem*>* pending_ = nullptr;
  uint64_t sequence_ = 0;
  bool queued_ = false;
  bool initial_ = false;
};

}  // namespace quillon
