#include "watchdog.h"

#include <cstdio>
#include <mutex>

namespace hostile {
namespace {

std::mutex lock;
std::string current;
ULONGLONG startedAt = 0;  // 0: no call running
DWORD host = 0;

DWORD WINAPI Watch(void*) {
  for (;;) {
    Sleep(250);
    std::lock_guard guard(lock);
    if (!startedAt || GetTickCount64() - startedAt < kCallLimitMs) continue;
    std::printf("hostile: HANG %s did not return within %lu ms\n", current.c_str(), kCallLimitMs);
    std::printf("hostile: the run ends with this hang\n");
    std::fflush(stdout);
    if (HANDLE h = OpenProcess(PROCESS_TERMINATE, FALSE, host)) {
      TerminateProcess(h, 9);
      CloseHandle(h);
    }
    ExitProcess(2);
  }
}

}  // namespace

void WatchHost(DWORD hostPid) {
  static const bool started = [] {
    CloseHandle(CreateThread(nullptr, 0, Watch, nullptr, 0, nullptr));
    return true;
  }();
  (void)started;
  std::lock_guard guard(lock);
  host = hostPid;
}

void CallStarted(const std::string& line) {
  std::lock_guard guard(lock);
  current = line;
  startedAt = GetTickCount64();
}

void CallEnded() {
  std::lock_guard guard(lock);
  startedAt = 0;
}

}  // namespace hostile
