#pragma once
// The program's notification-area icon. It is added again when the desktop
// shell restarts (the shell's "TaskbarCreated" broadcast), since a new shell
// knows no icons of the old one.
#include <windows.h>
#include <shellapi.h>

namespace opclumbra {

class TTrayIcon {
 public:
  // Owner receives CallbackMessage with the mouse message in lParam.
  TTrayIcon(HWND owner, UINT callbackMessage, HICON icon, const wchar_t* hint);
  TTrayIcon(const TTrayIcon&) = delete;
  TTrayIcon& operator=(const TTrayIcon&) = delete;
  ~TTrayIcon();

  bool Add();
  // True when Message is the shell's restart broadcast; the icon is then added again.
  bool HandleShellRestart(UINT message);

 private:
  NOTIFYICONDATAW data_{};
  UINT taskbarCreated_;
  bool added_ = false;
};

}  // namespace opclumbra
