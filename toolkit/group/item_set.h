#pragma once
// The items of one group: their records in order of addition, the index from
// server handle to item, the list of items the next update tick must test,
// and ItemLock around the list.
#include <windows.h>

#include <cstdint>
#include <memory>
#include <unordered_map>
#include <vector>

#include "opc_da.h"
#include "opc_item.h"
#include "unique_handle.h"

namespace quillon {

class TItemSet {
 public:
  TItemSet();
  TItemSet(const TItemSet&) = delete;
  TItemSet& operator=(const TItemSet&) = delete;

  // A new item on Tag, marked initial: its state goes out at the next tick.
  TOPCItem* Add(std::shared_ptr<TOPCTag> tag, const OPCITEMDEF& def);
  void Remove(TOPCItem& item);
  // Every item goes at once, and the pending list with them.
  void Clear();

  // The item a server handle names, or none.
  TOPCItem* Find(OPCHANDLE handle) const;
  size_t Size() const { return items_.size(); }
  bool Empty() const { return items_.empty(); }
  // In order of addition.
  const std::vector<std::unique_ptr<TOPCItem>>& Items() const { return items_; }
  // The items whose tag is in the tree and may be read, in order of addition.
  std::vector<TOPCItem*> Readable() const;

  // The items a tick must test, in order of addition; the list starts afresh.
  std::vector<TOPCItem*> TakePending();
  void MarkAllPending();
  // A new subscriber, or the group coming alive: every item's state goes out.
  void MarkAllInitial();

  // Around every walk of the items that a callback may interrupt.
  HANDLE ItemLock() const { return itemLock_.Get(); }

 private:
  std::vector<std::unique_ptr<TOPCItem>> items_;
  std::unordered_map<OPCHANDLE, TOPCItem*> index_;
  std::vector<TOPCItem*> pending_;
  uint64_t nextSequence_ = 0;
  UniqueHandle itemLock_;
};

}  // namespace quillon
