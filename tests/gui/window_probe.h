#pragma once
// Reading what another process shows on the screen: its windows, the texts
// of its controls and the state of its toolbar buttons. The common controls
// answer only into memory of their own process, so their messages go through
// a buffer allocated there.
#include <windows.h>
#include <commctrl.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "unique_handle.h"

namespace gui {

using quillon::UniqueHandle;

// Memory in another process, freed with the object.
class RemoteBuffer {
 public:
  RemoteBuffer(HANDLE process, size_t size);
  RemoteBuffer(const RemoteBuffer&) = delete;
  RemoteBuffer& operator=(const RemoteBuffer&) = delete;
  ~RemoteBuffer();

  explicit operator bool() const { return address_ != nullptr; }
  // The address in the other process, Offset bytes in.
  void* At(size_t offset = 0) const { return static_cast<char*>(address_) + offset; }
  bool Write(const void* data, size_t size, size_t offset = 0) const;
  bool Read(void* data, size_t size, size_t offset = 0) const;
  std::wstring ReadString(size_t offset, size_t maxChars) const;

 private:
  HANDLE process_;
  void* address_;
};

// Polls Done every 20 ms until it holds or Timeout has passed; answers Done.
bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout);

std::wstring WindowText(HWND window);
std::wstring ClassName(HWND window);
DWORD ProcessOf(HWND window);

// The visible top-level windows of process Pid with class Class (and caption Caption when given).
std::vector<HWND> TopLevelWindows(DWORD pid, const wchar_t* cls, const wchar_t* caption = nullptr);
// Any top-level window with class Class, of whichever process.
std::vector<HWND> TopLevelWindowsOfClass(const wchar_t* cls);
std::vector<HWND> ChildWindows(HWND parent, const wchar_t* cls);

// The texts of a dialog's static controls, in the order of the dialog's children.
std::vector<std::wstring> StaticTexts(HWND dialog);

// The controls of the window of process Process (all within Process's memory).
class ControlReader {
 public:
  explicit ControlReader(DWORD pid);
  explicit operator bool() const { return bool(process_); }

  // The tree's items depth first, each as its path "Root/Branch".
  std::vector<std::wstring> TreePaths(HWND tree) const;
  // The screen rectangle of the text of the item with path Path; empty when there is none.
  RECT TreeItemRect(HWND tree, const std::wstring& path) const;
  // Every row of a report list view, Columns cells each.
  std::vector<std::vector<std::wstring>> ListRows(HWND list, int columns) const;
  // A column header's caption.
  std::wstring ListColumn(HWND list, int column) const;
  std::wstring StatusText(HWND status, int part) const;
  // The screen rectangle of a toolbar button.
  RECT ToolbarButtonRect(HWND toolbar, UINT id) const;

 private:
  HTREEITEM FindTreeItem(HWND tree, const std::wstring& path) const;
  void CollectTree(HWND tree, HTREEITEM first, const std::wstring& prefix, std::vector<std::wstring>& out) const;
  std::wstring TreeItemText(HWND tree, HTREEITEM item) const;

  UniqueHandle process_;
};

bool ToolbarButtonEnabled(HWND toolbar, UINT id);
POINT Centre(const RECT& r);

}  // namespace gui
