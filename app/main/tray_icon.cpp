#include "tray_icon.h"

#include <cwchar>

namespace opclumbra {

TTrayIcon::TTrayIcon(HWND owner, UINT callbackMessage, HICON icon, const wchar_t* hint)
    : taskbarCreated_(RegisterWindowMessageW(L"TaskbarCreated")) {
  data_.cbSize = sizeof data_;
  data_.hWnd = owner;
  data_.uID = 1;
  data_.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
  data_.uCallbackMessage = callbackMessage;
  data_.hIcon = icon;
  std::wcsncpy(data_.szTip, hint, sizeof data_.szTip / sizeof data_.szTip[0] - 1);
}

TTrayIcon::~TTrayIcon() {
  if (added_) Shell_NotifyIconW(NIM_DELETE, &data_);
}

bool TTrayIcon::Add() {
  added_ = Shell_NotifyIconW(NIM_ADD, &data_) != FALSE;
  return added_;
}

bool TTrayIcon::HandleShellRestart(UINT message) {
  if (message != taskbarCreated_ || taskbarCreated_ == 0) return false;
  Add();
  return true;
}

}  // namespace opclumbra
