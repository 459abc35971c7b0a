#pragma once
// What a process holds, for soak runs that must stay flat: kernel handles,
// private bytes and windows (top-level and message-only). Works on another
// process of the same desktop as well as on this one; Wine answers
// GetProcessHandleCount with 0, so handles are counted in the system's
// handle list.
#include <windows.h>

namespace e2e {

struct ProcessFigures {
  unsigned long handles = 0;     // 0: not available
  unsigned long privateKb = 0;   // 0: not available
  unsigned long windows = 0;
};

ProcessFigures MeasureProcess(DWORD pid);

}  // namespace e2e
