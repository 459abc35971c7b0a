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
  index_.emplace(raw->ServerHandle(), raw);
  try {
    items_.push_back(std::move(item));
  } catch (...) {
    index_.erase(raw->ServerHandle());
    throw;
  }
  raw->SetPendingList(&pending_, nextSequence_++);
  raw->MarkInitial();
  return raw;
}

void TItemSet::Remove(TOPCItem& item) {
  index_.erase(item.ServerHandle());
  std::erase_if(items_, [&](const auto& p) { return p.get() == &item; });
}

void TItemSet::Clear() {
  pending_.clear();
  for (const auto& item : items_) item->SetPendingList(nullptr, item->Sequence());
  index_.clear();
  items_.clear();
}

TOPCItem* TItemSet::Find(OPCHANDLE handle) const {
  auto it = index_.find(handle);
  return it == index_.end() ? nullptr : it->second;
}

std::vector<TOPCItem*> TItemSet::Readable() const {
  std::vector<TOPCItem*> items;
  for (const auto& item : items_)
    if (!item->TagRemoved() && item->Tag().CheckAccess(OPC_READABLE) == S_OK) items.push_back(item.get());
  return items;
}

std::vector<TOPCItem*> TItemSet::TakePending() {
  std::vector<TOPCItem*> items = std::move(pending_);
  pending_.clear();
  for (TOPCItem* item : items) item->ClearQueued();
  std::sort(items.begin(), items.end(), [](TOPCItem* a, TOPCItem* b) { return a->Sequence() < b->Sequence(); });
  return items;
}

void TItemSet::MarkAllPending() {
  for (const auto& item : items_) item->MarkPending();
}

void TItemSet::MarkAllInitial() {
  for (const auto& item : items_) item->MarkInitial();
}

}  // namespace quillon
