#pragma once
// The pending asynchronous transactions of one group: a queue each for reads,
// writes and refreshes, executed head first; the ids they carry; and
// QueueLock around all three.
#include <windows.h>

#include <deque>
#include <memory>

#include "async_data.h"
#include "critical_section.h"

namespace quillon {

class TTransactionQueues {
 public:
  enum class Kind { Read, Write, Refresh };

  // The client's id, or one of the toolkit's own unique among live transactions.
  DWORD NewId(DWORD requested);
  void Push(Kind kind, std::unique_ptr<TAsyncData> t);
  // The head of the queue, taken out; null when the queue is empty.
  std::unique_ptr<TAsyncData> PopHead(Kind kind);
  // Takes the transaction with Id out of whichever queue holds it (reads,
  // then refreshes, then writes); false when none does.
  bool Cancel(DWORD id);
  // Item leaves the group: no queued transaction may reach it.
  void ForgetDetached();
  void Clear();
  size_t Size(Kind kind) const { return Of(kind).size(); }

  // Re-entrant for the group's thread: a completion may queue or cancel.
  CriticalSection& QueueLock() { return lock_; }

 private:
  using Queue = std::deque<std::unique_ptr<TAsyncData>>;
  Queue& Of(Kind kind);
  const Queue& Of(Kind kind) const;
  bool Live(DWORD id) const;

  Queue reads_, writes_, refreshes_;
  CriticalSection lock_;
  // Toolkit-made ids come from a range of their own, above the small ids
  // clients tend to choose.
  DWORD nextId_ = 0x80000000;
};

}  // namespace quillon
