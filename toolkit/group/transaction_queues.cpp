#include "transaction_queues.h"

#include <algorithm>

namespace quillon {

TTransactionQueues::Queue& TTransactionQueues::Of(Kind kind) {
  return const_cast<Queue&>(static_cast<const TTransactionQueues*>(this)->Of(kind));
}

const TTransactionQueues::Queue& TTransactionQueues::Of(Kind kind) const {
  switch (kind) {
    case Kind::Read: return reads_;
    case Kind::Write: return writes_;
    default: return refreshes_;
  }
}

bool TTransactionQueues::Live(DWORD id) const {
  for (const Queue* q : {&reads_, &writes_, &refreshes_})
    for (const auto& t : *q)
      if (t->ID() == id) return true;
  return false;
}

DWORD TTransactionQueues::NewId(DWORD requested) {
  if (requested != 0) return requested;
  // Skipping any id a live transaction carries, so a cancel never reaches
  // another transaction than the one meant.
  DWORD id;
  do {
    id = nextId_++;
    if (nextId_ == 0) nextId_ = 0x80000000;
  } while (id == 0 || Live(id));
  return id;
}

void TTransactionQueues::Push(Kind kind, std::unique_ptr<TAsyncData> t) {
  Lock lock(lock_);
  Of(kind).push_back(std::move(t));
}

std::unique_ptr<TAsyncData> TTransactionQueues::PopHead(Kind kind) {
  Lock lock(lock_);
  Queue& queue = Of(kind);
  if (queue.empty()) return nullptr;
  std::unique_ptr<TAsyncData> t = std::move(queue.front());
  queue.pop_front();
  return t;
}

bool TTransactionQueues::Cancel(DWORD id) {
  Lock lock(lock_);
  for (Queue* q : {&reads_, &refreshes_, &writes_}) {
    auto it = std::find_if(q->begin(), q->end(), [&](const auto& t) { return t->ID() == id; });
    if (it == q->end()) continue;
    q->erase(it);
    return true;
  }
  return false;
}

void TTransactionQueues::ForgetDetached() {
  Lock lock(lock_);
  for (Queue* q : {&reads_, &writes_, &refreshes_})
    for (auto& t : *q) t->ForgetDetached();
}

void TTransactionQueues::Clear() {
  Lock lock(lock_);
  reads_.clear();
  writes_.clear();
  refreshes_.clear();
}

}  // namespace quillon
