#pragma once
// The main window's log: a read-only edit control that keeps the newest
// lines, at most Limit characters. Lines come in batches: an edit control
// re-lays out its text on every change (under Wine a millisecond or more a
// line hidden, far more shown), so a line is only queued, and the queue goes
// into the control in one change when the flush timer fires, FlushMs after
// the first queued line or four times as long as the last flush took.
#include <windows.h>

#include <cstddef>
#include <string>

namespace opclumbra {

class TLogPane {
 public:
  // Timer Id of Owner runs the flush; Owner's window procedure calls Flush.
  TLogPane(size_t limit, UINT_PTR timerId, UINT flushMs);
  void Attach(HWND owner, HWND edit);
  void Add(const std::wstring& line);
  void Flush();
  UINT_PTR TimerId() const { return timerId_; }

 private:
  size_t limit_;
  UINT_PTR timerId_;
  UINT flushMs_;
  // Till the next flush: longer after a flush that took long.
  UINT delayMs_;
  HWND owner_ = nullptr, edit_ = nullptr;
  std::wstring queued_;
  bool scheduled_ = false;
  // Queued lines were dropped since the last flush.
  bool dropped_ = false;
};

}  // namespace opclumbra
