// Library load: the loading thread becomes a single-threaded apartment and
// the DA 1.0 stream formats are registered.
#include <windows.h>
#include <objbase.h>

#include "exports_state.h"

using namespace quillon;

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
  if (reason != DLL_PROCESS_ATTACH) return TRUE;
  // COM stays initialised for the life of the process: the library never
  // uninitialises it.
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  StreamFormats& f = Exports().formats;
  f.Data = RegisterClipboardFormatW(L"OPCSTMFORMATDATA");
  f.DataTime = RegisterClipboardFormatW(L"OPCSTMFORMATDATATIME");
  f.WriteComplete = RegisterClipboardFormatW(L"OPCSTMFORMATWRITECOMPLETE");
  return TRUE;
}
