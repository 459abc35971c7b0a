#pragma once
// Bounds every call: a call that has not returned within the limit is
// reported with its replay line, the host is ended, and the run fails.
#include <windows.h>

#include <string>

namespace hostile {

constexpr DWORD kCallLimitMs = 10000;

// Starts the watching thread once; Host is the process to end on a hang.
void WatchHost(DWORD hostPid);
void CallStarted(const std::string& line);
void CallEnded();

}  // namespace hostile
