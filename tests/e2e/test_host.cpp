// A host program for the end-to-end tests: loads Quillon.dll by name, creates
// the server for the class ID it is given, records every notification and log
// line in a file, and pumps messages until told to free the server or to quit.
//   e2e_host.exe CLASSID EVENTS_FILE EVENT_PREFIX
// Named events EVENT_PREFIX.ready (set by the host), EVENT_PREFIX.free and
// EVENT_PREFIX.quit (set by the test).
#include <windows.h>

#include <cstdio>
#include <string>

#include "quillon.h"

namespace {

FILE* events = nullptr;

void Record(const char* fmt, ...) {
  va_list args;
  va_start(args, fmt);
  vfprintf(events, fmt, args);
  va_end(args);
  fputc('\n', events);
  fflush(events);
}

void __stdcall OnServer(ServerHandle server, LONG action) { Record("server %p %ld", server, action); }

void __stdcall OnLog(BSTR line) {
  char text[1024];
  int n = WideCharToMultiByte(CP_UTF8, 0, line, -1, text, sizeof text, nullptr, nullptr);
  Record("log %s", n > 0 ? text : "?");
  SysFreeString(line);
}

template <class F>
F Proc(HMODULE dll, const char* name) {
  auto p = reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(dll, name)));
  if (!p) {
    Record("missing export %s", name);
    ExitProcess(2);
  }
  return p;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) return 1;
  events = std::fopen(argv[2], "w");
  if (!events) return 1;
  HMODULE dll = LoadLibraryW(L"Quillon.dll");
  if (!dll) {
    Record("cannot load Quillon.dll");
    return 2;
  }
  auto setServerNotify = Proc<BOOL(__stdcall*)(ServerNotifyProc)>(dll, "SetServerNotify");
  auto setLogNotify = Proc<BOOL(__stdcall*)(LogNotifyProc)>(dll, "SetLogNotify");
  auto createServer = Proc<BOOL(__stdcall*)(const char*, LONG)>(dll, "CreateServer");
  auto setServerState = Proc<BOOL(__stdcall*)(LONG)>(dll, "SetServerState");
  auto freeServer = Proc<BOOL(__stdcall*)()>(dll, "FreeServer");

  setLogNotify(OnLog);
  if (!createServer(argv[1], 100)) {
    Record("CreateServer failed");
    return 3;
  }
  setServerNotify(OnServer);
  setServerState(1);

  std::string prefix = argv[3];
  HANDLE ready = CreateEventA(nullptr, TRUE, FALSE, (prefix + ".ready").c_str());
  HANDLE wanted[2] = {CreateEventA(nullptr, TRUE, FALSE, (prefix + ".free").c_str()),
                      CreateEventA(nullptr, TRUE, FALSE, (prefix + ".quit").c_str())};
  SetEvent(ready);
  Record("ready");

  bool freed = false;
  DWORD deadline = GetTickCount() + 120000;
  while (GetTickCount() < deadline) {
    DWORD r = MsgWaitForMultipleObjects(freed ? 1 : 2, freed ? &wanted[1] : wanted, FALSE, 200, QS_ALLINPUT);
    if (r == WAIT_OBJECT_0 && !freed) {
      Record("free %d", int(freeServer()));
      freed = true;
    } else if (r == WAIT_OBJECT_0 + (freed ? 0 : 1)) {
      break;
    }
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
  }
  if (!freed) Record("free %d", int(freeServer()));
  Record("exit");
  std::fclose(events);
  return 0;
}
