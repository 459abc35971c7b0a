#pragma once
// The items of one group: their records in order of addition, the index from
// server handle to item, the list of items the next update tick must test,
// and ItemLock around the list. Adding, finding and removing an item cost the
// same whatever the size of the group.
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <vector>

#include "handle_index.h"
#include "opc_da.h"
#include "opc_item.h"
#include "unique_handle.h"

namespace quillon {

class TItemSet {
 public:
  TItemSet();
  // The items go before the pending list they would otherwise leave.
  ~TItemSet() { Clear(); }
  TItemSet(const TItemSet&) = delete;
  TItemSet& operator=(const TItemSet&) = delete;

  // A new item on Tag, marked initial: its state goes out at the next tick.
  TOPCItem* Add(std::shared_ptr<TOPCTag> tag, const OPCITEMDEF& def);
  // Takes the item out of the set, marked detached; it lives as long as the
  // caller keeps it, so that transactions can forget it first.
  std::unique_ptr<TOPCItem> Detach(TOPCItem& item);
  void Remove(TOPCItem& item) { Detach(item); }
  // Room for Count more items, before a call adds them.
  void Reserve(size_t count) {
    // Growing by half at least, so that many small calls stay linear in all.
    if (slots_.capacity() < slots_.size() + count)
      slots_.reserve(std::max(slots_.size() + count, slots_.capacity() + slots_.capacity() / 2));
    index_.Reserve(index_.Size() + count);
  }
  // Every item goes at once, and the pending list with them.
  void Clear();

  // The item a server handle names, or none.
  TOPCItem* Find(OPCHANDLE handle) const { return index_.Find(handle); }
  // For loops over a client's handles: warms the lookups of the entries
  // ahead of entry I, first their slots, then their items, then their tags.
  void PrefetchAhead(const OPCHANDLE* handles, size_t count, size_t i) const {
    if (i + 24 < count) index_.PrefetchSlot(handles[i + 24]);
    if (i + 16 < count) index_.PrefetchObject(handles[i + 16]);
    if (i + 8 < count)
      if (const TOPCItem* item = index_.Find(handles[i + 8])) item->PrefetchTag();
  }
  size_t Size() const { return index_.Size(); }
  bool Empty() const { return index_.Size() == 0; }
  // Every item, in order of addition.
  template <class F>
  void ForEach(F&& f) const {
    for (const auto& item : slots_)
      if (item) f(*item);
  }
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
  struct HandleOf {
    OPCHANDLE operator()(const TOPCItem& item) const { return item.ServerHandle(); }
  };
  // Closes the gaps removed items left, keeping the order; run when gaps are
  // the most of the slots, so that it costs O(1) per removal over time.
  void Compact();

  // In order of addition; a removed item leaves a gap until the next compaction.
  std::vector<std::unique_ptr<TOPCItem>> slots_;
  HandleIndex<TOPCItem, HandleOf> index_;
  TOPCItem::PendingList pending_;
  UniqueHandle itemLock_;
};

}  // namespace quillon
