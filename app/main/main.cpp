// OPCLumbra: serves the configured tree of memory tags as an OPC DA server,
// from behind a tray icon.
#include <windows.h>
#include <commctrl.h>
#include <objbase.h>

#include "file_switch.h"
#include "main_window.h"
#include "registration_switch.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  // The toolkit's class object and every server object live in this thread's apartment.
  if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 1;
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_TREEVIEW_CLASSES | ICC_LISTVIEW_CLASSES | ICC_BAR_CLASSES |
                                                     ICC_UPDOWN_CLASS | ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&controls);
  int status = 0;
  if (auto code = opclumbra::RunFileSwitch(GetCommandLineW())) {
    CoUninitialize();
    return *code;
  }
  if (auto code = opclumbra::RunRegistrationSwitch(GetCommandLineW())) {
    CoUninitialize();
    return *code;
  }
  {
    opclumbra::TForm1 form(instance);
    if (!form.Handle()) {
      status = 2;
    } else {
      MSG msg;
      while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (form.TranslateShortcut(msg)) continue;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
      }
      status = int(msg.wParam);
    }
  }
  CoUninitialize();
  return status;
}
