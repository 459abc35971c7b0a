#include "process_figures.h"

#include <psapi.h>

#include <algorithm>
#include <vector>

namespace e2e {
namespace {

// An entry of SystemHandleInformation.
struct HandleEntry {
  ULONG ownerPid;
  BYTE objectType, flags;
  USHORT handle;
  PVOID object;
  ACCESS_MASK access;
};

unsigned long CountHandles(DWORD pid) {
  using Query = LONG(WINAPI*)(int, PVOID, ULONG, PULONG);
  auto query = reinterpret_cast<Query>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQuerySystemInformation")));
  if (!query) return 0;
  constexpr int kSystemHandleInformation = 16;
  std::vector<BYTE> buffer(1 << 20);
  for (int tries = 0; tries < 8; ++tries) {
    ULONG needed = 0;
    if (query(kSystemHandleInformation, buffer.data(), ULONG(buffer.size()), &needed) == 0) {
      const ULONG count = *reinterpret_cast<const ULONG*>(buffer.data());
      const auto* entries = reinterpret_cast<const HandleEntry*>(buffer.data() + sizeof(ULONG_PTR));
      return static_cast<unsigned long>(
          std::count_if(entries, entries + count, [&](const HandleEntry& e) { return e.ownerPid == pid; }));
    }
    buffer.resize(std::max<size_t>(buffer.size() * 2, needed + 4096));
  }
  return 0;
}

unsigned long PrivateKb(DWORD pid) {
  HANDLE process = pid == GetCurrentProcessId()
                       ? GetCurrentProcess()
                       : OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid);
  if (!process) return 0;
  PROCESS_MEMORY_COUNTERS memory{};
  memory.cb = sizeof memory;
  const unsigned long kb =
      GetProcessMemoryInfo(process, &memory, sizeof memory) ? static_cast<unsigned long>(memory.PagefileUsage / 1024) : 0;
  if (process != GetCurrentProcess()) CloseHandle(process);
  return kb;
}

struct WindowCount {
  DWORD pid;
  unsigned long n = 0;
};

BOOL CALLBACK CountTopLevel(HWND hwnd, LPARAM param) {
  auto* count = reinterpret_cast<WindowCount*>(param);
  DWORD owner = 0;
  GetWindowThreadProcessId(hwnd, &owner);
  if (owner == count->pid) ++count->n;
  return TRUE;
}

unsigned long CountWindows(DWORD pid) {
  WindowCount count{pid};
  EnumWindows(CountTopLevel, reinterpret_cast<LPARAM>(&count));
  for (HWND hwnd = FindWindowExW(HWND_MESSAGE, nullptr, nullptr, nullptr); hwnd;
       hwnd = FindWindowExW(HWND_MESSAGE, hwnd, nullptr, nullptr))
    CountTopLevel(hwnd, reinterpret_cast<LPARAM>(&count));
  return count.n;
}

}  // namespace

ProcessFigures MeasureProcess(DWORD pid) { return {CountHandles(pid), PrivateKb(pid), CountWindows(pid)}; }

}  // namespace e2e
