#pragma once
// The current UTC time: for values pushed by the host (on its hot path) and as OLE dates.
#include <windows.h>
#include <oleauto.h>

#include <atomic>
#include <cstdint>

namespace quillon {

// A FILETIME (UTC) as an OLE date, not shifted to local time, milliseconds kept.
inline DATE FileTimeToOleDate(const FILETIME& ft) {
  constexpr double kTicksPerDay = 864e9;
  constexpr double kDaysFrom1601To1899 = 109205.0;  // 1601-01-01 .. 1899-12-30
  uint64_t ticks = (uint64_t(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
  return double(ticks) / kTicksPerDay - kDaysFrom1601To1899;
}

// Now (UTC) as an OLE date.
inline DATE NowOleDate() {
  FILETIME ft;
  GetSystemTimeAsFileTime(&ft);
  return FileTimeToOleDate(ft);
}

// The system time, read again only when the millisecond tick count moves:
// within one tick the system clock cannot be told apart on Windows (its
// resolution is the timer tick), and re-reading it costs far more than the
// tick count under some runtimes. Threads racing here can at worst get the
// time of the previous tick.
inline FILETIME CurrentFileTime() {
  static std::atomic<ULONGLONG> lastTick{~0ULL};
  static std::atomic<ULONGLONG> lastTime{0};
  ULONGLONG tick = GetTickCount64();
  if (tick != lastTick.load(std::memory_order_relaxed)) {
    FILETIME ft;
    GetSystemTimeAsFileTime(&ft);
    lastTime.store((ULONGLONG(ft.dwHighDateTime) << 32) | ft.dwLowDateTime, std::memory_order_relaxed);
    lastTick.store(tick, std::memory_order_relaxed);
  }
  ULONGLONG t = lastTime.load(std::memory_order_relaxed);
  return FILETIME{DWORD(t), DWORD(t >> 32)};
}

}  // namespace quillon
