// The browse benchmark's host: loads Quillon.dll by name, serves the class ID
// it is given, registers the benchmark's address space (browse_bench.h) and
// pumps messages until the client process ends.
//   browse_bench_host.exe CLASSID CLIENT_PID
#include <windows.h>
#include <objbase.h>

#include <cstdio>
#include <cstdlib>

#include "apartment.h"
#include "browse_bench.h"
#include "opc_da.h"
#include "quillon_dll.h"
#include "unique_handle.h"

namespace {

using quillon::UniqueHandle;
using namespace bench::browse;

constexpr ULONGLONG kLifetimeMs = 600'000;

bool RegisterTags(const QuillonDll& q) {
  VARIANT zero;
  V_VT(&zero) = VT_R8;
  V_R8(&zero) = 0;
  TagHandle wide = q.RegTagEx(nullptr, kWideBranch, VT_EMPTY, OPC_READABLE);
  if (!wide) return false;
  for (long i = 0; i < kWideCount; ++i)
    if (!q.RegTag(wide, WideLeaf(i).c_str(), zero, 0xC0, OPC_READABLE | OPC_WRITEABLE)) return false;
  TagHandle parent = nullptr;
  for (int d = 1; d <= kDepth; ++d) {
    parent = q.RegTagEx(parent, Level(d).c_str(), VT_EMPTY, OPC_READABLE);
    if (!parent || !q.RegTag(parent, "Side", zero, 0xC0, OPC_READABLE)) return false;
  }
  return q.RegTag(parent, "Value", zero, 0xC0, OPC_READABLE) != nullptr;
}

int Serve(const char* classId, DWORD clientPid) {
  UniqueHandle client(OpenProcess(SYNCHRONIZE, FALSE, clientPid));
  UniqueHandle ready(OpenEventA(EVENT_MODIFY_STATE, FALSE, ReadyEventName(clientPid).c_str()));
  if (!client || !ready) return 2;
  QuillonDll q;
  if (!q.module || !q.CreateServer || !q.SetServerState || !q.RegTagEx || !q.RegTag || !q.FreeServer) {
    std::fputs("browse_bench_host: cannot load Quillon.dll and its exports\n", stderr);
    return 3;
  }
  if (!q.CreateServer(classId, 100)) return 3;
  q.SetServerState(1);
  if (!RegisterTags(q)) {
    std::fputs("browse_bench_host: cannot register the tags\n", stderr);
    q.FreeServer();
    return 3;
  }
  SetEvent(ready.Get());
  const ULONGLONG deadline = GetTickCount64() + kLifetimeMs;
  while (GetTickCount64() < deadline) {
    HANDLE wanted = client.Get();
    if (MsgWaitForMultipleObjects(1, &wanted, FALSE, 1000, QS_ALLINPUT) == WAIT_OBJECT_0) break;
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
  }
  q.FreeServer();
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fputs("usage: browse_bench_host.exe CLASSID CLIENT_PID (started by browse_bench.exe)\n", stderr);
    return 1;
  }
  quillon::Apartment apartment(COINIT_APARTMENTTHREADED);
  return Serve(argv[1], DWORD(std::strtoul(argv[2], nullptr, 10)));
}
