#include "window_probe.h"

#include <commctrl.h>

#include <thread>

namespace gui {
namespace {

constexpr size_t kTextChars = 512;

struct EnumState {
  DWORD pid;
  const wchar_t* cls;
  const wchar_t* caption;
  bool visibleOnly;
  std::vector<HWND> found;
};

BOOL CALLBACK CollectWindow(HWND window, LPARAM param) {
  auto& state = *reinterpret_cast<EnumState*>(param);
  if (state.pid && ProcessOf(window) != state.pid) return TRUE;
  if (state.visibleOnly && !IsWindowVisible(window)) return TRUE;
  if (state.cls && ClassName(window) != state.cls) return TRUE;
  if (state.caption && WindowText(window) != state.caption) return TRUE;
  state.found.push_back(window);
  return TRUE;
}

}  // namespace

RemoteBuffer::RemoteBuffer(HANDLE process, size_t size)
    : process_(process), address_(VirtualAllocEx(process, nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE)) {}

RemoteBuffer::~RemoteBuffer() {
  if (address_) VirtualFreeEx(process_, address_, 0, MEM_RELEASE);
}

bool RemoteBuffer::Write(const void* data, size_t size, size_t offset) const {
  SIZE_T done = 0;
  return address_ && WriteProcessMemory(process_, At(offset), data, size, &done) && done == size;
}

bool RemoteBuffer::Read(void* data, size_t size, size_t offset) const {
  SIZE_T done = 0;
  return address_ && ReadProcessMemory(process_, At(offset), data, size, &done) && done == size;
}

std::wstring RemoteBuffer::ReadString(size_t offset, size_t maxChars) const {
  std::wstring text(maxChars, L'\0');
  if (!Read(text.data(), maxChars * sizeof(wchar_t), offset)) return L"<unreadable>";
  text.resize(text.find(L'\0') == std::wstring::npos ? maxChars : text.find(L'\0'));
  return text;
}

bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
  const auto end = std::chrono::steady_clock::now() + timeout;
  while (!done()) {
    if (std::chrono::steady_clock::now() >= end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
}

std::wstring WindowText(HWND window) {
  // WM_GETTEXT rather than GetWindowText, which reads only captions across processes.
  const auto length = SendMessageW(window, WM_GETTEXTLENGTH, 0, 0);
  std::wstring text(size_t(length) + 1, L'\0');
  text.resize(size_t(SendMessageW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()))));
  return text;
}

std::wstring ClassName(HWND window) {
  wchar_t name[256];
  int n = GetClassNameW(window, name, 256);
  return std::wstring(name, n > 0 ? n : 0);
}

DWORD ProcessOf(HWND window) {
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  return pid;
}

std::vector<HWND> TopLevelWindows(DWORD pid, const wchar_t* cls, const wchar_t* caption) {
  EnumState state{pid, cls, caption, true, {}};
  EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&state));
  return state.found;
}

std::vector<HWND> TopLevelWindowsOfClass(const wchar_t* cls) {
  EnumState state{0, cls, nullptr, false, {}};
  EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&state));
  return state.found;
}

std::vector<HWND> ChildWindows(HWND parent, const wchar_t* cls) {
  EnumState state{0, cls, nullptr, false, {}};
  EnumChildWindows(parent, CollectWindow, reinterpret_cast<LPARAM>(&state));
  return state.found;
}

std::vector<std::wstring> StaticTexts(HWND dialog) {
  std::vector<std::wstring> texts;
  for (HWND child : ChildWindows(dialog, L"Static"))
    if (std::wstring text = WindowText(child); !text.empty()) texts.push_back(text);
  return texts;
}

ControlReader::ControlReader(DWORD pid)
    : process_(OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid)) {}

std::wstring ControlReader::TreeItemText(HWND tree, HTREEITEM item) const {
  RemoteBuffer buffer(process_.Get(), sizeof(TVITEMW) + kTextChars * sizeof(wchar_t));
  TVITEMW query{TVIF_TEXT};
  query.hItem = item;
  query.pszText = static_cast<wchar_t*>(buffer.At(sizeof(TVITEMW)));
  query.cchTextMax = int(kTextChars);
  if (!buffer.Write(&query, sizeof query) ||
      !SendMessageW(tree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(buffer.At())))
    return L"<unreadable>";
  return buffer.ReadString(sizeof(TVITEMW), kTextChars);
}

void ControlReader::CollectTree(HWND tree, HTREEITEM first, const std::wstring& prefix,
                                std::vector<std::wstring>& out) const {
  for (HTREEITEM item = first; item;
       item = reinterpret_cast<HTREEITEM>(SendMessageW(tree, TVM_GETNEXTITEM, TVGN_NEXT, LPARAM(item)))) {
    std::wstring path = prefix + TreeItemText(tree, item);
    out.push_back(path);
    CollectTree(tree, reinterpret_cast<HTREEITEM>(SendMessageW(tree, TVM_GETNEXTITEM, TVGN_CHILD, LPARAM(item))),
                path + L"/", out);
  }
}

std::vector<std::wstring> ControlReader::TreePaths(HWND tree) const {
  std::vector<std::wstring> paths;
  CollectTree(tree, reinterpret_cast<HTREEITEM>(SendMessageW(tree, TVM_GETNEXTITEM, TVGN_ROOT, 0)), L"", paths);
  return paths;
}

HTREEITEM ControlReader::FindTreeItem(HWND tree, const std::wstring& path) const {
  HTREEITEM item = reinterpret_cast<HTREEITEM>(SendMessageW(tree, TVM_GETNEXTITEM, TVGN_ROOT, 0));
  std::wstring rest = path;
  while (item) {
    const size_t slash = rest.find(L'/');
    const std::wstring name = rest.substr(0, slash);
    while (item && TreeItemText(tree, item) != name)
      item = reinterpret_cast<HTREEITEM>(SendMessageW(tree, TVM_GETNEXTITEM, TVGN_NEXT, LPARAM(item)));
    if (!item || slash == std::wstring::npos) return item;
    rest = rest.substr(slash + 1);
    item = reinterpret_cast<HTREEITEM>(SendMessageW(tree, TVM_GETNEXTITEM, TVGN_CHILD, LPARAM(item)));
  }
  return nullptr;
}

RECT ControlReader::TreeItemRect(HWND tree, const std::wstring& path) const {
  RECT rect{};
  HTREEITEM item = FindTreeItem(tree, path);
  RemoteBuffer buffer(process_.Get(), sizeof(RECT));
  // TVM_GETITEMRECT takes the item in the rectangle it answers in.
  if (!item || !buffer.Write(&item, sizeof item) ||
      !SendMessageW(tree, TVM_GETITEMRECT, TRUE, reinterpret_cast<LPARAM>(buffer.At())) ||
      !buffer.Read(&rect, sizeof rect))
    return {};
  MapWindowPoints(tree, nullptr, reinterpret_cast<POINT*>(&rect), 2);
  return rect;
}

std::vector<std::vector<std::wstring>> ControlReader::ListRows(HWND list, int columns) const {
  std::vector<std::vector<std::wstring>> rows;
  RemoteBuffer buffer(process_.Get(), sizeof(LVITEMW) + kTextChars * sizeof(wchar_t));
  const int count = int(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
  for (int row = 0; row < count; ++row) {
    std::vector<std::wstring> cells;
    for (int column = 0; column < columns; ++column) {
      LVITEMW query{};
      query.iSubItem = column;
      query.pszText = static_cast<wchar_t*>(buffer.At(sizeof(LVITEMW)));
      query.cchTextMax = int(kTextChars);
      const wchar_t empty = 0;
      buffer.Write(&empty, sizeof empty, sizeof(LVITEMW));
      if (!buffer.Write(&query, sizeof query)) return {};
      SendMessageW(list, LVM_GETITEMTEXTW, row, reinterpret_cast<LPARAM>(buffer.At()));
      cells.push_back(buffer.ReadString(sizeof(LVITEMW), kTextChars));
    }
    rows.push_back(std::move(cells));
  }
  return rows;
}

std::wstring ControlReader::ListColumn(HWND list, int column) const {
  RemoteBuffer buffer(process_.Get(), sizeof(LVCOLUMNW) + kTextChars * sizeof(wchar_t));
  LVCOLUMNW query{LVCF_TEXT};
  query.pszText = static_cast<wchar_t*>(buffer.At(sizeof(LVCOLUMNW)));
  query.cchTextMax = int(kTextChars);
  if (!buffer.Write(&query, sizeof query) ||
      !SendMessageW(list, LVM_GETCOLUMNW, column, reinterpret_cast<LPARAM>(buffer.At())))
    return L"<none>";
  return buffer.ReadString(sizeof(LVCOLUMNW), kTextChars);
}

std::wstring ControlReader::StatusText(HWND status, int part) const {
  RemoteBuffer buffer(process_.Get(), kTextChars * sizeof(wchar_t));
  const wchar_t empty = 0;
  if (!buffer.Write(&empty, sizeof empty)) return L"<unreadable>";
  const auto length = LOWORD(SendMessageW(status, SB_GETTEXTLENGTHW, part, 0));
  if (length >= kTextChars) return L"<too long>";
  SendMessageW(status, SB_GETTEXTW, part, reinterpret_cast<LPARAM>(buffer.At()));
  return buffer.ReadString(0, kTextChars);
}

RECT ControlReader::ToolbarButtonRect(HWND toolbar, UINT id) const {
  RECT rect{};
  RemoteBuffer buffer(process_.Get(), sizeof(RECT));
  if (!SendMessageW(toolbar, TB_GETRECT, id, reinterpret_cast<LPARAM>(buffer.At())) ||
      !buffer.Read(&rect, sizeof rect))
    return {};
  MapWindowPoints(toolbar, nullptr, reinterpret_cast<POINT*>(&rect), 2);
  return rect;
}

bool ToolbarButtonEnabled(HWND toolbar, UINT id) {
  return SendMessageW(toolbar, TB_ISBUTTONENABLED, id, 0) != 0;
}

POINT Centre(const RECT& r) {
  return {(r.left + r.right) / 2, (r.top + r.bottom) / 2};
}

}  // namespace gui
