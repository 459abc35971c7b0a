// The main window's log pane on a real edit control: it keeps the newest
// lines within its limit, whole and in order, however many come, and takes
// them in batches on its flush timer.
#include "log_pane.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace opclumbra {
namespace {

constexpr UINT_PTR kTimer = 7;

class LogPaneTest : public ::testing::Test {
 protected:
  void SetUp() override {
    owner_ = CreateWindowExW(0, L"STATIC", L"", WS_OVERLAPPEDWINDOW, 0, 0, 400, 300, nullptr, nullptr, nullptr, nullptr);
    edit_ = CreateWindowExW(0, L"EDIT", L"", WS_CHILD | WS_VSCROLL | ES_MULTILINE | ES_AUTOVSCROLL | ES_READONLY, 0, 0,
                            400, 100, owner_, nullptr, nullptr, nullptr);
    ASSERT_TRUE(owner_ && edit_);
    SendMessageW(edit_, EM_SETLIMITTEXT, 0, 0);
  }
  void TearDown() override { DestroyWindow(owner_); }

  std::wstring Text() const {
    std::wstring text(size_t(GetWindowTextLengthW(edit_)) + 1, L'\0');
    text.resize(size_t(GetWindowTextW(edit_, text.data(), int(text.size()))));
    return text;
  }

  static std::vector<std::wstring> Lines(const std::wstring& text) {
    std::vector<std::wstring> lines;
    size_t at = 0;
    while (true) {
      const size_t end = text.find(L"\r\n", at);
      lines.push_back(text.substr(at, end - at));
      if (end == std::wstring::npos) return lines;
      at = end + 2;
    }
  }

  static std::wstring Numbered(int i) { return L"line " + std::to_wstring(i) + L" of the log"; }

  // The pane holds Numbered(first) .. Numbered(last), each whole, in order.
  void ExpectRun(int last, size_t limit, bool full = true) {
    const std::wstring text = Text();
    ASSERT_LE(text.size(), limit);
    const auto lines = Lines(text);
    ASSERT_FALSE(lines.empty());
    const int first = last - int(lines.size()) + 1;
    for (size_t i = 0; i < lines.size(); ++i) ASSERT_EQ(lines[i], Numbered(first + int(i))) << "line " << i;
    if (full) {
      // At least a quarter of the limit is kept: not everything is thrown away.
      EXPECT_GE(text.size(), limit / 4);
    } else {
      EXPECT_EQ(first, 1);
    }
  }

  HWND owner_ = nullptr, edit_ = nullptr;
};

TEST_F(LogPaneTest, LinesWaitForTheFlushTimerAndArriveInOneBatch) {
  TLogPane pane(1 << 20, kTimer, 50);
  pane.Attach(owner_, edit_);
  for (int i = 1; i <= 3; ++i) pane.Add(Numbered(i));
  EXPECT_EQ(Text(), L"");
  MSG msg;
  const DWORD began = GetTickCount();
  while (Text().empty() && GetTickCount() - began < 5000) {
    if (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (msg.message == WM_TIMER && msg.hwnd == owner_ && msg.wParam == kTimer) pane.Flush();
      DispatchMessageW(&msg);
    } else {
      Sleep(5);
    }
  }
  EXPECT_EQ(Text(), Numbered(1) + L"\r\n" + Numbered(2) + L"\r\n" + Numbered(3));
  pane.Add(Numbered(4));
  pane.Flush();
  EXPECT_EQ(Lines(Text()).back(), Numbered(4));
  EXPECT_EQ(Lines(Text()).size(), 4u);
}

TEST_F(LogPaneTest, KeepsTheNewestWholeLinesWithinItsLimitWhateverTheBatches) {
  constexpr size_t kLimit = 20000;
  TLogPane pane(kLimit, kTimer, 50);
  pane.Attach(owner_, edit_);
  int n = 0;
  size_t written = 0;
  // Batches of one line, of a few, of about the limit, and far beyond it.
  for (int batch : {1, 1, 7, 300, 1000, 1, 5000, 2, 100000, 3}) {
    for (int i = 0; i < batch; ++i) {
      pane.Add(Numbered(++n));
      written += Numbered(n).size() + 2;
    }
    pane.Flush();
    ASSERT_NO_FATAL_FAILURE(ExpectRun(n, kLimit, written > kLimit)) << "after a batch of " << batch;
  }
}

TEST_F(LogPaneTest, AMillionLinesStayWithinTheLimit) {
  constexpr size_t kLimit = 1 << 20;
  TLogPane pane(kLimit, kTimer, 50);
  pane.Attach(owner_, edit_);
  int n = 0;
  for (int flush = 0; flush < 20; ++flush) {
    for (int i = 0; i < 50000; ++i) pane.Add(Numbered(++n));
    pane.Flush();
  }
  ExpectRun(n, kLimit);
}

TEST_F(LogPaneTest, ALineLongerThanTheLimitStillShowsAndTheNextReplacesIt) {
  TLogPane pane(100, kTimer, 50);
  pane.Attach(owner_, edit_);
  pane.Add(std::wstring(300, L'x'));
  pane.Flush();
  EXPECT_EQ(Text(), std::wstring(300, L'x'));
  pane.Add(Numbered(1));
  pane.Flush();
  EXPECT_EQ(Text(), Numbered(1));
}

TEST_F(LogPaneTest, WithoutAControlLinesAreKeptWithinTheLimitUntilOneIsAttached) {
  TLogPane pane(1000, kTimer, 50);
  for (int i = 1; i <= 500; ++i) pane.Add(Numbered(i));
  pane.Attach(owner_, edit_);
  pane.Flush();
  ExpectRun(500, 1000);
}

}  // namespace
}  // namespace opclumbra
