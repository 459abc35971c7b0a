#include "modal_dialog.h"

#include <commctrl.h>

// The dialogs' templates are linked into the module holding this code.
extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace opclumbra {

INT_PTR TModalDialog::ShowModal(HWND owner) {
  // The templates hold up-down controls: their class must be registered first.
  static const bool registered = [] {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_UPDOWN_CLASS};
    return InitCommonControlsEx(&controls) != FALSE;
  }();
  static_cast<void>(registered);
  return DialogBoxParamW(reinterpret_cast<HINSTANCE>(&__ImageBase), MAKEINTRESOURCEW(templateId_),
                         owner, Procedure, reinterpret_cast<LPARAM>(this));
}

std::wstring TModalDialog::ItemText(int id) const {
  HWND item = Item(id);
  std::wstring text(static_cast<size_t>(GetWindowTextLengthW(item)), L'\0');
  // The length may shrink (DBCS estimates); the copy's count is the truth.
  text.resize(static_cast<size_t>(GetWindowTextW(item, text.data(), static_cast<int>(text.size()) + 1)));
  return text;
}

void TModalDialog::SetItemText(int id, const std::wstring& text) const {
  SetDlgItemTextW(handle_, id, text.c_str());
}

bool TModalDialog::OnCommand(int id, int) {
  switch (id) {
    case IDOK:
      OnOK();
      return true;
    case IDCANCEL:
      End(IDCANCEL);
      return true;
    default:
      return false;
  }
}

void TModalDialog::Place() const {
  RECT own;
  GetWindowRect(handle_, &own);
  HWND owner = GetWindow(handle_, GW_OWNER);
  RECT area;
  // A hidden owner (the program in the tray) gives no place to centre on.
  if (placement_ == Placement::CentreOnOwner && owner != nullptr && IsWindowVisible(owner)) {
    GetWindowRect(owner, &area);
  } else {
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    GetMonitorInfoW(MonitorFromWindow(owner, MONITOR_DEFAULTTOPRIMARY), &monitor);
    area = monitor.rcMonitor;
  }
  const int width = own.right - own.left, height = own.bottom - own.top;
  SetWindowPos(handle_, nullptr, area.left + (area.right - area.left - width) / 2,
               area.top + (area.bottom - area.top - height) / 2, 0, 0,
               SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

INT_PTR CALLBACK TModalDialog::Procedure(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    auto* self = reinterpret_cast<TModalDialog*>(lParam);
    SetWindowLongPtrW(dialog, DWLP_USER, lParam);
    self->handle_ = dialog;
    self->OnInit();
    self->Place();
    return TRUE;
  }
  // Messages before WM_INITDIALOG (WM_SETFONT) find no object yet.
  auto* self = reinterpret_cast<TModalDialog*>(GetWindowLongPtrW(dialog, DWLP_USER));
  if (self == nullptr) return FALSE;
  switch (message) {
    case WM_COMMAND:
      return self->OnCommand(LOWORD(wParam), HIWORD(wParam)) ? TRUE : FALSE;
    case WM_NCDESTROY:
      self->handle_ = nullptr;
      return FALSE;
    default:
      return FALSE;
  }
}

}  // namespace opclumbra
