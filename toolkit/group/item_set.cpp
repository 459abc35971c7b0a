#include "item_set.h"

#include <algorithm>
#include <stdexcept>

namespace quillon {

TItemSet::TItemSet() : itemLock_(CreateMutexW(nullptr, FALSE, nullptr)) {
  if (!itemLock_) throw std::runtime_error("CreateMutex failed for the item lock");
}

TOPCItem* TItemSet::Add(std::shared_ptr<TOPCTag> tag, const OPCITEMDEF& def) {
  auto item = std::make_unique<TOPCItem>(std::move(tag), def);
  TOPCItem* raw = item.get();
  slots_.push_back(std::move(item));
  try {
    if (!index_.Insert(raw)) throw std::logic_error("two items share a server handle");
  } catch (...) {
    slots_.pop_back();
    throw;
  }
  raw->SetPendingList(&pending_, uint32_t(slots_.size() - 1));
  raw->MarkInitial();
  return raw;
}

std::unique_ptr<TOPCItem> TItemSet::Detach(TOPCItem& item) {
  if (!index_.Erase(item.ServerHandle())) return nullptr;
  std::unique_ptr<TOPCItem> taken = std::move(slots_[item.Order()]);
  taken->SetDetached();
  const size_t gaps = slots_.size() - index_.Size();
  if (gaps * 2 > slots_.size() && slots_.size() >= 64) Compact();
  return taken;
}

void TItemSet::Compact() {
  size_t kept = 0;
  for (auto& item : slots_) {
    if (!item) continue;
    item->SetOrder(uint32_t(kept));
    slots_[kept++] = std::move(item);
  }
  slots_.resize(kept);
  // The capacity follows when the group has shrunk to a fraction of it.
  if (slots_.capacity() > 4 * kept + 64) slots_.shrink_to_fit();
}

void TItemSet::Clear() {
  pending_.clear();
  for (const auto& item : slots_)
    if (item) item->SetPendingList(nullptr, item->Order());
  index_.Clear();
  slots_.clear();
}

std::vector<TOPCItem*> TItemSet::Readable() const {
  std::vector<TOPCItem*> items;
  ForEach([&](TOPCItem& item) {
    if (!item.TagRemoved() && item.Tag().CheckAccess(OPC_READABLE) == S_OK) items.push_back(&item);
  });
  return items;
}

std::vector<TOPCItem*> TItemSet::TakePending() {
  std::vector<TOPCItem*> items = std::move(pending_);
  pending_.clear();
  for (TOPCItem* item : items) item->ClearQueued();
  std::sort(items.begin(), items.end(), [](TOPCItem* a, TOPCItem* b) { return a->Order() < b->Order(); });
  return items;
}

void TItemSet::MarkAllPending() {
  ForEach([](TOPCItem& item) { item.MarkPending(); });
}

void TItemSet::MarkAllInitial() {
  ForEach([](TOPCItem& item) { item.MarkInitial(); });
}

}  // namespace quillon
