#include "log_pane.h"

#include <algorithm>
#include <utility>

namespace opclumbra {
namespace {

constexpr wchar_t kNewLine[] = L"\r\n";

// Where the first line that starts after At starts in Text; npos if none.
size_t NextLineStart(const std::wstring& text, size_t at) {
  const size_t end = text.find(kNewLine, at);
  return end == std::wstring::npos ? std::wstring::npos : end + 2;
}

}  // namespace

TLogPane::TLogPane(size_t limit, UINT_PTR timerId, UINT flushMs)
    : limit_(limit), timerId_(timerId), flushMs_(flushMs), delayMs_(flushMs) {}

void TLogPane::Attach(HWND owner, HWND edit) {
  owner_ = owner;
  edit_ = edit;
}

void TLogPane::Add(const std::wstring& line) {
  if (!queued_.empty()) queued_ += kNewLine;
  queued_ += line;
  // A flood between two flushes keeps only its newest lines: what the
  // control would keep of it anyway.
  if (queued_.size() > limit_) {
    const size_t cut = NextLineStart(queued_, queued_.size() - limit_ / 2);
    queued_.erase(0, cut == std::wstring::npos ? queued_.size() - line.size() : cut);
    // What the control holds is older still: it goes too, or a gap would show.
    dropped_ = true;
  }
  if (!scheduled_ && owner_) scheduled_ = SetTimer(owner_, timerId_, delayMs_, nullptr) != 0;
  // No timer to be had: in at once, as one line.
  if (!scheduled_) Flush();
}

void TLogPane::Flush() {
  if (scheduled_ && owner_) KillTimer(owner_, timerId_);
  scheduled_ = false;
  if (!edit_ || queued_.empty()) return;
  const DWORD began = GetTickCount();
  // A control near its limit takes long to change: under a flood of lines
  // the pane gets at most a fifth of the thread.
  struct NextDelay {
    TLogPane& pane;
    DWORD began;
    ~NextDelay() { pane.delayMs_ = std::max<DWORD>(pane.flushMs_, 4 * (GetTickCount() - began)); }
  } next{*this, began};
  std::wstring text = std::move(queued_);
  queued_.clear();
  if (std::exchange(dropped_, false)) SetWindowTextW(edit_, L"");
  const int length = GetWindowTextLengthW(edit_);
  if (length > 0) text.insert(0, kNewLine);
  const size_t total = size_t(length) + text.size();
  if (total > limit_) {
    // Drop the oldest lines, down to about half the limit, at a line boundary.
    const size_t drop = total - limit_ / 2;
    if (drop >= size_t(length)) {
      SetWindowTextW(edit_, text.c_str() + 2 * (length > 0));
      SendMessageW(edit_, EM_SETSEL, text.size(), text.size());
      SendMessageW(edit_, EM_SCROLLCARET, 0, 0);
      return;
    }
    // The control's own lines are wrapped ones: the cut is found in the text.
    std::wstring shown(size_t(length) + 1, L'\0');
    shown.resize(size_t(GetWindowTextW(edit_, shown.data(), int(shown.size()))));
    const size_t cut = NextLineStart(shown, drop);
    if (cut == std::wstring::npos || cut >= shown.size()) {
      SetWindowTextW(edit_, L"");
    } else {
      SendMessageW(edit_, EM_SETSEL, 0, cut);
      SendMessageW(edit_, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(L""));
    }
  }
  const int end = GetWindowTextLengthW(edit_);
  if (end == 0 && text.compare(0, 2, kNewLine) == 0) text.erase(0, 2);
  SendMessageW(edit_, EM_SETSEL, end, end);
  SendMessageW(edit_, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text.c_str()));
}

}  // namespace opclumbra
